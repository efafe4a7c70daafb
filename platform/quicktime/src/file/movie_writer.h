// Writing the model as a movie atom.
#pragma once

#include "movie_origin.h"

#include <functional>

namespace qte::file {

struct WriteTarget {
  std::string path;       // the file the movie atom goes into: references to it are self references
  bool allSelf = false;   // flattening: every sample the movie uses is in that file
  bool enabledOnly = false;  // flattening the active tracks only: disabled ones are left out
  // Chunks already in a file keep the offsets they have (a save in place).
  bool offsetsAsStored = false;
  // Where chunk `index` of the track's media lies in its file.
  std::function<uint64_t(const Track&, size_t index)> chunkOffset;
};

// The movie atom for `movie`. Atoms kept from the file it was read from go back in.
Bytes writeMovie(const Movie& movie, const MovieOrigin* origin, const WriteTarget& target);

}  // namespace qte::file
