#include "movie_file.h"

#include "progress.h"

#include <cstdio>
#include <filesystem>

namespace tool {

rt::Config quickTimeHost() {
  rt::Config config;
  config.hostVersion = 2013.04;  // the last hosts with QuickTime
  return config;
}

namespace {

// Folder items name files by absolute path.
std::string absolute(const std::string& path) { return std::filesystem::absolute(path).lexically_normal().string(); }

}  // namespace

MovieFile::MovieFile(const std::string& path, bool forEditing, std::optional<std::string> output)
    : runtime_(quickTimeHost()), path_(path), output_(std::move(output)) {
  runtime_.loadPlugin(rt::Runtime::defaultPluginPath());
  // With an output file the input is only read, so nothing can change it.
  movie_ = runtime_.openMovie(runtime_.newFolderItem(absolute(path_)), forEditing && !output_);
}

void MovieFile::save(bool fastStart) {
  const bool shown = Progress::shown();
  if (shown) std::fprintf(stderr, "writing %s ...", destination().c_str()), std::fflush(stderr);
  try {
    if (output_)
      runtime_.saveMovieAs(movie_, runtime_.newFolderItem(absolute(*output_)), fastStart);
    else
      runtime_.saveMovie(movie_);
  } catch (...) {
    if (shown) std::fprintf(stderr, "\r\033[K");
    throw;
  }
  if (shown) std::fprintf(stderr, "\r\033[K"), std::fflush(stderr);
}

rt::Value MovieFile::call(const rt::Value& self, const char* member, const std::vector<rt::Value>& args) {
  try {
    return runtime_.call(self, member, args);
  } catch (const rt::HostException& e) {
    throw FileError(path_, std::string(member) + " failed: " + e.className() + ": " + e.message());
  }
}

}  // namespace tool
