#include "movie_file.h"

#include "progress.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace tool {

rt::Config quickTimeHost() {
  rt::Config config;
  config.hostVersion = 2013.04;  // the last hosts with QuickTime
  // An edit waits for another one of the same file to finish, saying so once.
  if (const char* wait = std::getenv("PELORIN_EDIT_WAIT")) {
    char* end = nullptr;
    double seconds = std::strtod(wait, &end);
    if (end == wait || *end || !(seconds >= 0 && seconds <= 86400))
      throw std::invalid_argument("PELORIN_EDIT_WAIT is a number of seconds, not '" + std::string(wait) + "'");
    config.editLockWait = std::chrono::milliseconds(int64_t(seconds * 1000));
  }
  config.waitingForEditLock = [](const std::string& path) {
    std::fprintf(stderr, "pelorin: %s is being edited by another program; waiting for it to finish...\n", path.c_str());
    std::fflush(stderr);
  };
  return config;
}

namespace {

int faults = 0;

// Folder items name files by absolute path.
std::string absolute(const std::string& path) { return std::filesystem::absolute(path).lexically_normal().string(); }

}  // namespace

MovieFile::MovieFile(const std::string& path, bool forEditing, std::optional<std::string> output)
    : runtime_(quickTimeHost()), path_(path), output_(std::move(output)) {
  // A new file would be renamed over the one the movie is read from.
  std::error_code same;
  if (output_ && std::filesystem::equivalent(path_, *output_, same))
    throw FileError(*output_, "--output names the input file; leave --output out to edit the file in place");
  runtime_.loadPlugin(rt::Runtime::defaultPluginPath());
  // With an output file the input is only read, so nothing can change it.
  movie_ = runtime_.openMovie(runtime_.newFolderItem(absolute(path_)), forEditing && !output_);
}

MovieFile::~MovieFile() {
  movie_ = rt::Value();
  const rt::Accounting left = runtime_.accounting();
  if (left.clean()) return;
  ++faults;
  std::fprintf(stderr, "pelorin: ownership fault after working on %s (%ld over-releases):\n%s\n", path_.c_str(),
               left.overReleases, runtime_.leakReport().c_str());
}

int ownershipFaults() { return faults; }

rt::Value MovieFile::openAlso(const std::string& path) {
  return runtime_.openMovie(runtime_.newFolderItem(absolute(path)), false);
}

void MovieFile::save(bool fastStart) {
  // An update in place leaves the movie atom where it is.
  if (fastStart && !output_) throw std::invalid_argument("--fast-start goes with --output");
  // One call that may take a while (a flatten copies every sample): say so while it runs.
  struct Notice {
    bool shown = Progress::shown();
    explicit Notice(const std::string& path) {
      if (shown) std::fprintf(stderr, "writing %s ...", path.c_str());
      std::fflush(stderr);
    }
    ~Notice() {
      if (shown) std::fprintf(stderr, "\r\033[K");
      std::fflush(stderr);
    }
  } notice(destination());
  if (output_)
    runtime_.saveMovieAs(movie_, runtime_.newFolderItem(absolute(*output_)), fastStart);
  else
    runtime_.saveMovie(movie_);
}

std::ostream& MovieFile::said() const {
  struct stat out, dest;
  const bool intoStdout = output_ && ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(output_->c_str(), &dest) == 0 &&
                          out.st_dev == dest.st_dev && out.st_ino == dest.st_ino;
  return intoStdout ? std::cerr : std::cout;
}

template <typename Call>
rt::Value MovieFile::guarded(std::string_view member, Call&& call) {
  try {
    return call();
  } catch (const rt::HostException& e) {
    throw FileError(path_, std::string(member) + " failed: " + e.className() + ": " + e.message());
  }
}

rt::Value MovieFile::call(const rt::Value& self, const char* member, const std::vector<rt::Value>& args) {
  return guarded(member, [&] { return runtime_.call(self, member, args); });
}

rt::Member MovieFile::member(const std::string& className, const char* name, std::initializer_list<rt::Value> like) {
  return runtime_.member(className, name, like);
}

rt::Value MovieFile::call(const rt::Member& member, const rt::Value& self, std::initializer_list<rt::Value> args) {
  return guarded(member.name(), [&] { return member(self, args); });
}

}  // namespace tool
