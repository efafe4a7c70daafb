// Regions in QuickDraw's record form.
//
//   rgnSize  rgnBBox (top left bottom right)  [ scan lines ]
//
// An empty region is the 10-byte header with bbox (0,0,0,0); a rectangle is the
// 10-byte header alone. Anything else is followed by scan lines in increasing y:
//
//   y  x1 x2 x3 x4 ... 0x7FFF     the row mask from y down is the previous one
//   ...                           XOR [x1,x2) XOR [x3,x4) ...
//   0x7FFF                        end of the region
//
// Each line lists exactly the points where the row's outline changes, sorted and
// without repeats, and the last line returns the mask to empty. Every region this
// code writes is in that one canonical form, so two regions are equal exactly when
// their records are.
#pragma once

#include "QuickDraw.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qd::rgn {

constexpr int16_t kEnd = 0x7FFF;
constexpr long kHeaderBytes = 10;
constexpr long kMaxBytes = 0xFFFF;

// Sorted boundary points of one row: the row covers [p0,p1), [p2,p3), ...
using Points = std::vector<int32_t>;

// A read-only look at a region record in native words.
struct View {
  Rect bbox{};
  const int16_t* data = nullptr;  // scan lines, or null for empty and rectangular regions
  long words = 0;
  bool isEmpty() const { return !data && (bbox.bottom <= bbox.top || bbox.right <= bbox.left); }
};

// False for a null or malformed handle.
bool view(RgnHandle rgn, View& out);

// Walks a region's rows top to bottom. After each next(), rows y() up to the next
// line's y (exclusive) are covered by row().
class Walker {
 public:
  explicit Walker(const View& v);
  bool next();
  int32_t y() const { return y_; }
  int32_t nextY() const;  // kEnd past the last line
  const Points& row() const { return row_; }

 private:
  View v_;
  long pos_ = 0;
  int step_ = 0;  // for the rectangle's two synthetic lines
  int32_t y_ = 0;
  Points row_, delta_, scratch_;
};

// Collects rows top to bottom and writes the canonical record.
class Builder {
 public:
  // The rows from y down (until the next call) are covered by row.
  void row(int32_t y, const Points& row);
  // Ends the region (closing the last row at y if still open) and writes it to out;
  // out is unchanged on error.
  OSErr finish(int32_t y, RgnHandle out);

 private:
  std::vector<int32_t> words_;
  Points prev_, delta_;
  int lines_ = 0;
  int32_t top_ = 0, bottom_ = 0, left_ = INT32_MAX, right_ = INT32_MIN;
  bool firstTwoEqual_ = false;
};

// Symmetric difference of two sorted point sets.
void toggle(const Points& a, const Points& b, Points& out);

// Calls fn(y, x0, x1) for every covered span of the region inside clip.
template <typename Fn>
void forEachSpan(const View& v, const Rect& clip, Fn&& fn) {
  Walker w(v);
  while (w.next()) {
    int32_t y0 = w.y() > clip.top ? w.y() : clip.top;
    int32_t y1 = w.nextY() < clip.bottom ? w.nextY() : clip.bottom;
    if (y0 >= y1) {
      if (w.y() >= clip.bottom) return;
      continue;
    }
    const Points& row = w.row();
    if (row.empty()) continue;
    for (int32_t y = y0; y < y1; ++y)
      for (size_t i = 0; i + 1 < row.size(); i += 2) {
        int32_t x0 = row[i] > clip.left ? row[i] : clip.left;
        int32_t x1 = row[i + 1] < clip.right ? row[i + 1] : clip.right;
        if (x0 < x1) fn(y, x0, x1);
      }
  }
}

void noteCreated(RgnHandle rgn);
bool noteDisposed(RgnHandle rgn);
long liveCount();

}  // namespace qd::rgn
