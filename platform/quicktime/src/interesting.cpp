// Interesting-time searches and time mapping. Sample starts are mapped through the
// edit list; each step is a binary search over edits, samples or sync samples.
#include "api_using.h"

#include <algorithm>
#include <optional>

namespace qte {

namespace {

enum class Search { Sample, Sync, MediaEdit };

// One non-empty edit seen as a window onto the sample table.
struct Window {
  const SampleTable& table;
  Scales scales;
  int64_t start;  // track time of the edit
  Edit edit;

  int64_t end() const { return start + edit.duration; }
  int64_t mediaAt(int64_t t) const { return edit.mediaTime + mediaOffset(t - start, edit.rate, scales); }
  // Track time at which sample k starts to be shown (may precede the edit; the
  // edit's end when it is not shown in it, as in a dwell edit past its sample).
  int64_t shownAt(uint32_t k) const {
    int64_t offset = trackOffsetCeil(table.startOf(k) - edit.mediaTime, edit.rate, scales);
    return offset >= edit.duration ? end() : start + offset;
  }
  uint32_t nextMarked(uint32_t k, Search s) const {
    return s == Search::Sync ? table.nextSync(k) : table.nextDescStart(k);
  }
  uint32_t prevMarked(uint32_t k, Search s) const {
    return s == Search::Sync ? table.prevSync(k) : table.prevDescStart(k);
  }

  // Smallest qualifying time >= t (start <= t < end).
  std::optional<int64_t> firstFrom(int64_t t, Search s) const {
    if (s == Search::Sample && t == start) return t;
    int64_t m = mediaAt(t);
    if (m >= table.duration()) return std::nullopt;
    uint32_t k = table.sampleAt(m);
    uint32_t j;
    if (s == Search::Sample) {
      if (shownAt(k) == t) return t;
      j = k + 1;
      if (j >= table.count()) return std::nullopt;
    } else {
      uint32_t from = (table.startOf(k) >= edit.mediaTime && shownAt(k) >= t) ? k : k + 1;
      j = nextMarked(from, s);
      if (j == SampleTable::npos) return std::nullopt;
    }
    int64_t shown = shownAt(j);
    if (shown >= end()) return std::nullopt;
    return shown;
  }

  // Largest qualifying time <= t (start <= t < end).
  std::optional<int64_t> lastUpTo(int64_t t, Search s) const {
    int64_t m = std::min(mediaAt(t), table.duration() - 1);
    if (m < 0) return std::nullopt;
    uint32_t k = table.sampleAt(m);
    if (s == Search::Sample) return std::max(shownAt(k), start);
    uint32_t j = prevMarked(k, s);
    if (j == SampleTable::npos || table.startOf(j) < edit.mediaTime) return std::nullopt;
    return shownAt(j);
  }

  // How long the sample shown at t stays on screen within the edit.
  int64_t shownFor(int64_t t) const {
    int64_t m = std::min(mediaAt(t), table.duration() - 1);
    uint32_t k = table.sampleAt(m);
    int64_t next = k + 1 < table.count() ? shownAt(k + 1) : end();
    return std::min(next, end()) - t;
  }
};

struct Found {
  int64_t time = -1;
  int64_t duration = 0;
};

std::optional<Search> searchOf(short flags) {
  switch (flags & (nextTimeMediaSample | nextTimeMediaEdit | nextTimeSyncSample | nextTimeStep |
                   nextTimePartialSyncSample)) {
    case nextTimeMediaSample:
    case nextTimeStep:
      return Search::Sample;
    case nextTimeSyncSample:
    case nextTimePartialSyncSample:
      return Search::Sync;
    case nextTimeMediaEdit:
      return Search::MediaEdit;
    default:
      return std::nullopt;
  }
}

Found searchEdits(const EditList& edits, int64_t time, bool edge, bool backward) {
  Found f;
  if (edits.size() == 0) return f;
  int64_t t = edge ? time : (backward ? time - 1 : time + 1);
  size_t n = edits.size();
  // Boundaries are the edit starts and the track's end.
  size_t lo = 0, hi = n + 1;
  if (!backward) {
    while (lo < hi) {  // first boundary >= t
      size_t mid = (lo + hi) / 2;
      if (edits.startOf(mid) < t) lo = mid + 1; else hi = mid;
    }
    if (lo > n) return f;
  } else {
    while (lo < hi) {  // first boundary > t
      size_t mid = (lo + hi) / 2;
      if (edits.startOf(mid) <= t) lo = mid + 1; else hi = mid;
    }
    if (lo == 0) return f;
    --lo;
  }
  f.time = edits.startOf(lo);
  f.duration = lo < n ? edits.edits()[lo].duration : 0;
  return f;
}

Found searchSamples(const EditList& edits, const SampleTable& table, Scales scales, int64_t time, bool edge,
                    bool backward, Search s) {
  Found f;
  int64_t total = edits.duration();
  if (table.count() == 0 || total == 0) return f;
  auto windowOf = [&](size_t i) { return Window{table, scales, edits.startOf(i), edits.edits()[i]}; };
  if (!backward) {
    int64_t t = std::max<int64_t>(edge ? time : time + 1, 0);
    for (size_t i = edits.find(t); i < edits.size(); ++i) {
      if (edits.edits()[i].empty()) continue;
      Window w = windowOf(i);
      if (auto c = w.firstFrom(std::max(t, w.start), s)) {
        f.time = *c;
        f.duration = w.shownFor(*c);
        return f;
      }
    }
  } else {
    int64_t t = std::min(edge ? time : time - 1, total - 1);
    if (t < 0) return f;
    for (size_t i = edits.find(t) + 1; i-- > 0;) {
      if (edits.edits()[i].empty()) continue;
      Window w = windowOf(i);
      if (auto c = w.lastUpTo(std::min(t, w.end() - 1), s)) {
        f.time = *c;
        f.duration = w.shownFor(*c);
        return f;
      }
    }
  }
  return f;
}

void writeFound(const Found& f, TimeValue* outTime, TimeValue* outDuration) {
  if (outTime) *outTime = toTimeValue(f.time);
  if (outDuration) *outDuration = toTimeValue(f.duration);
}

}  // namespace

}  // namespace qte

using qte::Found;
using qte::searchEdits;
using qte::searchOf;
using qte::searchSamples;
using qte::writeFound;
using qte::mediaOffset;

extern "C" {

void GetTrackNextInterestingTime(Track theTrack, short interestingTimeFlags, TimeValue time, Fixed rate,
                                 TimeValue* interestingTime, TimeValue* interestingDuration) {
  QTE_CALL_VOID("GetTrackNextInterestingTime", a_.object("track", theTrack)("flags", interestingTimeFlags)(
                                                    "time", time)("rate", Fix{rate})) {
    auto* track = live<qte::Track>(theTrack);
    if (!track) {
      writeFound({}, interestingTime, interestingDuration);
      done(invalidTrack);
      return;
    }
    bool edge = interestingTimeFlags & nextTimeEdgeOK;
    bool backward = rate < 0;
    Found f;
    if ((interestingTimeFlags & 0x3F) == nextTimeTrackEdit) {
      f = searchEdits(track->edits, time, edge, backward);
    } else if (auto s = searchOf(interestingTimeFlags)) {
      if (track->media)
        f = searchSamples(track->edits, track->media->samples().table, track->scales(), time, edge, backward, *s);
    } else {
      writeFound({}, interestingTime, interestingDuration);
      done(paramErr);
      return;
    }
    writeFound(f, interestingTime, interestingDuration);
    done(noErr);
  };
}

void GetMediaNextInterestingTime(Media theMedia, short interestingTimeFlags, TimeValue time, Fixed rate,
                                 TimeValue* interestingTime, TimeValue* interestingDuration) {
  QTE_CALL_VOID("GetMediaNextInterestingTime", a_.object("media", theMedia)("flags", interestingTimeFlags)(
                                                    "time", time)("rate", Fix{rate})) {
    auto* media = live<qte::Media>(theMedia);
    auto s = searchOf(interestingTimeFlags);
    if (!media || !s) {
      writeFound({}, interestingTime, interestingDuration);
      done(media ? OSErr(paramErr) : OSErr(invalidMedia));
      return;
    }
    // The media alone is one edit that shows all of it at its own scale.
    const SampleTable& table = media->samples().table;
    EditList whole;
    if (table.duration() > 0) whole.assign({{table.duration(), 0, kFixedOne}});
    Found f = searchSamples(whole, table, {media->scale, media->scale}, time, interestingTimeFlags & nextTimeEdgeOK,
                            rate < 0, *s);
    writeFound(f, interestingTime, interestingDuration);
    done(noErr);
  };
}

TimeValue TrackTimeToMediaTime(TimeValue value, Track theTrack) {
  QTE_CALL("TrackTimeToMediaTime", TimeValue(-1), a_("value", value).object("track", theTrack)) {
    auto* track = need<qte::Track>(theTrack);
    done(noErr);
    size_t i = track->edits.find(value);
    if (i == track->edits.size() || track->edits.edits()[i].empty()) return -1;
    const Edit& e = track->edits.edits()[i];
    return toTimeValue(e.mediaTime + mediaOffset(value - track->edits.startOf(i), e.rate, track->scales()));
  };
}

Fixed GetTrackEditRate(Track theTrack, TimeValue atTime) {
  QTE_CALL("GetTrackEditRate", Fixed(0), a_.object("track", theTrack)("atTime", atTime)) {
    auto* track = need<qte::Track>(theTrack);
    size_t i = track->edits.find(atTime);
    if (i == track->edits.size()) {
      done(invalidTime);
      return 0;
    }
    done(noErr);
    return track->edits.edits()[i].rate;
  };
}

void MediaTimeToSampleNum(Media theMedia, TimeValue time, SInt32* sampleNum, TimeValue* sampleTime,
                          TimeValue* sampleDuration) {
  QTE_CALL_VOID("MediaTimeToSampleNum", a_.object("media", theMedia)("time", time)) {
    auto* media = need<qte::Media>(theMedia);
    const SampleTable& t = media->samples().table;
    if (time < 0 || time >= t.duration()) {
      done(invalidTime);
      return;
    }
    uint32_t k = t.sampleAt(time);
    if (sampleNum) *sampleNum = static_cast<SInt32>(k + 1);
    if (sampleTime) *sampleTime = toTimeValue(t.startOf(k));
    if (sampleDuration) *sampleDuration = static_cast<TimeValue>(t.durationOf(k));
    done(noErr);
  };
}

void SampleNumToMediaTime(Media theMedia, SInt32 logicalSampleNum, TimeValue* sampleTime,
                          TimeValue* sampleDuration) {
  QTE_CALL_VOID("SampleNumToMediaTime", a_.object("media", theMedia)("sampleNum", logicalSampleNum)) {
    auto* media = need<qte::Media>(theMedia);
    const SampleTable& t = media->samples().table;
    if (logicalSampleNum < 1 || static_cast<uint32_t>(logicalSampleNum) > t.count()) {
      done(invalidSampleNum);
      return;
    }
    uint32_t k = static_cast<uint32_t>(logicalSampleNum - 1);
    if (sampleTime) *sampleTime = toTimeValue(t.startOf(k));
    if (sampleDuration) *sampleDuration = static_cast<TimeValue>(t.durationOf(k));
    done(noErr);
  };
}

}  // extern "C"
