// Sample tables: run-length durations, sizes stored once while equal, chunks and
// sync samples; every lookup by time or number is a binary search over runs.
#include "model.h"

#include <algorithm>

namespace qte {

const TimeToSampleRun& SampleTable::runOf(uint32_t i) const {
  auto it = std::upper_bound(stts_.begin(), stts_.end(), i,
                             [](uint32_t s, const TimeToSampleRun& r) { return s < r.firstSample; });
  return *(it - 1);
}

uint32_t SampleTable::sampleAt(int64_t t) const {
  auto it = std::upper_bound(stts_.begin(), stts_.end(), t,
                             [](int64_t v, const TimeToSampleRun& r) { return v < r.firstTime; });
  const TimeToSampleRun& r = *(it - 1);
  return r.firstSample + static_cast<uint32_t>((t - r.firstTime) / r.delta);
}

int64_t SampleTable::startOf(uint32_t i) const {
  if (i >= count_) return duration_;
  const TimeToSampleRun& r = runOf(i);
  return r.firstTime + int64_t(i - r.firstSample) * r.delta;
}

uint32_t SampleTable::durationOf(uint32_t i) const { return runOf(i).delta; }

bool SampleTable::isSync(uint32_t i) const {
  return allSync_ || std::binary_search(sync_.begin(), sync_.end(), i);
}

uint32_t SampleTable::descIndexOf(uint32_t i) const {
  auto it = std::upper_bound(descRuns_.begin(), descRuns_.end(), i,
                             [](uint32_t s, const DescriptionRun& r) { return s < r.firstSample; });
  return (it - 1)->descIndex;
}

const Chunk& SampleTable::chunkOf(uint32_t i) const {
  auto it = std::upper_bound(chunks_.begin(), chunks_.end(), i,
                             [](uint32_t s, const Chunk& c) { return s < c.firstSample; });
  return *(it - 1);
}

uint64_t SampleTable::bytesBefore(uint32_t i) const {
  if (!varySizes_) return uint64_t(i) * constantSize_;
  if (i >= count_) return bytes_;
  const uint32_t j = i >> kMarkShift;
  uint64_t b = marks_[j];
  for (uint32_t k = j << kMarkShift; k < i; ++k) b += sizes_[k];
  return b;
}

uint64_t SampleTable::offsetOf(uint32_t i) const {
  const Chunk& c = chunkOf(i);
  return c.offset() + (bytesBefore(i) - bytesBefore(c.firstSample));
}

uint32_t SampleTable::nextSync(uint32_t i) const {
  if (i >= count_) return npos;
  if (allSync_) return i;
  auto it = std::lower_bound(sync_.begin(), sync_.end(), i);
  return it == sync_.end() ? npos : *it;
}

uint32_t SampleTable::prevSync(uint32_t i) const {
  if (count_ == 0) return npos;
  i = std::min(i, count_ - 1);
  if (allSync_) return i;
  auto it = std::upper_bound(sync_.begin(), sync_.end(), i);
  return it == sync_.begin() ? npos : *(it - 1);
}

uint32_t SampleTable::nextDescStart(uint32_t i) const {
  auto it = std::lower_bound(descRuns_.begin(), descRuns_.end(), i,
                             [](const DescriptionRun& r, uint32_t s) { return r.firstSample < s; });
  return it == descRuns_.end() ? npos : it->firstSample;
}

uint32_t SampleTable::prevDescStart(uint32_t i) const {
  auto it = std::upper_bound(descRuns_.begin(), descRuns_.end(), i,
                             [](uint32_t s, const DescriptionRun& r) { return s < r.firstSample; });
  return it == descRuns_.begin() ? npos : (it - 1)->firstSample;
}

namespace {

// Room for `size` elements, growing geometrically so appending one at a time
// stays linear overall. The only step of an append that can fail.
template <class V>
void room(V& v, size_t size) {
  if (v.capacity() < size) v.reserve(std::max(size, v.capacity() * 2));
}

}  // namespace

void SampleTable::assign(Parts&& p) {
  // The marks first: running out of memory for them leaves the table as it was.
  BulkVector<uint64_t> marks;
  uint64_t bytes = 0;
  if (!p.sizes.empty()) {
    marks.resize((p.sizes.size() + kMarkEvery - 1) >> kMarkShift);
    for (size_t k = 0; k < p.sizes.size(); ++k) {
      if ((k & (kMarkEvery - 1)) == 0) marks[k >> kMarkShift] = bytes;
      bytes += p.sizes[k];
    }
  }
  ++revision_;
  stts_ = std::move(p.runs);
  count_ = 0;
  duration_ = 0;
  if (!stts_.empty()) {
    const TimeToSampleRun& last = stts_.back();
    count_ = last.firstSample + last.count;
    duration_ = last.firstTime + int64_t(last.count) * last.delta;
  }
  constantSize_ = p.constantSize;
  sizes_ = std::move(p.sizes);
  marks_ = std::move(marks);
  varySizes_ = !sizes_.empty();
  if (varySizes_) constantSize_ = sizes_[0];
  bytes_ = varySizes_ ? bytes : uint64_t(count_) * constantSize_;
  chunks_ = std::move(p.chunks);
  allSync_ = p.allSync;
  sync_ = std::move(p.sync);
  descRuns_ = std::move(p.descRuns);
  lastChunkEnd_ = 0;
  if (!chunks_.empty()) {
    const Chunk& c = chunks_.back();
    lastChunkEnd_ = offsetOf(c.firstSample + c.count - 1) + sizeOf(c.firstSample + c.count - 1);
  }
}

void SampleTable::append(uint32_t n, uint32_t delta, uint32_t size, uint32_t descIndex, bool sync,
                         bool inMemory, uint64_t offset) {
  if (n == 0) return;
  const uint32_t first = count_;
  const size_t total = size_t(first) + n;

  // Decide everything and make room for it before changing anything: past the
  // reservations nothing allocates, so running out of memory changes nothing.
  const bool extendRun = !stts_.empty() && stts_.back().delta == delta;
  const bool vary = varySizes_ || (first > 0 && size != constantSize_);
  // Back-to-back with the last chunk, same description and place: extend it.
  // Chunks stay within kMaxSamplesPerChunk, as the file reader's do.
  bool extendChunk = false;
  if (!chunks_.empty()) {
    const Chunk& c = chunks_.back();
    extendChunk = descRuns_.back().descIndex == descIndex && c.inMemory() == inMemory && lastChunkEnd_ == offset &&
                  c.count + n <= kMaxSamplesPerChunk;
  }
  const bool newDescRun = descRuns_.empty() || descRuns_.back().descIndex != descIndex;
  const size_t syncSize = allSync_ ? (sync ? 0 : first) : sync_.size() + (sync ? n : 0);

  if (!extendRun) room(stts_, stts_.size() + 1);
  if (vary) {
    room(sizes_, total);
    room(marks_, (total + kMarkEvery - 1) >> kMarkShift);
  }
  if (!extendChunk) room(chunks_, chunks_.size() + 1);
  if (newDescRun) room(descRuns_, descRuns_.size() + 1);
  room(sync_, syncSize);

  ++revision_;
  if (extendRun) stts_.back().count += n;
  else stts_.push_back({n, delta, first, duration_});

  if (first == 0) constantSize_ = size;
  if (vary && !varySizes_) {
    varySizes_ = true;
    sizes_.assign(first, constantSize_);
    marks_.clear();
    for (uint64_t k = 0; k < first; k += kMarkEvery) marks_.push_back(k * constantSize_);
  }
  if (varySizes_) {
    sizes_.insert(sizes_.end(), n, size);
    const uint64_t firstMark = (uint64_t(first) + kMarkEvery - 1) & ~uint64_t(kMarkEvery - 1);
    for (uint64_t k = firstMark; k < total; k += kMarkEvery) marks_.push_back(bytes_ + (k - first) * size);
  }
  bytes_ += uint64_t(n) * size;

  if (extendChunk) chunks_.back().count += n;
  else chunks_.push_back({first, n, offset | (inMemory ? Chunk::kInMemory : 0)});
  lastChunkEnd_ = offset + uint64_t(n) * size;

  if (newDescRun) descRuns_.push_back({first, descIndex});

  if (!sync && allSync_) {
    allSync_ = false;
    for (uint32_t k = 0; k < first; ++k) sync_.push_back(k);
  }
  if (!allSync_ && sync) {
    for (uint32_t k = 0; k < n; ++k) sync_.push_back(first + k);
  }

  count_ += n;
  duration_ += int64_t(n) * delta;
}

}  // namespace qte
