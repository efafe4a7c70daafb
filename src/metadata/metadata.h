// QTMetaDataZQK: one QuickTime metadata container of a movie or track, holding
// one reference of its own; its items are QTMetaDataItemZQK objects.
#pragma once

#include <pelorin/sdk.h>

#include "metadata/metadata_instance.h"

extern REALclassDefinition QTMetaDataZQKClass;

// MetaDataZQK of `movie`: a new container object on the movie's metadata; nil
// without a movie or when QuickTime gives none.
REALobject rbQTCopyMovieMetaData(REALmovie movie);
// MetaData of a QTTrackZQK: the same for the track, whose Lasterror gets
// QuickTime's result.
REALobject rbQTCopyTrackMetaData(REALobject track);
