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

void readMatrix(Cursor& c, MatrixRecord& m) {
  for (auto& row : m.matrix)
    for (Fixed& v : row) v = c.s32();
}

bool Reader::movie(const Atom& moov, Movie& m) {
  Enter e(*this, "moov");
  int trackIndex = 0;
  auto udta = [&](const Atom& a, Cursor&) {
    Enter u(*this, "udta");
    return took(userData(a, *m.userData, m.metaData, kQTMetaDataOwnerTypeMovie, &m));
  };
  auto meta = [&](const Atom& a, Cursor&) {
    Enter u(*this, "meta");
    return took(metaAtom(a, m.metaData, kQTMetaDataOwnerTypeMovie, &m));
  };
  const bool ok = children(
      moov,
      {{"mvhd"_4cc, Need::required, Times::once, Payload::fields,
        [&](const Atom& a, Cursor& c) { return took(movieHeader(a, c, m)); }, "no movie header"},
       {"trak"_4cc, Need::optional, Times::many, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(track(a, m, ++trackIndex)); }},
       {"udta"_4cc, Need::optional, Times::many, Payload::whole, udta},
       {"meta"_4cc, Need::optional, Times::many, Payload::whole, meta},
       {"clip"_4cc, Need::optional, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(clip(a, m.clip, origin.clip)); }}},
      &origin.moov);
  if (!ok) return false;
  uint32_t maxID = 0;
  for (const auto& t : m.tracks) maxID = std::max(maxID, t->id);
  if (maxID == UINT32_MAX) return bad(moov.offset, "track ID 0xFFFFFFFF leaves no ID for new tracks");
  m.nextTrackID = std::max(m.nextTrackID, maxID + 1);
  return true;
}

// 'mvhd' — QTFF "Movie header atom"; ISO 8.2.2.
bool Reader::movieHeader(const Atom& a, Cursor& c, Movie& m) {
  Enter e(*this, "mvhd");
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
  if (!split(a, kids, skip)) return false;
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
  auto plain = [this](const Atom& k) { return k.header == 8 || bad(k.offset, "user data item with a 64-bit size"); };
  return children(a,
                  {{"meta"_4cc, Need::optional, Times::many, Payload::whole,
                    [&](const Atom& k, Cursor&) {
                      if (!plain(k)) return Took::failed;
                      Enter e(*this, "meta");
                      return took(metaAtom(k, meta, owner, obj));
                    }},
                   {0, Need::optional, Times::many, Payload::whole,
                    [&](const Atom& k, Cursor&) {
                      if (!plain(k)) return Took::failed;
                      list.items.push_back({k.type, Bytes(k.payload(), k.payload() + k.payloadSize())});
                      return Took::rendered;
                    }}},
                  nullptr);
}

// The track a 'tkhd' names, new in `m`, or null when its ID is unusable.
Track* Reader::newTrack(const Atom& tkhd, Movie& m, std::shared_ptr<TrackOrigin> origin) {
  Cursor peek(tkhd);
  auto [version, flags] = peek.fullHeader();
  peek.skip(version == 1 ? 16 : 8);
  uint32_t id = peek.u32();
  if (!peek.ok()) return bad(tkhd.offset, "track header is too short"), nullptr;
  if (id == 0 || m.trackByID(id)) return bad(tkhd.offset, "track ID " + std::to_string(id) + " is zero or taken"), nullptr;
  m.tracks.push_back(std::make_unique<Track>(&m, id));
  Track& t = *m.tracks.back();
  t.origin = std::move(origin);
  return &t;
}

bool Reader::track(const Atom& trak, Movie& m, int index) {
  Enter e(*this, "trak[" + std::to_string(index) + "]");
  // The header is read first: it makes the track the other children fill in.
  Track* tp = nullptr;
  auto origin = std::make_shared<TrackOrigin>();
  TrackOrigin* op = origin.get();
  bool editsKnown = true, haveEdits = false;
  auto on = [&](auto read) {
    return [&, read](const Atom& a, Cursor& c) { return read(a, c, *tp, *op); };
  };
  const bool ok = children(
      trak,
      {{"tkhd"_4cc, Need::required, Times::once, Payload::fields,
        [&](const Atom& a, Cursor& c) {
          if (!(tp = newTrack(a, m, origin))) return Took::failed;
          return took(trackHeader(a, c, *tp, *op));
        },
        "no track header"},
       {"edts"_4cc, Need::optional, Times::once, Payload::whole, on([&](const Atom& a, Cursor&, Track& t, TrackOrigin& o) {
          haveEdits = true;
          return took(editList(a, t, o, editsKnown));
        })},
       {"tref"_4cc, Need::optional, Times::once, Payload::whole,
        on([&](const Atom& a, Cursor&, Track& t, TrackOrigin&) { return took(references(a, t)); })},
       {"tapt"_4cc, Need::optional, Times::once, Payload::whole,
        on([&](const Atom& a, Cursor&, Track& t, TrackOrigin& o) { return took(aperture(a, t, o.tapt)); })},
       {"clip"_4cc, Need::optional, Times::once, Payload::whole,
        on([&](const Atom& a, Cursor&, Track& t, TrackOrigin& o) { return took(clip(a, t.clip, o.clip)); })},
       {"mdia"_4cc, Need::required, Times::once, Payload::whole,
        on([&](const Atom& a, Cursor&, Track& t, TrackOrigin& o) { return took(mediaAtom(a, t, o)); }),
        "track without media"},
       {"udta"_4cc, Need::optional, Times::many, Payload::whole,
        on([&](const Atom& a, Cursor&, Track& t, TrackOrigin&) {
          Enter u(*this, "udta");
          return took(userData(a, *t.userData, t.metaData, kQTMetaDataOwnerTypeTrack, &t));
        })},
       {"meta"_4cc, Need::optional, Times::many, Payload::whole,
        on([&](const Atom& a, Cursor&, Track& t, TrackOrigin&) {
          Enter u(*this, "meta");
          return took(metaAtom(a, t.metaData, kQTMetaDataOwnerTypeTrack, &t));
        })},
       // Left there by a track whose size ran over its neighbour; written back,
       // it would be a track inside a track, which readers refuse.
       {"trak"_4cc, Need::optional, Times::many, Payload::whole,
        on([&](const Atom& a, Cursor&, Track&, TrackOrigin& o) {
          Enter inner(*this, "trak");
          unsavable(o, a, "a track inside a track");
          return Took::kept;
        })}},
      &op->trak);
  if (!ok) return false;
  Track& t = *tp;
  if ((!haveEdits || !editsKnown) && t.media->samples().table.count() > 0) {
    // No edit list: the whole media plays once at normal rate.
    t.edits.assign({{trackDurationOf(t.media->samples().table.duration(), kFixedOne, t.scales()), 0, kFixedOne}});
  }
  return true;
}

// 'tkhd' — QTFF "Track header atom"; ISO 8.3.2.
bool Reader::trackHeader(const Atom& a, Cursor& c, Track& t, TrackOrigin& o) {
  Enter e(*this, "tkhd");
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

// 'edts'/'elst' — QTFF "Edit list atom"; ISO 8.6.6. A second edit list is kept
// as it was, but the model holds one, so no save may rewrite the track.
bool Reader::editList(const Atom& edts, Track& t, TrackOrigin& o, bool& known) {
  Enter e(*this, "edts");
  std::vector<Edit> list;
  bool seen = false;
  const bool ok = children(edts,
                           {{"elst"_4cc, Need::optional, Times::many, Payload::fields,
                             [&](const Atom& a, Cursor& c) {
                               Enter l(*this, "elst");
                               if (seen) {
                                 known = unsavable(o, a, "a second edit list");
                                 return Took::kept;
                               }
                               seen = true;
                               return edits(a, c, list, o, known);
                             }}},
                           &o.edts);
  if (!ok) return false;
  // An 'edts' without an edit list is no edit list: the media plays once.
  known = known && seen;
  if (known) t.edits.assign(std::move(list));
  return true;
}

// Media times below -1 are not edits any player could show; they are read as
// empty time. The atom's length settles a count or version flag at odds with
// it; when it holds no whole number of entries of either size the list is not
// known, so the track plays its media once, as without one, and cannot be saved.
Took Reader::edits(const Atom& a, Cursor& c, std::vector<Edit>& list, TrackOrigin& o, bool& known) {
  auto [version, flags] = c.fullHeader();
  if (version > 1) return took(bad(a.offset, "unknown version " + std::to_string(version)));
  uint32_t n = c.u32();
  if (!c.ok()) return took(truncated(a));
  const size_t body = c.left();
  size_t each = version ? 20 : 12;
  const size_t other = 32 - each;
  if (body == n * uint64_t(other) && body != n * uint64_t(each)) each = other;  // the version flag is wrong
  else if (body % each == 0) n = static_cast<uint32_t>(body / each);  // the count is wrong
  else {
    // Rendered all the same: the save that would write it is refused.
    known = unsavable(o, a, std::to_string(body) + " bytes of edits are no whole number of " +
                                std::to_string(each) + "-byte entries");
    c.skip(body);
    return Took::rendered;
  }
  list.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    int64_t duration = each == 20 ? c.s64() : int64_t(c.u32());
    int64_t mediaTime = each == 20 ? c.s64() : int64_t(c.s32());
    Fixed rate = c.s32();
    if (duration < 0)
      return took(bad(a.offset, "edit " + std::to_string(i + 1) + " has a negative duration", badEditList));
    if (duration == 0) continue;
    list.push_back({duration, mediaTime < 0 ? -1 : mediaTime, rate});
  }
  return Took::rendered;
}

// 'tref' — QTFF "Track reference atom": one child per type, an array of track IDs.
bool Reader::references(const Atom& tref, Track& t) {
  Enter e(*this, "tref");
  return children(tref,
                  {{0, Need::optional, Times::many, Payload::fields,
                    [&](const Atom& a, Cursor& c) {
                      if (a.payloadSize() % 4)
                        return took(bad(a.offset, "reference '" + fourccText(a.type) + "' is not a list of track IDs"));
                      TrackReference r{a.type, {}};
                      while (c.left()) r.trackIDs.push_back(c.u32());
                      t.references.push_back(std::move(r));
                      return Took::rendered;
                    }}},
                  nullptr);
}

// 'tapt' — clean, production and encoded-pixels dimensions, each v/f + 2 × Fixed.
bool Reader::aperture(const Atom& tapt, Track& t, Layout& layout) {
  Enter e(*this, "tapt");
  auto dimensions = [](FixedPoint& p) {
    return [&p](const Atom&, Cursor& c) {
      c.fullHeader();
      p.x = c.s32();
      p.y = c.s32();
      return Took::rendered;
    };
  };
  if (!children(tapt,
                {{"clef"_4cc, Need::optional, Times::once, Payload::fields, dimensions(t.aperture.clean)},
                 {"prof"_4cc, Need::optional, Times::once, Payload::fields, dimensions(t.aperture.production)},
                 {"enof"_4cc, Need::optional, Times::once, Payload::fields, dimensions(t.aperture.encoded)}},
                &layout))
    return false;
  t.aperture.present = true;
  return true;
}

// 'clip'/'crgn' — a QuickDraw region in file form, checked scan line by scan line.
bool Reader::clip(const Atom& a, Bytes& region, Layout& layout) {
  Enter e(*this, "clip");
  return children(a,
                  {{"crgn"_4cc, Need::optional, Times::once, Payload::whole,
                    [&](const Atom& k, Cursor&) {
                      RgnHandle rgn = NewRgn();
                      if (!rgn) return took(bad(k.offset, "no memory for the clip region", memFullErr));
                      OSErr err = QDRegionFromFileBytes(rgn, k.payload(), Size(k.payloadSize()));
                      DisposeRgn(rgn);
                      if (err != noErr) return took(bad(k.offset, "malformed clip region ('crgn')"));
                      region.assign(k.payload(), k.payload() + k.payloadSize());
                      return Took::rendered;
                    }}},
                  &layout);
}

// 'mdia': the handler names the media type, the header makes the media, and
// its user data and information fill it in.
bool Reader::mediaAtom(const Atom& mdia, Track& t, TrackOrigin& o) {
  Enter e(*this, "mdia");
  OSType mediaType = 0;
  return children(
      mdia,
      {// 'hdlr' — QTFF "Handler reference atom": the component subtype is the media type.
       {"hdlr"_4cc, Need::required, Times::once, Payload::whole,
        [&](const Atom& a, Cursor& h) {
          h.fullHeader();
          h.u32();
          mediaType = h.u32();
          if (!h.ok() || mediaType == 0) return took(bad(a.offset, "media handler without a media type"));
          o.mediaHandler = a.bytes();
          return Took::rendered;
        },
        "media without a media handler"},
       {"mdhd"_4cc, Need::required, Times::once, Payload::fields,
        [&](const Atom& a, Cursor& c) { return took(mediaHeader(a, c, t, mediaType)); }, "media without a media header"},
       {"udta"_4cc, Need::optional, Times::many, Payload::whole,
        [&](const Atom& a, Cursor&) {
          Enter u(*this, "udta");
          auto& items = t.media->userData->items;
          return took(children(a,
                               {{0, Need::optional, Times::many, Payload::whole,
                                 [&](const Atom& k, Cursor&) {
                                   items.push_back({k.type, Bytes(k.payload(), k.payload() + k.payloadSize())});
                                   return Took::rendered;
                                 }}},
                               nullptr));
        }},
       {"minf"_4cc, Need::required, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(mediaInfo(a, *t.media, o)); }, "media without information"}},
      &o.mdia);
}

// 'mdhd' — QTFF "Media header atom"; ISO 8.4.2.
bool Reader::mediaHeader(const Atom& a, Cursor& c, Track& t, OSType mediaType) {
  Enter eh(*this, "mdhd");
  auto [version, flags] = c.fullHeader();
  if (version > 1) return bad(a.offset, "unknown version " + std::to_string(version));
  const uint32_t created = static_cast<uint32_t>(version ? c.u64() : c.u32());
  const uint32_t modified = static_cast<uint32_t>(version ? c.u64() : c.u32());
  const int64_t scale = c.u32();
  if (version) c.u64(); else c.u32();  // duration: the samples say it
  const int16_t language = c.s16();
  const int16_t quality = c.s16();
  if (!c.ok()) return truncated(a);
  if (scale <= 0 || scale > INT32_MAX) return bad(a.offset, "time scale " + std::to_string(scale));
  t.media = std::make_unique<Media>(&t, mediaType, static_cast<TimeScale>(scale));
  Media& media = *t.media;
  media.creationTime = created;
  media.modificationTime = modified;
  media.language = language;
  media.quality = quality;
  return true;
}

bool Reader::mediaInfo(const Atom& minf, Media& media, TrackOrigin& o) {
  Enter e(*this, "minf");
  return children(
      minf,
      {// The sample table names data references: they are read first.
       {"dinf"_4cc, Need::optional, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(dataRefs(a, media, o)); }},
       // Video media header: graphics mode and op colour, kept by visual handlers.
       {"vmhd"_4cc, Need::optional, Times::once, Payload::fields,
        [&](const Atom&, Cursor& c) {
          c.fullHeader();
          uint16_t mode = c.u16();
          RGBColor op{c.u16(), c.u16(), c.u16()};
          if (auto* v = dynamic_cast<VisualHandler*>(media.handler.get()); v && c.ok()) {
            v->graphicsMode = mode;
            v->opColor = op;
          }
          return Took::rendered;
        }},
       {"smhd"_4cc, Need::optional, Times::once, Payload::fields,
        [&](const Atom&, Cursor& c) {
          c.fullHeader();
          int16_t balance = c.s16();
          c.skip(2);  // reserved
          if (auto* s = dynamic_cast<SoundHandler*>(media.handler.get()); s && c.ok()) s->balance = balance;
          return Took::rendered;
        }},
       {"gmhd"_4cc, Need::optional, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(baseHeader(a, media, o)); }},
       {"hdlr"_4cc, Need::optional, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) {
          o.dataHandler = a.bytes();
          return Took::rendered;
        }},
       {"stbl"_4cc, Need::required, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(sampleTable(a, media, o)); }, "media without a sample table"}},
      &o.minf);
}

bool Reader::sampleTable(const Atom& stbl, Media& media, TrackOrigin& o) {
  if (media.dataRefs.empty()) {
    // No reference (no 'dinf', no 'dref', or none in it): in a file that reads,
    // the samples can only be in the file itself.
    media.dataRefs.push_back(fileDataRef(filePath));
    o.selfRefTypes.push_back(AliasDataHandlerSubType);
  }
  Enter s(*this, "stbl");
  // A table the known movie holds already keeps its origin: the same bytes.
  if (auto same = knownTable(stbl, media.dataRefs.size())) {
    media.store = std::move(same);
    return true;
  }
  auto store = std::make_shared<SampleStore>();
  auto kept = std::make_shared<StoreOrigin>();
  if (!readSampleTable(stbl, media.dataRefs, filePath, fileSize, *store, kept->stbl, *this)) return false;
  kept->revision = store->table.revision();
  kept->table = {holder, stbl.start, stbl.size, {}, media.dataRefs.size()};
  store->origin = std::move(kept);
  media.store = std::move(store);
  return true;
}

// 'gmhd' — base media information header: 'gmin', and for time code media
// 'tmcd'/'tcmi' with the display settings the handler keeps. 'text' is
// rendered for text media only; other media keep what the file had, as they
// keep 'tmcd' when they are not time code media.
bool Reader::baseHeader(const Atom& gmhd, Media& media, TrackOrigin& o) {
  Enter e(*this, "gmhd");
  std::vector<Child> table{{"gmin"_4cc, Need::optional, Times::once, Payload::whole, {}}};
  if (media.type == TextMediaType) table.push_back({"text"_4cc, Need::optional, Times::once, Payload::whole, {}});
  if (auto* tc = dynamic_cast<TimeCodeHandler*>(media.handler.get()))
    table.push_back({"tmcd"_4cc, Need::optional, Times::once, Payload::whole, [&, tc](const Atom& a, Cursor&) {
                       auto tcmi = [&, tc](const Atom& k, Cursor& c) { return took(timeCodeInfo(k, c, *tc, o)); };
                       return took(children(a, {{"tcmi"_4cc, Need::optional, Times::many, Payload::fields, tcmi}},
                                            nullptr));
                     }});
  return children(gmhd, table, &o.gmhd);
}

bool Reader::timeCodeInfo(const Atom& tcmi, Cursor& c, TimeCodeHandler& tc, TrackOrigin& o) {
  c.fullHeader();
  TCTextOptions opt{};
  opt.txFont = c.s16();
  opt.txFace = c.s16();
  opt.txSize = c.s16();
  c.skip(2);
  opt.foreColor = {c.u16(), c.u16(), c.u16()};
  opt.backColor = {c.u16(), c.u16(), c.u16()};
  if (!c.ok()) return truncated(tcmi);
  tc.options = opt;
  // Some writers leave the font name out, length byte and all.
  size_t rest = c.left();
  const uint8_t* name = c.take(rest);
  if (rest > 0 && name[0] < rest) o.timeCodeFontName.assign(name, name + 1 + name[0]);
  return true;
}

// 'dinf'/'dref' — QTFF "Data reference atoms".
bool Reader::dataRefs(const Atom& dinf, Media& media, TrackOrigin& o) {
  Enter e(*this, "dinf");
  return children(dinf,
                  {{"dref"_4cc, Need::optional, Times::once, Payload::whole,
                    [&](const Atom& a, Cursor& c) {
                      Enter d(*this, "dref");
                      return took(dataRefEntries(a, c, media, o));
                    }}},
                  &o.dinf);
}

// A self reference is read as a reference to this file, so that sample bytes
// can be fetched through it.
bool Reader::dataRefEntries(const Atom& a, Cursor& c, Media& media, TrackOrigin& o) {
  c.fullHeader();
  uint32_t n = c.u32();
  if (!c.ok()) return truncated(a);
  if (!c.fits(n, 12)) return bad(a.offset, std::to_string(n) + " data references cannot fit");
  std::vector<Atom> refs;
  if (!split(a, refs, 8)) return false;
  if (refs.size() != n)
    return bad(a.offset, "count says " + std::to_string(n) + " data references, atom holds " + std::to_string(refs.size()));
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
  return true;
}

}  // namespace

OSErr readMovie(const Atom& moov, std::shared_ptr<const void> holder, const std::string& filePath,
                uint64_t fileSize, Movie& movie, MovieOrigin& origin, Failure& fail, const Movie* known) {
  AtomPath path;
  Failure f;
  Reader r(filePath, fileSize, origin, std::move(holder), known, path, f);
  if (!r.movie(moov, movie)) {
    fail = f;
    return fail.err;
  }
  return noErr;
}

}  // namespace qte::file
