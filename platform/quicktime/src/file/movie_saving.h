// Saving a movie into its own file: the writes are planned first, in an order
// where a stop after any of them leaves a file holding the old movie or the new
// one, and then carried out with a sync after each.
#pragma once

#include "movie_writer.h"

namespace qte::file {

// An atom at the top level of a file.
struct TopAtom {
  OSType type;
  uint64_t offset;
  uint64_t size;
  bool toEnd;  // its size field is 0: it runs to the end of the file
  uint8_t header;  // 8, or 16 with a 64-bit size
};

// Lists the top-level atoms of a file of `fileSize` bytes read through `readAt`.
// An atom cut off by the end of the file after the first movie atom ends the list
// (an interrupted save leaves one); before it, it is an error.
OSErr scanTopLevel(int fd, uint64_t fileSize, std::vector<TopAtom>& out, Failure& fail);

// One write: a few bytes of its own, or a stretch of the new movie atom (which
// is not copied again for it).
struct WriteStep {
  uint64_t offset;
  Bytes bytes;
  size_t moovFrom = 0, moovSize = 0;

  uint64_t size() const { return moovSize ? moovSize : bytes.size(); }

  // Hands what to write to out(data, size), piece by piece, given the plan's movie atom.
  template <class Out>
  bool forEach(const WrittenAtom& moov, Out out) const {
    return moovSize ? moov.forEach(moovFrom, moovSize, out) : out(bytes.data(), bytes.size());
  }
};

// The writes that save `movie` into the file whose top level is `top`: each must
// be durable before the next starts. `moov` receives the new movie atom, `moovAt`
// where it goes and `placed` where its sample tables lie in it. An empty plan
// means the file already holds this movie.
OSErr planUpdate(const Movie& movie, const std::string& path,
                 const std::vector<TopAtom>& top, uint64_t fileSize, std::vector<WriteStep>& plan,
                 WrittenAtom& moov, uint64_t& moovAt, std::vector<PlacedTable>& placed, Failure& fail);

}  // namespace qte::file
