// What an edit command leaves: every track's edit list and the movie's duration,
// shown by --dry-run instead of saving, and after a save as the command's report.
#pragma once

#include "json.h"
#include "movie_file.h"
#include "options.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tool {

struct EditEntry {
  int64_t start = 0, duration = 0;  // movie time
  int64_t mediaTime = -1;           // -1: empty time
  double rate = 1;
};

struct TrackEdits {
  int64_t id = 0;
  std::string type;
  bool enabled = false;
  int64_t duration = 0;
  std::vector<EditEntry> edits;
};

struct EditResult {
  std::string file, destination;
  std::string done;  // what the command did, as a sentence
  bool written = false;
  int64_t timeScale = 0, durationBefore = 0, duration = 0;
  std::vector<TrackEdits> tracks;
};

// The options of every edit command, and the words its help ends with.
extern const std::set<std::string> kEditSwitches;  // --fast-start --json --dry-run
extern const char kEditOptionsHelp[];

// Reads what `movie` is now.
void readEdits(MovieFile& file, const rt::Value& movie, EditResult& result);

void printEditResult(std::ostream& out, const EditResult& result);
void jsonEditResult(std::ostream& out, const EditResult& result);

// The end of cut, trim, insert, speed and the track edits: the movie's duration
// before is `before`; shows the result with --dry-run, otherwise saves it (in
// place, or to --output) and reports.
int finishEdit(MovieFile& file, const Options& options, const std::string& done, int64_t before);

}  // namespace tool
