// The pelorin tool's commands. Each takes its own arguments and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace tool {

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const Args& args);
};

int runDemo(const Args& args);
int runApi(const Args& args);
int runInfo(const Args& args);
int runChapters(const Args& args);
int runTimeCode(const Args& args);
int runUserData(const Args& args);
int runMeta(const Args& args);
int runCut(const Args& args);
int runTrim(const Args& args);
int runInsert(const Args& args);
int runJoin(const Args& args);
int runSpeed(const Args& args);
int runTracks(const Args& args);
int runFlatten(const Args& args);

// True when `args` asks for help; prints `help` then.
bool wantsHelp(const Args& args, const char* help);

}  // namespace tool
