#include "edit_result.h"

#include "timeline.h"

#include <FixMath.h>
#include <QuickTime/Movies.h>

#include <cmath>
#include <iostream>

namespace tool {

using rt::Value;

const std::set<std::string> kEditSwitches = {"--fast-start", "--json", "--dry-run"};
const char kEditOptionsHelp[] =
    "  --output OUT    write the edited movie to OUT, a new self-contained file, and\n"
    "                  leave FILE as it is (otherwise FILE is updated in place)\n"
    "  --fast-start    with --output, put the movie atom before the sample data\n"
    "  --dry-run       print the resulting edit lists and durations, write nothing\n"
    "  --json          report as JSON\n\n"
    "Times are HH:MM:SS.mmm, seconds (12.5) or frame numbers (f300, from f0); a time\n"
    "between two frames means the frame shown then. Chapters and time code follow.\n";

namespace {

// The engine's track behind a track object: the edit list is read from it, as
// a host application reads what it has no member for.
Track qtTrack(MovieFile& file, const Value& track) {
  return reinterpret_cast<Track>(static_cast<intptr_t>(file.runtime().get(track, "TrackHandle").asInteger()));
}

std::vector<EditEntry> editsOf(Track track) {
  std::vector<EditEntry> edits;
  for (TimeValue t = 0;;) {
    TimeValue start = -1, duration = 0;
    GetTrackNextInterestingTime(track, nextTimeTrackEdit | nextTimeEdgeOK, t, fixed1, &start, &duration);
    if (start < 0 || duration <= 0) return edits;
    EditEntry e{start, duration, TrackTimeToMediaTime(start, track), Fix2X(GetTrackEditRate(track, start))};
    edits.push_back(e);
    t = start + duration;
  }
}

}  // namespace

void readEdits(MovieFile& file, const Value& movie, EditResult& r) {
  rt::Runtime& rt = file.runtime();
  r.timeScale = rt.get(movie, "TimeScale").asInteger();
  r.duration = movieDuration(rt, movie);
  r.tracks.clear();
  const int64_t count = file.call(movie, "TrackCountZQK").asInteger();
  for (int64_t i = 1; i <= count; ++i) {
    Value track = file.call(movie, "GetTrackIndexZQK", {Value::integer(i)});
    if (track.isNil()) continue;
    TrackEdits t;
    t.id = file.call(track, "TrackID").asInteger();
    t.type = rt.bytes(file.call(track, "MediaType"));
    t.enabled = rt.get(track, "TrackEnabled").asBoolean();
    t.duration = file.call(track, "Duration").asInteger();
    t.edits = editsOf(qtTrack(file, track));
    r.tracks.push_back(std::move(t));
  }
}

void printEditResult(std::ostream& out, const EditResult& r) {
  auto clock = [&](int64_t t) { return formatClock(toMilliseconds(t, r.timeScale)); };
  out << r.done << ": " << clock(r.durationBefore) << " -> " << clock(r.duration) << '\n';
  if (r.written) {
    out << "written to " << r.destination << '\n';
    return;
  }
  out << "(dry run: nothing written) time scale " << r.timeScale << ", " << r.duration << " units\n";
  for (const TrackEdits& t : r.tracks) {
    out << "track " << t.id << ": " << t.type << (t.enabled ? "" : ", disabled") << ", " << clock(t.duration) << '\n';
    for (const EditEntry& e : t.edits) {
      out << "  " << clock(e.start) << " for " << clock(e.duration) << ": ";
      if (e.mediaTime < 0) out << "empty\n";
      else out << "media " << e.mediaTime << (e.rate == 1 ? std::string() : " at rate " + std::to_string(e.rate)) << '\n';
    }
  }
}

void jsonEditResult(std::ostream& out, const EditResult& r) {
  JsonWriter json(out);
  json.beginObject();
  json.member("file", r.file).member("destination", r.destination).member("done", r.done);
  json.member("written", r.written).member("timeScale", r.timeScale);
  json.member("durationBefore", r.durationBefore).member("duration", r.duration);
  json.key("tracks").beginArray();
  for (const TrackEdits& t : r.tracks) {
    json.beginObject().member("id", t.id).member("type", t.type).member("enabled", t.enabled);
    json.member("duration", t.duration).key("edits").beginArray();
    for (const EditEntry& e : t.edits) {
      json.beginObject().member("start", e.start).member("duration", e.duration);
      json.member("mediaTime", e.mediaTime).member("rate", e.rate).endObject();
    }
    json.endArray().endObject();
  }
  json.endArray().endObject();
  json.finish();
}

int finishEdit(MovieFile& file, const Options& o, const std::string& done, int64_t before) {
  EditResult r;
  r.file = file.path();
  r.destination = file.destination();
  r.done = done;
  r.durationBefore = before;
  r.written = !o.has("--dry-run");
  if (r.written) file.save(o.has("--fast-start"));
  readEdits(file, file.movie(), r);
  std::ostream& out = r.written ? file.said() : std::cout;
  if (o.has("--json")) jsonEditResult(out, r);
  else printEditResult(out, r);
  return 0;
}

}  // namespace tool
