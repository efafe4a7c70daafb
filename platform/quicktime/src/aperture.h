// Aperture modes: the clean, production and encoded-pixels dimensions a visual
// track has from its image description, and the track size each mode gives.
#pragma once

#include "model.h"

namespace qte {

bool knownApertureMode(OSType mode);
// Whether any track of the movie has aperture dimensions.
bool hasApertureDimensions(const Movie& m);
// Sets each track's size from its dimensions for the movie's aperture mode.
void applyApertureMode(Movie& m);

}  // namespace qte
