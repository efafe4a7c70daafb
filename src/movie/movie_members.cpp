// The `movie` members for tracks, segments, pitch and aperture modes, and the
// track's own aperture members, which follow the same rules.
//
// The movie class keeps no Lasterror: a QuickTime failure shows only in the
// member's result. kNoMovie (-1) says that there was no QuickTime movie (or
// track) to ask.
#include "movie/movie_members.h"

#include <QuickTime/Movies.h>

#include "host/host.h"
#include "host/values.h"
#include "qt/qt.h"
#include "track/track.h"

namespace {

// Flags 1 look by media type among all tracks; 5 among the enabled ones only.
REALobject TrackOfType(REALmovie movie, RBInteger index, bool enabledTracksOnly, OSType mediaType,
                       const char* className) {
  return MovieMember(movie, [&](Movie qtMovie) -> REALobject {
    const SInt32 flags = enabledTracksOnly ? movieTrackMediaType | movieTrackEnabledOnly : movieTrackMediaType;
    Track track = GetMovieIndTrackType(qtMovie, static_cast<SInt32>(index), mediaType, flags);
    return track ? NewTrackObject(movie, track, className) : nullptr;
  });
}

// A movie property of one value; `fallback` when QuickTime does not answer.
template <typename T>
T GetMovieProperty(REALmovie movie, QTPropertyClass propertyClass, QTPropertyID id, T fallback) {
  return MovieMember(movie, [&](Movie qtMovie) {
    T value{};
    ByteCount size = 0;
    return QTGetMovieProperty(qtMovie, propertyClass, id, sizeof value, &value, &size) == noErr ? value : fallback;
  });
}

// The setters drop QuickTime's answer.
template <typename T>
void SetMovieProperty(REALmovie movie, QTPropertyClass propertyClass, QTPropertyID id, T value) {
  MovieMember(movie, [&](Movie qtMovie) { QTSetMovieProperty(qtMovie, propertyClass, id, sizeof value, &value); });
}

}  // namespace

// ---- track lookup ----

RBInteger TrackCountZQK(REALmovie movie) {
  return MovieMember(movie, [](Movie m) -> RBInteger { return GetMovieTrackCount(m); }, kNoMovie);
}

REALobject GetTrackIndexZQK(REALmovie movie, RBInteger index) {
  return MovieMember(movie, [&](Movie qtMovie) -> REALobject {
    Track track = GetMovieIndTrack(qtMovie, static_cast<SInt32>(index));
    return track ? NewTrackObject(movie, track, "QTTrackZQK") : nullptr;
  });
}

REALobject GetTrackIDZQK(REALmovie movie, RBInteger id) {
  return MovieMember(movie, [&](Movie qtMovie) -> REALobject {
    Track track = GetMovieTrack(qtMovie, static_cast<SInt32>(id));
    return track ? NewTrackObject(movie, track, "QTTrackZQK") : nullptr;
  });
}

// Text tracks come back as chapter tracks, so that the chapter members apply.
REALobject GetTextTrackIndexZQK(REALmovie movie, RBInteger index, bool enabledTracksOnly) {
  return TrackOfType(movie, index, enabledTracksOnly, TextMediaType, "QTChapterTrackZQK");
}

REALobject GetVideoTrackIndexZQK(REALmovie movie, RBInteger index, bool enabledTracksOnly) {
  return TrackOfType(movie, index, enabledTracksOnly, VideoMediaType, "QTTrackZQK");
}

REALobject GetSoundTrackIndexZQK(REALmovie movie, RBInteger index, bool enabledTracksOnly) {
  return TrackOfType(movie, index, enabledTracksOnly, SoundMediaType, "QTTrackZQK");
}

// ---- audio properties ----

bool GetRateChangesPreservePitch(REALmovie movie) {
  return GetMovieProperty<Boolean>(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_RateChangesPreservePitch, 0) !=
         0;
}

void SetRateChangesPreservePitch(REALmovie movie, bool value) {
  SetMovieProperty<Boolean>(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_RateChangesPreservePitch, value ? 1 : 0);
}

double GetPitch(REALmovie movie) {
  return GetMovieProperty<Float32>(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_Pitch, 0);
}

// QuickTime keeps the pitch as a Float32: 1.1 is stored as its nearest one.
void SetPitch(REALmovie movie, double value) {
  SetMovieProperty(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_Pitch, static_cast<Float32>(value));
}

// ---- movie segments: a missing movie goes to QuickTime, which answers it ----

RBInteger rbScaleMovieSegment(REALmovie movie, RBInteger startTime, RBInteger oldDuration, RBInteger newDuration) {
  if (QuickTimeUnavailable()) return 0;
  return WidenOSErr(ScaleMovieSegment(REALgetMovieMovie(movie), static_cast<TimeValue>(startTime),
                                      static_cast<TimeValue>(oldDuration), static_cast<TimeValue>(newDuration)));
}

// The movie the member is called on is the source; `dest` receives the segment.
RBInteger rbInsertMovieSegment(REALmovie movie, REALmovie dest, RBInteger srcIn, RBInteger srcDuration,
                               RBInteger dstIn) {
  if (QuickTimeUnavailable()) return 0;
  if (!dest) return kNoMovie;
  Movie source = REALgetMovieMovie(movie);
  Movie destination = REALgetMovieMovie(dest);
  return WidenOSErr(InsertMovieSegment(source, destination, static_cast<TimeValue>(srcIn),
                                       static_cast<TimeValue>(srcDuration), static_cast<TimeValue>(dstIn)));
}

RBInteger rbInsertEmptyMovieSegment(REALmovie movie, RBInteger time, RBInteger duration) {
  if (QuickTimeUnavailable()) return 0;
  return WidenOSErr(InsertEmptyMovieSegment(REALgetMovieMovie(movie), static_cast<TimeValue>(time),
                                            static_cast<TimeValue>(duration)));
}

RBInteger rbDeleteMovieSegment(REALmovie movie, RBInteger time, RBInteger duration) {
  if (QuickTimeUnavailable()) return 0;
  return WidenOSErr(
      DeleteMovieSegment(REALgetMovieMovie(movie), static_cast<TimeValue>(time), static_cast<TimeValue>(duration)));
}

// ---- aperture modes ----

RBInteger GenerateMovieApertureModeDimensionsZQK(REALmovie movie) {
  return MovieMember(
      movie, [](Movie m) -> RBInteger { return WidenOSErr(GenerateMovieApertureModeDimensions(m)); }, kNoMovie);
}

RBInteger RemoveMovieApertureModeDimensionsZQK(REALmovie movie) {
  return MovieMember(
      movie, [](Movie m) -> RBInteger { return WidenOSErr(RemoveMovieApertureModeDimensions(m)); }, kNoMovie);
}

// Every mode but the classic one reads the dimensions, so they are made first
// when the movie has none.
RBInteger SetMovieApertureModeZQK(REALmovie movie, REALstring theApertureMode) {
  return MovieMember(
      movie,
      [&](Movie qtMovie) -> RBInteger {
        const OSType mode = REALstringToOSType(theApertureMode);
        if (mode != kQTApertureMode_Classic) {
          Boolean hasDimensions = 0;
          OSErr err = QTGetMovieProperty(qtMovie, kQTPropertyClass_Visual,
                                         kQTVisualPropertyID_HasApertureModeDimensions, sizeof hasDimensions,
                                         &hasDimensions, nullptr);
          if (err == noErr && !hasDimensions) err = GenerateMovieApertureModeDimensions(qtMovie);
          if (err != noErr) return WidenOSErr(err);
        }
        return WidenOSErr(QTSetMovieProperty(qtMovie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode,
                                             sizeof mode, &mode));
      },
      kNoMovie);
}

REALstring GetMovieApertureModeZQK(REALmovie movie) {
  return MovieMember(movie, [](Movie qtMovie) -> REALstring {
    OSType mode = 0;
    ByteCount size = 0;
    if (QTGetMovieProperty(qtMovie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, sizeof mode, &mode,
                           &size) != noErr)
      return nullptr;
    return OSTypeToString(mode);
  });
}

// ---- the track's aperture members: they never touch its Lasterror ----

RBInteger GenerateTrackApertureModeDimensionsZQK(REALobject instance) {
  return GatedMember(
      TrackOf(instance), [](Track t) -> RBInteger { return WidenOSErr(GenerateTrackApertureModeDimensions(t)); },
      kNoMovie);
}

RBInteger RemoveTrackApertureModeDimensionsZQK(REALobject instance) {
  return GatedMember(
      TrackOf(instance), [](Track t) -> RBInteger { return WidenOSErr(RemoveTrackApertureModeDimensions(t)); },
      kNoMovie);
}

// No description is passed: QuickTime takes the track's own.
RBInteger SetTrackApertureModeDimensionsUsingSampleDescriptionZQK(REALobject instance) {
  return GatedMember(
      TrackOf(instance),
      [](Track t) -> RBInteger { return WidenOSErr(SetTrackApertureModeDimensionsUsingSampleDescription(t, nullptr)); },
      kNoMovie);
}
