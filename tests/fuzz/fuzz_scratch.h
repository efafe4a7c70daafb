// Where a fuzz target writes the file it opens: one per process, in TMPDIR.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

inline const std::string& fuzzScratchPath(const char* name) {
  static const std::string path = [name] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + name + "-" + std::to_string(getpid()) + ".mov";
  }();
  return path;
}
