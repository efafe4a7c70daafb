// Edit lists and segment copying: the segment operations rewrite the list,
// lookups are binary searches over the edits' start times, and a segment put
// into another media brings the samples it shows.
#include "edits.h"

#include "data_handler.h"
#include "file/atoms.h"

#include <algorithm>

namespace qte {

namespace {

using i128 = __int128;

i128 floorDiv(i128 a, i128 b) {
  i128 q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

i128 ceilDiv(i128 a, i128 b) { return -floorDiv(-a, b); }

int64_t clamp64(i128 v) {
  if (v > INT64_MAX) return INT64_MAX;
  if (v < INT64_MIN) return INT64_MIN;
  return static_cast<int64_t>(v);
}

}  // namespace

int64_t rescale(int64_t value, int64_t num, int64_t den) {
  if (den == 0) return 0;
  i128 n = i128(value) * num;
  i128 d = den;
  if (d < 0) {
    n = -n;
    d = -d;
  }
  i128 q = n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
  return clamp64(q);
}

int64_t mediaOffset(int64_t trackOffset, Fixed rate, Scales s) {
  return clamp64(floorDiv(i128(trackOffset) * s.media * rate, i128(s.movie) * kFixedOne));
}

int64_t trackOffsetCeil(int64_t mediaDelta, Fixed rate, Scales s) {
  // A dwell edit (rate 0) holds its media time: reached at once, never passed.
  if (rate == 0) return mediaDelta <= 0 ? 0 : INT64_MAX;
  return clamp64(ceilDiv(i128(mediaDelta) * s.movie * kFixedOne, i128(s.media) * rate));
}

int64_t trackDurationOf(int64_t mediaDuration, Fixed rate, Scales s) {
  if (rate == 0) return 0;  // no stretch of track time plays any media at rate 0
  i128 n = i128(mediaDuration) * s.movie * kFixedOne;
  i128 d = i128(s.media) * rate;
  return clamp64((n + d / 2) / d);
}

size_t EditList::find(int64_t t) const {
  if (t < 0 || t >= duration()) return edits_.size();
  auto it = std::upper_bound(starts_.begin(), starts_.end(), t);
  return static_cast<size_t>(it - starts_.begin()) - 1;
}

void EditList::rebuild() {
  starts_.assign(1, 0);
  starts_.reserve(edits_.size() + 1);
  for (const Edit& e : edits_) starts_.push_back(starts_.back() + e.duration);
}

void EditList::clear() {
  edits_.clear();
  rebuild();
}

void EditList::assign(std::vector<Edit> e) {
  edits_ = std::move(e);
  rebuild();
}

size_t EditList::splitAt(int64_t t, Scales s) {
  if (t >= duration()) return edits_.size();
  size_t i = find(t);
  int64_t offset = t - starts_[i];
  if (offset == 0) return i;
  Edit first = edits_[i];
  Edit second = first;
  first.duration = offset;
  second.duration -= offset;
  if (!second.empty()) second.mediaTime += mediaOffset(offset, first.rate, s);
  edits_[i] = first;
  edits_.insert(edits_.begin() + static_cast<long>(i) + 1, second);
  rebuild();
  return i + 1;
}

// Drops zero-length edits, joins neighbours that continue each other and drops
// trailing empty time: a track ends where its last media edit ends.
void EditList::normalize(Scales s) {
  std::vector<Edit> out;
  out.reserve(edits_.size());
  for (const Edit& e : edits_) {
    if (e.duration <= 0) continue;
    if (!out.empty()) {
      Edit& p = out.back();
      if (p.empty() && e.empty()) {
        p.duration += e.duration;
        continue;
      }
      if (!p.empty() && !e.empty() && p.rate == e.rate) {
        // Contiguous exactly when p's media end, as a rational, is e's start.
        i128 pEnd = i128(p.mediaTime) * s.movie * kFixedOne + i128(p.duration) * s.media * p.rate;
        if (pEnd == i128(e.mediaTime) * s.movie * kFixedOne) {
          p.duration += e.duration;
          continue;
        }
      }
    }
    out.push_back(e);
  }
  while (!out.empty() && out.back().empty()) out.pop_back();
  edits_ = std::move(out);
  rebuild();
}

std::vector<Edit> EditList::extract(int64_t in, int64_t duration, Scales s) const {
  EditList copy = *this;
  std::vector<Edit> out;
  int64_t end = in + duration;
  int64_t have = copy.duration();
  if (in < have) {
    size_t a = copy.splitAt(in, s);
    size_t b = copy.splitAt(std::min(end, have), s);
    out.assign(copy.edits_.begin() + static_cast<long>(a), copy.edits_.begin() + static_cast<long>(b));
  }
  int64_t covered = 0;
  for (const Edit& e : out) covered += e.duration;
  if (covered < duration) out.push_back({duration - covered, -1, kFixedOne});
  return out;
}

void EditList::insert(int64_t at, const std::vector<Edit>& pieces, Scales s) {
  if (at > duration()) edits_.push_back({at - duration(), -1, kFixedOne});
  rebuild();
  size_t i = splitAt(at, s);
  edits_.insert(edits_.begin() + static_cast<long>(i), pieces.begin(), pieces.end());
  normalize(s);
}

void EditList::erase(int64_t in, int64_t duration, Scales s) {
  int64_t end = std::min(in + duration, this->duration());
  if (in >= end) return;
  size_t a = splitAt(in, s);
  size_t b = splitAt(end, s);
  edits_.erase(edits_.begin() + static_cast<long>(a), edits_.begin() + static_cast<long>(b));
  normalize(s);
}

bool EditList::scale(int64_t in, int64_t oldDuration, int64_t newDuration, Scales s) {
  int64_t end = std::min(in + oldDuration, duration());
  if (in >= end) return true;
  // Only the part the track has is stretched, by the segment's ratio.
  int64_t newEnd = in + rescale(end - in, newDuration, oldDuration);
  if (end - in != oldDuration) newDuration = newEnd - in;
  oldDuration = end - in;

  std::vector<Edit> saved = edits_;
  size_t a = splitAt(in, s);
  size_t b = splitAt(end, s);
  // Piece ends are placed at rounded positions of the cumulative old length, so the
  // pieces add up to exactly newDuration.
  int64_t cumulative = 0;
  int64_t placed = 0;
  for (size_t i = a; i < b; ++i) {
    Edit& e = edits_[i];
    cumulative += e.duration;
    int64_t nextPlaced = rescale(cumulative, newDuration, oldDuration);
    int64_t d = nextPlaced - placed;
    placed = nextPlaced;
    // A dwell edit stays one, only longer or shorter.
    if (!e.empty() && d > 0 && e.rate != 0) {
      int64_t r = rescale(e.rate, e.duration, d);
      if (r <= 0 || r > INT32_MAX) {
        edits_ = std::move(saved);
        rebuild();
        return false;
      }
      e.rate = static_cast<Fixed>(r);
    }
    e.duration = d;
  }
  normalize(s);
  return true;
}

void EditList::changeScale(TimeScale from, TimeScale to) {
  int64_t cumulative = 0;
  int64_t placed = 0;
  for (Edit& e : edits_) {
    cumulative += e.duration;
    int64_t nextPlaced = qte::rescale(cumulative, to, from);
    e.duration = nextPlaced - placed;
    placed = nextPlaced;
  }
  // Durations only shrink to zero when the new scale is coarser; drop those.
  edits_.erase(std::remove_if(edits_.begin(), edits_.end(), [](const Edit& e) { return e.duration <= 0; }),
               edits_.end());
  while (!edits_.empty() && edits_.back().empty()) edits_.pop_back();
  rebuild();
}


// --- Segments between tracks ---------------------------------------------------

namespace {

// Sound whose samples are packets a decoder cannot start on cold: a transform
// codec (AAC and its kind) needs the packet before the first it plays. Sound
// coded sample by sample does not.
bool needsPreRoll(const Media& media, const Bytes& description) {
  if (media.type != SoundMediaType || description.size() < 8) return false;
  static constexpr OSType kUncompressed[] = {"raw "_4cc, "twos"_4cc, "sowt"_4cc, "in24"_4cc, "in32"_4cc, "fl32"_4cc,
                                             "fl64"_4cc, "lpcm"_4cc, "NONE"_4cc, "ulaw"_4cc, "alaw"_4cc};
  const OSType format = file::get32(description.data() + 4);
  return std::find(std::begin(kUncompressed), std::end(kUncompressed), format) == std::end(kUncompressed);
}

}  // namespace

OSErr copyMediaRange(const Media& src, Media& dst, int64_t from, int64_t to, int64_t* dstFrom) {
  // Hold the source store: copy-on-write of dst must not free what is read.
  std::shared_ptr<SampleStore> keep = src.store;
  const SampleStore& ss = *keep;
  const SampleTable& st = ss.table;
  SampleStore& ds = dst.mutableSamples();
  *dstFrom = ds.table.duration();
  if (from >= to || st.count() == 0) return noErr;
  // Decoding has to begin where the source's can: at the sync sample at or
  // before `from` (and for sound that needs it, a packet before that). The
  // copies before `from` are a lead-in the caller's edit starts after.
  const uint32_t shown = st.sampleAt(from);
  uint32_t first = st.prevSync(shown);
  if (first == SampleTable::npos) first = 0;
  if (first > 0 && needsPreRoll(src, ss.descriptions[st.descIndexOf(first) - 1])) --first;
  uint32_t last = st.sampleAt(std::min(to, st.duration()) - 1);
  int64_t leadIn = 0;  // destination time from the first copy to `from`

  std::vector<uint32_t> descMap(ss.descriptions.size() + 1, 0);
  for (uint32_t k = first; k <= last; ++k) {
    const Chunk& chunk = st.chunkOf(k);
    uint32_t srcDesc = st.descIndexOf(k);
    if (!descMap[srcDesc]) {
      Bytes desc = ss.descriptions[srcDesc - 1];
      if (!chunk.inMemory()) {
        // File-backed samples stay where they are: the copy names the same file.
        uint16_t refIndex = dataRefIndexOf(desc);
        if (refIndex == 0 || refIndex > src.dataRefs.size()) return badDataRefIndex;
        const DataRef& ref = src.dataRefs[refIndex - 1];
        auto it = std::find_if(dst.dataRefs.begin(), dst.dataRefs.end(),
                               [&](const DataRef& r) { return sameDataRef(r, ref); });
        if (it == dst.dataRefs.end()) it = dst.dataRefs.insert(dst.dataRefs.end(), ref);
        desc = withDataRefIndex(desc, static_cast<uint16_t>(it - dst.dataRefs.begin() + 1));
      }
      auto it = std::find(ds.descriptions.begin(), ds.descriptions.end(), desc);
      if (it == ds.descriptions.end()) it = ds.descriptions.insert(ds.descriptions.end(), std::move(desc));
      descMap[srcDesc] = static_cast<uint32_t>(it - ds.descriptions.begin() + 1);
    }
    uint32_t size = st.sizeOf(k);
    int64_t d = st.durationOf(k);
    if (dst.scale != src.scale) d = std::max<int64_t>(1, rescale(d, dst.scale, src.scale));
    if (d > UINT32_MAX) return invalidDuration;
    if (k < shown) leadIn += d;
    uint64_t offset = st.offsetOf(k);
    if (chunk.inMemory()) {
      if (offset + size > ss.memory.size()) return invalidSampleTable;
      uint64_t at = ds.memory.size();
      ds.memory.insert(ds.memory.end(), ss.memory.begin() + static_cast<long>(offset),
                       ss.memory.begin() + static_cast<long>(offset + size));
      offset = at;
    }
    ds.table.append(1, static_cast<uint32_t>(d), size, descMap[srcDesc], st.isSync(k), chunk.inMemory(), offset);
  }
  *dstFrom += leadIn + rescale(from - st.startOf(shown), dst.scale, src.scale);
  dst.modificationTime = nowMacTime();
  return noErr;
}

Track* addTrackLike(Movie& movie, const Track& src) {
  auto track = std::make_unique<Track>(&movie, movie.takeTrackID());
  track->enabled = src.enabled;
  track->layer = src.layer;
  track->alternateGroup = src.alternateGroup;
  track->volume = src.volume;
  track->width = src.width;
  track->height = src.height;
  track->matrix = src.matrix;
  track->clip = src.clip;
  if (src.media) {
    track->media = std::make_unique<Media>(track.get(), src.media->type, src.media->scale);
    track->media->dataRefs = src.media->dataRefs;
    track->media->language = src.media->language;
    track->media->channelLayout = src.media->channelLayout;
  }
  movie.tracks.push_back(std::move(track));
  return movie.tracks.back().get();
}

OSErr insertSegment(Track& src, Track& dst, int64_t srcIn, int64_t srcDuration, int64_t dstIn) {
  if (&src != &dst && src.media && dst.media && src.media->type != dst.media->type) return mediaTypesDontMatch;
  Scales ss = src.scales();
  std::vector<Edit> pieces = src.edits.extract(srcIn, srcDuration, ss);
  bool hasMedia = false;
  for (const Edit& e : pieces) hasMedia = hasMedia || !e.empty();
  if (hasMedia && !dst.media) return invalidMedia;

  // Durations move to the destination movie's scale; rounding is spread so the
  // pieces add up to the converted whole.
  TimeScale from = src.movie->scale, to = dst.movie->scale;
  int64_t cumulative = 0, placed = 0;
  for (Edit& e : pieces) {
    cumulative += e.duration;
    int64_t next = rescale(cumulative, to, from);
    e.duration = next - placed;
    placed = next;
  }

  bool shared = &src == &dst || (src.media && dst.media && src.media->store == dst.media->store &&
                                  src.media->scale == dst.media->scale);
  if (hasMedia && !shared) {
    // Piece media extents are measured before conversion, in the source's scales.
    std::vector<Edit> original = src.edits.extract(srcIn, srcDuration, ss);
    for (size_t i = 0; i < pieces.size(); ++i) {
      if (pieces[i].empty()) continue;
      const Edit& o = original[i];
      // A dwell (rate 0) shows one media instant: copy the sample holding it.
      int64_t mediaEnd = o.rate == 0 ? o.mediaTime + 1 : o.mediaTime - mediaOffset(-o.duration, o.rate, ss);
      int64_t newStart = 0;
      OSErr err = copyMediaRange(*src.media, *dst.media, o.mediaTime, mediaEnd, &newStart);
      if (err != noErr) return err;
      pieces[i].mediaTime = newStart;
    }
  }
  dst.edits.insert(dstIn, pieces, dst.scales());
  dst.touch();
  return noErr;
}

}  // namespace qte
