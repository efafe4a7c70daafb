// Audio channel layouts: a sound track's ('audi'/'tlay') and the summary of a
// movie's sound tracks ('audi'/'clay'), as objects of the classes
// QTAudioChannelLayoutZQK and QTAudioChannelDescriptionZQK. Another plugin
// library registers those two classes; this one finds them by name.
#pragma once

#include <pelorin/sdk.h>

// QTTrackZQK.AudioChannelLayout. The getter answers a new layout object or nil;
// both set Lasterror.
REALobject rbGetTrackAudioChannelLayout(REALobject instance);
void rbSetTrackAudioChannelLayout(REALobject instance, REALobject layout);

// movie.AudioSummaryChannelLayoutZQK: a new layout object or nil.
REALobject rbGetAudioSummaryChannelLayout(REALmovie movie);
