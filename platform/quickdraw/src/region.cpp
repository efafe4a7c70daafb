// Region records: reading, canonical writing, set operations, bitmaps to regions and
// the file form.
#include "region.h"

#include "port.h"
#include "raster.h"

#include <MacErrors.h>
#include <MacMemory.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_set>

namespace qd::rgn {
namespace {

std::unordered_set<RgnHandle>& liveRegions() {
  static std::unordered_set<RgnHandle> regions;
  return regions;
}

bool fits16(int32_t v) { return v >= INT16_MIN && v <= INT16_MAX; }

// Where a region may have scan lines: 0x7FFF ends them, so no coordinate reaches it.
bool fitsLine(int32_t v) { return v >= INT16_MIN && v < kEnd; }

void writeHeader(int16_t* w, long size, const Rect& bbox) {
  reinterpret_cast<uint16_t*>(w)[0] = static_cast<uint16_t>(size);
  w[1] = bbox.top, w[2] = bbox.left, w[3] = bbox.bottom, w[4] = bbox.right;
}

OSErr writeSimple(RgnHandle out, const Rect& bbox) {
  if (!out) return paramErr;
  SetHandleSize(reinterpret_cast<Handle>(out), kHeaderBytes);
  if (MemError() != noErr) return MemError() == nilHandleErr ? paramErr : memFullErr;
  bool empty = bbox.bottom <= bbox.top || bbox.right <= bbox.left;
  writeHeader(reinterpret_cast<int16_t*>(*out), kHeaderBytes, empty ? Rect{0, 0, 0, 0} : bbox);
  return noErr;
}

}  // namespace

void toggle(const Points& a, const Points& b, Points& out) {
  out.clear();
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i] < b[j]) out.push_back(a[i++]);
    else if (b[j] < a[i]) out.push_back(b[j++]);
    else ++i, ++j;  // a point in both cancels
  }
  out.insert(out.end(), a.begin() + static_cast<long>(i), a.end());
  out.insert(out.end(), b.begin() + static_cast<long>(j), b.end());
}

bool view(RgnHandle rgn, View& out) {
  if (!rgn || !*rgn) return false;
  Size handleSize = GetHandleSize(reinterpret_cast<Handle>(rgn));
  if (handleSize < kHeaderBytes) return false;
  const MacRegion* r = *rgn;
  long size = r->rgnSize;
  if (size < kHeaderBytes || size > handleSize || (size & 1)) return false;
  out.bbox = r->rgnBBox;
  out.data = size > kHeaderBytes ? reinterpret_cast<const int16_t*>(*rgn) + 5 : nullptr;
  out.words = (size - kHeaderBytes) / 2;
  return true;
}

Walker::Walker(const View& v) : v_(v) {}

int32_t Walker::nextY() const {
  if (!v_.data) return step_ == 1 ? v_.bbox.bottom : kEnd;
  return pos_ < v_.words ? v_.data[pos_] : kEnd;
}

bool Walker::next() {
  if (!v_.data) {
    if (v_.isEmpty() || step_ >= 2) return false;
    y_ = step_ == 0 ? v_.bbox.top : v_.bbox.bottom;
    row_ = step_ == 0 ? Points{v_.bbox.left, v_.bbox.right} : Points{};
    ++step_;
    return true;
  }
  if (pos_ >= v_.words || v_.data[pos_] == kEnd) return false;
  y_ = v_.data[pos_++];
  delta_.clear();
  while (pos_ < v_.words && v_.data[pos_] != kEnd) delta_.push_back(v_.data[pos_++]);
  ++pos_;  // the line's end
  toggle(row_, delta_, scratch_);
  row_.swap(scratch_);
  return true;
}

void Builder::row(int32_t y, const Points& row) {
  toggle(prev_, row, delta_);
  if (delta_.empty()) return;
  if (lines_ == 0) top_ = y;
  bottom_ = y;
  left_ = std::min(left_, delta_.front());
  right_ = std::max(right_, delta_.back());
  // A rectangle is one span opened and then closed unchanged.
  if (lines_ == 0) firstTwoEqual_ = delta_.size() == 2;
  else if (lines_ == 1) firstTwoEqual_ = firstTwoEqual_ && delta_ == prev_;
  words_.push_back(y);
  words_.insert(words_.end(), delta_.begin(), delta_.end());
  words_.push_back(kEnd);
  ++lines_;
  prev_ = row;
}

OSErr Builder::finish(int32_t y, RgnHandle out) {
  row(y, Points{});
  if (!out) return paramErr;
  if (lines_ == 0) return writeSimple(out, Rect{0, 0, 0, 0});
  if (lines_ == 2 && firstTwoEqual_) {
    if (!fits16(top_) || !fits16(bottom_) || !fits16(left_) || !fits16(right_)) return rgnOverflowErr;
    return writeSimple(out, Rect{static_cast<int16_t>(top_), static_cast<int16_t>(left_),
                                 static_cast<int16_t>(bottom_), static_cast<int16_t>(right_)});
  }
  if (!fitsLine(top_) || !fitsLine(bottom_) || !fitsLine(left_) || !fitsLine(right_)) return rgnOverflowErr;
  long size = kHeaderBytes + 2 * (static_cast<long>(words_.size()) + 1);
  if (size > kMaxBytes) return rgnTooBigErr;
  SetHandleSize(reinterpret_cast<Handle>(out), size);
  if (MemError() != noErr) return MemError() == nilHandleErr ? paramErr : memFullErr;
  int16_t* w = reinterpret_cast<int16_t*>(*out);
  writeHeader(w, size, Rect{static_cast<int16_t>(top_), static_cast<int16_t>(left_),
                            static_cast<int16_t>(bottom_), static_cast<int16_t>(right_)});
  w += 5;
  for (int32_t v : words_) *w++ = static_cast<int16_t>(v);
  *w = kEnd;
  return noErr;
}

void noteCreated(RgnHandle rgn) { liveRegions().insert(rgn); }
bool noteDisposed(RgnHandle rgn) { return liveRegions().erase(rgn) > 0; }
long liveCount() { return static_cast<long>(liveRegions().size()); }

namespace {

enum class Op { Union, Sect, Diff, Xor };

void combineRow(const Points& a, const Points& b, Op op, Points& out) {
  out.clear();
  size_t i = 0, j = 0;
  bool inA = false, inB = false, was = false;
  while (i < a.size() || j < b.size()) {
    int32_t x = std::min(i < a.size() ? a[i] : INT32_MAX, j < b.size() ? b[j] : INT32_MAX);
    while (i < a.size() && a[i] == x) inA = !inA, ++i;
    while (j < b.size() && b[j] == x) inB = !inB, ++j;
    bool now = op == Op::Union ? (inA || inB) : op == Op::Sect ? (inA && inB) : op == Op::Diff ? (inA && !inB) : (inA != inB);
    if (now != was) out.push_back(x), was = now;
  }
}

void combine(RgnHandle ra, RgnHandle rb, RgnHandle dst, Op op) {
  View a, b;
  if (!view(ra, a) || !view(rb, b) || !dst) return setError(paramErr);
  Walker wa(a), wb(b);
  bool ha = wa.next(), hb = wb.next();
  Points rowA, rowB, result;
  Builder builder;
  int32_t lastY = 0;
  while (ha || hb) {
    int32_t y = std::min(ha ? wa.y() : INT32_MAX, hb ? wb.y() : INT32_MAX);
    if (ha && wa.y() == y) rowA = wa.row(), ha = wa.next();
    if (hb && wb.y() == y) rowB = wb.row(), hb = wb.next();
    combineRow(rowA, rowB, op, result);
    builder.row(y, result);
    lastY = y;
  }
  // dst may be one of the sources: both were read in full before this write.
  setError(builder.finish(lastY, dst));
}

// Boundary points of one row of a one-bit image, offset by the image's left edge.
void rowPoints(const uint8_t* p, int width, int32_t left, Points& out) {
  out.clear();
  bool inside = false;
  int x = 0;
  while (x < width) {
    uint8_t byte = p[x >> 3];
    if ((x & 7) == 0 && x + 8 <= width && byte == (inside ? 0xFF : 0x00)) {
      x += 8;
      continue;
    }
    bool set = (byte >> (7 - (x & 7))) & 1;
    if (set != inside) out.push_back(left + x), inside = set;
    ++x;
  }
  if (inside) out.push_back(left + width);
}

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

}  // namespace
}  // namespace qd::rgn

using namespace qd;
using namespace qd::rgn;

extern "C" {

__attribute__((visibility("default"))) RgnHandle NewRgn(void) {
  RgnHandle rgn = reinterpret_cast<RgnHandle>(NewHandleClear(kHeaderBytes));
  if (!rgn) {
    setError(memFullErr);
    return nullptr;
  }
  (*rgn)->rgnSize = kHeaderBytes;
  noteCreated(rgn);
  setError(noErr);
  return rgn;
}

__attribute__((visibility("default"))) void DisposeRgn(RgnHandle rgn) {
  if (!rgn) return;
  noteDisposed(rgn);
  DisposeHandle(reinterpret_cast<Handle>(rgn));
}

__attribute__((visibility("default"))) void CopyRgn(RgnHandle srcRgn, RgnHandle dstRgn) {
  View v;
  if (!view(srcRgn, v) || !dstRgn) return setError(paramErr);
  if (srcRgn == dstRgn) return setError(noErr);
  long size = (*srcRgn)->rgnSize;
  SetHandleSize(reinterpret_cast<Handle>(dstRgn), size);
  if (MemError() != noErr) return setError(memFullErr);
  std::memcpy(*dstRgn, *srcRgn, static_cast<size_t>(size));
  setError(noErr);
}

__attribute__((visibility("default"))) void SetEmptyRgn(RgnHandle rgn) { setError(writeSimple(rgn, Rect{})); }

__attribute__((visibility("default"))) void RectRgn(RgnHandle rgn, const Rect* r) {
  if (!r) return setError(paramErr);
  setError(writeSimple(rgn, *r));
}

__attribute__((visibility("default"))) void SetRectRgn(RgnHandle rgn, int16_t left, int16_t top, int16_t right,
                                                       int16_t bottom) {
  setError(writeSimple(rgn, Rect{top, left, bottom, right}));
}

__attribute__((visibility("default"))) void OffsetRgn(RgnHandle rgn, int16_t dh, int16_t dv) {
  View v;
  if (!view(rgn, v)) return setError(paramErr);
  if (v.isEmpty()) return setError(noErr);
  Rect b = v.bbox;
  int32_t top = b.top + dv, bottom = b.bottom + dv, left = b.left + dh, right = b.right + dh;
  bool ok = v.data ? fitsLine(top) && fitsLine(bottom) && fitsLine(left) && fitsLine(right)
                   : fits16(top) && fits16(bottom) && fits16(left) && fits16(right);
  if (!ok) return setError(rgnOverflowErr);
  MacRegion* r = *rgn;
  r->rgnBBox = Rect{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
                    static_cast<int16_t>(right)};
  int16_t* w = reinterpret_cast<int16_t*>(r) + 5;
  long pos = 0;
  while (pos < v.words && w[pos] != kEnd) {
    w[pos++] += dv;
    while (pos < v.words && w[pos] != kEnd) w[pos++] += dh;
    ++pos;
  }
  setError(noErr);
}

__attribute__((visibility("default"))) Boolean EmptyRgn(RgnHandle rgn) {
  View v;
  return !view(rgn, v) || v.isEmpty();
}

__attribute__((visibility("default"))) Boolean EqualRgn(RgnHandle rgnA, RgnHandle rgnB) {
  View a, b;
  if (!view(rgnA, a) || !view(rgnB, b)) return false;
  if (a.isEmpty() || b.isEmpty()) return a.isEmpty() && b.isEmpty();
  // Canonical records: equal regions have equal bytes.
  return (*rgnA)->rgnSize == (*rgnB)->rgnSize && std::memcmp(*rgnA, *rgnB, (*rgnA)->rgnSize) == 0;
}

__attribute__((visibility("default"))) Boolean IsRegionRectangular(RgnHandle rgn) {
  View v;
  return view(rgn, v) && !v.data && !v.isEmpty();
}

__attribute__((visibility("default"))) Rect* GetRegionBounds(RgnHandle rgn, Rect* bounds) {
  if (!bounds) return nullptr;
  View v;
  *bounds = view(rgn, v) ? v.bbox : Rect{0, 0, 0, 0};
  return bounds;
}

__attribute__((visibility("default"))) Boolean PtInRgn(Point pt, RgnHandle rgn) {
  View v;
  if (!view(rgn, v) || v.isEmpty()) return false;
  const Rect& b = v.bbox;
  if (pt.v < b.top || pt.v >= b.bottom || pt.h < b.left || pt.h >= b.right) return false;
  Walker w(v);
  while (w.next()) {
    if (w.nextY() <= pt.v) continue;
    // Inside when an odd number of the row's boundaries lie at or left of the point.
    auto past = std::upper_bound(w.row().begin(), w.row().end(), int32_t{pt.h});
    return ((past - w.row().begin()) & 1) != 0;
  }
  return false;
}

__attribute__((visibility("default"))) void UnionRgn(RgnHandle a, RgnHandle b, RgnHandle dst) {
  combine(a, b, dst, Op::Union);
}
__attribute__((visibility("default"))) void SectRgn(RgnHandle a, RgnHandle b, RgnHandle dst) {
  combine(a, b, dst, Op::Sect);
}
__attribute__((visibility("default"))) void DiffRgn(RgnHandle a, RgnHandle b, RgnHandle dst) {
  combine(a, b, dst, Op::Diff);
}
__attribute__((visibility("default"))) void XorRgn(RgnHandle a, RgnHandle b, RgnHandle dst) {
  combine(a, b, dst, Op::Xor);
}

__attribute__((visibility("default"))) OSErr BitMapToRegion(RgnHandle region, const BitMap* bMap) {
  View current;
  if (!view(region, current) || !bMap) return paramErr;
  Raster r;
  if (!rasterFromBitMap(bMap, r) || r.layout != Layout::Mono1) return pixMapTooDeepErr;
  if (r.width() <= 0 || r.height() <= 0) return writeSimple(region, Rect{});
  if (!r.base || r.rowBytes * 8 < r.width()) return paramErr;
  Builder builder;
  Points row;
  for (int y = 0; y < r.height(); ++y) {
    rowPoints(r.row(y), r.width(), r.bounds.left, row);
    builder.row(r.bounds.top + y, row);
  }
  return builder.finish(r.bounds.bottom, region);
}

__attribute__((visibility("default"))) Size QDRegionFileSize(RgnHandle rgn) {
  View v;
  return view(rgn, v) ? (*rgn)->rgnSize : 0;
}

__attribute__((visibility("default"))) OSErr QDRegionToFileBytes(RgnHandle rgn, void* buffer, Size capacity) {
  View v;
  if (!view(rgn, v) || !buffer) return paramErr;
  long size = (*rgn)->rgnSize;
  if (capacity < size) return paramErr;
  const uint16_t* w = reinterpret_cast<const uint16_t*>(*rgn);
  auto* out = static_cast<uint8_t*>(buffer);
  for (long i = 0; i < size / 2; ++i) {
    out[2 * i] = static_cast<uint8_t>(w[i] >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(w[i]);
  }
  return noErr;
}

__attribute__((visibility("default"))) OSErr QDRegionFromFileBytes(RgnHandle rgn, const void* bytes, Size size) {
  View current;
  if (!view(rgn, current) || !bytes || size < kHeaderBytes) return paramErr;
  const auto* p = static_cast<const uint8_t*>(bytes);
  long recordSize = be16(p);
  if (recordSize < kHeaderBytes || recordSize > size || (recordSize & 1)) return paramErr;
  auto s16 = [&](long at) { return static_cast<int16_t>(be16(p + at)); };
  if (recordSize == kHeaderBytes) return writeSimple(rgn, Rect{s16(2), s16(4), s16(6), s16(8)});

  // Re-derive the record line by line; the stored bounding box is not trusted.
  Builder builder;
  Points running, delta, next;
  long pos = kHeaderBytes;
  int32_t lastY = INT32_MIN;
  for (;;) {
    if (pos + 2 > recordSize) return paramErr;
    int16_t y = s16(pos);
    pos += 2;
    if (y == kEnd) break;
    if (y <= lastY) return paramErr;
    delta.clear();
    for (;;) {
      if (pos + 2 > recordSize) return paramErr;
      int16_t x = s16(pos);
      pos += 2;
      if (x == kEnd) break;
      if (!delta.empty() && x <= delta.back()) return paramErr;
      delta.push_back(x);
    }
    toggle(running, delta, next);
    // Every row must close each span it opens.
    if (next.size() & 1) return paramErr;
    running.swap(next);
    builder.row(y, running);
    lastY = y;
  }
  if (pos != recordSize || !running.empty()) return paramErr;
  return builder.finish(lastY, rgn);
}

__attribute__((visibility("default"))) long QDLiveRegionCount(void) { return liveCount(); }

}  // extern "C"
