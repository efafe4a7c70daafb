// pelorin tracks FILE [enable|disable N | keep N [M ...] | shift N --by T]: a
// movie's tracks listed, switched on or off, moved in time, or some of them
// cloned into a new movie.
#include "chapters.h"
#include "commands.h"
#include "edit_result.h"
#include "movie_report.h"
#include "options.h"
#include "timeline.h"

#include <QuickTime/Movies.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

namespace tool {
namespace {

using rt::Value;

std::string help() {
  return std::string(
             "usage: pelorin tracks FILE [--json]\n"
             "       pelorin tracks FILE enable|disable N [--output OUT [--fast-start]] [--dry-run] [--json]\n"
             "       pelorin tracks FILE keep N [M ...] --output OUT [--fast-start] [--dry-run] [--json]\n"
             "       pelorin tracks FILE shift N --by T [--output OUT [--fast-start]] [--dry-run] [--json]\n\n"
             "Lists a movie's tracks, or edits them: N is a track ID as listed. keep makes\n"
             "OUT of the tracks named, sharing their samples; shift starts track N T later\n"
             "(-T: earlier, down to the movie's start).\n\n") +
         kEditOptionsHelp;
}

Value trackOf(MovieFile& file, const std::string& id) {
  char* end = nullptr;
  const long n = std::strtol(id.c_str(), &end, 10);
  Value track;
  if (end != id.c_str() && !*end && n > 0 && n <= INT32_MAX)
    track = file.call(file.movie(), "GetTrackIDZQK", {Value::integer(n)});
  if (track.isNil()) throw FileError(file.path(), "has no track with ID '" + id + "' (pelorin tracks FILE lists them)");
  return track;
}

int list(const Options& o) {
  allowOnly(o, {"--json"}, "tracks FILE");
  MovieFile file(o.positional[0], false);
  MovieReport report;
  readMovie(file, report);
  readTracks(file, report);
  if (!o.has("--json")) {
    printTracks(std::cout, report);
    return 0;
  }
  JsonWriter json(std::cout);
  json.beginObject();
  jsonMovie(json, report);
  jsonTracks(json, report);
  json.endObject();
  json.finish();
  return 0;
}

int enable(const Options& o, bool on) {
  if (o.positional.size() != 3) throw std::invalid_argument("tracks FILE enable|disable takes one track ID");
  MovieFile file(o.positional[0], !o.has("--dry-run"), o.value("--output"));
  const Timeline time(file, file.movie(), file.path());
  Value track = trackOf(file, o.positional[2]);
  file.runtime().set(track, "TrackEnabled", Value::boolean(on));
  return finishEdit(file, o, std::string(on ? "enabled" : "disabled") + " track " + o.positional[2], time.duration());
}

int shift(const Options& o) {
  const std::optional<std::string> by = o.value("--by");
  if (o.positional.size() != 3 || !by) throw std::invalid_argument("tracks FILE shift takes one track ID and --by T");
  const bool earlier = !by->empty() && (*by)[0] == '-';
  const std::optional<EditTime> t = parseEditTime(earlier ? by->substr(1) : *by);
  if (!t || t->isFrame)
    throw std::invalid_argument("--by wants HH:MM:SS.mmm or seconds, '-' before them to shift earlier, not '" + *by + "'");
  MovieFile file(o.positional[0], !o.has("--dry-run"), o.value("--output"));
  const Timeline time(file, file.movie(), file.path());
  Value track = trackOf(file, o.positional[2]);
  const int64_t offset = file.runtime().get(track, "TimeOffset").asInteger();
  const int64_t units = unitsAt(t->value, time.scale()) * (earlier ? -1 : 1);
  if (offset + units < 0)
    throw FileError(file.path(), "track " + o.positional[2] + " starts at " + time.clock(offset) +
                                     ": it cannot start " + by->substr(1) + " earlier");
  checkAddressable(file.path(), file.call(track, "Duration").asInteger() + units, time.scale());
  file.runtime().set(track, "TimeOffset", Value::integer(offset + units));
  relistChapters(file, file.movie());
  return finishEdit(file, o, "track " + o.positional[2] + " now starts at " + time.clock(offset + units),
                    time.duration());
}

// The tracks named, cloned into a new movie of the same time scale, which the
// tool makes as a host makes a movie for user code.
int keep(const Options& o) {
  if (o.positional.size() < 3) throw std::invalid_argument("tracks FILE keep takes one track ID or more");
  if (!o.value("--output")) throw std::invalid_argument("tracks FILE keep writes a new movie: it needs --output OUT");
  MovieFile file(o.positional[0], false, o.value("--output"));
  rt::Runtime& rt = file.runtime();
  const Timeline time(file, file.movie(), file.path());
  std::unique_ptr<std::remove_pointer_t<Movie>, void (*)(Movie)> qtMovie(NewMovie(0), DisposeMovie);
  SetMovieTimeScale(qtMovie.get(), TimeScale(time.scale()));
  EditResult r;
  {
    Value movie = rt.newMovie(qtMovie.get());
    for (size_t i = 2; i < o.positional.size(); ++i) {
      Value clone = file.call(trackOf(file, o.positional[i]), "AddClonedTrackToMovie",
                              {movie, Value::integer(kQTCloneShareSamples)});
      if (clone.isNil()) throw FileError(file.path(), "track " + o.positional[i] + " could not be copied");
    }
    r.file = file.path();
    r.destination = *o.value("--output");
    r.done = "kept " + std::to_string(o.positional.size() - 2) + " of the tracks of " + file.path();
    r.durationBefore = time.duration();
    r.written = !o.has("--dry-run");
    if (r.written)
      rt.saveMovieAs(movie, rt.newFolderItem(std::filesystem::absolute(r.destination).string()), o.has("--fast-start"));
    readEdits(file, movie, r);
  }
  std::ostream& out = r.written ? file.said() : std::cout;
  if (o.has("--json")) jsonEditResult(out, r);
  else printEditResult(out, r);
  return 0;
}

}  // namespace

int runTracks(const Args& args) {
  if (wantsHelp(args, help().c_str())) return 0;
  Options o = parseOptions(args, "tracks", {"--by", "--output"}, kEditSwitches);
  if (o.positional.empty()) throw std::invalid_argument("tracks takes a FILE (see pelorin tracks --help)");
  if (o.positional.size() == 1) return list(o);
  const std::string& action = o.positional[1];
  if (action == "enable" || action == "disable") return enable(o, action == "enable");
  if (action == "shift") return shift(o);
  if (action == "keep") return keep(o);
  throw std::invalid_argument("tracks: '" + action + "' is not enable, disable, keep or shift (see pelorin tracks --help)");
}

}  // namespace tool
