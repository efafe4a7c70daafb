// Time code tracks: a 'tmcd' track that the video track names with a 'tmcd'
// reference, whose one sample holds the start frame number and lasts the whole
// movie. The `movie` members that add, find, read, show and delete them.
#pragma once

#include <pelorin/sdk.h>

RBInteger AddTimeCodeToMovie(REALmovie movie, REALobject parameters);
void DeleteTimeCodeTracks(REALmovie movie);
bool MovieHasTimeCodeTrack(REALmovie movie);
REALstring GetCurrentTimeCodeString(REALmovie movie);
bool Movie_GetTimeCodeDisplay(REALmovie movie);
void Movie_SetTimeCodeDisplay(REALmovie movie, bool value);
