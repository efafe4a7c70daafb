// Writing the model as a movie atom (QTFF "Movie atoms"). Writing is strict:
// every count matches its entries, 'co64' replaces 'stco' once an offset passes
// 32 bits, and version-1 headers carry durations past 32 bits.
#include "families/writer.h"

namespace qte::file {

size_t WrittenAtom::size() const {
  size_t n = own.size();
  for (const Borrowed& b : borrowed) n += b.size;
  return n;
}

Bytes WrittenAtom::flat() const {
  Bytes out;
  out.reserve(size());
  forEach(0, size(), [&](const uint8_t* p, size_t n) {
    out.insert(out.end(), p, p + n);
    return true;
  });
  return out;
}

bool writable(const Movie& movie, Failure& fail) {
  for (const auto& t : movie.tracks)
    if (const TrackOrigin* o = t->origin.get(); o && !o->unsavable.empty()) {
      fail = {badPublicMovieAtom, o->unsavable + "; saving would lose it, so the movie cannot be saved"};
      return false;
    }
  return true;
}

WrittenAtom writeMovie(const Movie& movie, const WriteTarget& target, std::vector<PlacedTable>* placed) {
  if (placed) placed->clear();
  return Writer(movie, target, false, placed).written();
}

Bytes summarizeMovie(const Movie& movie, const WriteTarget& target) {
  return Writer(movie, target, true, nullptr).movie();
}

}  // namespace qte::file
