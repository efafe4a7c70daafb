// pelorin chapters FILE | chapters add FILE --from LIST | chapters remove FILE:
// the movie's chapter track, read and written through the plugin.
#include "chapters.h"
#include "commands.h"
#include "movie_report.h"
#include "options.h"
#include "progress.h"
#include "text.h"
#include "timeline.h"
#include "times.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace tool {
namespace {

using rt::Value;

const char kHelp[] =
    "usage: pelorin chapters FILE [--json]\n"
    "       pelorin chapters add FILE --from LIST [--replace] [--output OUT [--fast-start]]\n"
    "       pelorin chapters remove FILE [--output OUT [--fast-start]]\n\n"
    "Lists, adds or removes the chapters of a movie file. A chapter list has one\n"
    "chapter a line: its start as HH:MM:SS or HH:MM:SS.mmm, one space, its title in\n"
    "UTF-8; the listing prints the same form, so it can be edited and added back.\n"
    "The chapters become a text track that the first video track (or, without\n"
    "video, the first sound track) names as its chapter track, with a chapter list\n"
    "('chpl') beside it for readers that look for one.\n\n"
    "  --from LIST     the chapter list ('-' reads standard input)\n"
    "  --replace       replace the chapters the movie already has\n"
    "  --output OUT    write the edited movie to OUT, a new self-contained file, and\n"
    "                  leave FILE as it is (otherwise FILE is updated in place)\n"
    "  --fast-start    with --output, put the movie atom before the sample data\n"
    "  --json          list as JSON\n";

// A title is stored as UTF-16 after a byte-order mark, and a text sample's
// length is 16 bits: 65,535 bytes hold the mark and 32,766 units.
constexpr size_t kMaxTitleUnits = (0xFFFF - 2) / 2;

struct ListedChapter {
  int64_t startMs;
  std::string title;
};

std::vector<ListedChapter> readChapterList(const std::string& path) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (path != "-") {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw FileError(path, "is a directory, not a chapter list");
    file.open(path, std::ios::binary);
    if (!file) throw FileError(path, "cannot read the chapter list");
    in = &file;
  }
  std::vector<ListedChapter> list;
  std::string line;
  for (int number = 1; std::getline(*in, line); ++number) {
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // a byte-order mark
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const std::string where = "line " + std::to_string(number);
    const size_t space = line.find(' ');
    std::optional<int64_t> start = parseClock(line.substr(0, space));
    if (!start)
      throw FileError(path, where + ": '" + validUtf8(line.substr(0, space)) +
                                "' is not a start time HH:MM:SS or HH:MM:SS.mmm");
    std::string title = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (!isUtf8(title)) throw FileError(path, where + ": the title is not UTF-8 text");
    if (const size_t units = utf16Length(title); units > kMaxTitleUnits)
      throw FileError(path, where + ": the title is too long: a chapter title holds at most 32,766 UTF-16 "
                                "units (65,535 bytes with its byte-order mark); this one has " + std::to_string(units));
    if (!list.empty() && *start <= list.back().startMs)
      throw FileError(path, where + ": " + formatClock(*start) + " does not come after " +
                                formatClock(list.back().startMs));
    list.push_back({*start, std::move(title)});
  }
  if (list.empty()) throw FileError(path, "the chapter list holds no chapters");
  return list;
}

int listChapters(const Options& o) {
  MovieFile file(o.positional[0], false);
  MovieReport report;
  readMovie(file, report);
  readChapters(file, report);
  if (o.has("--json")) {
    JsonWriter json(std::cout);
    json.beginObject();
    jsonMovie(json, report);
    jsonChapters(json, report);
    json.endObject();
    json.finish();
  } else {
    printChapterList(std::cout, report);
  }
  return 0;
}

int addChapters(const Options& o) {
  std::optional<std::string> from = o.value("--from");
  if (!from) throw std::invalid_argument("chapters add needs --from LIST (see pelorin chapters --help)");
  const std::vector<ListedChapter> list = readChapterList(*from);
  MovieFile file(o.positional[0], true, o.value("--output"));
  rt::Runtime& rt = file.runtime();

  if (hasChapters(file, file.movie())) {
    if (!o.has("--replace"))
      throw FileError(file.path(), "the movie has chapters already (--replace replaces them)");
    removeChapters(file, file.movie());
  }
  const int64_t scale = rt.get(file.movie(), "TimeScale").asInteger();
  const int64_t end = movieDuration(rt, file.movie());
  if (fromMilliseconds(list.back().startMs, scale) >= end)
    throw FileError(*from, "the last chapter starts at " + formatClock(list.back().startMs) +
                               ", not before the movie ends at " + formatClock(toMilliseconds(end, scale)));
  std::vector<ChapterInfo> chapters;
  chapters.reserve(list.size());
  for (const ListedChapter& c : list) chapters.push_back({fromMilliseconds(c.startMs, scale), c.title});
  writeChapters(file, file.movie(), chapters);
  file.save(o.has("--fast-start"));
  file.said() << "added " << list.size() << " chapter" << (list.size() == 1 ? "" : "s") << " to "
            << file.destination() << '\n';
  return 0;
}

int removeAll(const Options& o) {
  MovieFile file(o.positional[0], true, o.value("--output"));
  if (removeChapters(file, file.movie()) == 0) {
    file.said() << file.path() << " has no chapters\n";
    return 0;
  }
  file.save(o.has("--fast-start"));
  file.said() << "removed the chapters of " << file.destination() << '\n';
  return 0;
}

}  // namespace

int runChapters(const Args& args) {
  if (wantsHelp(args, kHelp)) return 0;
  Options o = parseOptions(args, "chapters", {"--from", "--output"}, {"--json", "--replace", "--fast-start"});
  std::string action = "list";
  if (!o.positional.empty() && (o.positional[0] == "add" || o.positional[0] == "remove")) {
    action = o.positional[0];
    o.positional.erase(o.positional.begin());
  }
  if (o.positional.size() != 1) throw std::invalid_argument("chapters takes one FILE (see pelorin chapters --help)");
  if (action == "list") {
    allowOnly(o, {"--json"}, "chapters FILE");
    return listChapters(o);
  }
  if (action == "add") {
    allowOnly(o, {"--from", "--replace", "--output", "--fast-start"}, "chapters add");
    return addChapters(o);
  }
  allowOnly(o, {"--output", "--fast-start"}, "chapters remove");
  return removeAll(o);
}

}  // namespace tool
