// Segment copying between tracks and medias; edit lists themselves are in model.h.
#pragma once

#include "model.h"

namespace qte {

// Appends to `dst` the samples of `src` covering media times [from, to) and returns
// the destination media time that corresponds to `from`.
OSErr copyMediaRange(const Media& src, Media& dst, int64_t from, int64_t to, int64_t* dstFrom);
// Copies [srcIn, srcIn+srcDuration) of src (its movie's time scale) into dst at
// dstIn (dst's movie's time scale), copying samples when the tracks do not share them.
OSErr insertSegment(Track& src, Track& dst, int64_t srcIn, int64_t srcDuration, int64_t dstIn);
// A new track in `movie` with src's settings and an empty media like src's.
Track* addTrackLike(Movie& movie, const Track& src);

}  // namespace qte
