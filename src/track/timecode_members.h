// The QTTrackZQK members for time code tracks: time codes at a media time or at
// the movie's current time, and conversions between frame numbers, time codes
// and text. Each starts with Lasterror -1 and works through the track's handler.
#pragma once

#include <pelorin/sdk.h>

REALobject rbTCGetTimeCodeAtTime(REALobject instance, RBInteger mediaTime);
REALobject rbTCGetCurrentTimeCode(REALobject instance);
void rbTCFrameNumberToTimeCode(REALobject instance, REALobject timeCode);
void rbTCTimeCodeToFrameNumber(REALobject instance, REALobject timeCode);
REALstring rbTCTimeCodeToString(REALobject instance, REALobject timeCode);
