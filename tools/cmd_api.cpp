#include "api_listing.h"
#include "commands.h"

#include <iostream>
#include <stdexcept>

namespace tool {

bool wantsHelp(const Args& args, const char* help) {
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") {
      std::cout << help;
      return true;
    }
  }
  return false;
}

int runApi(const Args& args) {
  if (wantsHelp(args, "usage: pelorin api [--host-version V]\n\n"
                      "Loads the plugin into a host of version V (default 2019.0) and prints every\n"
                      "class, property, method, constant and shared method it registered, in order,\n"
                      "then the members added to movie.\n"))
    return 0;
  rt::Config config;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--host-version" && i + 1 < args.size()) {
      try {
        config.hostVersion = std::stod(args[++i]);
      } catch (const std::exception&) {
        throw std::invalid_argument("--host-version wants a number such as 2013.04, not '" + args[i] + "'");
      }
    } else {
      throw std::invalid_argument("unknown option '" + args[i] + "' (see pelorin api --help)");
    }
  }
  rt::Runtime runtime(config);
  runtime.loadPlugin(rt::Runtime::defaultPluginPath());
  ApiCounts n = printApi(runtime, std::cout, true);
  std::cout << "\n" << n.classes << " classes, " << n.properties << " properties, " << n.methods << " methods, "
            << n.constants << " constants, " << n.sharedMethods << " shared methods; " << n.movieMembers
            << " movie members\n";
  return 0;
}

}  // namespace tool
