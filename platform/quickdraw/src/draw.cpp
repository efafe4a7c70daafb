// Drawing into the current port: colours, pattern fills of rectangles and regions,
// and CopyBits between any two images.
#include "port.h"
#include "region.h"

#include <MacErrors.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace qd {
namespace {

constexpr Pattern kBlack{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
constexpr Pattern kWhite{{0, 0, 0, 0, 0, 0, 0, 0}};

// Fills spans given in port coordinates: set pattern bits take the foreground
// colour, clear bits the background. Patterns align with the port's coordinates.
class Painter {
 public:
  Painter(const Port& port, const Pattern& pat) : r_(port.raster()), pat_(pat) {
    fg_ = encode(r_.layout, toRgb(port.fgColor));
    bg_ = encode(r_.layout, toRgb(port.bgColor));
    solid_ = std::all_of(pat.pat, pat.pat + 8, [&](uint8_t b) { return b == pat.pat[0]; }) &&
             (pat.pat[0] == 0x00 || pat.pat[0] == 0xFF);
  }

  const Rect& bounds() const { return r_.bounds; }
  bool drawable() const { return !r_.empty(); }

  void span(int y, int x0, int x1) {
    int row = y - r_.bounds.top, left = x0 - r_.bounds.left, right = x1 - r_.bounds.left;
    if (solid_) return fillSpan(r_, row, left, right, pat_.pat[0] ? fg_ : bg_);
    uint8_t bits = pat_.pat[y & 7];
    for (int x = x0; x < x1; ++x)
      writePixel(r_, x - r_.bounds.left, row, (bits >> (7 - (x & 7))) & 1 ? fg_ : bg_);
  }

 private:
  Raster r_;
  Pattern pat_;
  uint32_t fg_ = 0, bg_ = 0;
  bool solid_ = false;
};

void fillRect(const Rect* r, const Pattern& pat) {
  if (!r) return setError(paramErr);
  Painter painter(*currentPort(), pat);
  setError(noErr);
  if (!painter.drawable()) return;
  const Rect& b = painter.bounds();
  int top = std::max(r->top, b.top), bottom = std::min(r->bottom, b.bottom);
  int left = std::max(r->left, b.left), right = std::min(r->right, b.right);
  if (left >= right) return;
  for (int y = top; y < bottom; ++y) painter.span(y, left, right);
}

void fillRgn(RgnHandle rgn, const Pattern& pat) {
  rgn::View v;
  if (!rgn::view(rgn, v)) return setError(paramErr);
  Painter painter(*currentPort(), pat);
  setError(noErr);
  if (!painter.drawable()) return;
  rgn::forEachSpan(v, painter.bounds(), [&](int y, int x0, int x1) { painter.span(y, x0, x1); });
}

// The source pixel for each destination column or row: the one under its centre.
int sourceIndex(int d, int dstSize, int srcSize) {
  return static_cast<int>((2L * d + 1) * srcSize / (2L * dstSize));
}

struct Transfer {
  int mode;
  bool colorize;
  Rgb fg, bg;

  // Non-default colours tint the image: black becomes the foreground colour and
  // white the background, the shades between following linearly.
  Rgb tint(Rgb c) const {
    if (!colorize) return c;
    auto mix = [](int f, int b, int v) {
      int t = (b - f) * v;
      return static_cast<uint8_t>(f + (t >= 0 ? (t + 127) / 255 : -((127 - t) / 255)));
    };
    return {mix(fg.r, bg.r, c.r), mix(fg.g, bg.g, c.g), mix(fg.b, bg.b, c.b)};
  }

  // The boolean modes act where the source reads as black.
  void apply(const Raster& src, int sx, int sy, const Raster& dst, int dx, int dy) const {
    Rgb s = decode(src.layout, readPixel(src, sx, sy));
    switch (mode) {
      case srcCopy:
        return writePixel(dst, dx, dy, encode(dst.layout, tint(s)));
      case notSrcCopy:
        return writePixel(dst, dx, dy,
                          encode(dst.layout, tint(Rgb{static_cast<uint8_t>(255 - s.r), static_cast<uint8_t>(255 - s.g),
                                                      static_cast<uint8_t>(255 - s.b)})));
    }
    if (luminance(s) >= 128) return;
    switch (mode) {
      case srcOr: return writePixel(dst, dx, dy, encode(dst.layout, fg));
      case srcBic: return writePixel(dst, dx, dy, encode(dst.layout, bg));
      case srcXor: {
        Rgb d = decode(dst.layout, readPixel(dst, dx, dy));
        Rgb inverted{static_cast<uint8_t>(255 - d.r), static_cast<uint8_t>(255 - d.g), static_cast<uint8_t>(255 - d.b)};
        return writePixel(dst, dx, dy, encode(dst.layout, inverted));
      }
    }
  }
};

}  // namespace
}  // namespace qd

using namespace qd;

extern "C" {

__attribute__((visibility("default"))) void RGBForeColor(const RGBColor* color) {
  if (color) currentPort()->fgColor = *color;
}

__attribute__((visibility("default"))) void RGBBackColor(const RGBColor* color) {
  if (color) currentPort()->bgColor = *color;
}

__attribute__((visibility("default"))) void GetForeColor(RGBColor* color) {
  if (color) *color = currentPort()->fgColor;
}

__attribute__((visibility("default"))) void GetBackColor(RGBColor* color) {
  if (color) *color = currentPort()->bgColor;
}

__attribute__((visibility("default"))) void FillRect(const Rect* r, const Pattern* pat) {
  if (!pat) return setError(paramErr);
  fillRect(r, *pat);
}

__attribute__((visibility("default"))) void PaintRect(const Rect* r) { fillRect(r, kBlack); }
__attribute__((visibility("default"))) void EraseRect(const Rect* r) { fillRect(r, kWhite); }

__attribute__((visibility("default"))) void FillRgn(RgnHandle rgn, const Pattern* pat) {
  if (!pat) return setError(paramErr);
  fillRgn(rgn, *pat);
}

__attribute__((visibility("default"))) void PaintRgn(RgnHandle rgn) { fillRgn(rgn, kBlack); }
__attribute__((visibility("default"))) void EraseRgn(RgnHandle rgn) { fillRgn(rgn, kWhite); }

__attribute__((visibility("default"))) void CopyBits(const BitMap* srcBits, const BitMap* dstBits, const Rect* srcRect,
                                                     const Rect* dstRect, int16_t mode, RgnHandle maskRgn) {
  Raster src, dst;
  if (!srcRect || !dstRect || !rasterFromBitMap(srcBits, src) || !rasterFromBitMap(dstBits, dst))
    return setError(paramErr);
  int op = mode == ditherCopy ? int{srcCopy} : mode;
  if (op != srcCopy && op != srcOr && op != srcXor && op != srcBic && op != notSrcCopy) return setError(paramErr);
  rgn::View mask;
  if (maskRgn && !rgn::view(maskRgn, mask)) return setError(paramErr);
  setError(noErr);
  int sw = srcRect->right - srcRect->left, sh = srcRect->bottom - srcRect->top;
  int dw = dstRect->right - dstRect->left, dh = dstRect->bottom - dstRect->top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || src.empty() || dst.empty()) return;

  // Copying within one image reads from a snapshot, so no pixel is read after it
  // was overwritten, whichever way the rectangles overlap.
  std::unique_ptr<uint8_t[]> snapshot;
  if (src.base == dst.base) {
    size_t bytes = static_cast<size_t>(src.rowBytes) * static_cast<size_t>(src.height());
    snapshot.reset(new (std::nothrow) uint8_t[bytes]);
    if (!snapshot) return setError(memFullErr);
    std::memcpy(snapshot.get(), src.base, bytes);
    src.base = snapshot.get();
  }

  const Port& port = *currentPort();
  Transfer t{op, false, toRgb(port.fgColor), toRgb(port.bgColor)};
  t.colorize = !(t.fg.r == 0 && t.fg.g == 0 && t.fg.b == 0 && t.bg.r == 255 && t.bg.g == 255 && t.bg.b == 255);

  Rect clip{std::max(dstRect->top, dst.bounds.top), std::max(dstRect->left, dst.bounds.left),
            std::min(dstRect->bottom, dst.bounds.bottom), std::min(dstRect->right, dst.bounds.right)};
  if (clip.top >= clip.bottom || clip.left >= clip.right) return;

  // Source column for every destination column in the clip, or -1 outside the source.
  std::vector<int> columns(static_cast<size_t>(clip.right - clip.left));
  for (int x = clip.left; x < clip.right; ++x) {
    int sx = srcRect->left + sourceIndex(x - dstRect->left, dw, sw);
    columns[static_cast<size_t>(x - clip.left)] = sx >= src.bounds.left && sx < src.bounds.right ? sx - src.bounds.left : -1;
  }
  bool byteCopy = op == srcCopy && !t.colorize && sw == dw && src.layout == dst.layout && src.layout != Layout::Mono1;
  int pixelBytes = depthOf(dst.layout) / 8;

  auto copySpan = [&](int y, int x0, int x1) {
    int sy = srcRect->top + sourceIndex(y - dstRect->top, dh, sh);
    if (sy < src.bounds.top || sy >= src.bounds.bottom) return;
    sy -= src.bounds.top;
    int dy = y - dst.bounds.top;
    if (byteCopy) {
      // Same layout, same width: whole runs of columns inside the source move at once.
      int x = x0;
      while (x < x1) {
        int sx = columns[static_cast<size_t>(x - clip.left)];
        if (sx < 0) {
          ++x;
          continue;
        }
        int run = 1;
        while (x + run < x1 && columns[static_cast<size_t>(x + run - clip.left)] == sx + run) ++run;
        std::memmove(dst.row(dy) + static_cast<long>(x - dst.bounds.left) * pixelBytes,
                     src.row(sy) + static_cast<long>(sx) * pixelBytes, static_cast<size_t>(run * pixelBytes));
        x += run;
      }
      return;
    }
    for (int x = x0; x < x1; ++x) {
      int sx = columns[static_cast<size_t>(x - clip.left)];
      if (sx >= 0) t.apply(src, sx, sy, dst, x - dst.bounds.left, dy);
    }
  };

  if (maskRgn) rgn::forEachSpan(mask, clip, copySpan);
  else
    for (int y = clip.top; y < clip.bottom; ++y) copySpan(y, clip.left, clip.right);
}

}  // extern "C"
