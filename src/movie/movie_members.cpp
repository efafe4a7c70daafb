// The `movie` members for tracks, segments, pitch and aperture modes, and the
// track's own aperture members, which follow the same rules.
//
// The movie class keeps no Lasterror: a QuickTime failure shows only in the
// member's result. -1, which QuickTime never answers, says that there was no
// QuickTime movie (or track) to ask.
#include "movie/movie_members.h"

#include <QuickTime/Movies.h>

#include "host/host.h"
#include "host/values.h"
#include "qt/qt.h"
#include "track/track.h"

namespace {

constexpr RBInteger kUnavailable = -1;

// Null when the object is nil, the host cannot answer, or no QuickTime movie
// stands behind it.
Movie QuickTimeMovie(REALmovie movie) { return REALgetMovieMovie(movie); }

// A track of `movie`, or nil when QuickTime found none.
REALobject TrackObject(REALmovie movie, Track track, const char* className) {
  return track ? NewTrackObject(movie, track, className) : nullptr;
}

// Flags 1 look by media type among all tracks; 5 among the enabled ones only.
REALobject TrackOfType(REALmovie movie, RBInteger index, bool enabledTracksOnly, OSType mediaType,
                       const char* className) {
  if (QuickTimeUnavailable()) return nullptr;
  Movie qtMovie = QuickTimeMovie(movie);
  if (!qtMovie) return nullptr;
  const SInt32 flags = enabledTracksOnly ? movieTrackMediaType | movieTrackEnabledOnly : movieTrackMediaType;
  return TrackObject(movie, GetMovieIndTrackType(qtMovie, static_cast<SInt32>(index), mediaType, flags), className);
}

}  // namespace

// ---- track lookup ----

RBInteger TrackCountZQK(REALmovie movie) {
  if (QuickTimeUnavailable()) return 0;
  Movie qtMovie = QuickTimeMovie(movie);
  return qtMovie ? GetMovieTrackCount(qtMovie) : kUnavailable;
}

REALobject GetTrackIndexZQK(REALmovie movie, RBInteger index) {
  if (QuickTimeUnavailable()) return nullptr;
  Movie qtMovie = QuickTimeMovie(movie);
  if (!qtMovie) return nullptr;
  return TrackObject(movie, GetMovieIndTrack(qtMovie, static_cast<SInt32>(index)), "QTTrackZQK");
}

REALobject GetTrackIDZQK(REALmovie movie, RBInteger id) {
  if (QuickTimeUnavailable()) return nullptr;
  Movie qtMovie = QuickTimeMovie(movie);
  if (!qtMovie) return nullptr;
  return TrackObject(movie, GetMovieTrack(qtMovie, static_cast<SInt32>(id)), "QTTrackZQK");
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

// ---- audio properties: the setters drop QuickTime's answer ----

bool GetRateChangesPreservePitch(REALmovie movie) {
  if (QuickTimeUnavailable()) return false;
  Movie qtMovie = QuickTimeMovie(movie);
  if (!qtMovie) return false;
  Boolean value = 0;
  ByteCount size = 0;
  const OSErr err = QTGetMovieProperty(qtMovie, kQTPropertyClass_Audio, kQTAudioPropertyID_RateChangesPreservePitch,
                                       sizeof value, &value, &size);
  return err == noErr && value != 0;
}

void SetRateChangesPreservePitch(REALmovie movie, bool value) {
  if (QuickTimeUnavailable()) return;
  Movie qtMovie = QuickTimeMovie(movie);
  if (!qtMovie) return;
  const Boolean byte = value ? 1 : 0;
  QTSetMovieProperty(qtMovie, kQTPropertyClass_Audio, kQTAudioPropertyID_RateChangesPreservePitch, sizeof byte, &byte);
}

double GetPitch(REALmovie movie) {
  if (QuickTimeUnavailable()) return 0.0;
  Movie qtMovie = QuickTimeMovie(movie);
  if (!qtMovie) return 0.0;
  Float32 value = 0;
  ByteCount size = 0;
  const OSErr err =
      QTGetMovieProperty(qtMovie, kQTPropertyClass_Audio, kQTAudioPropertyID_Pitch, sizeof value, &value, &size);
  return err == noErr ? static_cast<double>(value) : 0.0;
}

// QuickTime keeps the pitch as a Float32: 1.1 is stored as its nearest one.
void SetPitch(REALmovie movie, double value) {
  if (QuickTimeUnavailable()) return;
  Movie qtMovie = QuickTimeMovie(movie);
  if (!qtMovie) return;
  const Float32 pitch = static_cast<Float32>(value);
  QTSetMovieProperty(qtMovie, kQTPropertyClass_Audio, kQTAudioPropertyID_Pitch, sizeof pitch, &pitch);
}

// ---- movie segments: a missing movie goes to QuickTime, which answers it ----

RBInteger rbScaleMovieSegment(REALmovie movie, RBInteger startTime, RBInteger oldDuration, RBInteger newDuration) {
  if (QuickTimeUnavailable()) return 0;
  return WidenOSErr(ScaleMovieSegment(QuickTimeMovie(movie), static_cast<TimeValue>(startTime),
                                      static_cast<TimeValue>(oldDuration), static_cast<TimeValue>(newDuration)));
}

// The movie the member is called on is the source; `dest` receives the segment.
RBInteger rbInsertMovieSegment(REALmovie movie, REALmovie dest, RBInteger srcIn, RBInteger srcDuration,
                               RBInteger dstIn) {
  if (QuickTimeUnavailable()) return 0;
  if (!dest) return kUnavailable;
  Movie source = QuickTimeMovie(movie);
  Movie destination = QuickTimeMovie(dest);
  return WidenOSErr(InsertMovieSegment(source, destination, static_cast<TimeValue>(srcIn),
                                       static_cast<TimeValue>(srcDuration), static_cast<TimeValue>(dstIn)));
}

RBInteger rbInsertEmptyMovieSegment(REALmovie movie, RBInteger time, RBInteger duration) {
  if (QuickTimeUnavailable()) return 0;
  return WidenOSErr(
      InsertEmptyMovieSegment(QuickTimeMovie(movie), static_cast<TimeValue>(time), static_cast<TimeValue>(duration)));
}

RBInteger rbDeleteMovieSegment(REALmovie movie, RBInteger time, RBInteger duration) {
  if (QuickTimeUnavailable()) return 0;
  return WidenOSErr(
      DeleteMovieSegment(QuickTimeMovie(movie), static_cast<TimeValue>(time), static_cast<TimeValue>(duration)));
}

// ---- aperture modes ----

RBInteger GenerateMovieApertureModeDimensionsZQK(REALmovie movie) {
  if (QuickTimeUnavailable()) return 0;
  Movie qtMovie = QuickTimeMovie(movie);
  return qtMovie ? WidenOSErr(GenerateMovieApertureModeDimensions(qtMovie)) : kUnavailable;
}

RBInteger RemoveMovieApertureModeDimensionsZQK(REALmovie movie) {
  if (QuickTimeUnavailable()) return 0;
  Movie qtMovie = QuickTimeMovie(movie);
  return qtMovie ? WidenOSErr(RemoveMovieApertureModeDimensions(qtMovie)) : kUnavailable;
}

// Every mode but the classic one reads the dimensions, so they are made first
// when the movie has none.
RBInteger SetMovieApertureModeZQK(REALmovie movie, REALstring theApertureMode) {
  if (QuickTimeUnavailable()) return 0;
  Movie qtMovie = QuickTimeMovie(movie);
  if (!qtMovie) return kUnavailable;
  const OSType mode = REALstringToOSType(theApertureMode);
  if (mode != kQTApertureMode_Classic) {
    Boolean hasDimensions = 0;
    OSErr err = QTGetMovieProperty(qtMovie, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions,
                                   sizeof hasDimensions, &hasDimensions, nullptr);
    if (err != noErr) return WidenOSErr(err);
    if (!hasDimensions) {
      err = GenerateMovieApertureModeDimensions(qtMovie);
      if (err != noErr) return WidenOSErr(err);
    }
  }
  return WidenOSErr(QTSetMovieProperty(qtMovie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode,
                                       sizeof mode, &mode));
}

REALstring GetMovieApertureModeZQK(REALmovie movie) {
  if (QuickTimeUnavailable()) return nullptr;
  Movie qtMovie = QuickTimeMovie(movie);
  if (!qtMovie) return nullptr;
  OSType mode = 0;
  ByteCount size = 0;
  if (QTGetMovieProperty(qtMovie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, sizeof mode, &mode,
                         &size) != noErr)
    return nullptr;
  return OSTypeToString(mode);
}

// ---- the track's aperture members: they never touch its Lasterror ----

RBInteger GenerateTrackApertureModeDimensionsZQK(REALobject instance) {
  if (QuickTimeUnavailable()) return 0;
  Track track = TrackOf(instance);
  return track ? WidenOSErr(GenerateTrackApertureModeDimensions(track)) : kUnavailable;
}

RBInteger RemoveTrackApertureModeDimensionsZQK(REALobject instance) {
  if (QuickTimeUnavailable()) return 0;
  Track track = TrackOf(instance);
  return track ? WidenOSErr(RemoveTrackApertureModeDimensions(track)) : kUnavailable;
}

// No description is passed: QuickTime takes the track's own.
RBInteger SetTrackApertureModeDimensionsUsingSampleDescriptionZQK(REALobject instance) {
  if (QuickTimeUnavailable()) return 0;
  Track track = TrackOf(instance);
  return track ? WidenOSErr(SetTrackApertureModeDimensionsUsingSampleDescription(track, nullptr)) : kUnavailable;
}
