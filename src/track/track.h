// QTTrackZQK: one QuickTime track of a host movie, and QTChapterTrackZQK, which
// shares its instance data. Every member reached through a track reads the track
// from the object's instance data with the helpers below.
#pragma once

#include <pelorin/sdk.h>

#include <QuickTime/Movies.h>

#include <cstdint>

#include "plugin/members.h"
#include "track/track_instance.h"

extern REALclassDefinition QTTrackZQKClass;
extern REALclassDefinition QTChapterTrackZQKClass;

// The instance data of a QTTrackZQK or QTChapterTrackZQK (located through the
// QTTrackZQK definition for both); null for nil.
TrackInstance* TrackFields(REALobject instance);
// The object's QuickTime track; null for nil or an object that holds none.
Track TrackOf(REALobject instance);
// The track's media, and its media handler; null when any link is missing.
Media MediaOf(REALobject instance);
MediaHandler HandlerOf(REALobject instance);

// `body(track)`, or `missing` (0, nil, false) when the object holds no track.
template <typename Body, typename R = std::invoke_result_t<Body&, Track>>
R WithTrack(REALobject instance, Body&& body, member_detail::NeutralOf<R> missing = {}) {
  return WithReference(TrackOf(instance), body, missing);
}
// The same for the track's media.
template <typename Body, typename R = std::invoke_result_t<Body&, Media>>
R WithMedia(REALobject instance, Body&& body, member_detail::NeutralOf<R> missing = {}) {
  return WithReference(MediaOf(instance), body, missing);
}

// A recording member's hold on its track object: Lasterror reads -1 from the
// moment it is made (the LastError rule, plugin/members.h) until a result is
// recorded.
class TrackCall {
 public:
  explicit TrackCall(REALobject instance);

  Track track() const { return track_; }
  Media media() const;
  MediaHandler handler() const;

  template <typename Result>
  Result Record(Result result) {
    return lastError_.Record(result);
  }
  // For calls whose own answer is the one GetMoviesError gives.
  void RecordMoviesError() { lastError_.Record(GetMoviesError()); }
  void Set(int32_t value) { lastError_.Set(value); }

 private:
  LastError lastError_;
  Track track_;
};

// Makes a track object of `className` ("QTTrackZQK" or "QTChapterTrackZQK") that
// holds `track` and a lock on `movie`. Callers check that neither is missing. Nil
// when the host cannot make the object. The object is a new reference the caller
// returns to the host.
REALobject NewTrackObject(REALmovie movie, Track track, const char* className);

// ---- members listed in track_table.cpp (track.cpp) ----

void TrackConstructor(REALobject instance);
void TrackDestructor(REALobject instance);

void rbScaleTrackSegment(REALobject instance, RBInteger startTime, RBInteger oldDuration, RBInteger newDuration);
void rbInsertTrackSegment(REALobject instance, REALobject dest, RBInteger srcIn, RBInteger srcDuration,
                          RBInteger dstIn);
void rbInsertEmptyTrackSegment(REALobject instance, RBInteger time, RBInteger duration);
void rbDeleteTrackSegment(REALobject instance, RBInteger time, RBInteger duration);
bool rbGetTrackNextInterestingTime(REALobject instance, RBInteger* time, RBInteger* duration);
bool rbGetTrackNextInterestingTimeAtRate(REALobject instance, RBInteger* time, RBInteger* duration, double rate);
RBInteger rbGetTrackDuration(REALobject instance);
RBInteger rbGetTrackOffset(REALobject instance);
void rbSetTrackOffset(REALobject instance, RBInteger value);
RBInteger rbGetTrackLayer(REALobject instance);
void rbSetTrackLayer(REALobject instance, RBInteger value);
REALobject rbAddClonedTrackToMovie(REALobject instance, REALmovie dest, RBInteger flags);
RBInteger rbGetTrackCreationTime(REALobject instance);
RBInteger rbGetTrackModificationTime(REALobject instance);
bool rbGetTrackEnabled(REALobject instance);
void rbSetTrackEnabled(REALobject instance, bool value);
void rbSetTrackDimensions(REALobject instance, double width, double height);
RBInteger rbGetTrackID(REALobject instance);
RBInteger rbGetTrackVolume(REALobject instance);
void rbSetTrackVolume(REALobject instance, RBInteger value);
RBInteger rbGetTrackWidth(REALobject instance);
RBInteger rbGetTrackHeight(REALobject instance);
RBInteger rbGetMediaHandlerHandle(REALobject instance);
RBInteger rbGetMediaHandle(REALobject instance);
void rbSetTrackMatrix(REALobject instance, RBInteger x, RBInteger y, RBInteger w, RBInteger h);
void rbSetTrackRawMatrix(REALobject instance, RBInteger matrix00, RBInteger matrix01, RBInteger matrix02,
                         RBInteger matrix10, RBInteger matrix11, RBInteger matrix12, RBInteger matrix20,
                         RBInteger matrix21, RBInteger matrix22);
void rbGetTrackRawMatrix(REALobject instance, RBInteger* matrix00, RBInteger* matrix01, RBInteger* matrix02,
                         RBInteger* matrix10, RBInteger* matrix11, RBInteger* matrix12, RBInteger* matrix20,
                         RBInteger* matrix21, RBInteger* matrix22);
void rbDeleteTrackReference(REALobject instance, REALstring type, RBInteger index);

// The track's aperture members live with the movie's (movie/movie_members.cpp).
RBInteger GenerateTrackApertureModeDimensionsZQK(REALobject instance);
RBInteger RemoveTrackApertureModeDimensionsZQK(REALobject instance);
RBInteger SetTrackApertureModeDimensionsUsingSampleDescriptionZQK(REALobject instance);
