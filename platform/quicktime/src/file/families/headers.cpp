// Movie and track headers: the movie atom and its tracks, 'mvhd', 'tkhd' and the
// track references in 'tref' (QTFF "Movie atoms", "Track atoms"; ISO/IEC 14496-12 8.2-8.3).
// Reading and writing side by side.
#include "reader.h"
#include "writer.h"

namespace qte::file {

// --- Reading

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
  const auto [created, modified, scale] = readHeaderTimes(c, version);
  m.creationTime = created;
  m.modificationTime = modified;
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

// --- Writing

WrittenAtom Writer::written() {
  WrittenAtom atom;
  atom.own = movie();
  atom.borrowed = std::move(borrowed_);
  return atom;
}

Bytes Writer::movie() {
  Bytes b;
  {
    AtomScope moov(b, "moov"_4cc, &elsewhere_);
    layoutOf(origin_ ? &origin_->moov : nullptr)
        .write(b, {{"mvhd"_4cc, [&] { movieHeader(b); }},
                   {"clip"_4cc, [&] { clip(b, movie_.clip, origin_ ? &origin_->clip : nullptr); }},
                   {"trak"_4cc,
                    [&] {
                      for (const auto& t : movie_.tracks)
                        if (t->media && written(t->id)) track(b, *t);
                    }},
                   {"udta"_4cc, [&] { userData(b, *movie_.userData, movie_.metaData.get()); }},
                   {"meta"_4cc, [&] { quickTimeMeta(b, movie_.metaData.get()); }}});
  }
  return b;
}

// 'mvhd' — QTFF "Movie header atom".
void Writer::movieHeader(Bytes& b) {
  uint64_t duration = static_cast<uint64_t>(movie_.duration());
  uint8_t v = duration > k32 ? 1 : 0;
  AtomScope a(b, "mvhd"_4cc);
  putFullHeader(b, v, 0);
  putHeaderTimes(b, v, movie_.creationTime, movie_.modificationTime, movie_.scale, duration);
  put32(b, uint32_t(movie_.preferredRate));
  put16(b, uint16_t(movie_.volume));
  b.insert(b.end(), 10, 0);
  putMatrix(b, movie_.matrix);
  put32(b, origin_ ? origin_->previewTime : 0);
  put32(b, origin_ ? origin_->previewDuration : 0);
  put32(b, origin_ ? origin_->posterTime : 0);
  put32(b, origin_ ? origin_->selectionTime : 0);
  put32(b, origin_ ? origin_->selectionDuration : 0);
  put32(b, uint32_t(movie_.currentTime));
  put32(b, movie_.nextTrackID);
}

bool Writer::written(uint32_t trackID) const {
  const Track* t = movie_.trackByID(trackID);
  return t && t->media && (t->enabled || !target_.enabledOnly);
}

// The layout a container had in its file; none for one the engine made.
const Layout& Writer::layoutOf(const Layout* l) {
  static const Layout none;
  return l ? *l : none;
}

void Writer::putTime(Bytes& b, uint8_t version, uint64_t v) {
  if (version) put64(b, v);
  else put32(b, uint32_t(v));
}

void Writer::track(Bytes& b, const Track& t) {
  const TrackOrigin* o = t.origin.get();
  AtomScope trak(b, "trak"_4cc, &elsewhere_);
  layoutOf(o ? &o->trak : nullptr)
      .write(b, {{"tkhd"_4cc, [&] { trackHeader(b, t, o); }},
                 {"tapt"_4cc, [&] { aperture(b, t, o); }},
                 {"clip"_4cc, [&] { clip(b, t.clip, o ? &o->clip : nullptr); }},
                 {"edts"_4cc, [&] { editList(b, t, o); }},
                 {"tref"_4cc, [&] { references(b, t); }},
                 {"mdia"_4cc, [&] { mediaAtom(b, *t.media, o); }},
                 {"udta"_4cc, [&] { userData(b, *t.userData, t.metaData.get()); }},
                 {"meta"_4cc, [&] { quickTimeMeta(b, t.metaData.get()); }}});
}

// 'tkhd' — QTFF "Track header atom".
void Writer::trackHeader(Bytes& b, const Track& t, const TrackOrigin* o) {
  uint64_t duration = static_cast<uint64_t>(t.edits.duration());
  uint8_t v = duration > k32 ? 1 : 0;
  AtomScope a(b, "tkhd"_4cc);
  putFullHeader(b, v, (t.enabled ? 1 : 0) | (o ? o->usage : 0xE));
  putTime(b, v, t.creationTime);
  putTime(b, v, t.modificationTime);
  put32(b, t.id);
  put32(b, 0);
  putTime(b, v, duration);
  put64(b, 0);
  put16(b, uint16_t(t.layer));
  put16(b, uint16_t(t.alternateGroup));
  put16(b, uint16_t(t.volume));
  put16(b, 0);
  putMatrix(b, t.matrix);
  put32(b, uint32_t(t.width));
  put32(b, uint32_t(t.height));
}

// 'tref' — references to tracks left out of the file go with them.
void Writer::references(Bytes& b, const Track& t) {
  std::vector<TrackReference> refs;
  for (const TrackReference& r : t.references) {
    TrackReference kept{r.type, {}};
    for (uint32_t id : r.trackIDs)
      if (!target_.enabledOnly || written(id)) kept.trackIDs.push_back(id);
    if (!kept.trackIDs.empty()) refs.push_back(std::move(kept));
  }
  if (!refs.empty()) {
    AtomScope tref(b, "tref"_4cc);
    for (const TrackReference& r : refs) {
      AtomScope a(b, r.type);
      for (uint32_t id : r.trackIDs) put32(b, id);
    }
  }
}

}  // namespace qte::file
