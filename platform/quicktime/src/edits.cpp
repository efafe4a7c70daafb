// Edit lists: the segment operations rewrite the list, lookups are binary searches
// over the edits' start times.
#include "model.h"

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

}  // namespace qte
