// Where the runtime finds the plugins: the environment first, then beside the
// platform libraries (an installed tree, wherever it was moved), then where this
// build tree put them.
#include "pelorin/runtime.h"

#include <Folders.h>

#include <cstdlib>
#include <sys/stat.h>

// A runtime built without the tree's plugins finds them installed or not at all.
#ifndef PELORIN_PLUGIN_PATH
#define PELORIN_PLUGIN_PATH "libpelorin.so"
#endif
#ifndef PELORIN_COMPANION_PATH
#define PELORIN_COMPANION_PATH ""
#endif

namespace rt {

namespace {

std::string findPlugin(const char* variable, const char* fileName, const char* builtAt) {
  if (const char* env = std::getenv(variable)) return env;
  std::string installed = std::string(CarbonLibraryFolder()) + "/" + fileName;
  struct stat st;
  if (::stat(installed.c_str(), &st) == 0) return installed;
  return builtAt;
}

}  // namespace

std::string Runtime::defaultPluginPath() {
  return findPlugin("PELORIN_PLUGIN", "libpelorin.so", PELORIN_PLUGIN_PATH);
}

std::string Runtime::companionPluginPath() {
  return findPlugin("PELORIN_COMPANION", "libpelorin_companion.so", PELORIN_COMPANION_PATH);
}

}  // namespace rt
