// The options every file command shares, and its own, parsed the same way.
#pragma once

#include "commands.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tool {

struct Options {
  std::vector<std::string> positional;              // FILE and any words after it
  std::map<std::string, std::string> values;        // --from LIST, --output FILE, ...
  std::set<std::string> flags;                      // --json, --show, ...

  bool has(const std::string& flag) const { return flags.count(flag) > 0; }
  std::optional<std::string> value(const std::string& option) const;
};

// Parses `args` for command `command`: `valued` options take the next word,
// `switches` stand alone. Anything else starting with "--" is an error naming
// the command's help.
Options parseOptions(const Args& args, const char* command, const std::set<std::string>& valued,
                     const std::set<std::string>& switches);

// Refuses any option given that is not in `allowed` ("--output FILE is for
// editing", say): `what` names the form of the command that was chosen.
void allowOnly(const Options& options, const std::set<std::string>& allowed, const std::string& what);

}  // namespace tool
