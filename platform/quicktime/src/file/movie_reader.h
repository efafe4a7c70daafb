// Reading movie atoms into the model.
#pragma once

#include "children.h"
#include "movie_origin.h"

namespace qte::file {

// Fills `movie` (new and empty) from the movie atom `moov` of the file at
// `filePath`, recording in `origin`, the tracks and their stores what the model
// has no place for; `holder` keeps `moov`'s bytes alive. A sample table byte for
// byte one that a store of `known` was read from (with as many data references)
// takes that store rather than being read again: the same bytes read the same,
// and a long movie's tables are most of the reading.
OSErr readMovie(const Atom& moov, std::shared_ptr<const void> holder, const std::string& filePath,
                uint64_t fileSize, Movie& movie, MovieOrigin& origin, Failure& fail, const Movie* known = nullptr);

// Fills `out` from a sample table atom. Samples of chunks kept in the file at
// `filePath` must lie within its `fileSize` bytes. Children the model has no
// place for are kept in `layout`; failures go to `walk`.
bool readSampleTable(const Atom& stbl, const std::vector<DataRef>& refs, const std::string& filePath,
                     uint64_t fileSize, SampleStore& out, Layout& layout, Walk& walk);

}  // namespace qte::file
