// Writing the model as a movie atom (QTFF "Movie atoms"). Writing is strict:
// every count matches its entries, 'co64' replaces 'stco' once an offset passes
// 32 bits, and version-1 headers carry durations past 32 bits.
#include "movie_writer.h"

#include "../channel_layout.h"
#include "../metadata_store.h"
#include "../timecode.h"

#include <algorithm>

namespace qte::file {

namespace {

constexpr uint64_t k32 = UINT32_MAX;

void putMatrix(Bytes& b, const MatrixRecord& m) {
  for (const auto& row : m.matrix)
    for (Fixed v : row) put32(b, static_cast<uint32_t>(v));
}

void putPascal(Bytes& b, const char* s) {
  size_t n = std::char_traits<char>::length(s);
  put8(b, uint8_t(n));
  b.insert(b.end(), s, s + n);
}

class Writer {
 public:
  Writer(const Movie& movie, const WriteTarget& target, bool summary, std::vector<PlacedTable>* placed)
      : movie_(movie), origin_(movie.origin.get()), target_(target), summary_(summary), placed_(placed) {}

  WrittenAtom written() {
    WrittenAtom atom;
    atom.own = movie();
    atom.borrowed = std::move(borrowed_);
    return atom;
  }

  Bytes movie() {
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

 private:
  // 'mvhd' — QTFF "Movie header atom".
  void movieHeader(Bytes& b) {
    uint64_t duration = static_cast<uint64_t>(movie_.duration());
    uint8_t v = duration > k32 ? 1 : 0;
    AtomScope a(b, "mvhd"_4cc);
    putFullHeader(b, v, 0);
    putTime(b, v, movie_.creationTime);
    putTime(b, v, movie_.modificationTime);
    put32(b, uint32_t(movie_.scale));
    putTime(b, v, duration);
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

  bool written(uint32_t trackID) const {
    const Track* t = movie_.trackByID(trackID);
    return t && t->media && (t->enabled || !target_.enabledOnly);
  }

  // The layout a container had in its file; none for one the engine made.
  static const Layout& layoutOf(const Layout* l) {
    static const Layout none;
    return l ? *l : none;
  }

  // 'clip'/'crgn' — the region as the model keeps it, in file form.
  static void clip(Bytes& b, const Bytes& region, const Layout* kept) {
    if (region.empty() && !(kept && kept->keepsAny())) return;
    AtomScope c(b, "clip"_4cc);
    layoutOf(kept).write(b, {{"crgn"_4cc, [&] {
                                if (region.empty()) return;
                                AtomScope r(b, "crgn"_4cc);
                                putBytes(b, region);
                              }}});
  }

  static void quickTimeMeta(Bytes& b, const MetaStore* meta) {
    if (meta && !meta->quickTime().items.empty()) putBytes(b, writeQuickTimeMetaAtom(meta->quickTime()));
  }

  static void putTime(Bytes& b, uint8_t version, uint64_t v) {
    if (version) put64(b, v);
    else put32(b, uint32_t(v));
  }

  // 'udta' items, with the owner's iTunes metadata as its 'meta' item.
  void userData(Bytes& b, const UserDataList& list, const MetaStore* meta) {
    bool iTunes = meta && !meta->iTunes().empty();
    if (list.items.empty() && !iTunes) return;
    AtomScope u(b, "udta"_4cc);
    for (const UserDataItem& item : list.items) {
      AtomScope i(b, item.type);
      putBytes(b, item.data);
    }
    if (iTunes) putBytes(b, writeITunesMetaAtom(meta->iTunes()));
  }

  void track(Bytes& b, const Track& t) {
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

  // 'tapt' — clean, production and encoded-pixels dimensions.
  void aperture(Bytes& b, const Track& t, const TrackOrigin* o) {
    if (!t.aperture.present) return;
    AtomScope tapt(b, "tapt"_4cc);
    std::vector<Layout::Part> parts;
    for (auto [type, p] : {std::pair{"clef"_4cc, t.aperture.clean}, std::pair{"prof"_4cc, t.aperture.production},
                           std::pair{"enof"_4cc, t.aperture.encoded}})
      parts.push_back({type, [&b, type = type, p = p] {
                         AtomScope a(b, type);
                         putFullHeader(b, 0, 0);
                         put32(b, uint32_t(p.x));
                         put32(b, uint32_t(p.y));
                       }});
    layoutOf(o ? &o->tapt : nullptr).write(b, parts);
  }

  // 'tref' — references to tracks left out of the file go with them.
  void references(Bytes& b, const Track& t) {
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

  // 'tkhd' — QTFF "Track header atom".
  void trackHeader(Bytes& b, const Track& t, const TrackOrigin* o) {
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

  // 'edts'/'elst' — version 1 when a duration or media time needs 64 bits. A
  // track with samples but no edits gets one edit of no length: without a list
  // its media would play once, and readers take an empty list for none.
  void editList(Bytes& b, const Track& t, const TrackOrigin* o) {
    const bool kept = o && o->edts.keepsAny();
    const bool list = t.edits.size() > 0 || (t.media && t.media->samples().table.count() > 0);
    if (!list && !kept) return;
    AtomScope edts(b, "edts"_4cc);
    layoutOf(o ? &o->edts : nullptr).write(b, {{"elst"_4cc, [&] { if (list) editEntries(b, t); }}});
  }

  static void editEntries(Bytes& b, const Track& t) {
    const auto& edits = t.edits.edits();
    {
      bool wide = std::any_of(edits.begin(), edits.end(), [](const Edit& e) {
        return uint64_t(e.duration) > k32 || e.mediaTime > INT32_MAX;
      });
      AtomScope elst(b, "elst"_4cc);
      putFullHeader(b, wide ? 1 : 0, 0);
      put32(b, uint32_t(std::max<size_t>(edits.size(), 1)));
      if (edits.empty()) {
        put32(b, 0);
        put32(b, 0);
        put32(b, kFixedOne);
      }
      for (const Edit& e : edits) {
        if (wide) {
          put64(b, uint64_t(e.duration));
          put64(b, uint64_t(e.empty() ? -1 : e.mediaTime));
        } else {
          put32(b, uint32_t(e.duration));
          put32(b, uint32_t(e.empty() ? -1 : e.mediaTime));
        }
        put32(b, uint32_t(e.rate));
      }
    }
  }

  void mediaAtom(Bytes& b, const Media& m, const TrackOrigin* o) {
    AtomScope mdia(b, "mdia"_4cc, &elsewhere_);
    layoutOf(o ? &o->mdia : nullptr)
        .write(b, {{"mdhd"_4cc, [&] { mediaHeader(b, m); }},
                   {"hdlr"_4cc, [&] { mediaHandler(b, m, o); }},
                   {"udta"_4cc, [&] { if (!m.userData->items.empty()) userData(b, *m.userData, nullptr); }},
                   {"minf"_4cc, [&] { mediaInfo(b, m, o); }}});
  }

  // 'mdhd' — QTFF "Media header atom".
  void mediaHeader(Bytes& b, const Media& m) {
    {
      uint64_t duration = static_cast<uint64_t>(m.samples().table.duration());
      uint8_t v = duration > k32 ? 1 : 0;
      AtomScope a(b, "mdhd"_4cc);
      putFullHeader(b, v, 0);
      putTime(b, v, m.creationTime);
      putTime(b, v, m.modificationTime);
      put32(b, uint32_t(m.scale));
      putTime(b, v, duration);
      put16(b, uint16_t(m.language));
      put16(b, uint16_t(m.quality));
    }
  }

  // The handler as read keeps its name, unless the media changed type since.
  void mediaHandler(Bytes& b, const Media& m, const TrackOrigin* o) {
    if (o && o->mediaHandler.size() >= 20 && get32(o->mediaHandler.data() + 16) == m.type) {
      putBytes(b, o->mediaHandler);
    } else {
      AtomScope a(b, "hdlr"_4cc);
      putFullHeader(b, 0, 0);
      put32(b, "mhlr"_4cc);
      put32(b, m.type);
      b.insert(b.end(), 12, 0);
      putPascal(b, "");
    }
  }

  void mediaInfo(Bytes& b, const Media& m, const TrackOrigin* o) {
    AtomScope minf(b, "minf"_4cc, &elsewhere_);
    const auto* sound = dynamic_cast<const SoundHandler*>(m.handler.get());
    const OSType header = m.type == VideoMediaType ? "vmhd"_4cc : sound ? "smhd"_4cc : "gmhd"_4cc;
    layoutOf(o ? &o->minf : nullptr)
        .write(b, {{header, [&] { mediaInfoHeader(b, m, o); }},
                   {"hdlr"_4cc, [&] { dataHandler(b, o); }},
                   {"dinf"_4cc, [&] { dataInfo(b, m, o); }},
                   {"stbl"_4cc, [&] { sampleTable(b, m); }}});
  }

  // 'vmhd', 'smhd' or 'gmhd', as the media's handler has it.
  void mediaInfoHeader(Bytes& b, const Media& m, const TrackOrigin* o) {
    if (m.type == VideoMediaType) {
      auto* v = dynamic_cast<const VisualHandler*>(m.handler.get());
      AtomScope a(b, "vmhd"_4cc);
      putFullHeader(b, 0, 1);  // flag 1: "no lean ahead", set by every writer
      put16(b, uint16_t(v ? v->graphicsMode : ditherCopy));
      RGBColor op = v ? v->opColor : RGBColor{0x8000, 0x8000, 0x8000};
      put16(b, op.red);
      put16(b, op.green);
      put16(b, op.blue);
    } else if (auto* s = dynamic_cast<const SoundHandler*>(m.handler.get())) {
      AtomScope a(b, "smhd"_4cc);
      putFullHeader(b, 0, 0);
      put16(b, uint16_t(s->balance));
      put16(b, 0);
    } else {
      baseHeader(b, m, o);
    }
  }

  // 'hdlr' in 'minf': the data handler as read (ISO files have none), else an alias handler.
  static void dataHandler(Bytes& b, const TrackOrigin* o) {
    if (o && !o->dataHandler.empty()) {
      putBytes(b, o->dataHandler);
    } else if (!o) {
      AtomScope a(b, "hdlr"_4cc);
      putFullHeader(b, 0, 0);
      put32(b, "dhlr"_4cc);
      put32(b, AliasDataHandlerSubType);
      b.insert(b.end(), 12, 0);
      putPascal(b, "");
    }
  }

  // 'dinf'/'dref' — references to this file are self references.
  void dataInfo(Bytes& b, const Media& m, const TrackOrigin* o) {
    AtomScope dinf(b, "dinf"_4cc);
    layoutOf(o ? &o->dinf : nullptr).write(b, {{"dref"_4cc, [&] {
      {
        AtomScope dref(b, "dref"_4cc);
        putFullHeader(b, 0, 0);
        put32(b, uint32_t(m.dataRefs.size()));
        for (size_t i = 0; i < m.dataRefs.size(); ++i) {
          const DataRef& r = m.dataRefs[i];
          bool self = target_.allSelf || namesFile(r, target_.path) ||
                      (r.data.empty() && (r.attributes & dataRefSelfReference));
          if (self) {
            OSType type = o && i < o->selfRefTypes.size() && o->selfRefTypes[i] ? o->selfRefTypes[i] : OSType(AliasDataHandlerSubType);
            AtomScope a(b, type);
            putFullHeader(b, 0, dataRefSelfReference);
          } else {
            AtomScope a(b, r.type);
            putFullHeader(b, 0, uint32_t(r.attributes) & ~uint32_t(dataRefSelfReference));
            putBytes(b, r.data);
          }
        }
      }
    }}});
  }

  // 'gmhd' — base media information: 'gmin', 'text' for text media (players
  // look for it to recognise chapter tracks) and 'tmcd'/'tcmi' for time codes.
  void baseHeader(Bytes& b, const Media& m, const TrackOrigin* o) {
    auto* v = dynamic_cast<const VisualHandler*>(m.handler.get());
    AtomScope gmhd(b, "gmhd"_4cc);
    const auto* tc = dynamic_cast<const TimeCodeHandler*>(m.handler.get());
    layoutOf(o ? &o->gmhd : nullptr)
        .write(b, {{"gmin"_4cc, [&] { baseInfo(b, v); }},
                   {"text"_4cc, [&] { if (m.type == TextMediaType) textInfo(b); }},
                   {"tmcd"_4cc, [&] { if (tc) timeCodeInfo(b, *tc, o); }}});
  }

  static void baseInfo(Bytes& b, const VisualHandler* v) {
    {
      AtomScope a(b, "gmin"_4cc);
      putFullHeader(b, 0, 0);
      put16(b, uint16_t(v ? v->graphicsMode : ditherCopy));
      RGBColor op = v ? v->opColor : RGBColor{0x8000, 0x8000, 0x8000};
      put16(b, op.red);
      put16(b, op.green);
      put16(b, op.blue);
      put16(b, 0);
      put16(b, 0);
    }
  }

  static void textInfo(Bytes& b) {
    AtomScope a(b, "text"_4cc);
    MatrixRecord identity{{{kFixedOne, 0, 0}, {0, kFixedOne, 0}, {0, 0, 0x40000000}}};
    putMatrix(b, identity);
  }

  static void timeCodeInfo(Bytes& b, const TimeCodeHandler& tc, const TrackOrigin* o) {
    {
      AtomScope a(b, "tmcd"_4cc);
      AtomScope tcmi(b, "tcmi"_4cc);
      putFullHeader(b, 0, 0);
      const TCTextOptions& t = tc.options;
      put16(b, uint16_t(t.txFont));
      put16(b, uint16_t(t.txFace));
      put16(b, uint16_t(t.txSize));
      put16(b, 0);
      for (const RGBColor& c : {t.foreColor, t.backColor}) {
        put16(b, c.red);
        put16(b, c.green);
        put16(b, c.blue);
      }
      if (o && !o->timeCodeFontName.empty()) putBytes(b, o->timeCodeFontName);
      else put8(b, 0);
    }
  }

  // 'stbl' — runs as the model keeps them; per-sample atoms the model does not
  // keep go back only while the samples are those they describe.
  void sampleTable(Bytes& b, const Media& m) {
    // The samples as read, where they were: the same bytes as the file holds.
    const StoreOrigin* o = target_.offsetsAsStored ? asRead(m.samples()) : nullptr;
    const size_t start = b.size();
    if (o && o->table.size && o->table.channelLayout == m.channelLayout && o->table.dataRefs == m.dataRefs.size()) {
      if (summary_) {
        // Shorter than any real 'stbl', so it stands for these bytes alone.
        AtomScope a(b, "stbl"_4cc);
        put64(b, reinterpret_cast<uintptr_t>(o->table.data));
        put64(b, o->table.size);
      } else {
        borrowed_.push_back({b.size(), o->table.data, o->table.size});
        elsewhere_ += o->table.size;
      }
      return;
    }
    writeSampleTable(b, m);
    if (o && placed_)
      placed_->push_back({m.track->serial, start, b.size() - start, m.channelLayout, m.dataRefs.size()});
  }

  void writeSampleTable(Bytes& b, const Media& m) {
    AtomScope stbl(b, "stbl"_4cc);
    // Atoms kept from the file go back only while the samples are those they describe.
    const StoreOrigin* o = asRead(m.samples());
    layoutOf(o ? &o->stbl : nullptr)
        .write(b, {{"stsd"_4cc, [&] { descriptions(b, m); }},
                   {"stts"_4cc, [&] { durations(b, m.samples().table); }},
                   {"stss"_4cc, [&] { syncSamples(b, m.samples().table); }},
                   {"stsc"_4cc, [&] { chunkRuns(b, m.samples().table); }},
                   {"stsz"_4cc, [&] { sizes(b, m.samples().table); }},
                   {"stco"_4cc, [&] { chunkOffsets(b, m); }}});
  }

  void descriptions(Bytes& b, const Media& m) {
    const SampleStore& s = m.samples();
    {
      AtomScope a(b, "stsd"_4cc);
      putFullHeader(b, 0, 0);
      put32(b, uint32_t(s.descriptions.size()));
      // A layout set on a sound track goes into each of its descriptions.
      for (const Bytes& d : s.descriptions) {
        Bytes entry = m.type == SoundMediaType && !m.channelLayout.empty() ? withChannelLayout(d, m.channelLayout) : d;
        // A description added with data reference 0 (time code descriptions are)
        // has its samples in the media's first reference; a reader needs it named.
        if (entry.size() >= 16 && get16(entry.data() + 14) == 0 && !m.dataRefs.empty()) entry[15] = 1;
        putBytes(b, entry);
      }
    }
  }

  static void durations(Bytes& b, const SampleTable& t) {
    {
      AtomScope a(b, "stts"_4cc);
      putFullHeader(b, 0, 0);
      const auto& runs = t.timeRuns();
      put32(b, uint32_t(runs.size()));
      put32s(b, 2 * runs.size(), [&](size_t i) { return i % 2 ? runs[i / 2].delta : runs[i / 2].count; });
    }
  }

  static void syncSamples(Bytes& b, const SampleTable& t) {
    if (!t.allSync()) {
      AtomScope a(b, "stss"_4cc);
      putFullHeader(b, 0, 0);
      const auto& sync = t.syncSamples();
      put32(b, uint32_t(sync.size()));
      put32s(b, sync.size(), [&](size_t i) { return sync[i] + 1; });
    }
  }

  static void chunkRuns(Bytes& b, const SampleTable& t) {
    const auto& chunks = t.chunks();
    {
      // One entry where the samples per chunk or the description change.
      AtomScope a(b, "stsc"_4cc);
      putFullHeader(b, 0, 0);
      size_t countAt = b.size();
      put32(b, 0);
      uint32_t entries = 0;
      uint32_t lastDesc = 0;
      for (size_t i = 0; i < chunks.size(); ++i) {
        uint32_t desc = t.descIndexOf(chunks[i].firstSample);
        if (i > 0 && chunks[i].count == chunks[i - 1].count && desc == lastDesc) continue;
        put32(b, uint32_t(i + 1));
        put32(b, chunks[i].count);
        put32(b, desc);
        lastDesc = desc;
        ++entries;
      }
      for (int k = 0; k < 4; ++k) b[countAt + k] = uint8_t(entries >> (24 - 8 * k));
    }
  }

  static void sizes(Bytes& b, const SampleTable& t) {
    {
      AtomScope a(b, "stsz"_4cc);
      putFullHeader(b, 0, 0);
      bool constant = true;
      for (uint32_t i = 1; i < t.count() && constant; ++i) constant = t.sizeOf(i) == t.sizeOf(0);
      put32(b, constant && t.count() ? t.sizeOf(0) : 0);
      put32(b, t.count());
      if (!constant) put32s(b, t.count(), [&](size_t i) { return t.sizeOf(uint32_t(i)); });
    }
  }

  // 'stco', or 'co64' once an offset passes 32 bits.
  void chunkOffsets(Bytes& b, const Media& m) {
    const auto& chunks = m.samples().table.chunks();
    std::vector<uint64_t> offsets(chunks.size());
    for (size_t i = 0; i < chunks.size(); ++i) offsets[i] = target_.chunkOffset(*m.track, i);
    bool wide = std::any_of(offsets.begin(), offsets.end(), [](uint64_t v) { return v > k32; });
    AtomScope a(b, wide ? "co64"_4cc : "stco"_4cc);
    putFullHeader(b, 0, 0);
    put32(b, uint32_t(offsets.size()));
    if (wide) put64s(b, offsets.size(), [&](size_t i) { return offsets[i]; });
    else put32s(b, offsets.size(), [&](size_t i) { return uint32_t(offsets[i]); });
  }

  const Movie& movie_;
  const MovieOrigin* origin_;
  const WriteTarget& target_;
  const bool summary_;
  std::vector<PlacedTable>* placed_;
  std::vector<WrittenAtom::Borrowed> borrowed_;
  size_t elsewhere_ = 0;  // bytes of borrowed_
};

}  // namespace

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
