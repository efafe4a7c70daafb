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

// Where the writer put a track's sample table in the movie atom it made.
struct PlacedTable {
  int32_t serial;  // the track's
  TableBytes table;
};

// The movie atom for `movie`. Atoms kept from the file it was read from go back in,
// and so do the origin's sample tables of media whose samples are as read.
// `placed`, when given, receives where those tracks' sample tables went.
Bytes writeMovie(const Movie& movie, const MovieOrigin* origin, const WriteTarget& target,
                 std::vector<PlacedTable>* placed = nullptr);

// What writeMovie would make, with each sample table copied from the origin
// standing as a short reference to it: against one state of the origin, two
// summaries are equal exactly when the movie atoms are. Checking whether a movie
// changed costs a few kilobytes this way, not the whole atom.
Bytes summarizeMovie(const Movie& movie, const MovieOrigin* origin, const WriteTarget& target);

}  // namespace qte::file
