// pelorin speed FILE --factor F [--from T1] [--to T2]: a span played faster or
// slower through ScaleMovieSegmentZQK; flatten FILE --output OUT: the movie
// written as a new self-contained file.
#include "chapters.h"
#include "commands.h"
#include "edit_result.h"
#include "options.h"
#include "timeline.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace tool {
namespace {

using rt::Value;

std::string speedHelp() {
  return std::string(
             "usage: pelorin speed FILE --factor F [--from T1] [--to T2]\n"
             "                     [--output OUT [--fast-start]] [--dry-run] [--json]\n\n"
             "Plays the frames from the one shown at T1 (by default the first) up to the one\n"
             "shown at T2 (by default the end) F times as fast: 2 halves the span, 0.5\n"
             "doubles it. Sound keeps its pitch where the movie allows it.\n\n") +
         kEditOptionsHelp;
}

std::string flattenHelp() {
  return std::string(
             "usage: pelorin flatten FILE --output OUT [--fast-start] [--dry-run] [--json]\n\n"
             "Writes the movie as OUT, a new self-contained file holding the samples it plays.\n\n") +
         kEditOptionsHelp;
}

double factorOf(const std::string& text) {
  char* end = nullptr;
  const double f = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end || !(f >= 1.0 / 1024 && f <= 1024))
    throw std::invalid_argument("--factor wants a number from 1/1024 to 1024 (2 plays twice as fast), not '" + text + "'");
  return f;
}

}  // namespace

int runSpeed(const Args& args) {
  if (wantsHelp(args, speedHelp().c_str())) return 0;
  Options o = parseOptions(args, "speed", {"--factor", "--from", "--to", "--output"}, kEditSwitches);
  if (o.positional.size() != 1) throw std::invalid_argument("speed takes one FILE (see pelorin speed --help)");
  const std::optional<std::string> factorText = o.value("--factor");
  if (!factorText) throw std::invalid_argument("speed needs --factor F (see pelorin speed --help)");
  const double factor = factorOf(*factorText);
  MovieFile file(o.positional[0], !o.has("--dry-run"), o.value("--output"));
  const Timeline time(file, file.movie(), file.path());
  const Span span = time.span(o.value("--from"), "--from", o.value("--to"), "--to");
  const int64_t length = std::max<int64_t>(1, std::llround(double(span.length()) / factor));
  checkAddressable(file.path(), time.duration() - span.length() + length, time.scale());
  // Pitch is the movie's property: asked for, and kept only where the movie can.
  file.runtime().set(file.movie(), "RateChangesPreservePitchZQK", Value::boolean(true));
  const std::vector<ChapterInfo> chapters = chaptersOf(file, file.movie());
  const bool pitchKept = file.runtime().get(file.movie(), "RateChangesPreservePitchZQK").asBoolean();
  const int64_t err = file.call(file.movie(), "ScaleMovieSegmentZQK",
                                {Value::integer(span.start), Value::integer(span.length()), Value::integer(length)})
                          .asInteger();
  if (err != 0)
    throw FileError(file.path(), "the span cannot be played " + *factorText + " times as fast (QuickTime error " +
                                     std::to_string(err) + ")");
  followChapters(file, file.movie(),
                 {{&chapters, 0, span.start, 0, span.start},
                  {&chapters, span.start, span.end, span.start, span.start + length},
                  {&chapters, span.end, time.duration(), span.start + length, time.duration() - span.length() + length}});
  return finishEdit(file, o,
                    "played " + time.clock(span.start) + " - " + time.clock(span.end) + " of " + file.path() + " " +
                        *factorText + " times as fast" + (pitchKept ? ", sound at its pitch" : ""),
                    time.duration());
}

int runFlatten(const Args& args) {
  if (wantsHelp(args, flattenHelp().c_str())) return 0;
  Options o = parseOptions(args, "flatten", {"--output"}, kEditSwitches);
  if (o.positional.size() != 1) throw std::invalid_argument("flatten takes one FILE (see pelorin flatten --help)");
  if (!o.value("--output")) throw std::invalid_argument("flatten writes a new file: it needs --output OUT");
  MovieFile file(o.positional[0], false, o.value("--output"));
  const Timeline time(file, file.movie(), file.path());
  return finishEdit(file, o, "flattened " + file.path(), time.duration());
}

}  // namespace tool
