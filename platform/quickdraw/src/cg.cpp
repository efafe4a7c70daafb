// Core Graphics bitmap contexts and images: their formats, fills, image drawing and
// the bridge that lends a graphics world's pixels to a context.
#include "cg.h"

#include <MacErrors.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace qd::cg {
namespace {

long gContexts = 0, gImages = 0, gSpaces = 0;

// Larger bitmaps are refused rather than left to exhaust memory.
constexpr size_t kMaxBytes = size_t{1} << 31;

bool makeFormat(CGColorSpaceRef space, size_t bitsPerComponent, CGBitmapInfo info, Format& f) {
  if (bitsPerComponent != 8 || (info & kCGBitmapFloatComponents)) return false;
  uint32_t alpha = info & kCGBitmapAlphaInfoMask;
  uint32_t order = info & kCGBitmapByteOrderMask;
  f.info = info;
  if (!space) {
    if (alpha != kCGImageAlphaOnly || order != kCGBitmapByteOrderDefault) return false;
    f.kind = Format::Kind::Alpha8;
    f.alpha = Format::Alpha::Straight;
    return true;
  }
  if (space->gray) {
    if (alpha != kCGImageAlphaNone || order != kCGBitmapByteOrderDefault) return false;
    f.kind = Format::Kind::Gray8;
    f.alpha = Format::Alpha::None;
    return true;
  }
  if (alpha < kCGImageAlphaPremultipliedLast || alpha > kCGImageAlphaNoneSkipFirst) return false;
  if (order != kCGBitmapByteOrderDefault && order != kCGBitmapByteOrder32Big && order != kCGBitmapByteOrder32Little)
    return false;
  f.kind = Format::Kind::Rgba32;
  f.alpha = alpha <= kCGImageAlphaPremultipliedFirst ? Format::Alpha::Premultiplied
            : alpha <= kCGImageAlphaFirst            ? Format::Alpha::Straight
                                                     : Format::Alpha::None;
  // Components in the order named; a little-endian word reverses them in memory.
  bool alphaFirst = alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaFirst ||
                    alpha == kCGImageAlphaNoneSkipFirst;
  uint8_t pos[4] = {alphaFirst ? uint8_t{1} : uint8_t{0}, alphaFirst ? uint8_t{2} : uint8_t{1},
                    alphaFirst ? uint8_t{3} : uint8_t{2}, alphaFirst ? uint8_t{0} : uint8_t{3}};
  if (order == kCGBitmapByteOrder32Little)
    for (uint8_t& p : pos) p = static_cast<uint8_t>(3 - p);
  f.r = pos[0], f.g = pos[1], f.b = pos[2], f.a = pos[3];
  return true;
}

uint8_t mul255(int a, int b) { return static_cast<uint8_t>((a * b + 127) / 255); }

Px load(const Format& f, const uint8_t* p) {
  switch (f.kind) {
    case Format::Kind::Gray8: return {p[0], p[0], p[0], 255};
    case Format::Kind::Alpha8: return {0, 0, 0, p[0]};
    case Format::Kind::Rgba32: break;
  }
  Px px{p[f.r], p[f.g], p[f.b], f.alpha == Format::Alpha::None ? uint8_t{255} : p[f.a]};
  if (f.alpha == Format::Alpha::Straight) px = {mul255(px.r, px.a), mul255(px.g, px.a), mul255(px.b, px.a), px.a};
  return px;
}

void store(const Format& f, uint8_t* p, Px px) {
  switch (f.kind) {
    case Format::Kind::Gray8: p[0] = static_cast<uint8_t>((77 * px.r + 150 * px.g + 29 * px.b + 128) >> 8); return;
    case Format::Kind::Alpha8: p[0] = px.a; return;
    case Format::Kind::Rgba32: break;
  }
  if (f.alpha == Format::Alpha::Straight && px.a != 255) {
    auto unmul = [&](uint8_t c) {
      return px.a ? static_cast<uint8_t>(std::min(255, (c * 255 + px.a / 2) / px.a)) : uint8_t{0};
    };
    px = {unmul(px.r), unmul(px.g), unmul(px.b), px.a};
  }
  p[f.r] = px.r, p[f.g] = px.g, p[f.b] = px.b;
  // Contexts without alpha keep their spare byte opaque.
  p[f.a] = f.alpha == Format::Alpha::None ? uint8_t{255} : px.a;
}

// Source over destination, both premultiplied.
Px over(Px s, Px d) {
  if (s.a == 255) return s;
  int keep = 255 - s.a;
  return {static_cast<uint8_t>(s.r + mul255(d.r, keep)), static_cast<uint8_t>(s.g + mul255(d.g, keep)),
          static_cast<uint8_t>(s.b + mul255(d.b, keep)), static_cast<uint8_t>(s.a + mul255(d.a, keep))};
}

void blend(CGContext* c, uint8_t* p, Px s) {
  store(c->format, p, s.a == 255 ? s : over(s, load(c->format, p)));
}

CGRect standardized(CGRect r) {
  if (r.size.width < 0) r.origin.x += r.size.width, r.size.width = -r.size.width;
  if (r.size.height < 0) r.origin.y += r.size.height, r.size.height = -r.size.height;
  return r;
}

// Pixel indices whose centres lie in [lo, hi), clamped to [0, limit).
void centres(double lo, double hi, size_t limit, long& first, long& end) {
  first = std::max(0L, static_cast<long>(std::ceil(lo - 0.5)));
  end = std::min(static_cast<long>(limit), static_cast<long>(std::ceil(hi - 0.5)));
}

// Row j counted from the bottom, as user space counts it, to its memory row.
uint8_t* pixelAt(CGContext* c, long x, long j) {
  return c->data + (c->height - 1 - static_cast<size_t>(j)) * c->bytesPerRow + static_cast<size_t>(x) * c->format.bytesPerPixel();
}

bool drawable(CGContext* c) { return c && c->data && c->width && c->height; }

uint8_t unit(CGFloat v) {
  if (!(v > 0)) return 0;  // NaN too
  if (v >= 1) return 255;
  return static_cast<uint8_t>(std::lround(v * 255));
}

CGContext* newContext(uint8_t* data, size_t width, size_t height, size_t bytesPerRow, const Format& f) {
  auto* c = new (std::nothrow) CGContext;
  if (!c) return nullptr;
  c->width = width, c->height = height, c->bytesPerRow = bytesPerRow, c->format = f;
  if (!data) {
    c->owned.reset(new (std::nothrow) uint8_t[bytesPerRow * height]());
    if (!c->owned) {
      delete c;
      return nullptr;
    }
    data = c->owned.get();
  }
  c->data = data;
  ++gContexts;
  return c;
}

}  // namespace

void detachFromPort(CGContext* c) {
  if (c->port) c->port->cgContext = nullptr;
  c->port = nullptr;
  // Its pixels belong to the world: the context draws nothing from now on.
  c->data = nullptr;
  c->width = c->height = 0;
}

}  // namespace qd::cg

using namespace qd::cg;

extern "C" {

__attribute__((visibility("default"))) CGColorSpaceRef CGColorSpaceCreateDeviceRGB(void) {
  auto* s = new (std::nothrow) CGColorSpace;
  if (s) ++gSpaces;
  return s;
}

__attribute__((visibility("default"))) CGColorSpaceRef CGColorSpaceCreateDeviceGray(void) {
  auto* s = new (std::nothrow) CGColorSpace;
  if (!s) return nullptr;
  s->gray = true;
  ++gSpaces;
  return s;
}

__attribute__((visibility("default"))) CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space) {
  if (space) ++space->refs;
  return space;
}

__attribute__((visibility("default"))) void CGColorSpaceRelease(CGColorSpaceRef space) {
  if (space && --space->refs == 0) {
    delete space;
    --gSpaces;
  }
}

__attribute__((visibility("default"))) CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height,
                                                                         size_t bitsPerComponent, size_t bytesPerRow,
                                                                         CGColorSpaceRef space, uint32_t bitmapInfo) {
  Format f;
  if (!width || !height || !makeFormat(space, bitsPerComponent, bitmapInfo, f)) return nullptr;
  size_t pixelBytes = static_cast<size_t>(f.bytesPerPixel());
  if (width > kMaxBytes / pixelBytes) return nullptr;
  size_t minimum = width * pixelBytes;
  // Rows the context allocates itself start 16-byte aligned.
  if (bytesPerRow == 0) bytesPerRow = data ? minimum : (minimum + 15) & ~size_t{15};
  if (bytesPerRow < minimum || height > kMaxBytes / bytesPerRow) return nullptr;
  return newContext(static_cast<uint8_t*>(data), width, height, bytesPerRow, f);
}

__attribute__((visibility("default"))) void* CGBitmapContextGetData(CGContextRef c) { return c ? c->data : nullptr; }
__attribute__((visibility("default"))) size_t CGBitmapContextGetWidth(CGContextRef c) { return c ? c->width : 0; }
__attribute__((visibility("default"))) size_t CGBitmapContextGetHeight(CGContextRef c) { return c ? c->height : 0; }
__attribute__((visibility("default"))) size_t CGBitmapContextGetBitsPerComponent(CGContextRef c) { return c ? 8 : 0; }
__attribute__((visibility("default"))) size_t CGBitmapContextGetBitsPerPixel(CGContextRef c) {
  return c ? static_cast<size_t>(c->format.bytesPerPixel()) * 8 : 0;
}
__attribute__((visibility("default"))) size_t CGBitmapContextGetBytesPerRow(CGContextRef c) {
  return c ? c->bytesPerRow : 0;
}
__attribute__((visibility("default"))) CGImageAlphaInfo CGBitmapContextGetAlphaInfo(CGContextRef c) {
  return c ? c->format.info & kCGBitmapAlphaInfoMask : 0;
}
__attribute__((visibility("default"))) CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef c) {
  return c ? c->format.info : 0;
}

__attribute__((visibility("default"))) CGImageRef CGBitmapContextCreateImage(CGContextRef c) {
  if (!drawable(c)) return nullptr;
  auto* image = new (std::nothrow) CGImage;
  if (!image) return nullptr;
  size_t bytes = c->bytesPerRow * c->height;
  image->data.reset(new (std::nothrow) uint8_t[bytes]);
  if (!image->data) {
    delete image;
    return nullptr;
  }
  std::memcpy(image->data.get(), c->data, bytes);
  image->width = c->width, image->height = c->height, image->bytesPerRow = c->bytesPerRow;
  image->format = c->format;
  ++gImages;
  return image;
}

__attribute__((visibility("default"))) CGContextRef CGContextRetain(CGContextRef c) {
  if (c) ++c->refs;
  return c;
}

__attribute__((visibility("default"))) void CGContextRelease(CGContextRef c) {
  if (!c || --c->refs > 0) return;
  if (c->port) detachFromPort(c);
  delete c;
  --gContexts;
}

__attribute__((visibility("default"))) void CGContextFlush(CGContextRef) {}

__attribute__((visibility("default"))) void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green,
                                                                    CGFloat blue, CGFloat alpha) {
  if (!c) return;
  uint8_t a = unit(alpha);
  c->fill = {mul255(unit(red), a), mul255(unit(green), a), mul255(unit(blue), a), a};
}

__attribute__((visibility("default"))) void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat alpha) {
  CGContextSetRGBFillColor(c, gray, gray, gray, alpha);
}

__attribute__((visibility("default"))) void CGContextFillRect(CGContextRef c, CGRect rect) {
  if (!drawable(c)) return;
  rect = standardized(rect);
  long x0, x1, j0, j1;
  centres(rect.origin.x, rect.origin.x + rect.size.width, c->width, x0, x1);
  centres(rect.origin.y, rect.origin.y + rect.size.height, c->height, j0, j1);
  for (long j = j0; j < j1; ++j)
    for (long x = x0; x < x1; ++x) blend(c, pixelAt(c, x, j), c->fill);
}

__attribute__((visibility("default"))) void CGContextClearRect(CGContextRef c, CGRect rect) {
  if (!drawable(c)) return;
  rect = standardized(rect);
  long x0, x1, j0, j1;
  centres(rect.origin.x, rect.origin.x + rect.size.width, c->width, x0, x1);
  centres(rect.origin.y, rect.origin.y + rect.size.height, c->height, j0, j1);
  for (long j = j0; j < j1; ++j)
    for (long x = x0; x < x1; ++x) store(c->format, pixelAt(c, x, j), Px{0, 0, 0, 0});
}

__attribute__((visibility("default"))) void CGContextFillEllipseInRect(CGContextRef c, CGRect rect) {
  if (!drawable(c)) return;
  rect = standardized(rect);
  double rx = rect.size.width / 2, ry = rect.size.height / 2;
  if (!(rx > 0) || !(ry > 0)) return;
  double cx = rect.origin.x + rx, cy = rect.origin.y + ry;
  long j0, j1;
  centres(rect.origin.y, rect.origin.y + rect.size.height, c->height, j0, j1);
  for (long j = j0; j < j1; ++j) {
    double dy = (j + 0.5 - cy) / ry;
    if (dy * dy > 1) continue;
    double half = rx * std::sqrt(1 - dy * dy);
    long x0 = std::max(0L, static_cast<long>(std::ceil(cx - half - 0.5)));
    long x1 = std::min(static_cast<long>(c->width), static_cast<long>(std::floor(cx + half - 0.5)) + 1);
    for (long x = x0; x < x1; ++x) blend(c, pixelAt(c, x, j), c->fill);
  }
}

__attribute__((visibility("default"))) void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image) {
  if (!drawable(c) || !image) return;
  rect = standardized(rect);
  if (!(rect.size.width > 0) || !(rect.size.height > 0)) return;
  long x0, x1, j0, j1;
  centres(rect.origin.x, rect.origin.x + rect.size.width, c->width, x0, x1);
  centres(rect.origin.y, rect.origin.y + rect.size.height, c->height, j0, j1);
  if (x0 >= x1) return;
  const long w = static_cast<long>(image->width), h = static_cast<long>(image->height);
  const int pixelBytes = image->format.bytesPerPixel();
  // The image column under each destination column's centre.
  std::vector<long> columns(static_cast<size_t>(x1 - x0));
  for (long x = x0; x < x1; ++x) {
    long u = static_cast<long>(std::floor((x + 0.5 - rect.origin.x) / rect.size.width * static_cast<double>(w)));
    columns[static_cast<size_t>(x - x0)] = std::clamp(u, 0L, w - 1);
  }
  for (long j = j0; j < j1; ++j) {
    // The image's top row lies at the top of the rectangle.
    double fromTop = (rect.origin.y + rect.size.height - (j + 0.5)) / rect.size.height;
    long v = std::clamp(static_cast<long>(std::floor(fromTop * static_cast<double>(h))), 0L, h - 1);
    const uint8_t* src = image->data.get() + static_cast<size_t>(v) * image->bytesPerRow;
    for (long x = x0; x < x1; ++x)
      blend(c, pixelAt(c, x, j), load(image->format, src + columns[static_cast<size_t>(x - x0)] * pixelBytes));
  }
}

__attribute__((visibility("default"))) CGImageRef CGImageRetain(CGImageRef image) {
  if (image) ++image->refs;
  return image;
}

__attribute__((visibility("default"))) void CGImageRelease(CGImageRef image) {
  if (image && --image->refs == 0) {
    delete image;
    --gImages;
  }
}

__attribute__((visibility("default"))) size_t CGImageGetWidth(CGImageRef i) { return i ? i->width : 0; }
__attribute__((visibility("default"))) size_t CGImageGetHeight(CGImageRef i) { return i ? i->height : 0; }
__attribute__((visibility("default"))) size_t CGImageGetBitsPerComponent(CGImageRef i) { return i ? 8 : 0; }
__attribute__((visibility("default"))) size_t CGImageGetBitsPerPixel(CGImageRef i) {
  return i ? static_cast<size_t>(i->format.bytesPerPixel()) * 8 : 0;
}
__attribute__((visibility("default"))) size_t CGImageGetBytesPerRow(CGImageRef i) { return i ? i->bytesPerRow : 0; }
__attribute__((visibility("default"))) CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef i) {
  return i ? i->format.info & kCGBitmapAlphaInfoMask : 0;
}

__attribute__((visibility("default"))) OSStatus QDBeginCGContext(CGrafPtr inPort, CGContextRef* outContext) {
  if (!outContext) return paramErr;
  *outContext = nullptr;
  qd::Port* port = qd::portFrom(inPort);
  if (!port || !port->isWorld || !port->pixels || port->cgContext) return paramErr;
  qd::Raster r = port->raster();
  CGColorSpace rgb, gray;
  gray.gray = true;
  Format f;
  bool ok = false;
  switch (r.layout) {
    case qd::Layout::Argb32:
      ok = makeFormat(&rgb, 8, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Big, f);
      break;
    case qd::Layout::Bgra32:
      ok = makeFormat(&rgb, 8, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, f);
      break;
    case qd::Layout::Grey8: ok = makeFormat(&gray, 8, kCGImageAlphaNone, f); break;
    // Core Graphics draws into no 24-bit or 1-bit bitmap.
    case qd::Layout::Rgb24:
    case qd::Layout::Mono1: break;
  }
  if (!ok) return paramErr;
  CGContext* c = newContext(r.base, static_cast<size_t>(r.width()), static_cast<size_t>(r.height()),
                            static_cast<size_t>(r.rowBytes), f);
  if (!c) return memFullErr;
  c->port = port;
  port->cgContext = c;
  *outContext = c;
  return noErr;
}

__attribute__((visibility("default"))) OSStatus QDEndCGContext(CGrafPtr inPort, CGContextRef* inoutContext) {
  qd::Port* port = qd::portFrom(inPort);
  if (!inoutContext || !port || !*inoutContext || port->cgContext != *inoutContext) return paramErr;
  detachFromPort(*inoutContext);
  CGContextRelease(*inoutContext);
  *inoutContext = nullptr;
  return noErr;
}

__attribute__((visibility("default"))) long CGLiveContextCount(void) { return gContexts; }
__attribute__((visibility("default"))) long CGLiveImageCount(void) { return gImages; }
__attribute__((visibility("default"))) long CGLiveColorSpaceCount(void) { return gSpaces; }

}  // extern "C"
