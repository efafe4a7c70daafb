// A host application: loads the installed Pelorin plugin into the runtime and,
// acting as user code, asks it about a movie file.
//   host_app MOVIE
#include <pelorin/runtime.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: host_app MOVIE\n";
    return 2;
  }
  rt::Config config;
  config.hostVersion = 2013.04;  // the plugin's QuickTime members need a host that still had QuickTime
  rt::Runtime runtime(config);
  try {
    runtime.loadPlugin(rt::Runtime::defaultPluginPath());
    std::cout << "loaded " << rt::Runtime::defaultPluginPath() << " (" << runtime.registrations().size()
              << " classes, extensions and modules)\n";
    rt::Value file = runtime.newFolderItem(std::filesystem::absolute(argv[1]).string());
    rt::Value movie = runtime.openMovie(file, false);
    std::cout << argv[1] << ": " << runtime.call(movie, "TrackCountZQK").asInteger() << " tracks, "
              << runtime.get(movie, "Duration").asDouble() << " seconds\n";
  } catch (const std::exception& e) {
    std::cerr << "host_app: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
