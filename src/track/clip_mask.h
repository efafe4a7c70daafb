// QTTrackZQK.TrackClipMask: the track's clip region shown as a black-and-white
// picture of the track's size, black inside the region, white outside.
#pragma once

#include <pelorin/sdk.h>

// Nil when the track has no clip region or it cannot be drawn; Lasterror holds
// GetTrackClipRgn's result.
REALpicture rbGetTrackClipRgn(REALobject instance);
// The black pixels of the picture become the clip region; nil, or a picture
// that cannot be read, removes the region. Lasterror holds SetTrackClipRgn's result.
void rbSetTrackClipRgn(REALobject instance, REALpicture picture);
