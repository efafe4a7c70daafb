// Sample tables from a file: 'stsd', 'stts', 'stsz'/'stz2', 'stsc', 'stco'/'co64'
// and 'stss' (QTFF "Sample table atoms"; ISO/IEC 14496-12 8.5-8.7) become the
// model's run-length table, built table by table from their entries. Every count
// is checked against its atom first, so the work is bounded by the table bytes,
// never by a sample count the file claims. Writing is next to reading.
#include "reader.h"
#include "writer.h"

#include <optional>

namespace qte::file {

namespace {

// A table of `count` fixed-size records following v/f (and `extra` more bytes).
struct Table {
  const uint8_t* p = nullptr;
  uint32_t count = 0;
};

class SampleTableReader {
 public:
  SampleTableReader(const std::vector<DataRef>& refs, const std::string& filePath, uint64_t fileSize, Walk& walk,
                    SampleStore& out)
      : refs_(refs), filePath_(filePath), fileSize_(fileSize), walk_(walk), out_(out) {}

  bool read(const Atom& stbl, Layout& layout);

 private:
  bool bad(const Atom& a, const std::string& what) {
    Walk::Enter e(walk_, fourccText(a.type));
    return walk_.bad(a.offset, what);
  }
  // v/f, u32 count, then `count` records of `each` bytes.
  bool table(const std::optional<Atom>& a, size_t each, Table& out);
  bool descriptions();
  bool sizeTable();
  bool checkRuns(const Atom& stbl);
  bool durations(SampleTable::Parts& parts);
  void sizes(SampleTable::Parts& parts);
  bool chunks(SampleTable::Parts& parts);
  uint32_t sizeOf(uint32_t i) const {
    if (constantSize_) return constantSize_;
    switch (fieldBits_) {
      case 4: return (sizes_.p[i / 2] >> (i % 2 ? 0 : 4)) & 0xF;
      case 8: return sizes_.p[i];
      case 16: return get16(sizes_.p + 2 * size_t(i));
      default: return get32(sizes_.p + 4 * size_t(i));
    }
  }

  const std::vector<DataRef>& refs_;
  const std::string& filePath_;
  uint64_t fileSize_;
  Walk& walk_;
  SampleStore& out_;
  // The table's atoms, copied out of the walk that found them.
  const Atom* stbl_ = nullptr;
  std::optional<Atom> stsd_, stts_, stsz_, stz2_, stsc_, stco_, co64_, stss_;
  Table stts, stsc, chunks_, stss, sizes_;
  uint32_t constantSize_ = 0, sampleCount_ = 0;
  unsigned fieldBits_ = 32;
};

bool SampleTableReader::table(const std::optional<Atom>& a, size_t each, Table& out) {
  if (!a) return true;
  Cursor c(*a);
  c.fullHeader();
  out.count = c.u32();
  if (!c.ok()) return bad(*a, "atom is shorter than its fields");
  if (!c.fits(out.count, each)) return bad(*a, "entry count " + std::to_string(out.count) + " exceeds the atom");
  out.p = c.take(0);
  return true;
}

bool SampleTableReader::read(const Atom& stbl, Layout& layout) {
  stbl_ = &stbl;
  auto at = [](std::optional<Atom>& slot) {
    return [&slot](const Atom& a, Cursor&) {
      slot = a;
      return Took::rendered;
    };
  };
  // The writer gives sizes as 'stsz' and offsets as 'stco' (or 'co64' when they need it).
  const bool ok = walk_.children(
      stbl,
      {{"stsd"_4cc, Need::required, Times::once, Payload::whole, at(stsd_), "no sample descriptions"},
       {"stts"_4cc, Need::optional, Times::once, Payload::whole, at(stts_)},
       {"stsz"_4cc, Need::optional, Times::once, Payload::whole, at(stsz_)},
       {"stz2"_4cc, Need::optional, Times::once, Payload::whole, at(stz2_), nullptr, "stsz"_4cc},
       {"stsc"_4cc, Need::optional, Times::once, Payload::whole, at(stsc_)},
       {"stco"_4cc, Need::optional, Times::once, Payload::whole, at(stco_)},
       {"co64"_4cc, Need::optional, Times::once, Payload::whole, at(co64_), nullptr, "stco"_4cc},
       {"stss"_4cc, Need::optional, Times::once, Payload::whole, at(stss_)}},
      &layout);
  if (!ok || !descriptions()) return false;
  if (!table(stts_, 8, stts) || !table(stsc_, 12, stsc) || !table(stss_, 4, stss)) return false;
  if (stco_ && co64_) return bad(*co64_, "both 'stco' and 'co64'");
  if (!table(co64_ ? co64_ : stco_, co64_ ? 8 : 4, chunks_) || !sizeTable()) return false;
  if (!checkRuns(stbl)) return false;
  if (sampleCount_ == 0) return true;
  SampleTable::Parts parts;
  if (!durations(parts)) return false;
  sizes(parts);
  if (stss_) {
    parts.allSync = false;
    parts.sync.reserve(stss.count);
    for (uint32_t i = 0; i < stss.count; ++i) parts.sync.push_back(get32(stss.p + 4 * size_t(i)) - 1);
  }
  if (!chunks(parts)) return false;
  out_.table.assign(std::move(parts));
  return true;
}

// 'stsd': entries are atom-shaped records whose bytes are the descriptions.
bool SampleTableReader::descriptions() {
  Table t;
  if (!table(stsd_, 16, t)) return false;
  std::vector<Atom> entries;
  {
    Walk::Enter e(walk_, "stsd");
    if (!splitAtoms(t.p, stsd_->start + stsd_->size - t.p, stsd_->offset + (t.p - stsd_->start), walk_.path(),
                    entries, walk_.failure()))
      return false;
  }
  if (entries.size() != t.count)
    return bad(*stsd_, "count says " + std::to_string(t.count) + " descriptions, atom holds " +
                           std::to_string(entries.size()));
  for (const Atom& e : entries) {
    if (e.header != 8 || e.size < 16) return bad(*stsd_, "sample description shorter than its header");
    out_.descriptions.push_back(e.bytes());
    // Data reference 0 names none; writers that leave it so mean the first.
    if (get16(e.start + 14) == 0 && !refs_.empty()) out_.descriptions.back()[15] = 1;
  }
  return true;
}

// Sizes: one constant, or a table of 32-bit ('stsz') or packed ('stz2') fields.
bool SampleTableReader::sizeTable() {
  if (stsz_ && stz2_) return bad(*stz2_, "both 'stsz' and 'stz2'");
  const std::optional<Atom>& a = stsz_ ? stsz_ : stz2_;
  if (!a) return true;
  Cursor c(*a);
  c.fullHeader();
  if (stsz_) {
    constantSize_ = c.u32();
  } else {
    c.skip(3);
    fieldBits_ = c.u8();
    if (fieldBits_ != 4 && fieldBits_ != 8 && fieldBits_ != 16) return bad(*a, "field size " + std::to_string(fieldBits_));
  }
  sampleCount_ = c.u32();
  if (!c.ok()) return bad(*a, "atom is shorter than its fields");
  if (constantSize_ == 0) {
    uint64_t need = (uint64_t(sampleCount_) * fieldBits_ + 7) / 8;
    if (need > c.left()) return bad(*a, "sample count " + std::to_string(sampleCount_) + " exceeds the atom");
    sizes_.p = c.take(0);
  }
  return true;
}

// The tables agree on the sample count, and chunk runs and sync samples are in
// order and in range, before anything is built from them.
bool SampleTableReader::checkRuns(const Atom& stbl) {
  uint64_t timed = 0;
  for (uint32_t i = 0; i < stts.count; ++i) timed += get32(stts.p + 8 * size_t(i));
  if (timed != sampleCount_)
    return bad(stts_ ? *stts_ : stbl, "durations cover " + std::to_string(timed) + " samples, sizes " +
                                          std::to_string(sampleCount_));
  if (sampleCount_ == 0) return true;
  if (!stsc_ || chunks_.count == 0 || stsc.count == 0) return bad(stbl, "samples without chunks");
  for (uint32_t i = 0; i < stsc.count; ++i) {
    const uint8_t* e = stsc.p + 12 * size_t(i);
    uint32_t first = get32(e), desc = get32(e + 8);
    uint32_t prev = i ? get32(e - 12) : 0;
    if (first <= prev || (i == 0 && first != 1))
      return bad(*stsc_, "chunk runs out of order at entry " + std::to_string(i + 1));
    if (desc == 0 || desc > out_.descriptions.size())
      return bad(*stsc_, "entry " + std::to_string(i + 1) + " names description " + std::to_string(desc));
  }
  uint32_t lastSync = 0;
  for (uint32_t i = 0; i < stss.count; ++i) {
    uint32_t s = get32(stss.p + 4 * size_t(i));
    if (s <= lastSync || s > sampleCount_)
      return bad(*stss_, "sync sample list out of order or range at entry " + std::to_string(i + 1));
    lastSync = s;
  }
  return true;
}

// Durations: the file's runs, with neighbours of equal duration joined.
bool SampleTableReader::durations(SampleTable::Parts& parts) {
  uint64_t duration = 0;
  uint32_t timedSamples = 0;
  parts.runs.reserve(stts.count);
  for (uint32_t i = 0; i < stts.count; ++i) {
    const uint32_t n = get32(stts.p + 8 * size_t(i)), delta = get32(stts.p + 8 * size_t(i) + 4);
    if (n == 0) continue;
    if (duration + uint64_t(n) * delta > uint64_t(INT64_MAX) / 2) return bad(*stts_, "total duration overflows");
    if (!parts.runs.empty() && parts.runs.back().delta == delta) parts.runs.back().count += n;
    else parts.runs.push_back({n, delta, timedSamples, int64_t(duration)});
    duration += uint64_t(n) * delta;
    timedSamples += n;
  }
  return true;
}

// Sizes: kept one a sample only when they differ.
void SampleTableReader::sizes(SampleTable::Parts& parts) {
  parts.constantSize = constantSize_;
  if (constantSize_) return;
  // Locals, not members: the stores into `parts` could otherwise alias them,
  // and the loops of a million samples would neither hoist nor vectorise.
  const uint32_t n = sampleCount_;
  const uint8_t* const from = sizes_.p;
  uint32_t first = sizeOf(0);
  bool same = true;
  for (uint32_t i = 1; i < n && same; ++i) same = sizeOf(i) == first;
  if (same) {
    parts.constantSize = first;
    return;
  }
  parts.sizes.resize(n);
  uint32_t* to = parts.sizes.data();
  if (fieldBits_ == 32) {
    for (uint32_t i = 0; i < n; ++i) to[i] = get32(from + 4 * size_t(i));
  } else {
    for (uint32_t i = 0; i < n; ++i) to[i] = sizeOf(i);
  }
}

// Chunks: the file's, joined where one continues the last (same description,
// back to back) up to the model's bound, and split at that bound when sizes
// vary (finding a sample then means adding up the sizes before it).
bool SampleTableReader::chunks(SampleTable::Parts& parts) {
  // Locals, not members: stores into `parts` would otherwise make the compiler
  // read the tables' places again on every sample.
  const uint32_t sampleCount = sampleCount_;
  const Table runs = stsc, chunkTable = chunks_;
  const auto& sampleSizes = parts.sizes;
  const uint32_t fixedSize = parts.constantSize;
  const bool wide = co64_.has_value();
  const Atom& offsets = wide ? *co64_ : *stco_;
  // Which data references name this file, once: chunks number in the hundreds of thousands.
  std::vector<uint8_t> refIsThisFile(refs_.size());
  for (size_t i = 0; i < refs_.size(); ++i) refIsThisFile[i] = namesFile(refs_[i], filePath_);

  parts.chunks.reserve(chunkTable.count);
  uint32_t sample = 0;  // next sample, 0-based
  uint32_t stscAt = 0;
  uint64_t lastEnd = 0;
  uint32_t lastDesc = 0;
  for (uint32_t chunk = 1; chunk <= chunkTable.count && sample < sampleCount; ++chunk) {
    while (stscAt + 1 < runs.count && get32(runs.p + 12 * size_t(stscAt + 1)) <= chunk) ++stscAt;
    const uint8_t* e = runs.p + 12 * size_t(stscAt);
    const uint32_t desc = get32(e + 8);
    const uint32_t count = std::min(get32(e + 4), sampleCount - sample);
    const uint64_t chunkStart =
        wide ? get64(chunkTable.p + 8 * size_t(chunk - 1)) : get32(chunkTable.p + 4 * size_t(chunk - 1));
    if (count == 0) continue;
    if (desc != lastDesc) parts.descRuns.push_back({sample, desc});

    uint64_t offset = chunkStart;
    for (uint32_t left = count; left > 0;) {
      constexpr uint32_t kBound = SampleTable::kMaxSamplesPerChunk;
      Chunk* last = parts.chunks.empty() ? nullptr : &parts.chunks.back();
      const bool follows = last && desc == lastDesc && lastEnd == offset;
      uint32_t n = left;
      bool joins = follows && last->count + n <= kBound;
      if (!sampleSizes.empty() && !joins) {
        joins = follows && last->count < kBound;
        n = std::min(n, joins ? kBound - last->count : kBound);
      }
      uint64_t bytes = uint64_t(n) * fixedSize;
      if (!sampleSizes.empty()) {
        bytes = 0;
        for (uint32_t k = 0; k < n; ++k) bytes += sampleSizes[sample + k];
      }
      if (offset > Chunk::kMaxOffset - bytes) return bad(offsets, "chunk offsets overflow");
      if (joins) last->count += n;
      else parts.chunks.push_back({sample, n, offset});
      offset += bytes;
      lastEnd = offset;
      lastDesc = desc;
      sample += n;
      left -= n;
    }
    const Bytes& d = out_.descriptions[desc - 1];
    uint16_t refIndex = get16(d.data() + 14);
    bool inThisFile = refIndex >= 1 && refIndex <= refs_.size() && refIsThisFile[refIndex - 1];
    if (inThisFile && offset > fileSize_)
      return bad(offsets, "chunk " + std::to_string(chunk) + " at " + std::to_string(chunkStart) +
                              " runs past the end of the file");
  }
  if (sample < sampleCount)
    return bad(*stbl_, "chunks hold " + std::to_string(sample) + " of " + std::to_string(sampleCount) + " samples");
  return true;
}

}  // namespace

bool readSampleTable(const Atom& stbl, const std::vector<DataRef>& refs, const std::string& filePath,
                     uint64_t fileSize, SampleStore& out, Layout& layout, Walk& walk) {
  return SampleTableReader(refs, filePath, fileSize, walk, out).read(stbl, layout);
}

// --- Writing

// 'stbl' — runs as the model keeps them; per-sample atoms the model does not
// keep go back only while the samples are those they describe.
void Writer::sampleTable(Bytes& b, const Media& m) {
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

void Writer::writeSampleTable(Bytes& b, const Media& m) {
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

void Writer::descriptions(Bytes& b, const Media& m) {
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

void Writer::durations(Bytes& b, const SampleTable& t) {
  {
    AtomScope a(b, "stts"_4cc);
    putFullHeader(b, 0, 0);
    const auto& runs = t.timeRuns();
    put32(b, uint32_t(runs.size()));
    put32s(b, 2 * runs.size(), [&](size_t i) { return i % 2 ? runs[i / 2].delta : runs[i / 2].count; });
  }
}

void Writer::syncSamples(Bytes& b, const SampleTable& t) {
  if (!t.allSync()) {
    AtomScope a(b, "stss"_4cc);
    putFullHeader(b, 0, 0);
    const auto& sync = t.syncSamples();
    put32(b, uint32_t(sync.size()));
    put32s(b, sync.size(), [&](size_t i) { return sync[i] + 1; });
  }
}

void Writer::chunkRuns(Bytes& b, const SampleTable& t) {
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

void Writer::sizes(Bytes& b, const SampleTable& t) {
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
void Writer::chunkOffsets(Bytes& b, const Media& m) {
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

}  // namespace qte::file
