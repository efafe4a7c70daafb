// QTUserDataZQK: a QuickTime user-data list, either borrowed from a movie or
// track (edits go straight into it) or owned by the object.
#pragma once

#include <pelorin/sdk.h>

#include "metadata/user_data_instance.h"

extern REALclassDefinition QTUserDataZQKClass;

// UserDataZQK of `movie`: the movie's own list, borrowed; nil without one.
REALobject rbGetMovieUserData(REALmovie movie);
// UserData of a QTTrackZQK: the track's own list, borrowed; nil without one.
REALobject rbGetTrackUserData(REALobject track);
