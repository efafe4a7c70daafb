// pelorin info FILE: everything the plugin tells about a movie file.
#include "commands.h"
#include "movie_report.h"
#include "options.h"

#include <iostream>
#include <string>

namespace tool {

namespace {

std::string count(size_t n, const char* one, const char* many) {
  return n == 0 ? "none" : std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void printReport(std::ostream& out, const MovieReport& report) {
  printTracks(out, report);
  out << "  chapters: " << count(report.chapters.size(), "chapter", "chapters") << '\n';
  printChapterList(out, report, "    ");
  out << "  time code: ";
  printTimeCode(out, report);
  out << "  metadata: " << count(report.metadata.size(), "item", "items") << '\n';
  printMetadata(out, report, "    ");
  out << "  user data: " << count(report.userData.size(), "entry", "entries") << '\n';
  printUserData(out, report, "    ");
}

void writeReportJson(std::ostream& out, const MovieReport& report) {
  JsonWriter json(out);
  json.beginObject();
  jsonMovie(json, report);
  jsonTracks(json, report);
  jsonChapters(json, report);
  jsonTimeCode(json, report);
  jsonMetadata(json, report);
  jsonUserData(json, report);
  json.endObject();
  json.finish();
}

MovieReport reportOf(MovieFile& file) {
  MovieReport report;
  readMovie(file, report);
  readTracks(file, report);
  readChapters(file, report);
  readTimeCode(file, report);
  readMetadata(file, report);
  // User-data entries show in the container as items of 'udta' storage; they are
  // listed once, as user data.
  std::erase_if(report.metadata, [](const MetadataInfo& m) { return m.storage == "udta"; });
  readUserData(file, report);
  return report;
}

int runInfo(const Args& args) {
  if (wantsHelp(args, "usage: pelorin info FILE [--json]\n\n"
                      "Describes a movie file through the plugin: its tracks (type, ID, enabled state,\n"
                      "duration, dimensions, sample descriptions), chapters, time code, metadata items\n"
                      "and user data. --json prints the same as one JSON object.\n"))
    return 0;
  Options o = parseOptions(args, "info", {}, {"--json"});
  if (o.positional.size() != 1) throw std::invalid_argument("info takes one FILE (see pelorin info --help)");
  MovieFile file(o.positional[0], false);
  MovieReport report = reportOf(file);
  if (o.has("--json"))
    writeReportJson(std::cout, report);
  else
    printReport(std::cout, report);
  return 0;
}

}  // namespace tool
