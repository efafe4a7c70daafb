// Sample tables from a file: 'stsd', 'stts', 'stsz'/'stz2', 'stsc', 'stco'/'co64'
// and 'stss' (QTFF "Sample table atoms"; ISO/IEC 14496-12 8.5-8.7) become the
// model's run-length table, built table by table from their entries. Every count
// is checked against its atom first, so the work is bounded by the table bytes,
// never by a sample count the file claims.
#include "movie_reader.h"

namespace qte::file {

namespace {

struct Tables {
  const Atom* stsd = nullptr;
  const Atom* stts = nullptr;
  const Atom* stsz = nullptr;
  const Atom* stz2 = nullptr;
  const Atom* stsc = nullptr;
  const Atom* stco = nullptr;
  const Atom* co64 = nullptr;
  const Atom* stss = nullptr;
};

// A table of `count` fixed-size records following v/f (and `extra` more bytes).
struct Table {
  const uint8_t* p = nullptr;
  uint32_t count = 0;
};

class SampleTableReader {
 public:
  SampleTableReader(const std::string& filePath, uint64_t fileSize, AtomPath& path, Failure& fail)
      : filePath_(filePath), fileSize_(fileSize), path_(path), fail_(fail) {}

  bool bad(const Atom& a, const std::string& what) {
    path_.push(fourccText(a.type));
    fail_.err = badPublicMovieAtom;
    fail_.message = path_.text() + " at offset " + std::to_string(a.offset) + ": " + what;
    path_.pop();
    return false;
  }

  // v/f, u32 count, then `count` records of `each` bytes.
  bool table(const Atom* a, size_t each, Table& out) {
    if (!a) return true;
    Cursor c(*a);
    c.fullHeader();
    out.count = c.u32();
    if (!c.ok()) return bad(*a, "atom is shorter than its fields");
    if (!c.fits(out.count, each))
      return bad(*a, "entry count " + std::to_string(out.count) + " exceeds the atom");
    out.p = c.take(0);
    return true;
  }

  bool read(const Atom& stbl, const std::vector<DataRef>& refs, SampleStore& out, Layout& layout);

 private:
  const std::string& filePath_;
  uint64_t fileSize_;
  AtomPath& path_;
  Failure& fail_;
};

bool SampleTableReader::read(const Atom& stbl, const std::vector<DataRef>& refs, SampleStore& out,
                             Layout& layout) {
  std::vector<Atom> kids;
  if (!splitAtoms(stbl.payload(), stbl.payloadSize(), stbl.offset + stbl.header, path_, kids, fail_)) return false;
  Tables t;
  for (const Atom& a : kids) {
    const Atom** slot = nullptr;
    switch (a.type) {
      case "stsd"_4cc: slot = &t.stsd; break;
      case "stts"_4cc: slot = &t.stts; break;
      case "stsz"_4cc: slot = &t.stsz; break;
      case "stz2"_4cc: slot = &t.stz2; break;
      case "stsc"_4cc: slot = &t.stsc; break;
      case "stco"_4cc: slot = &t.stco; break;
      case "co64"_4cc: slot = &t.co64; break;
      case "stss"_4cc: slot = &t.stss; break;
      default:
        layout.kept(a);
        continue;
    }
    if (*slot) return bad(a, "second '" + fourccText(a.type) + "' in one sample table");
    *slot = &a;
    // The writer gives sizes as 'stsz' and offsets as 'stco' (or 'co64' when they need it).
    layout.rendered(a.type == "stz2"_4cc ? "stsz"_4cc : a.type == "co64"_4cc ? "stco"_4cc : a.type);
  }
  if (!t.stsd) return bad(stbl, "no sample descriptions ('stsd')");

  // 'stsd': entries are atom-shaped records whose bytes are the descriptions.
  Table stsd;
  if (!table(t.stsd, 16, stsd)) return false;
  {
    std::vector<Atom> entries;
    path_.push("stsd");
    bool ok = splitAtoms(stsd.p, t.stsd->start + t.stsd->size - stsd.p, t.stsd->offset + (stsd.p - t.stsd->start),
                         path_, entries, fail_);
    path_.pop();
    if (!ok) return false;
    if (entries.size() != stsd.count)
      return bad(*t.stsd, "count says " + std::to_string(stsd.count) + " descriptions, atom holds " +
                              std::to_string(entries.size()));
    for (const Atom& e : entries) {
      if (e.header != 8 || e.size < 16) return bad(*t.stsd, "sample description shorter than its header");
      out.descriptions.push_back(e.bytes());
      // Data reference 0 names none; writers that leave it so mean the first.
      if (get16(e.start + 14) == 0 && !refs.empty()) out.descriptions.back()[15] = 1;
    }
  }

  Table stts, stsc, chunks, stss, sizes;
  if (!table(t.stts, 8, stts) || !table(t.stsc, 12, stsc) || !table(t.stss, 4, stss)) return false;
  const bool wide = t.co64 != nullptr;
  if (t.stco && t.co64) return bad(*t.co64, "both 'stco' and 'co64'");
  if (!table(wide ? t.co64 : t.stco, wide ? 8 : 4, chunks)) return false;

  // Sizes: one constant, or a table of 32-bit ('stsz') or packed ('stz2') fields.
  uint32_t constantSize = 0;
  uint32_t sampleCount = 0;
  unsigned fieldBits = 32;
  if (t.stsz && t.stz2) return bad(*t.stz2, "both 'stsz' and 'stz2'");
  if (const Atom* a = t.stsz ? t.stsz : t.stz2) {
    Cursor c(*a);
    c.fullHeader();
    if (t.stsz) {
      constantSize = c.u32();
    } else {
      c.skip(3);
      fieldBits = c.u8();
      if (fieldBits != 4 && fieldBits != 8 && fieldBits != 16) return bad(*a, "field size " + std::to_string(fieldBits));
    }
    sampleCount = c.u32();
    if (!c.ok()) return bad(*a, "atom is shorter than its fields");
    if (constantSize == 0) {
      uint64_t need = (uint64_t(sampleCount) * fieldBits + 7) / 8;
      if (need > c.left()) return bad(*a, "sample count " + std::to_string(sampleCount) + " exceeds the atom");
      sizes.p = c.take(0);
    }
  }
  auto sizeOf = [&](uint32_t i) -> uint32_t {
    if (constantSize) return constantSize;
    switch (fieldBits) {
      case 4: return (sizes.p[i / 2] >> (i % 2 ? 0 : 4)) & 0xF;
      case 8: return sizes.p[i];
      case 16: return get16(sizes.p + 2 * size_t(i));
      default: return get32(sizes.p + 4 * size_t(i));
    }
  };

  uint64_t timed = 0;
  for (uint32_t i = 0; i < stts.count; ++i) timed += get32(stts.p + 8 * size_t(i));
  if (timed != sampleCount)
    return bad(t.stts ? *t.stts : stbl, "durations cover " + std::to_string(timed) + " samples, sizes " +
                                            std::to_string(sampleCount));
  if (sampleCount == 0) return true;
  if (!t.stsc || chunks.count == 0 || stsc.count == 0) return bad(stbl, "samples without chunks");

  for (uint32_t i = 0; i < stsc.count; ++i) {
    const uint8_t* e = stsc.p + 12 * size_t(i);
    uint32_t first = get32(e), desc = get32(e + 8);
    uint32_t prev = i ? get32(e - 12) : 0;
    if (first <= prev || (i == 0 && first != 1)) return bad(*t.stsc, "chunk runs out of order at entry " + std::to_string(i + 1));
    if (desc == 0 || desc > out.descriptions.size())
      return bad(*t.stsc, "entry " + std::to_string(i + 1) + " names description " + std::to_string(desc));
  }
  uint32_t lastSync = 0;
  for (uint32_t i = 0; i < stss.count; ++i) {
    uint32_t s = get32(stss.p + 4 * size_t(i));
    if (s <= lastSync || s > sampleCount) return bad(*t.stss, "sync sample list out of order or range at entry " + std::to_string(i + 1));
    lastSync = s;
  }

  SampleTable::Parts parts;

  // Durations: the file's runs, with neighbours of equal duration joined.
  uint64_t duration = 0;
  uint32_t timedSamples = 0;
  parts.runs.reserve(stts.count);
  for (uint32_t i = 0; i < stts.count; ++i) {
    const uint32_t n = get32(stts.p + 8 * size_t(i)), delta = get32(stts.p + 8 * size_t(i) + 4);
    if (n == 0) continue;
    if (duration + uint64_t(n) * delta > uint64_t(INT64_MAX) / 2) return bad(*t.stts, "total duration overflows");
    if (!parts.runs.empty() && parts.runs.back().delta == delta) parts.runs.back().count += n;
    else parts.runs.push_back({n, delta, timedSamples, int64_t(duration)});
    duration += uint64_t(n) * delta;
    timedSamples += n;
  }

  // Sizes: kept one a sample only when they differ.
  parts.constantSize = constantSize;
  if (!constantSize) {
    uint32_t first = sizeOf(0);
    bool same = true;
    for (uint32_t i = 1; i < sampleCount && same; ++i) same = sizeOf(i) == first;
    if (same) {
      parts.constantSize = first;
    } else {
      parts.sizes.resize(sampleCount);
      uint32_t* to = parts.sizes.data();
      if (fieldBits == 32) {
        for (uint32_t i = 0; i < sampleCount; ++i) to[i] = get32(sizes.p + 4 * size_t(i));
      } else {
        for (uint32_t i = 0; i < sampleCount; ++i) to[i] = sizeOf(i);
      }
    }
  }
  const auto& sampleSizes = parts.sizes;
  const uint32_t fixedSize = parts.constantSize;

  if (t.stss) {
    parts.allSync = false;
    parts.sync.reserve(stss.count);
    for (uint32_t i = 0; i < stss.count; ++i) parts.sync.push_back(get32(stss.p + 4 * size_t(i)) - 1);
  }

  // Which data references name this file, once: chunks number in the hundreds of thousands.
  std::vector<uint8_t> refIsThisFile(refs.size());
  for (size_t i = 0; i < refs.size(); ++i) refIsThisFile[i] = namesFile(refs[i], filePath_);

  // Chunks: the file's, joined where one continues the last (same description,
  // back to back) up to the model's bound, and split at that bound when sizes
  // vary (finding a sample then means adding up the sizes before it).
  parts.chunks.reserve(chunks.count);
  uint32_t sample = 0;  // next sample, 0-based
  uint32_t stscAt = 0;
  uint64_t lastEnd = 0;
  uint32_t lastDesc = 0;
  for (uint32_t chunk = 1; chunk <= chunks.count && sample < sampleCount; ++chunk) {
    while (stscAt + 1 < stsc.count && get32(stsc.p + 12 * size_t(stscAt + 1)) <= chunk) ++stscAt;
    const uint8_t* e = stsc.p + 12 * size_t(stscAt);
    const uint32_t desc = get32(e + 8);
    const uint32_t count = std::min(get32(e + 4), sampleCount - sample);
    const uint64_t chunkStart =
        wide ? get64(chunks.p + 8 * size_t(chunk - 1)) : get32(chunks.p + 4 * size_t(chunk - 1));
    const Atom& offsets = wide ? *t.co64 : *t.stco;
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
    const Bytes& d = out.descriptions[desc - 1];
    uint16_t refIndex = get16(d.data() + 14);
    bool inThisFile = refIndex >= 1 && refIndex <= refs.size() && refIsThisFile[refIndex - 1];
    if (inThisFile && offset > fileSize_)
      return bad(offsets, "chunk " + std::to_string(chunk) + " at " + std::to_string(chunkStart) +
                              " runs past the end of the file");
  }
  if (sample < sampleCount)
    return bad(stbl, "chunks hold " + std::to_string(sample) + " of " + std::to_string(sampleCount) + " samples");
  out.table.assign(std::move(parts));
  return true;
}

}  // namespace

bool readSampleTable(const Atom& stbl, const std::vector<DataRef>& refs, const std::string& filePath,
                     uint64_t fileSize, SampleStore& out, Layout& layout, AtomPath& path, Failure& fail) {
  SampleTableReader r(filePath, fileSize, path, fail);
  return r.read(stbl, refs, out, layout);
}

}  // namespace qte::file
