// pelorin cut FILE --from T1 --to T2 | trim FILE --start T1 --end T2: a span of
// the movie removed, or all but it, as edit lists: no sample is re-encoded.
#include "chapters.h"
#include "commands.h"
#include "edit_result.h"
#include "options.h"
#include "timeline.h"

#include <string>

namespace tool {
namespace {

using rt::Value;

std::string cutHelp() {
  return std::string(
             "usage: pelorin cut FILE --from T1 --to T2 [--output OUT [--fast-start]] [--dry-run] [--json]\n\n"
             "Removes the frames from the one shown at T1 up to, not including, the one shown\n"
             "at T2 (T2 may be the movie's end), in every track.\n\n") +
         kEditOptionsHelp;
}

std::string trimHelp() {
  return std::string(
             "usage: pelorin trim FILE [--start T1] [--end T2] [--output OUT [--fast-start]] [--dry-run] [--json]\n\n"
             "Keeps only the frames from the one shown at T1 (by default the first) up to,\n"
             "not including, the one shown at T2 (by default the movie's end).\n\n") +
         kEditOptionsHelp;
}

Options editOptions(const Args& args, const char* command, std::set<std::string> valued) {
  valued.insert("--output");
  Options o = parseOptions(args, command, valued, kEditSwitches);
  if (o.positional.size() != 1)
    throw std::invalid_argument(std::string(command) + " takes one FILE (see pelorin " + command + " --help)");
  return o;
}

// Removes [start, start + length) of every track; the member answers QuickTime's result.
void deleteSegment(MovieFile& file, int64_t start, int64_t length) {
  if (length <= 0) return;
  const int64_t err =
      file.call(file.movie(), "DeleteMovieSegmentZQK", {Value::integer(start), Value::integer(length)}).asInteger();
  if (err != 0) throw FileError(file.path(), "the segment could not be removed (QuickTime error " + std::to_string(err) + ")");
}

}  // namespace

int runCut(const Args& args) {
  if (wantsHelp(args, cutHelp().c_str())) return 0;
  Options o = editOptions(args, "cut", {"--from", "--to"});
  const std::optional<std::string> from = o.value("--from"), to = o.value("--to");
  if (!from || !to) throw std::invalid_argument("cut needs --from T1 and --to T2 (see pelorin cut --help)");
  MovieFile file(o.positional[0], !o.has("--dry-run"), o.value("--output"));
  Timeline time(file, file.movie(), file.path());
  const Span span = time.span(from, "--from", to, "--to");
  if (span.length() == time.duration())
    throw FileError(file.path(), "the span is the whole movie: nothing would be left");
  const std::vector<ChapterInfo> chapters = chaptersOf(file, file.movie());
  deleteSegment(file, span.start, span.length());
  followChapters(file, file.movie(),
                 {{&chapters, 0, span.start, 0, span.start},
                  {&chapters, span.end, time.duration(), span.start, time.duration() - span.length()}});
  return finishEdit(file, o, "cut " + time.clock(span.start) + " to " + time.clock(span.end) + " from " + file.path(),
                    time.duration());
}

int runTrim(const Args& args) {
  if (wantsHelp(args, trimHelp().c_str())) return 0;
  Options o = editOptions(args, "trim", {"--start", "--end"});
  const std::optional<std::string> start = o.value("--start"), end = o.value("--end");
  if (!start && !end) throw std::invalid_argument("trim needs --start T1, --end T2 or both (see pelorin trim --help)");
  MovieFile file(o.positional[0], !o.has("--dry-run"), o.value("--output"));
  Timeline time(file, file.movie(), file.path());
  const Span keep = time.span(start, "--start", end, "--end");
  const std::vector<ChapterInfo> chapters = chaptersOf(file, file.movie());
  // The end first, so the start's removal does not move it.
  deleteSegment(file, keep.end, time.duration() - keep.end);
  deleteSegment(file, 0, keep.start);
  followChapters(file, file.movie(), {{&chapters, keep.start, keep.end, 0, keep.length()}});
  return finishEdit(file, o, "trimmed " + file.path() + " to " + time.clock(keep.start) + " - " + time.clock(keep.end),
                    time.duration());
}

}  // namespace tool
