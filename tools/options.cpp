#include "options.h"

#include <stdexcept>

namespace tool {

std::optional<std::string> Options::value(const std::string& option) const {
  auto it = values.find(option);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

Options parseOptions(const Args& args, const char* command, const std::set<std::string>& valued,
                     const std::set<std::string>& switches) {
  Options o;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-' || a[1] != '-') {
      o.positional.push_back(a);
    } else if (a == "--") {
      optionsEnded = true;
    } else if (valued.count(a)) {
      if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value (see pelorin " + command + " --help)");
      o.values[a] = args[++i];
    } else if (switches.count(a)) {
      o.flags.insert(a);
    } else {
      throw std::invalid_argument("unknown option '" + a + "' (see pelorin " + command + " --help)");
    }
  }
  return o;
}

void allowOnly(const Options& o, const std::set<std::string>& allowed, const std::string& what) {
  auto check = [&](const std::string& option) {
    if (!allowed.count(option)) throw std::invalid_argument(what + " takes no " + option);
  };
  for (const auto& [option, value] : o.values) check(option);
  for (const std::string& flag : o.flags) check(flag);
}

}  // namespace tool
