// The demo's last section: the saved sample edited as a person edits it from the
// shell, through the tool's own cut and join.
#include "commands.h"
#include "demo.h"

#include <filesystem>
#include <iostream>

namespace tool {

void showCutAndJoin(const std::string& sample) {
  const std::string folder = std::filesystem::path(sample).parent_path().string();
  const std::string cut = folder + "/cut.mov", joined = folder + "/joined.mov";
  std::cout << "Cut 2 s out of the sample at frame 50, without re-encoding (pelorin cut " << sample
            << " --from f50 --to 00:00:04 --output " << cut << ")\n";
  runCut({sample, "--from", "f50", "--to", "00:00:04", "--output", cut});
  std::cout << "\nThe sample and its cut joined (pelorin join " << sample << ' ' << cut << " --output " << joined
            << ")\n";
  runJoin({sample, cut, "--output", joined});
}

}  // namespace tool
