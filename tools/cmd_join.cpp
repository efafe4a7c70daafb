// pelorin join A B [C ...] --output OUT | insert FILE --at T --from OTHER: movies
// spliced together through InsertMovieSegmentZQK, their samples copied as they
// are, or with --reference left in the files they come from.
#include "chapters.h"
#include "commands.h"
#include "edit_result.h"
#include "options.h"
#include "timeline.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>

#include <unistd.h>

namespace tool {
namespace {

using rt::Value;

std::string joinHelp() {
  return std::string(
             "usage: pelorin join A B [C ...] --output OUT [--reference] [--fast-start] [--dry-run] [--json]\n\n"
             "Appends the movies one after another into OUT. Tracks are matched by media\n"
             "type; a track of a type the first movie lacks is added. With --reference OUT\n"
             "holds only the movie: its samples stay in A, B, ... and it plays only while\n"
             "they stay where they are.\n\n") +
         kEditOptionsHelp;
}

std::string insertHelp() {
  return std::string(
             "usage: pelorin insert FILE --at T --from OTHER [--start T1] [--end T2]\n"
             "                      [--output OUT [--fast-start]] [--dry-run] [--json]\n\n"
             "Splices OTHER (or its frames from the one shown at T1 up to the one shown at\n"
             "T2) into FILE before the frame shown at T (T may be FILE's end).\n\n") +
         kEditOptionsHelp;
}

std::set<std::string> mediaTypes(MovieFile& file, const Value& movie) {
  std::set<std::string> types;
  const int64_t count = file.call(movie, "TrackCountZQK").asInteger();
  for (int64_t i = 1; i <= count; ++i) {
    Value track = file.call(movie, "GetTrackIndexZQK", {Value::integer(i)});
    if (!track.isNil()) types.insert(file.runtime().bytes(file.call(track, "MediaType")));
  }
  return types;
}

// A movie whose tracks share no media type with the one it joins would only
// play after it on tracks of its own: most likely the wrong file.
void checkMatches(MovieFile& file, const Value& into, const Value& from, const std::string& fromPath) {
  const std::set<std::string> a = mediaTypes(file, into), b = mediaTypes(file, from);
  for (const std::string& type : b)
    if (a.count(type) && (type == "vide" || type == "soun")) return;
  throw FileError(fromPath, "has no video or sound track to match the tracks of " + file.path());
}

// Splices `span` of `from` into `into` at `at`; the joined duration must stay
// addressable. Answers the length it added, in `into`'s time units.
int64_t splice(MovieFile& file, const Value& from, const Timeline& fromTime, Span span, const Value& into,
            int64_t at, const std::string& intoPath) {
  rt::Runtime& rt = file.runtime();
  const int64_t scale = rt.get(into, "TimeScale").asInteger();
  const int64_t have = movieDuration(rt, into);
  checkAddressable(intoPath, have + rescaled(span.length(), fromTime.scale(), scale), scale);
  const int64_t err = file.call(from, "InsertMovieSegmentZQK",
                                {into, Value::integer(span.start), Value::integer(span.length()), Value::integer(at)})
                          .asInteger();
  if (err != 0) throw FileError(intoPath, "the movie could not be inserted (QuickTime error " + std::to_string(err) + ")");
  return movieDuration(rt, into) - have;
}

// The input a --output would replace, if any.
void checkOutputIsNew(const Options& o) {
  std::error_code ec;
  for (const std::string& input : o.positional)
    if (std::filesystem::equivalent(input, *o.value("--output"), ec))
      throw FileError(*o.value("--output"), "--output names the input " + input + "; join writes a new file");
}

// --reference: OUT holds only the movie, its data references naming the inputs.
// It is written under another name and renamed, so a failure leaves OUT as it was.
int joinByReference(MovieFile& first, const Options& o) {
  rt::Runtime& rt = first.runtime();
  const std::string out = std::filesystem::absolute(*o.value("--output")).lexically_normal().string();
  const std::string temp = out + ".joining-" + std::to_string(::getpid());
  struct Remove {
    std::string path;
    ~Remove() {
      if (!path.empty()) std::remove(path.c_str());
    }
  } unfinished{temp};
  Value movie = rt.createMovie(rt.newFolderItem(temp));
  std::vector<std::vector<ChapterInfo>> chapters(o.positional.size());
  std::vector<ChapterPiece> pieces;
  for (size_t i = 0; i < o.positional.size(); ++i) {
    Value from = i == 0 ? first.movie() : first.openAlso(o.positional[i]);
    Timeline time(first, from, o.positional[i]);
    chapters[i] = chaptersOf(first, from);
    const int64_t at = movieDuration(rt, movie);
    const int64_t added = splice(first, from, time, {0, time.duration()}, movie, at, out);
    pieces.push_back({&chapters[i], 0, time.duration(), at, at + added});
  }
  followChapters(first, movie, pieces);
  rt.saveMovie(movie);
  if (std::rename(temp.c_str(), out.c_str()) != 0) throw FileError(out, "cannot be written");
  unfinished.path.clear();
  EditResult r;
  r.file = first.path();
  r.destination = out;
  r.done = "joined " + std::to_string(o.positional.size()) + " movies by reference";
  r.written = true;
  readEdits(first, movie, r);
  r.durationBefore = rescaled(movieDuration(rt, first.movie()), rt.get(first.movie(), "TimeScale").asInteger(), r.timeScale);
  if (o.has("--json")) jsonEditResult(std::cout, r);
  else printEditResult(std::cout, r);
  return 0;
}

}  // namespace

int runJoin(const Args& args) {
  if (wantsHelp(args, joinHelp().c_str())) return 0;
  std::set<std::string> switches = kEditSwitches;
  switches.insert("--reference");
  Options o = parseOptions(args, "join", {"--output"}, switches);
  if (o.positional.size() < 2) throw std::invalid_argument("join takes two movies or more (see pelorin join --help)");
  if (!o.value("--output")) throw std::invalid_argument("join writes a new movie: it needs --output OUT");
  checkOutputIsNew(o);
  const bool dryRun = o.has("--dry-run");
  MovieFile file(o.positional[0], false, dryRun ? std::nullopt : o.value("--output"));
  for (size_t i = 1; i < o.positional.size(); ++i) {
    Value other = file.openAlso(o.positional[i]);
    checkMatches(file, file.movie(), other, o.positional[i]);
  }
  if (o.has("--reference") && !dryRun) return joinByReference(file, o);
  Timeline first(file, file.movie(), file.path());
  std::vector<std::vector<ChapterInfo>> chapters(o.positional.size());
  chapters[0] = chaptersOf(file, file.movie());
  std::vector<ChapterPiece> pieces = {{&chapters[0], 0, first.duration(), 0, first.duration()}};
  for (size_t i = 1; i < o.positional.size(); ++i) {
    Value other = file.openAlso(o.positional[i]);
    Timeline time(file, other, o.positional[i]);
    chapters[i] = chaptersOf(file, other);
    const int64_t at = movieDuration(file.runtime(), file.movie());
    const int64_t added = splice(file, other, time, {0, time.duration()}, file.movie(), at, file.destination());
    pieces.push_back({&chapters[i], 0, time.duration(), at, at + added});
  }
  followChapters(file, file.movie(), pieces);
  return finishEdit(file, o, "joined " + std::to_string(o.positional.size()) + " movies", first.duration());
}

int runInsert(const Args& args) {
  if (wantsHelp(args, insertHelp().c_str())) return 0;
  Options o = parseOptions(args, "insert", {"--at", "--from", "--start", "--end", "--output"}, kEditSwitches);
  if (o.positional.size() != 1) throw std::invalid_argument("insert takes one FILE (see pelorin insert --help)");
  const std::optional<std::string> at = o.value("--at"), from = o.value("--from");
  if (!at || !from) throw std::invalid_argument("insert needs --at T and --from OTHER (see pelorin insert --help)");
  MovieFile file(o.positional[0], !o.has("--dry-run"), o.value("--output"));
  const Timeline time(file, file.movie(), file.path());
  const int64_t where = time.at(*at, "--at");
  Value other = file.openAlso(*from);
  checkMatches(file, file.movie(), other, *from);
  const Timeline otherTime(file, other, *from);
  const Span span = otherTime.span(o.value("--start"), "--start", o.value("--end"), "--end");
  const std::vector<ChapterInfo> chapters = chaptersOf(file, file.movie()), inserted = chaptersOf(file, other);
  const int64_t added = splice(file, other, otherTime, span, file.movie(), where, file.path());
  followChapters(file, file.movie(),
                 {{&chapters, 0, where, 0, where},
                  {&inserted, span.start, span.end, where, where + added},
                  {&chapters, where, time.duration(), where + added, time.duration() + added}});
  return finishEdit(file, o,
                    "inserted " + otherTime.clock(span.start) + " - " + otherTime.clock(span.end) + " of " + *from +
                        " at " + time.clock(where) + " of " + file.path(),
                    time.duration());
}

}  // namespace tool
