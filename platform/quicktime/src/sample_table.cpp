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

uint64_t SampleTable::offsetOf(uint32_t i) const {
  const Chunk& c = chunkOf(i);
  if (!varySizes_) return c.offset() + uint64_t(i - c.firstSample) * constantSize_;
  uint64_t off = c.offset();
  for (uint32_t k = c.firstSample; k < i; ++k) off += sizes_[k];
  return off;
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

void SampleTable::assign(Parts&& p) {
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
  varySizes_ = !sizes_.empty();
  if (varySizes_) constantSize_ = sizes_[0];
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
  ++revision_;
  const uint32_t first = count_;

  if (!stts_.empty() && stts_.back().delta == delta) {
    stts_.back().count += n;
  } else {
    stts_.push_back({n, delta, first, duration_});
  }

  if (first == 0) {
    constantSize_ = size;
  } else if (!varySizes_ && size != constantSize_) {
    varySizes_ = true;
    sizes_.assign(first, constantSize_);
  }
  if (varySizes_) {
    if (n == 1) sizes_.push_back(size);
    else sizes_.insert(sizes_.end(), n, size);
  }

  // Back-to-back with the last chunk, same description and place: extend it.
  // Chunks stay bounded so that locating a sample of varying size inside one
  // stays cheap.
  bool merged = false;
  if (!chunks_.empty()) {
    Chunk& c = chunks_.back();
    if (descRuns_.back().descIndex == descIndex && c.inMemory() == inMemory && lastChunkEnd_ == offset &&
        c.count + n <= kMaxSamplesPerChunk) {
      c.count += n;
      merged = true;
    }
  }
  if (!merged) chunks_.push_back({first, n, offset | (inMemory ? Chunk::kInMemory : 0)});
  lastChunkEnd_ = offset + uint64_t(n) * size;

  if (descRuns_.empty() || descRuns_.back().descIndex != descIndex) descRuns_.push_back({first, descIndex});

  if (!sync && allSync_) {
    allSync_ = false;
    sync_.reserve(first);
    for (uint32_t k = 0; k < first; ++k) sync_.push_back(k);
  }
  if (!allSync_ && sync) {
    for (uint32_t k = 0; k < n; ++k) sync_.push_back(first + k);
  }

  count_ += n;
  duration_ += int64_t(n) * delta;
}

}  // namespace qte
