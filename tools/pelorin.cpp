// pelorin: edit QuickTime movies from the shell, through the plugin's members.
#include "api_listing.h"
#include "commands.h"
#include "movie_file.h"

#include <QuickTime/MovieFiles.h>
#include <signal.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

// Asked to stop while --output is written, the tool leaves no temporary file
// behind, then ends the way the signal would have ended it.
void removeUnfinishedAndDie(int sig) {
  QTEngineRemoveUnfinishedFile();
  ::raise(sig);  // the action is back to the default, delivered on return
}

void removeUnfinishedOnSignals() {
  struct sigaction action = {};
  action.sa_handler = removeUnfinishedAndDie;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    struct sigaction old;
    // A signal ignored by whoever started the tool stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) ::sigaction(sig, &action, nullptr);
  }
}

const std::vector<tool::Command>& commands() {
  static const std::vector<tool::Command> table = {
      {"demo", "build a sample and show what the plugin does with it", tool::runDemo},
      {"api", "print the API as the host sees it after registration", tool::runApi},
      {"info", "describe a movie file: tracks, chapters, time code, metadata, user data", tool::runInfo},
      {"chapters", "list, add or remove a movie's chapters", tool::runChapters},
      {"timecode", "show, add or remove a movie's time code track", tool::runTimeCode},
      {"meta", "list, set or remove a movie's metadata items", tool::runMeta},
      {"userdata", "list, set or remove a movie's user data", tool::runUserData},
      {"cut", "remove a span of a movie, frame-accurate, without re-encoding", tool::runCut},
      {"trim", "keep only a span of a movie", tool::runTrim},
      {"insert", "splice part of another movie into a movie", tool::runInsert},
      {"join", "append movies one after another into a new movie", tool::runJoin},
      {"speed", "play a span of a movie faster or slower", tool::runSpeed},
      {"tracks", "list a movie's tracks; enable, disable, shift or keep some", tool::runTracks},
      {"flatten", "write a movie as a new self-contained file", tool::runFlatten},
  };
  return table;
}

// The manual page and the shell completion are made from this text and each
// command's --help (tools/doc/pelorin-docs), so keep its shape: usage lines, one
// line saying what the tool is, then the command table.
int usage(std::ostream& out, int status) {
  out << "usage: pelorin COMMAND [OPTIONS]\n"
         "       pelorin --help | --version\n\n"
         "Edits QuickTime movie files through the Pelorin plugin, as a host application would.\n\n"
         "commands:\n";
  for (const auto& c : commands()) out << "  " << c.name << std::string(10 - std::strlen(c.name), ' ') << c.summary << '\n';
  out << "\nRun 'pelorin COMMAND --help' for a command's options.\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(std::cerr, 2);
  removeUnfinishedOnSignals();
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") return usage(std::cout, 0);
  if (name == "--version") {
    std::cout << "pelorin " PELORIN_VERSION "\n";
    return 0;
  }
  for (const auto& c : commands()) {
    if (name != c.name) continue;
    try {
      const int status = c.run(std::vector<std::string>(argv + 2, argv + argc));
      return tool::ownershipFaults() ? 3 : status;
    } catch (const rt::HostException& e) {
      // The host's message says what went wrong; its class is for programs.
      std::cerr << "pelorin " << name << ": " << (e.message().empty() ? e.className() : e.message()) << '\n';
    } catch (const std::exception& e) {
      std::cerr << "pelorin " << name << ": " << e.what() << '\n';
    }
    return 1;
  }
  std::cerr << "pelorin: unknown command '" << name << "'\n";
  return usage(std::cerr, 2);
}
