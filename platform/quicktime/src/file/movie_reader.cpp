// Reading a movie atom into the model (QTFF "Movie atoms"; ISO/IEC 14496-12 8.2-8.7).
// Reading is lenient where real writers differ (string conventions, meta with or
// without version/flags, trailing zero words, missing 'edts' or 'stss') and strict
// where a value would make the model lie: every count is checked against the
// bytes that hold it before anything is allocated, and every failure names the
// atom path and its file offset.
#include "movie_reader.h"

#include "../metadata_store.h"
#include "../timecode.h"

#include <algorithm>
#include <cstring>

namespace qte::file {

namespace {

constexpr size_t kMaxDepth = 12;

struct Reader {
  const std::string& filePath;
  uint64_t fileSize;
  MovieOrigin& origin;
  std::shared_ptr<const void> holder;  // the movie atom's bytes
  const Movie* known;
  AtomPath path;
  Failure fail;

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

  bool bad(uint64_t at, const std::string& what, OSErr err = badPublicMovieAtom) {
    if (fail.err == noErr) {
      fail.err = err;
      fail.message = path.text() + " at offset " + std::to_string(at) + ": " + what;
    }
    return false;
  }
  bool truncated(const Atom& a) { return bad(a.offset, "atom is shorter than its fields"); }
  // Reading goes on, but no save may rewrite the track: it would lose what `a`
  // holds. Answers false: what `a` holds is not known.
  bool unsavable(TrackOrigin& o, const Atom& a, const std::string& what) {
    if (o.unsavable.empty()) o.unsavable = path.text() + " at offset " + std::to_string(a.offset) + ": " + what;
    return false;
  }

  bool children(const Atom& a, std::vector<Atom>& out, size_t skip = 0) {
    if (path.depth() > kMaxDepth) return bad(a.offset, "atoms nested too deeply");
    if (skip > a.payloadSize()) return truncated(a);
    return splitAtoms(a.payload() + skip, a.payloadSize() - skip, a.offset + a.header + skip, path, out, fail);
  }

  // Scoped path entry for messages.
  struct Enter {
    Reader& r;
    Enter(Reader& reader, const std::string& name) : r(reader) { r.path.push(name); }
    ~Enter() { r.path.pop(); }
  };

  bool movie(const Atom& moov, Movie& m);
  bool movieHeader(const Atom& a, Movie& m);
  bool userData(const Atom& a, UserDataList& list, std::shared_ptr<MetaStore>& meta, OSType owner, Object* obj);
  bool metaAtom(const Atom& a, std::shared_ptr<MetaStore>& meta, OSType owner, Object* obj);
  bool track(const Atom& trak, Movie& m, int index);
  bool trackHeader(const Atom& a, Track& t, TrackOrigin& o);
  bool editList(const Atom& edts, Track& t, TrackOrigin& o, bool& known);
  bool references(const Atom& tref, Track& t);
  bool aperture(const Atom& tapt, Track& t, Layout& layout);
  bool clip(const Atom& a, Bytes& region, Layout& layout);
  bool mediaAtom(const Atom& mdia, Track& t, TrackOrigin& o);
  bool mediaInfo(const Atom& minf, Media& media, TrackOrigin& o);
  bool baseHeader(const Atom& gmhd, Media& media, TrackOrigin& o);
  bool dataRefs(const Atom& dinf, Media& media, TrackOrigin& o);
};

// Children of 'trak' and 'minf' the writer renders from the model.
bool isTrackChild(OSType t) {
  switch (t) {
    case "tkhd"_4cc: case "edts"_4cc: case "tref"_4cc: case "tapt"_4cc: case "clip"_4cc:
    case "mdia"_4cc: case "udta"_4cc: case "meta"_4cc: return true;
    default: return false;
  }
}
bool isMediaInfoChild(OSType t) {
  switch (t) {
    case "vmhd"_4cc: case "smhd"_4cc: case "gmhd"_4cc: case "hdlr"_4cc: case "dinf"_4cc: case "stbl"_4cc:
      return true;
    default: return false;
  }
}

void readMatrix(Cursor& c, MatrixRecord& m) {
  for (auto& row : m.matrix)
    for (Fixed& v : row) v = c.s32();
}

bool Reader::movie(const Atom& moov, Movie& m) {
  Enter e(*this, "moov");
  std::vector<Atom> kids;
  if (!children(moov, kids)) return false;
  bool haveHeader = false;
  int trackIndex = 0;
  for (const Atom& a : kids) {
    if (a.type == "mvhd"_4cc || a.type == "trak"_4cc || a.type == "udta"_4cc || a.type == "meta"_4cc ||
        a.type == "clip"_4cc)
      origin.moov.rendered(a.type);
    switch (a.type) {
      case "mvhd"_4cc:
        if (haveHeader) return bad(a.offset, "second movie header");
        haveHeader = true;
        if (!movieHeader(a, m)) return false;
        break;
      case "trak"_4cc:
        if (!track(a, m, ++trackIndex)) return false;
        break;
      case "udta"_4cc: {
        Enter u(*this, "udta");
        if (!userData(a, *m.userData, m.metaData, kQTMetaDataOwnerTypeMovie, &m)) return false;
        break;
      }
      case "meta"_4cc: {
        Enter u(*this, "meta");
        if (!metaAtom(a, m.metaData, kQTMetaDataOwnerTypeMovie, &m)) return false;
        break;
      }
      case "clip"_4cc:
        if (!clip(a, m.clip, origin.clip)) return false;
        break;
      default:
        origin.moov.kept(a);
    }
  }
  if (!haveHeader) return bad(moov.offset, "no movie header ('mvhd')");
  uint32_t maxID = 0;
  for (const auto& t : m.tracks) maxID = std::max(maxID, t->id);
  if (maxID == UINT32_MAX) return bad(moov.offset, "track ID 0xFFFFFFFF leaves no ID for new tracks");
  m.nextTrackID = std::max(m.nextTrackID, maxID + 1);
  return true;
}

// 'mvhd' — QTFF "Movie header atom"; ISO 8.2.2.
bool Reader::movieHeader(const Atom& a, Movie& m) {
  Enter e(*this, "mvhd");
  Cursor c(a);
  auto [version, flags] = c.fullHeader();
  if (version > 1) return bad(a.offset, "unknown version " + std::to_string(version));
  m.creationTime = static_cast<uint32_t>(version ? c.u64() : c.u32());
  m.modificationTime = static_cast<uint32_t>(version ? c.u64() : c.u32());
  int64_t scale = c.u32();
  if (version) c.u64(); else c.u32();  // duration: the tracks' edits say it
  m.preferredRate = c.s32();
  m.volume = c.s16();
  c.skip(10);
  readMatrix(c, m.matrix);
  origin.previewTime = c.u32();
  origin.previewDuration = c.u32();
  origin.posterTime = c.u32();
  origin.selectionTime = c.u32();
  origin.selectionDuration = c.u32();
  m.currentTime = c.s32();
  m.nextTrackID = c.u32();
  if (!c.ok()) return truncated(a);
  if (scale <= 0 || scale > INT32_MAX) return bad(a.offset, "time scale " + std::to_string(scale));
  m.scale = static_cast<TimeScale>(scale);
  return true;
}

// 'meta' of either dialect: the handler says whose items these are.
bool Reader::metaAtom(const Atom& a, std::shared_ptr<MetaStore>& meta, OSType owner, Object* obj) {
  std::vector<Atom> kids;
  size_t skip = a.payloadSize() >= 12 && get32(a.payload()) == 0 && get32(a.payload() + 8) == "hdlr"_4cc ? 4 : 0;
  if (!children(a, kids, skip)) return false;
  OSType handler = 0;
  for (const Atom& k : kids)
    if (k.type == "hdlr"_4cc && k.payloadSize() >= 12) handler = get32(k.payload() + 8);
  auto& store = metaStoreOf(meta, owner, obj);
  OSErr err = noErr;
  if (handler == kQTMetaDataStorageFormatQuickTime) {
    if (!store->quickTime().items.empty()) return bad(a.offset, "second QuickTime metadata container");
    err = readQuickTimeMetaAtom(a.start, a.size, store->quickTime());
  } else if (handler == "mdir"_4cc) {
    if (!store->iTunes().empty()) return bad(a.offset, "second iTunes metadata container");
    err = readITunesMetaAtom(a.start, a.size, store->iTunes());
  } else {
    return bad(a.offset, "metadata handler '" + fourccText(handler) + "' is not 'mdta' or 'mdir'");
  }
  if (err != noErr) return bad(a.offset, "malformed metadata container", err);
  return true;
}

// 'udta' — QTFF "User data atoms": item atoms; an iTunes 'meta' among them is
// metadata, not a user-data item, or a save would write it twice.
bool Reader::userData(const Atom& a, UserDataList& list, std::shared_ptr<MetaStore>& meta, OSType owner,
                      Object* obj) {
  std::vector<Atom> kids;
  if (!children(a, kids)) return false;
  for (const Atom& k : kids) {
    if (k.header != 8) return bad(k.offset, "user data item with a 64-bit size");
    if (k.type == "meta"_4cc) {
      Enter e(*this, "meta");
      if (!metaAtom(k, meta, owner, obj)) return false;
      continue;
    }
    list.items.push_back({k.type, Bytes(k.payload(), k.payload() + k.payloadSize())});
  }
  return true;
}

bool Reader::track(const Atom& trak, Movie& m, int index) {
  Enter e(*this, "trak[" + std::to_string(index) + "]");
  std::vector<Atom> kids;
  if (!children(trak, kids)) return false;
  auto header = std::find_if(kids.begin(), kids.end(), [](const Atom& a) { return a.type == "tkhd"_4cc; });
  if (header == kids.end()) return bad(trak.offset, "no track header ('tkhd')");
  Cursor peek(*header);
  auto [version, flags] = peek.fullHeader();
  peek.skip(version == 1 ? 16 : 8);
  uint32_t id = peek.u32();
  if (!peek.ok()) return bad(header->offset, "track header is too short");
  if (id == 0 || m.trackByID(id)) return bad(header->offset, "track ID " + std::to_string(id) + " is zero or taken");

  auto owned = std::make_unique<Track>(&m, id);
  Track& t = *owned;
  m.tracks.push_back(std::move(owned));
  t.origin = std::make_shared<TrackOrigin>();
  TrackOrigin& o = *t.origin;
  bool haveMedia = false, haveEdits = false, editsKnown = true;
  for (const Atom& a : kids) {
    bool ok = true;
    if (a.type != "trak"_4cc && isTrackChild(a.type)) o.trak.rendered(a.type);
    switch (a.type) {
      case "tkhd"_4cc: ok = trackHeader(a, t, o); break;
      case "edts"_4cc: ok = haveEdits ? bad(a.offset, "second edit list") : editList(a, t, o, editsKnown); haveEdits = true; break;
      case "tref"_4cc: ok = references(a, t); break;
      case "tapt"_4cc: ok = aperture(a, t, o.tapt); break;
      case "clip"_4cc: ok = clip(a, t.clip, o.clip); break;
      case "mdia"_4cc: ok = haveMedia ? bad(a.offset, "second media") : mediaAtom(a, t, o); haveMedia = true; break;
      case "udta"_4cc: {
        Enter u(*this, "udta");
        ok = userData(a, *t.userData, t.metaData, kQTMetaDataOwnerTypeTrack, &t);
        break;
      }
      case "meta"_4cc: {
        Enter u(*this, "meta");
        ok = metaAtom(a, t.metaData, kQTMetaDataOwnerTypeTrack, &t);
        break;
      }
      case "trak"_4cc: {
        // Left there by a track whose size ran over its neighbour; written back,
        // it would be a track inside a track, which readers refuse.
        Enter inner(*this, "trak");
        unsavable(o, a, "a track inside a track");
        o.trak.kept(a);
        break;
      }
      default: o.trak.kept(a);
    }
    if (!ok) return false;
  }
  if (!haveMedia) return bad(trak.offset, "track without media ('mdia')");
  if ((!haveEdits || !editsKnown) && t.media->samples().table.count() > 0) {
    // No edit list: the whole media plays once at normal rate.
    t.edits.assign({{trackDurationOf(t.media->samples().table.duration(), kFixedOne, t.scales()), 0, kFixedOne}});
  }
  return true;
}

// 'tkhd' — QTFF "Track header atom"; ISO 8.3.2.
bool Reader::trackHeader(const Atom& a, Track& t, TrackOrigin& o) {
  Enter e(*this, "tkhd");
  Cursor c(a);
  auto [version, flags] = c.fullHeader();
  if (version > 1) return bad(a.offset, "unknown version " + std::to_string(version));
  t.enabled = flags & 1;
  o.usage = flags & ~1u;
  t.creationTime = static_cast<uint32_t>(version ? c.u64() : c.u32());
  t.modificationTime = static_cast<uint32_t>(version ? c.u64() : c.u32());
  c.skip(8);  // ID, read before; reserved
  c.skip(version ? 8 : 4);  // duration: the edits say it
  c.skip(8);
  t.layer = c.s16();
  t.alternateGroup = c.s16();
  t.volume = c.s16();
  c.skip(2);
  readMatrix(c, t.matrix);
  t.width = c.s32();
  t.height = c.s32();
  return c.ok() || truncated(a);
}

// 'edts'/'elst' — QTFF "Edit list atom"; ISO 8.6.6. Media times below -1 are
// not edits any player could show; they are read as empty time. The atom's
// length settles a count or version flag at odds with it; when it holds no whole
// number of entries of either size the list is not known, so the track plays its
// media once, as without one, and the track cannot be saved.
bool Reader::editList(const Atom& edts, Track& t, TrackOrigin& o, bool& known) {
  Enter e(*this, "edts");
  std::vector<Atom> kids;
  if (!children(edts, kids)) return false;
  std::vector<Edit> list;
  bool seen = false;
  for (const Atom& a : kids) {
    if (a.type != "elst"_4cc || seen) {
      if (seen && a.type == "elst"_4cc) {
        Enter l(*this, "elst");
        known = unsavable(o, a, "a second edit list");
      }
      o.edts.kept(a);
      continue;
    }
    Enter l(*this, "elst");
    o.edts.rendered(a.type);
    seen = true;
    Cursor c(a);
    auto [version, flags] = c.fullHeader();
    if (version > 1) return bad(a.offset, "unknown version " + std::to_string(version));
    uint32_t n = c.u32();
    if (!c.ok()) return truncated(a);
    const size_t body = c.left();
    size_t each = version ? 20 : 12;
    const size_t other = 32 - each;
    if (body == n * uint64_t(other) && body != n * uint64_t(each)) each = other;  // the version flag is wrong
    else if (body % each == 0) n = static_cast<uint32_t>(body / each);  // the count is wrong
    else {
      known = unsavable(o, a, std::to_string(body) + " bytes of edits are no whole number of " +
                                  std::to_string(each) + "-byte entries");
      continue;
    }
    list.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
      int64_t duration = each == 20 ? c.s64() : int64_t(c.u32());
      int64_t mediaTime = each == 20 ? c.s64() : int64_t(c.s32());
      Fixed rate = c.s32();
      if (duration < 0) return bad(a.offset, "edit " + std::to_string(i + 1) + " has a negative duration", badEditList);
      if (duration == 0) continue;
      list.push_back({duration, mediaTime < 0 ? -1 : mediaTime, rate});
    }
  }
  // An 'edts' without an edit list is no edit list: the media plays once.
  known = known && seen;
  if (known) t.edits.assign(std::move(list));
  return true;
}

// 'tref' — QTFF "Track reference atom": one child per type, an array of track IDs.
bool Reader::references(const Atom& tref, Track& t) {
  Enter e(*this, "tref");
  std::vector<Atom> kids;
  if (!children(tref, kids)) return false;
  for (const Atom& a : kids) {
    if (a.payloadSize() % 4) return bad(a.offset, "reference '" + fourccText(a.type) + "' is not a list of track IDs");
    TrackReference r{a.type, {}};
    for (size_t k = 0; k < a.payloadSize(); k += 4) r.trackIDs.push_back(get32(a.payload() + k));
    t.references.push_back(std::move(r));
  }
  return true;
}

// 'tapt' — clean, production and encoded-pixels dimensions, each v/f + 2 × Fixed.
bool Reader::aperture(const Atom& tapt, Track& t, Layout& layout) {
  Enter e(*this, "tapt");
  std::vector<Atom> kids;
  if (!children(tapt, kids)) return false;
  for (const Atom& a : kids) {
    FixedPoint* p = a.type == "clef"_4cc ? &t.aperture.clean
                    : a.type == "prof"_4cc ? &t.aperture.production
                    : a.type == "enof"_4cc ? &t.aperture.encoded
                                          : nullptr;
    if (!p) {
      layout.kept(a);
      continue;
    }
    layout.rendered(a.type);
    Cursor c(a);
    c.fullHeader();
    p->x = c.s32();
    p->y = c.s32();
    if (!c.ok()) return truncated(a);
  }
  t.aperture.present = true;
  return true;
}

// 'clip'/'crgn' — a QuickDraw region in file form, checked scan line by scan line.
bool Reader::clip(const Atom& a, Bytes& region, Layout& layout) {
  Enter e(*this, "clip");
  std::vector<Atom> kids;
  if (!children(a, kids)) return false;
  for (const Atom& k : kids) {
    if (k.type != "crgn"_4cc) {
      layout.kept(k);
      continue;
    }
    layout.rendered(k.type);
    RgnHandle rgn = NewRgn();
    if (!rgn) return bad(k.offset, "no memory for the clip region", memFullErr);
    OSErr err = QDRegionFromFileBytes(rgn, k.payload(), Size(k.payloadSize()));
    DisposeRgn(rgn);
    if (err != noErr) return bad(k.offset, "malformed clip region ('crgn')");
    region.assign(k.payload(), k.payload() + k.payloadSize());
  }
  return true;
}

bool Reader::mediaAtom(const Atom& mdia, Track& t, TrackOrigin& o) {
  Enter e(*this, "mdia");
  std::vector<Atom> kids;
  if (!children(mdia, kids)) return false;
  const Atom* mdhd = nullptr;
  const Atom* hdlr = nullptr;
  const Atom* minf = nullptr;
  for (const Atom& a : kids) {
    const Atom** slot = a.type == "mdhd"_4cc ? &mdhd : a.type == "hdlr"_4cc ? &hdlr : a.type == "minf"_4cc ? &minf : nullptr;
    if (slot && !*slot) *slot = &a;
    if ((slot && *slot == &a) || a.type == "udta"_4cc) o.mdia.rendered(a.type);
    else o.mdia.kept(a);
  }
  if (!mdhd || !hdlr || !minf) return bad(mdia.offset, "media lacks 'mdhd', 'hdlr' or 'minf'");

  // 'hdlr' — QTFF "Handler reference atom": the component subtype is the media type.
  Cursor h(*hdlr);
  h.fullHeader();
  h.u32();
  OSType mediaType = h.u32();
  if (!h.ok() || mediaType == 0) return bad(hdlr->offset, "media handler without a media type");
  o.mediaHandler = hdlr->bytes();

  // 'mdhd' — QTFF "Media header atom"; ISO 8.4.2.
  uint32_t created, modified;
  int64_t scale;
  int16_t language, quality;
  {
    Enter eh(*this, "mdhd");
    Cursor c(*mdhd);
    auto [version, flags] = c.fullHeader();
    if (version > 1) return bad(mdhd->offset, "unknown version " + std::to_string(version));
    created = static_cast<uint32_t>(version ? c.u64() : c.u32());
    modified = static_cast<uint32_t>(version ? c.u64() : c.u32());
    scale = c.u32();
    if (version) c.u64(); else c.u32();  // duration: the samples say it
    language = c.s16();
    quality = c.s16();
    if (!c.ok()) return truncated(*mdhd);
    if (scale <= 0 || scale > INT32_MAX) return bad(mdhd->offset, "time scale " + std::to_string(scale));
  }

  t.media = std::make_unique<Media>(&t, mediaType, static_cast<TimeScale>(scale));
  Media& media = *t.media;
  media.creationTime = created;
  media.modificationTime = modified;
  media.language = language;
  media.quality = quality;
  for (const Atom& a : kids) {
    if (a.type != "udta"_4cc) continue;
    Enter u(*this, "udta");
    std::vector<Atom> items;
    if (!children(a, items)) return false;
    for (const Atom& k : items) media.userData->items.push_back({k.type, Bytes(k.payload(), k.payload() + k.payloadSize())});
  }
  return mediaInfo(*minf, media, o);
}

bool Reader::mediaInfo(const Atom& minf, Media& media, TrackOrigin& o) {
  Enter e(*this, "minf");
  std::vector<Atom> kids;
  if (!children(minf, kids)) return false;
  // The sample table names data references; read them first wherever they lie.
  for (const Atom& a : kids)
    if (a.type == "dinf"_4cc && !dataRefs(a, media, o)) return false;
  if (media.dataRefs.empty()) {
    // No reference (no 'dinf', no 'dref', or none in it): in a file that reads,
    // the samples can only be in the file itself.
    media.dataRefs.push_back(fileDataRef(filePath));
    o.selfRefTypes.push_back(AliasDataHandlerSubType);
  }
  bool haveTable = false;
  for (const Atom& a : kids) {
    if (isMediaInfoChild(a.type)) o.minf.rendered(a.type);
    switch (a.type) {
      case "vmhd"_4cc: {
        // Video media header: graphics mode and op colour, kept by visual handlers.
        Cursor c(a);
        c.fullHeader();
        auto* v = dynamic_cast<VisualHandler*>(media.handler.get());
        uint16_t mode = c.u16();
        RGBColor op{c.u16(), c.u16(), c.u16()};
        if (!c.ok()) return truncated(a);
        if (v) {
          v->graphicsMode = mode;
          v->opColor = op;
        }
        break;
      }
      case "smhd"_4cc: {
        Cursor c(a);
        c.fullHeader();
        int16_t balance = c.s16();
        if (!c.ok()) return truncated(a);
        if (auto* s = dynamic_cast<SoundHandler*>(media.handler.get())) s->balance = balance;
        break;
      }
      case "gmhd"_4cc:
        if (!baseHeader(a, media, o)) return false;
        break;
      case "hdlr"_4cc: o.dataHandler = a.bytes(); break;
      case "dinf"_4cc: break;
      case "stbl"_4cc: {
        if (haveTable) return bad(a.offset, "second sample table");
        haveTable = true;
        Enter s(*this, "stbl");
        // A table the known movie holds already keeps its origin: the same bytes.
        if (auto same = knownTable(a, media.dataRefs.size())) {
          media.store = std::move(same);
          break;
        }
        auto store = std::make_shared<SampleStore>();
        auto kept = std::make_shared<StoreOrigin>();
        if (!readSampleTable(a, media.dataRefs, filePath, fileSize, *store, kept->stbl, path, fail)) return false;
        kept->revision = store->table.revision();
        kept->table = {holder, a.start, a.size, {}, media.dataRefs.size()};
        store->origin = std::move(kept);
        media.store = std::move(store);
        break;
      }
      default: o.minf.kept(a);
    }
  }
  if (!haveTable) return bad(minf.offset, "media without a sample table ('stbl')");
  return true;
}

// 'gmhd' — base media information header: 'gmin', and for time code media
// 'tmcd'/'tcmi' with the display settings the handler keeps.
bool Reader::baseHeader(const Atom& gmhd, Media& media, TrackOrigin& o) {
  Enter e(*this, "gmhd");
  std::vector<Atom> kids;
  if (!children(gmhd, kids)) return false;
  for (const Atom& a : kids) {
    auto* tc = dynamic_cast<TimeCodeHandler*>(media.handler.get());
    // 'text' is rendered for text media only; other media keep what the file had.
    if ((a.type == "tmcd"_4cc && tc) || a.type == "gmin"_4cc || (a.type == "text"_4cc && media.type == TextMediaType))
      o.gmhd.rendered(a.type);
    else o.gmhd.kept(a);
    if (a.type == "tmcd"_4cc && tc) {
      std::vector<Atom> inner;
      if (!children(a, inner)) return false;
      for (const Atom& k : inner) {
        if (k.type != "tcmi"_4cc) continue;
        Cursor c(k);
        c.fullHeader();
        TCTextOptions opt{};
        opt.txFont = c.s16();
        opt.txFace = c.s16();
        opt.txSize = c.s16();
        c.skip(2);
        opt.foreColor = {c.u16(), c.u16(), c.u16()};
        opt.backColor = {c.u16(), c.u16(), c.u16()};
        if (!c.ok()) return truncated(k);
        tc->options = opt;
        // Some writers leave the font name out, length byte and all.
        size_t rest = c.left();
        const uint8_t* name = c.take(rest);
        if (rest > 0 && name[0] < rest) o.timeCodeFontName.assign(name, name + 1 + name[0]);
      }
    }
  }
  return true;
}

// 'dinf'/'dref' — QTFF "Data reference atoms". A self reference is read as a
// reference to this file, so that sample bytes can be fetched through it.
bool Reader::dataRefs(const Atom& dinf, Media& media, TrackOrigin& o) {
  Enter e(*this, "dinf");
  std::vector<Atom> kids;
  if (!children(dinf, kids)) return false;
  for (const Atom& a : kids) {
    if (a.type != "dref"_4cc) {
      o.dinf.kept(a);
      continue;
    }
    o.dinf.rendered(a.type);
    Enter d(*this, "dref");
    Cursor c(a);
    c.fullHeader();
    uint32_t n = c.u32();
    if (!c.ok()) return truncated(a);
    if (!c.fits(n, 12)) return bad(a.offset, std::to_string(n) + " data references cannot fit");
    std::vector<Atom> refs;
    if (!children(a, refs, 8)) return false;
    if (refs.size() != n) return bad(a.offset, "count says " + std::to_string(n) + " data references, atom holds " +
                                                   std::to_string(refs.size()));
    for (const Atom& r : refs) {
      if (r.payloadSize() < 4) return bad(r.offset, "data reference without version and flags");
      uint32_t flags = get32(r.payload()) & 0xFFFFFF;
      // An alias or URL that names nothing can only mean this file.
      const bool blank = r.payloadSize() == 4 && (r.type == AliasDataHandlerSubType || r.type == URLDataHandlerSubType);
      if ((flags & dataRefSelfReference) || blank) {
        media.dataRefs.push_back(fileDataRef(filePath));
        o.selfRefTypes.push_back(r.type);
      } else {
        media.dataRefs.push_back({r.type, Bytes(r.payload() + 4, r.payload() + r.payloadSize()), int32_t(flags)});
        o.selfRefTypes.push_back(0);
      }
    }
  }
  return true;
}

}  // namespace

OSErr readMovie(const Atom& moov, std::shared_ptr<const void> holder, const std::string& filePath,
                uint64_t fileSize, Movie& movie, MovieOrigin& origin, Failure& fail, const Movie* known) {
  Reader r{filePath, fileSize, origin, std::move(holder), known, {}, {}};
  if (!r.movie(moov, movie)) {
    fail = r.fail;
    return fail.err;
  }
  return noErr;
}

}  // namespace qte::file
