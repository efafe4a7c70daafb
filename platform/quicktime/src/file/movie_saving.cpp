// Planning a save in place (QTFF 1.5: the movie atom is rewritten, the sample
// bytes stay put). The order of writes is what makes it crash-safe, because a
// reader takes the first movie atom of a file:
//   1. stale movie atoms after the live one (left by an interrupted save) become
//      'free', so that none of them can come forward later, and so do bytes
//      past the last whole atom (harmless to the reader at any moment);
//   2. new sample bytes go into a new 'mdat' past the last atom;
//   3. the new movie atom is written into a 'free' atom it fits (one that no
//      chunk starts in: a file may hold samples in one), body first and
//      header last, or else at the end of the file; neighbouring 'free' atoms
//      become one first (one size written) when only together they fit;
//   4. the old movie atom's type becomes 'free' — the switch.
// Until step 4 the old movie atom is the first one (or, when the new one lands
// in free space before it, the new one is complete before its header makes it
// first); after it, only the new one remains.
#include "movie_saving.h"

#include "../data_handler.h"
#include "movie_writer.h"

#include <algorithm>
#include <map>

namespace qte::file {

namespace {

constexpr size_t kMaxTopLevelAtoms = 1 << 20;

Bytes header32(uint64_t size, OSType type) {
  Bytes b;
  put32(b, uint32_t(size));
  put32(b, type);
  return b;
}

}  // namespace

OSErr scanTopLevel(int fd, uint64_t fileSize, std::vector<TopAtom>& out, Failure& fail) {
  uint64_t at = 0;
  bool haveMovie = false;
  auto bad = [&](const std::string& what) {
    fail.err = badPublicMovieAtom;
    fail.message = "top level at offset " + std::to_string(at) + ": " + what;
    return fail.err;
  };
  while (at < fileSize) {
    if (out.size() >= kMaxTopLevelAtoms) return bad("too many top-level atoms");
    uint8_t h[16];
    uint64_t left = fileSize - at;
    size_t want = left < 16 ? size_t(left) : 16;
    if (!readAll(fd, at, h, want)) {
      fail.err = ioErr;
      fail.message = "reading the atom header at offset " + std::to_string(at) + " failed";
      return ioErr;
    }
    // Up to 7 zero bytes may pad the end of a file.
    if (left < 8) {
      bool zeros = true;
      for (size_t k = 0; k < want; ++k) zeros = zeros && h[k] == 0;
      if (zeros || haveMovie) break;
      return bad("stray bytes at the end of the file");
    }
    uint64_t size = get32(h);
    OSType type = get32(h + 4);
    bool toEnd = false;
    uint64_t header = 8;
    if (size == 1) {
      if (left < 16) {
        if (haveMovie) break;
        return bad("64-bit atom size cut off");
      }
      size = get64(h + 8);
      header = 16;
    } else if (size == 0) {
      size = left;
      toEnd = true;
    }
    if (size < header || size > left) {
      if (haveMovie) break;  // an interrupted append after the movie
      return bad("atom '" + fourccText(type) + "' of " + std::to_string(size) + " bytes does not fit the file (" +
                 std::to_string(left) + " bytes left)");
    }
    out.push_back({type, at, size, toEnd, uint8_t(header)});
    haveMovie = haveMovie || type == "moov"_4cc;
    at += size;
  }
  return noErr;
}

namespace {

// Bytes past the last whole atom (an interrupted append, or an atom whose size
// runs past the end) are left to nobody: they become one 'free' atom, or other
// readers would take them for atoms. Moves `end` past it.
Bytes freeTail(uint64_t& end, uint64_t fileSize) {
  Bytes tail;
  if (end >= fileSize) return tail;
  const uint64_t left = std::max<uint64_t>(fileSize - end, 8);
  if (left > UINT32_MAX) {
    put32(tail, 1);
    put32(tail, "free"_4cc);
    put64(tail, left);
  } else {
    tail = header32(left, "free"_4cc);
  }
  end += left;
  return tail;
}

// New samples: each store's in-memory bytes, one after the other, in one
// 'mdat'. Fills where each store's bytes start in it; answers their total.
uint64_t newSampleBases(const Movie& movie, std::map<const SampleStore*, uint64_t>& base) {
  uint64_t newBytes = 0;
  for (const auto& t : movie.tracks) {
    if (!t->media) continue;
    const SampleStore& s = t->media->samples();
    bool used = false;
    for (const Chunk& c : s.table.chunks()) used = used || c.inMemory();
    if (!used || base.count(&s)) continue;
    base[&s] = newBytes;
    newBytes += s.memory.size();
  }
  return newBytes;
}

WriteStep newDataAtom(uint64_t at, uint64_t header, uint64_t newBytes,
                      const std::map<const SampleStore*, uint64_t>& base) {
  WriteStep mdat{at, {}};
  Bytes& b = mdat.bytes;
  b.reserve(header + newBytes);
  if (header == 16) {
    put32(b, 1);
    put32(b, "mdat"_4cc);
    put64(b, newBytes + 16);
  } else {
    b = header32(newBytes + 8, "mdat"_4cc);
  }
  // In the order their offsets were given.
  std::vector<std::pair<uint64_t, const SampleStore*>> order;
  for (const auto& [store, start] : base) order.push_back({start, store});
  std::sort(order.begin(), order.end());
  for (const auto& [start, store] : order) b.insert(b.end(), store->memory.begin(), store->memory.end());
  return mdat;
}

// Free atoms (in file order) before `end`, less those that still hold sample
// bytes: an atom retyped 'free' over samples is not free while a chunk starts in it.
std::vector<const TopAtom*> freeAtoms(const Movie& movie, const std::vector<TopAtom>& top, uint64_t end) {
  std::vector<const TopAtom*> spare;
  for (const TopAtom& a : top)
    if ((a.type == "free"_4cc || a.type == "skip"_4cc) && !a.toEnd && a.offset + a.size <= end) spare.push_back(&a);
  if (spare.empty()) return spare;
  // The spare atom a chunk starts in, or none. A chunk in memory has its top
  // bit set, which puts it past every atom.
  auto in = [&](uint64_t place) -> size_t {
    if (spare.size() <= 4) {  // the usual few: a scan is cheaper than a search
      for (size_t i = 0; i < spare.size(); ++i)
        if (place - spare[i]->offset < spare[i]->size) return i;
      return spare.size();
    }
    auto after = std::upper_bound(spare.begin(), spare.end(), place,
                                  [](uint64_t at, const TopAtom* a) { return at < a->offset; });
    if (after == spare.begin() || place - (*(after - 1))->offset >= (*(after - 1))->size) return spare.size();
    return size_t(after - 1 - spare.begin());
  };
  std::vector<bool> held(spare.size());
  for (const auto& t : movie.tracks)
    if (t->media)
      for (const Chunk& c : t->media->samples().table.chunks())
        if (size_t i = in(c.place); i < spare.size()) held[i] = true;
  std::vector<const TopAtom*> free;
  for (size_t i = 0; i < spare.size(); ++i)
    if (!held[i]) free.push_back(spare[i]);
  return free;
}

struct Room {
  uint64_t at = 0, size = 0;
  bool merge = false;  // neighbouring free atoms become one first
};

// A free atom a movie atom of `size` bytes fits, else the first run of
// neighbouring ones that it fits together, as long as one 32-bit size can
// cover them; size 0 when there is none.
Room roomFor(uint64_t size, const std::vector<TopAtom>& top, const std::vector<const TopAtom*>& spare) {
  auto fits = [&](uint64_t room) { return room == size || room >= size + 8; };
  auto isFree = [&](const TopAtom& a) { return std::binary_search(spare.begin(), spare.end(), &a); };
  for (const TopAtom& a : top)
    if (isFree(a) && fits(a.size)) return {a.offset, a.size, false};
  for (size_t i = 0; i < top.size(); ++i) {
    if (!isFree(top[i]) || top[i].header != 8) continue;
    uint64_t total = top[i].size;
    for (size_t k = i + 1; k < top.size() && isFree(top[k]) && total <= UINT32_MAX; ++k) {
      total += top[k].size;
      if (fits(total) && total <= UINT32_MAX) return {top[i].offset, total, true};
    }
  }
  return {};
}

// Steps 3 and 4: the movie atom into `room`, body first and header last, or
// at `next`, the end of the file; then the live one's type becomes 'free'.
void placeMovieAtom(const Room& room, uint64_t size, uint64_t next, const TopAtom* live,
                    std::vector<WriteStep>& plan, uint64_t& moovAt) {
  if (room.size) {
    if (room.merge) {
      Bytes merged;
      put32(merged, uint32_t(room.size));
      plan.push_back({room.at, merged});
    }
    plan.push_back({room.at + 8, {}, 8, size - 8});
    if (room.size > size) plan.push_back({room.at + size, header32(room.size - size, "free"_4cc)});
    plan.push_back({room.at, {}, 0, 8});
    moovAt = room.at;
  } else {
    plan.push_back({next, {}, 0, size});
    moovAt = next;
  }
  if (live) plan.push_back({live->offset + 4, Bytes{'f', 'r', 'e', 'e'}});
}

}  // namespace

OSErr planUpdate(const Movie& movie, const std::string& path,
                 const std::vector<TopAtom>& top, uint64_t fileSize, std::vector<WriteStep>& plan,
                 WrittenAtom& moov, uint64_t& moovAt, std::vector<PlacedTable>& placed, Failure& fail) {
  plan.clear();
  uint64_t end = top.empty() ? 0 : top.back().offset + top.back().size;
  if (end > fileSize) end = fileSize;
  const uint64_t tailAt = end;
  Bytes tail = freeTail(end, fileSize);

  std::map<const SampleStore*, uint64_t> base;
  const uint64_t newBytes = newSampleBases(movie, base);
  const uint64_t mdatHeader = newBytes + 8 > UINT32_MAX ? 16 : 8;
  const uint64_t dataAt = end + mdatHeader;

  WriteTarget target;
  target.path = path;
  target.offsetsAsStored = true;
  target.chunkOffset = [&](const Track& t, size_t i) {
    const SampleStore& s = t.media->samples();
    const Chunk& c = s.table.chunks()[i];
    return c.inMemory() ? dataAt + base[&s] + c.offset() : c.offset();
  };

  const TopAtom* live = nullptr;
  for (const TopAtom& a : top)
    if (a.type == "moov"_4cc) {
      live = &a;
      break;
    }
  const MovieOrigin* origin = movie.origin.get();
  if (newBytes == 0 && live && origin && origin->path == path && live->offset == origin->moovOffset &&
      summarizeMovie(movie, target) == origin->baseline) {
    moovAt = origin->moovOffset;
    return noErr;  // unedited: the file keeps every byte
  }
  moov = writeMovie(movie, target, &placed);
  if (!tail.empty()) plan.push_back({tailAt, std::move(tail)});

  for (const TopAtom& a : top)
    if (a.type == "moov"_4cc && &a != live) plan.push_back({a.offset + 4, Bytes{'f', 'r', 'e', 'e'}});

  if (!top.empty() && top.back().toEnd) {
    // Its size said "to the end"; written out, it means the same and lets atoms follow.
    if (top.back().size > UINT32_MAX || (top.back().offset + 4 > fileSize)) {
      fail.err = fileOffsetTooBigErr;
      fail.message = "the last atom runs to the end of the file and is too large to be given a size";
      return fail.err;
    }
    Bytes size;
    put32(size, uint32_t(top.back().size));
    plan.push_back({top.back().offset, size});
  }

  uint64_t next = end;
  if (newBytes > 0) {
    plan.push_back(newDataAtom(end, mdatHeader, newBytes, base));
    next = end + plan.back().bytes.size();
  }
  const Room room = roomFor(moov.size(), top, freeAtoms(movie, top, end));
  placeMovieAtom(room, moov.size(), next, live, plan, moovAt);
  return noErr;
}

}  // namespace qte::file
