// Chapter tracks: finding, linking, removing, and reading their chapters.
//
// A chapter is one text sample; its start in track time is the chapter's time.
// The walks over chapters and tracks below all end on their own even when
// QuickTime keeps answering the same thing: a search that does not advance, or
// a track that does not go away, stops the walk.
#include "movie/chapters.h"

#include <FixMath.h>
#include <MacMemory.h>

#include <algorithm>
#include <cstdint>

#include "host/host.h"
#include "host/values.h"
#include "plugin/member_records.h"
#include "qt/qt.h"
#include "track/track.h"

namespace {

constexpr OSType kChapterReference = kTrackReferenceChapterList;
constexpr short kNextSample = nextTimeMediaSample;
constexpr short kNextSampleEdgeOK = nextTimeMediaSample | nextTimeEdgeOK;
constexpr SInt32 kByMediaType = movieTrackMediaType;
constexpr SInt32 kEnabledByMediaType = movieTrackMediaType | movieTrackEnabledOnly;

// The start of the first chapter (the sample at time 0 counts), or -1. A search
// that answers nothing leaves `preset`: GetFirstChapterTime reads 0 then, the
// counting walks -1 (no chapter).
TimeValue FirstChapter(Track track, TimeValue preset) {
  TimeValue time = preset;
  GetTrackNextInterestingTime(track, kNextSampleEdgeOK, 0, fixed1, &time, nullptr);
  return time;
}

// The start of the chapter after the one at `time`, or -1. A search that does
// not move forward counts as the end, so callers' walks always finish.
TimeValue NextChapter(Track track, TimeValue time) {
  TimeValue next = time;
  GetTrackNextInterestingTime(track, kNextSample, time, fixed1, &next, nullptr);
  return next > time ? next : -1;
}

// The first track of the movie, enabled and naming a chapter track, and the
// chapter track it names.
Track ChapterTrackOfMovie(Movie movie) {
  const SInt32 count = GetMovieTrackCount(movie);
  for (SInt32 i = 1; i <= count; ++i) {
    Track track = GetMovieIndTrack(movie, i);
    if (!track || !GetTrackEnabled(track)) continue;
    if (Track chapters = GetTrackReference(track, kChapterReference, 1)) return chapters;
  }
  return nullptr;
}

// ---- QTChapterTrackZQK ----

RBInteger GetFirstChapterTime(REALobject instance) {
  TrackCall call(instance);
  if (!call.track()) return 0;
  const TimeValue time = FirstChapter(call.track(), 0);
  call.RecordMoviesError();
  return time;
}

RBInteger GetNextChapterTime(REALobject instance, RBInteger time) {
  TrackCall call(instance);
  if (!call.track()) return 0;
  const TimeValue from = static_cast<TimeValue>(time);
  TimeValue next = from;
  GetTrackNextInterestingTime(call.track(), kNextSample, from, fixed1, &next, nullptr);
  call.RecordMoviesError();
  return next;
}

// Reading the error after each search clears it: counting is not a failure.
RBInteger GetChapterCount(REALobject instance) {
  Track track = TrackOf(instance);
  if (!track) return 0;
  RBInteger count = 0;
  TimeValue t = FirstChapter(track, -1);
  GetMoviesError();
  while (t != -1) {
    ++count;
    t = NextChapter(track, t);
    GetMoviesError();
  }
  return count;
}

// Chapters count from 1. Past the last chapter the answer is -1.
RBInteger GetChapterTime(REALobject instance, RBInteger index) {
  Track track = TrackOf(instance);
  if (!track) return 0;
  if (index < 1) return -1;
  TimeValue t = FirstChapter(track, -1);
  GetMoviesError();
  for (RBInteger step = 1; step < index && t != -1; ++step) {
    t = NextChapter(track, t);
    GetMoviesError();
  }
  return t;
}

// A text sample: a 16-bit big-endian length, then the text. When the two bytes
// after the length are the byte-order mark FE FF, the text is UTF-16 big-endian
// and the length counts the mark (so a length below 4 leaves no text: nil);
// anything else is ASCII. The length is unsigned, up to 65,535 bytes, and
// clamped to the bytes present.
REALstring TextOfSample(uint8_t* bytes, int32_t size) {
  if (size < 2) return nullptr;
  int32_t length = (bytes[0] << 8) | bytes[1];
  uint8_t* text = bytes + 2;
  const int32_t present = size - 2;
  length = std::min(length, present);
  if (present >= 2 && text[0] == 0xFE && text[1] == 0xFF) {
    const int32_t units = std::max(length - 2, 0) / 2;
    auto* unit = text + 2;
    for (int32_t i = 0; i < units; ++i) std::swap(unit[2 * i], unit[2 * i + 1]);
    // The host reads UTF-16 in its own byte order, which is little-endian here.
    return REALBuildUnicodeString(unit, int64_t{units} * 2, kREALEncodingUTF16);
  }
  return REALBuildUnicodeString(text, length, kREALEncodingASCII);
}

REALstring GetChapterText(REALobject instance, RBInteger time) {
  // Without a track QuickTime answers for the missing media.
  TrackCall call(instance);
  Track track = call.track();
  Handle sample = NewHandleClear(0);
  if (!sample) return nullptr;
  SInt32 size = 0;
  // One sample, where QuickTime's 0 (as many as it likes) would bring the
  // neighbours of the same size along: a length that claims more than its
  // sample holds must not read the next chapter's bytes as its own text.
  const OSErr err = call.Record(GetMediaSample(GetTrackMedia(track), sample, 0, &size,
                                   TrackTimeToMediaTime(static_cast<TimeValue>(time), track), nullptr, nullptr,
                                   nullptr, nullptr, 1, nullptr, nullptr));
  REALstring result = nullptr;
  if (err == noErr) {
    const int32_t held = std::min<int32_t>(size, static_cast<int32_t>(GetHandleSize(sample)));
    if (held > 0) {
      HLock(sample);
      result = TextOfSample(reinterpret_cast<uint8_t*>(*sample), held);
      HUnlock(sample);
    }
  }
  DisposeHandle(sample);
  return result;
}

}  // namespace

REALmethodDefinition QTChapterTrackMethods[5] = {
    MethodRecord("GetNextChapterTime(time as integer) as integer", &GetNextChapterTime),
    MethodRecord("GetFirstChapterTime as integer", &GetFirstChapterTime),
    MethodRecord("ChapterCount as integer", &GetChapterCount),
    MethodRecord("ChapterText(time as integer) as string", &GetChapterText),
    MethodRecord("GetChapterTime(index as integer) as integer", &GetChapterTime),
};

// Walking each reference list from its end keeps the indexes not yet visited
// valid while entries are deleted.
void QTUtils_DeleteAllReferencesToTrack(Track track) {
  if (!track) return;
  Movie movie = GetTrackMovie(track);
  if (!movie) return;
  const SInt32 count = GetMovieTrackCount(movie);
  for (SInt32 i = 1; i <= count; ++i) {
    Track other = GetMovieIndTrack(movie, i);
    if (!other || other == track) continue;
    for (OSType type = GetNextTrackReferenceType(other, 0); type != 0; type = GetNextTrackReferenceType(other, type)) {
      for (SInt32 k = GetTrackReferenceCount(other, type); k >= 1; --k) {
        if (GetTrackReference(other, type, k) == track) DeleteTrackReference(other, type, k);
      }
    }
  }
}

namespace {

RBInteger RemoveTextTracks(Movie qtMovie, RBInteger index) {
  const int16_t which = static_cast<int16_t>(index);
  if (which != 0) {
    Track track = GetMovieIndTrackType(qtMovie, which, TextMediaType, kByMediaType);
    if (!track) return badTrackIndex;
    QTUtils_DeleteAllReferencesToTrack(track);
    DisposeMovieTrack(track);
    return noErr;
  }
  Track track = GetMovieIndTrackType(qtMovie, 1, TextMediaType, kByMediaType);
  if (!track) return badTrackIndex;
  // Each round removes one track; a track that stays ends the loop, as does
  // running out of rounds, so a disposal QuickTime refuses cannot spin forever.
  for (SInt32 rounds = GetMovieTrackCount(qtMovie); track && rounds > 0; --rounds) {
    QTUtils_DeleteAllReferencesToTrack(track);
    DisposeMovieTrack(track);
    Track next = GetMovieIndTrackType(qtMovie, 1, TextMediaType, kByMediaType);
    if (next == track) break;
    track = next;
  }
  return noErr;
}

}  // namespace

// ---- `movie` members ----

// Index 0 (taken as 16 bits, so 65536 too) removes every text track.
RBInteger RemoveIndTextTrack(REALmovie movie, RBInteger index) {
  return MovieMember(movie, [&](Movie qtMovie) { return RemoveTextTracks(qtMovie, index); }, kNoMovie);
}

REALobject GetChapterTrackForMovie(REALmovie movie) {
  return MovieMember(movie, [&](Movie qtMovie) -> REALobject {
    Track chapters = ChapterTrackOfMovie(qtMovie);
    return chapters ? NewTrackObject(movie, chapters, "QTChapterTrackZQK") : nullptr;
  });
}

bool MovieHasAChapterTrack(REALmovie movie) {
  return MovieMember(movie, [](Movie qtMovie) { return ChapterTrackOfMovie(qtMovie) != nullptr; });
}

// ---- QTTrackZQK members ----

// This track becomes (or stops being) the chapter track of the movie's first
// enabled track of media type `type`.
void SetTextTrackAsChapterTrack(REALobject instance, REALstring type, bool isChapterTrack) {
  TrackCall call(instance);
  Track track = call.track();
  if (!track) return;
  const OSType mediaType = REALstringToOSType(type);
  Movie movie = GetTrackMovie(track);
  Track mainTrack = movie ? GetMovieIndTrackType(movie, 1, mediaType, kEnabledByMediaType) : nullptr;
  if (!mainTrack) return call.Set(paramErr);
  call.Record(isChapterTrack ? AddTrackReference(mainTrack, track, kChapterReference, nullptr)
                             : DeleteTrackReference(mainTrack, kChapterReference, 1));
}

bool HasChapterTrack(REALobject instance) {
  Track track = TrackOf(instance);
  return track && GetTrackReference(track, kChapterReference, 1);
}

// True when any other track of the movie names this one as a chapter track.
bool IsChapterTrack(REALobject instance) {
  Track track = TrackOf(instance);
  if (!track) return false;
  Movie movie = GetTrackMovie(track);
  if (!movie) return false;
  const SInt32 count = GetMovieTrackCount(movie);
  for (SInt32 i = 1; i <= count; ++i) {
    Track other = GetMovieIndTrack(movie, i);
    if (!other || other == track) continue;
    const SInt32 references = GetTrackReferenceCount(other, kChapterReference);
    for (SInt32 k = 1; k <= references; ++k) {
      if (GetTrackReference(other, kChapterReference, k) == track) return true;
    }
  }
  return false;
}

// The chapter track this track names, as an object of the same movie.
REALobject ChapterTrack(REALobject instance) {
  Track track = TrackOf(instance);
  if (!track) return nullptr;
  Track chapters = GetTrackReference(track, kChapterReference, 1);
  REALmovie movie = TrackFields(instance)->movie;
  return chapters && movie ? NewTrackObject(movie, chapters, "QTChapterTrackZQK") : nullptr;
}
