// The members the plugin adds to the host's `movie` class: track lookup, movie
// segment editing, the audio pitch properties and aperture modes. Each opens
// with the QuickTime availability gate and asks the host for the QuickTime movie
// on every call; nothing is kept between calls.
#pragma once

#include <pelorin/sdk.h>

// The record registered as the extension of `movie` (movie_table.cpp).
extern REALclassDefinition MovieExtensionClass;

RBInteger TrackCountZQK(REALmovie movie);
REALobject GetTrackIndexZQK(REALmovie movie, RBInteger index);
REALobject GetTrackIDZQK(REALmovie movie, RBInteger id);
REALobject GetTextTrackIndexZQK(REALmovie movie, RBInteger index, bool enabledTracksOnly);
REALobject GetVideoTrackIndexZQK(REALmovie movie, RBInteger index, bool enabledTracksOnly);
REALobject GetSoundTrackIndexZQK(REALmovie movie, RBInteger index, bool enabledTracksOnly);

bool GetRateChangesPreservePitch(REALmovie movie);
void SetRateChangesPreservePitch(REALmovie movie, bool value);
double GetPitch(REALmovie movie);
void SetPitch(REALmovie movie, double value);

RBInteger rbScaleMovieSegment(REALmovie movie, RBInteger startTime, RBInteger oldDuration, RBInteger newDuration);
RBInteger rbInsertMovieSegment(REALmovie movie, REALmovie dest, RBInteger srcIn, RBInteger srcDuration,
                               RBInteger dstIn);
RBInteger rbInsertEmptyMovieSegment(REALmovie movie, RBInteger time, RBInteger duration);
RBInteger rbDeleteMovieSegment(REALmovie movie, RBInteger time, RBInteger duration);

RBInteger GenerateMovieApertureModeDimensionsZQK(REALmovie movie);
RBInteger RemoveMovieApertureModeDimensionsZQK(REALmovie movie);
RBInteger SetMovieApertureModeZQK(REALmovie movie, REALstring theApertureMode);
REALstring GetMovieApertureModeZQK(REALmovie movie);
