// Writing the model as a movie atom.
#pragma once

#include "movie_origin.h"

#include <algorithm>
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

// A movie atom as the writer makes it: its own bytes with, at given places,
// stretches borrowed from elsewhere (the file's sample tables as read), which go
// out from where they lie rather than being copied in.
struct WrittenAtom {
  struct Borrowed {
    size_t at;  // the place in `own` they go before
    const uint8_t* data;
    size_t size;
  };
  Bytes own;
  std::vector<Borrowed> borrowed;  // in order of `at`

  size_t size() const;
  // Hands the `n` bytes from `from` to out(data, size) in order, in as few pieces as they lie in.
  template <class Out>
  bool forEach(size_t from, size_t n, Out out) const;
  Bytes flat() const;
};

// A sample table the writer made for a track whose samples are as read (its
// channel layout changed, say): where it lies in the atom's own bytes.
struct PlacedTable {
  int32_t serial;  // the track's
  size_t at, size;
  Bytes channelLayout;
  size_t dataRefs;
};

// Whether `movie` can be written without losing what its file holds; if not,
// `fail` names the atom the model could not represent. Saves ask before writing.
bool writable(const Movie& movie, Failure& fail);

// The movie atom for `movie`. Atoms kept from the file it was read from go back in,
// and so do, borrowed, the file's sample tables of media whose samples are as
// read. `placed`, when given, receives the sample tables of such media made anew.
WrittenAtom writeMovie(const Movie& movie, const WriteTarget& target, std::vector<PlacedTable>* placed = nullptr);

// What writeMovie would make, with each sample table copied from its file
// standing as a short reference to it: against one state of the origins, two
// summaries are equal exactly when the movie atoms are. Checking whether a movie
// changed costs a few kilobytes this way, not the whole atom.
Bytes summarizeMovie(const Movie& movie, const WriteTarget& target);

template <class Out>
bool WrittenAtom::forEach(size_t from, size_t n, Out out) const {
  size_t pos = 0;   // in the whole atom
  size_t mine = 0;  // in `own`
  auto piece = [&](const uint8_t* data, size_t size) {
    size_t lo = std::max(pos, from), hi = std::min(pos + size, from + n);
    pos += size;
    return lo >= hi || out(data + (lo - (pos - size)), hi - lo);
  };
  for (const Borrowed& b : borrowed) {
    if (!piece(own.data() + mine, b.at - mine) || !piece(b.data, b.size)) return false;
    mine = b.at;
  }
  return piece(own.data() + mine, own.size() - mine);
}

}  // namespace qte::file
