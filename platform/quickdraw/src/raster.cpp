// Pixel access for every layout, and the fixed colour tables of indexed worlds.
#include "raster.h"

#include <cstring>

namespace qd {

int depthOf(Layout layout) {
  switch (layout) {
    case Layout::Mono1: return 1;
    case Layout::Grey8: return 8;
    case Layout::Rgb24: return 24;
    case Layout::Argb32:
    case Layout::Bgra32: return 32;
  }
  return 0;
}

long alignedRowBytes(int width, int depth) {
  long bytes = (static_cast<long>(width) * depth + 7) / 8;
  return (bytes + 15) & ~15L;
}

uint32_t encode(Layout layout, Rgb c) {
  switch (layout) {
    case Layout::Mono1: return luminance(c) < 128 ? 1 : 0;
    case Layout::Grey8: return static_cast<uint32_t>(luminance(c));
    case Layout::Rgb24:
    case Layout::Argb32:
    case Layout::Bgra32: return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
  }
  return 0;
}

Rgb decode(Layout layout, uint32_t v) {
  switch (layout) {
    case Layout::Mono1: return v ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
    case Layout::Grey8: return {static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v)};
    default: return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  }
}

uint32_t readPixel(const Raster& r, int x, int y) {
  const uint8_t* p = r.row(y);
  switch (r.layout) {
    case Layout::Mono1: return (p[x >> 3] >> (7 - (x & 7))) & 1;
    case Layout::Grey8: return p[x];
    case Layout::Rgb24: p += x * 3; return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    case Layout::Argb32: p += x * 4; return (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    case Layout::Bgra32: p += x * 4; return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
  }
  return 0;
}

// The pad byte of 32-bit pixels is written opaque, so the pixels read correctly
// wherever that byte is taken for alpha.
void writePixel(const Raster& r, int x, int y, uint32_t v) {
  uint8_t* p = r.row(y);
  switch (r.layout) {
    case Layout::Mono1: {
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      p[x >> 3] = v ? (p[x >> 3] | bit) : (p[x >> 3] & ~bit);
      return;
    }
    case Layout::Grey8: p[x] = static_cast<uint8_t>(v); return;
    case Layout::Rgb24:
      p += x * 3;
      p[0] = static_cast<uint8_t>(v >> 16), p[1] = static_cast<uint8_t>(v >> 8), p[2] = static_cast<uint8_t>(v);
      return;
    case Layout::Argb32:
      p += x * 4;
      p[0] = 0xFF, p[1] = static_cast<uint8_t>(v >> 16), p[2] = static_cast<uint8_t>(v >> 8);
      p[3] = static_cast<uint8_t>(v);
      return;
    case Layout::Bgra32:
      p += x * 4;
      p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8), p[2] = static_cast<uint8_t>(v >> 16);
      p[3] = 0xFF;
      return;
  }
}

void fillSpan(const Raster& r, int y, int x0, int x1, uint32_t v) {
  if (x0 >= x1) return;
  uint8_t* p = r.row(y);
  switch (r.layout) {
    case Layout::Mono1: {
      // Whole bytes in the middle, masked bytes at the ends.
      uint8_t fill = v ? 0xFF : 0x00;
      int first = x0 >> 3, last = (x1 - 1) >> 3;
      uint8_t headMask = static_cast<uint8_t>(0xFF >> (x0 & 7));
      uint8_t tailMask = static_cast<uint8_t>(0xFF << (7 - ((x1 - 1) & 7)));
      if (first == last) {
        uint8_t m = headMask & tailMask;
        p[first] = static_cast<uint8_t>((p[first] & ~m) | (fill & m));
        return;
      }
      p[first] = static_cast<uint8_t>((p[first] & ~headMask) | (fill & headMask));
      if (last > first + 1) std::memset(p + first + 1, fill, static_cast<size_t>(last - first - 1));
      p[last] = static_cast<uint8_t>((p[last] & ~tailMask) | (fill & tailMask));
      return;
    }
    case Layout::Grey8: std::memset(p + x0, static_cast<int>(v), static_cast<size_t>(x1 - x0)); return;
    case Layout::Rgb24:
    case Layout::Argb32:
    case Layout::Bgra32: {
      int size = depthOf(r.layout) / 8;
      writePixel(r, x0, y, v);
      // Double the filled stretch each time: few copies even for long spans.
      long done = 1, total = x1 - x0;
      uint8_t* start = p + static_cast<long>(x0) * size;
      while (done < total) {
        long n = done < total - done ? done : total - done;
        std::memcpy(start + done * size, start, static_cast<size_t>(n * size));
        done += n;
      }
      return;
    }
  }
}

bool rasterFromBitMap(const BitMap* bits, Raster& out) {
  if (!bits) return false;
  out = Raster{};
  out.base = reinterpret_cast<uint8_t*>(bits->baseAddr);
  out.bounds = bits->bounds;
  if (!(bits->rowBytes & 0x8000)) {
    out.layout = Layout::Mono1;
    out.rowBytes = bits->rowBytes & 0x7FFF;
    return true;
  }
  const PixMap* pm = reinterpret_cast<const PixMap*>(bits);
  const PixMapExt* ext = static_cast<const PixMapExt*>(pm->pmExt);
  out.rowBytes = ext && ext->magic == PixMapExt::kMagic ? ext->rowBytes : (pm->rowBytes & 0x3FFF);
  switch (pm->pixelSize) {
    case 1: out.layout = Layout::Mono1; return true;
    case 8: out.layout = Layout::Grey8; return true;
    case 24: out.layout = Layout::Rgb24; return true;
    case 32: out.layout = pm->pixelFormat == k32BGRAPixelFormat ? Layout::Bgra32 : Layout::Argb32; return true;
    default: return false;
  }
}

namespace {

struct Table {
  CTabPtr master;
  explicit Table(int entries) {
    size_t bytes = sizeof(ColorTable) + sizeof(ColorSpec) * static_cast<size_t>(entries - 1);
    master = static_cast<CTabPtr>(::operator new(bytes));
    master->ctSeed = entries;
    master->ctFlags = 0;
    master->ctSize = static_cast<int16_t>(entries - 1);
  }
};

Table makeMono() {
  Table t(2);
  t.master->ctTable[0] = {0, {0xFFFF, 0xFFFF, 0xFFFF}};
  t.master->ctTable[1] = {1, {0, 0, 0}};
  return t;
}

Table makeGrey() {
  Table t(256);
  for (int i = 0; i < 256; ++i) {
    uint16_t v = static_cast<uint16_t>(i * 257);
    t.master->ctTable[i] = {static_cast<int16_t>(i), {v, v, v}};
  }
  return t;
}

}  // namespace

// Built once and shared by every world for the life of the process.
CTabHandle monoTable() {
  static Table table = makeMono();
  return &table.master;
}

CTabHandle greyTable() {
  static Table table = makeGrey();
  return &table.master;
}

}  // namespace qd
