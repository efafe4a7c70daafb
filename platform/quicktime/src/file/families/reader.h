// The movie-atom reader that the atom families share: each family's file
// defines the reading of its atoms, next to their writing.
#pragma once

#include "../children.h"
#include "../movie_reader.h"
#include "../../metadata_store.h"
#include "../../timecode.h"

#include <algorithm>
#include <cstring>

namespace qte::file {

struct Reader : Walk {
  const std::string& filePath;
  uint64_t fileSize;
  MovieOrigin& origin;
  std::shared_ptr<const void> holder;  // the movie atom's bytes
  const Movie* known;

  Reader(const std::string& file, uint64_t size, MovieOrigin& o, std::shared_ptr<const void> h, const Movie* k,
         AtomPath& path, Failure& fail)
      : Walk(path, fail), filePath(file), fileSize(size), origin(o), holder(std::move(h)), known(k) {}

  // The store of a track of `known` whose sample table is `stbl`'s bytes, read
  // with `refs` data references, or null.
  std::shared_ptr<SampleStore> knownTable(const Atom& stbl, size_t refs) const {
    if (!known) return nullptr;
    for (const auto& t : known->tracks) {
      if (!t->media) continue;
      const StoreOrigin* o = asRead(t->media->samples());
      if (o && o->table.size == stbl.size && o->table.dataRefs == refs &&
          std::memcmp(o->table.data, stbl.start, stbl.size) == 0)
        return t->media->store;
    }
    return nullptr;
  }

  // Reading goes on, but no save may rewrite the track: it would lose what `a`
  // holds. Answers false: what `a` holds is not known.
  bool unsavable(TrackOrigin& o, const Atom& a, const std::string& what) {
    if (o.unsavable.empty()) o.unsavable = path().text() + " at offset " + std::to_string(a.offset) + ": " + what;
    return false;
  }

  bool movie(const Atom& moov, Movie& m);
  bool movieHeader(const Atom& a, Cursor& c, Movie& m);
  bool userData(const Atom& a, UserDataList& list, std::shared_ptr<MetaStore>& meta, OSType owner, Object* obj);
  bool metaAtom(const Atom& a, std::shared_ptr<MetaStore>& meta, OSType owner, Object* obj);
  bool track(const Atom& trak, Movie& m, int index);
  Track* newTrack(const Atom& tkhd, Movie& m, std::shared_ptr<TrackOrigin> origin);
  bool trackHeader(const Atom& a, Cursor& c, Track& t, TrackOrigin& o);
  bool editList(const Atom& edts, Track& t, TrackOrigin& o, bool& known);
  Took edits(const Atom& a, Cursor& c, std::vector<Edit>& list, TrackOrigin& o, bool& known);
  bool references(const Atom& tref, Track& t);
  bool aperture(const Atom& tapt, Track& t, Layout& layout);
  bool clip(const Atom& a, Bytes& region, Layout& layout);
  bool mediaAtom(const Atom& mdia, Track& t, TrackOrigin& o);
  bool mediaHeader(const Atom& a, Cursor& c, Track& t, OSType mediaType);
  bool mediaInfo(const Atom& minf, Media& media, TrackOrigin& o);
  bool sampleTable(const Atom& stbl, Media& media, TrackOrigin& o);
  bool baseHeader(const Atom& gmhd, Media& media, TrackOrigin& o);
  bool timeCodeInfo(const Atom& tcmi, Cursor& c, TimeCodeHandler& tc, TrackOrigin& o);
  bool dataRefs(const Atom& dinf, Media& media, TrackOrigin& o);
  bool dataRefEntries(const Atom& dref, Cursor& c, Media& media, TrackOrigin& o);
};

void readMatrix(Cursor& c, MatrixRecord& m);

// The times a movie or media header holds, 64-bit in version 1; the duration
// is passed over (the edits or the samples say it).
struct HeaderTimes {
  uint32_t created, modified;
  int64_t scale;
};
inline HeaderTimes readHeaderTimes(Cursor& c, uint8_t version) {
  HeaderTimes t;
  t.created = static_cast<uint32_t>(version ? c.u64() : c.u32());
  t.modified = static_cast<uint32_t>(version ? c.u64() : c.u32());
  t.scale = c.u32();
  c.skip(version ? 8 : 4);
  return t;
}

}  // namespace qte::file
