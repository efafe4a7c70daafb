// Pixels as the drawing code sees them: a base address, row bytes, one of the memory
// layouts this QuickDraw keeps, and the coordinates of the image. Pixel values are
// layout-neutral: 0/1 (1 black), 0–255 grey (255 white), or 0xRRGGBB.
#pragma once

#include "QuickDraw.h"

#include <cstdint>

namespace qd {

enum class Layout : uint8_t {
  Mono1,   // one bit, most significant bit leftmost, set bit black
  Grey8,   // one byte of intensity
  Rgb24,   // bytes r, g, b
  Argb32,  // bytes x, r, g, b
  Bgra32,  // bytes b, g, r, x: native-endian 32-bit words on a little-endian machine
};

// Kept in a PixMap's pmExt: the row bytes that do not fit its 14-bit field.
struct PixMapExt {
  static constexpr uint32_t kMagic = 0x7178506D;  // 'qxPm'
  uint32_t magic = kMagic;
  long rowBytes = 0;
};

// Native-endian 32-bit pixels are B, G, R, x in memory only where words are little-endian.
constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

struct Rgb {
  uint8_t r, g, b;
};

struct Raster {
  uint8_t* base = nullptr;
  long rowBytes = 0;
  Layout layout = Layout::Argb32;
  Rect bounds{};

  int width() const { return bounds.right - bounds.left; }
  int height() const { return bounds.bottom - bounds.top; }
  bool empty() const { return !base || width() <= 0 || height() <= 0; }
  // Row y counted from the top of the image (0-based).
  uint8_t* row(int y) const { return base + static_cast<long>(y) * rowBytes; }
};

int depthOf(Layout layout);
// Row bytes for a width, rounded up to 16 bytes so rows stay vector-aligned.
long alignedRowBytes(int width, int depth);

inline Rgb toRgb(const RGBColor& c) {
  return {static_cast<uint8_t>(c.red >> 8), static_cast<uint8_t>(c.green >> 8), static_cast<uint8_t>(c.blue >> 8)};
}
// Perceived brightness, 0–255, weighted as video luma is.
inline int luminance(Rgb c) { return (77 * c.r + 150 * c.g + 29 * c.b + 128) >> 8; }

uint32_t encode(Layout layout, Rgb c);
Rgb decode(Layout layout, uint32_t value);

// x and y are 0-based within the raster.
uint32_t readPixel(const Raster& r, int x, int y);
void writePixel(const Raster& r, int x, int y, uint32_t value);
// Pixels x0 ≤ x < x1 of row y take the value.
void fillSpan(const Raster& r, int y, int x0, int x1, uint32_t value);

// Interprets a BitMap or, when the top bit of rowBytes is set, a PixMap. False for
// depths and formats this QuickDraw does not keep.
bool rasterFromBitMap(const BitMap* bits, Raster& out);

// The colour tables of 1-bit and 8-bit worlds: white and black; a grey ramp.
CTabHandle monoTable();
CTabHandle greyTable();

}  // namespace qd
