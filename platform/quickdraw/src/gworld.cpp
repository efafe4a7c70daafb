// Offscreen graphics worlds: making, resizing and re-depthing them, and the pixel
// map accessors callers read them through.
#include "cg.h"
#include "port.h"

#include <MacErrors.h>

#include <cstring>
#include <new>

namespace qd {
namespace {

// Larger worlds are refused rather than left to exhaust memory.
constexpr long kMaxPixelBytes = 1L << 30;

bool validDepth(int depth) { return depth == 1 || depth == 8 || depth == 24 || depth == 32; }

Layout layoutFor(int depth, bool bgra) {
  switch (depth) {
    case 1: return Layout::Mono1;
    case 8: return Layout::Grey8;
    case 24: return Layout::Rgb24;
    default: return bgra ? Layout::Bgra32 : Layout::Argb32;
  }
}

// New pixels start white: one-bit white is a clear bit, everything else all ones.
std::unique_ptr<uint8_t[]> whitePixels(int depth, long rowBytes, int height) {
  long bytes = rowBytes * height;
  if (bytes <= 0 || bytes > kMaxPixelBytes) return nullptr;
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
  if (pixels) std::memset(pixels.get(), depth == 1 ? 0x00 : 0xFF, static_cast<size_t>(bytes));
  return pixels;
}

bool emptyRect(const Rect& r) { return r.bottom <= r.top || r.right <= r.left; }

// Copies the old image into the new raster: pixel for pixel from the top-left corner,
// or scaled to fill it, each pixel converted to the new depth.
void carryOver(const Raster& from, const Raster& to, bool stretch) {
  int w = to.width(), h = to.height();
  for (int y = 0; y < h; ++y) {
    int sy = stretch ? static_cast<int>((2L * y + 1) * from.height() / (2L * h)) : y;
    if (sy >= from.height()) break;
    for (int x = 0; x < w; ++x) {
      int sx = stretch ? static_cast<int>((2L * x + 1) * from.width() / (2L * w)) : x;
      if (sx >= from.width()) break;
      writePixel(to, x, y, encode(to.layout, decode(from.layout, readPixel(from, sx, sy))));
    }
  }
}

}  // namespace
}  // namespace qd

using namespace qd;

extern "C" {

__attribute__((visibility("default"))) QDErr NewGWorld(GWorldPtr* offscreenGWorld, int16_t pixelDepth,
                                                       const Rect* boundsRect, CTabHandle cTable,
                                                       GDHandle aGDevice, GWorldFlags flags) {
  if (!offscreenGWorld) return paramErr;
  *offscreenGWorld = nullptr;
  if (!boundsRect || emptyRect(*boundsRect)) return paramErr;
  int depth = pixelDepth == 0 ? 32 : pixelDepth;
  if (!validDepth(depth)) return cDepthErr;
  // Indexed worlds keep fixed tables (white and black; a grey ramp); another
  // table could not be honoured.
  if (cTable) return paramErr;
  Rect bounds = *boundsRect;
  int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
  long rowBytes = alignedRowBytes(width, depth);
  auto pixels = whitePixels(depth, rowBytes, height);
  if (!pixels) return memFullErr;
  Port* world = new (std::nothrow) Port;
  if (!world) return memFullErr;
  world->isWorld = true;
  world->device.offscreen = true;
  world->pixels = std::move(pixels);
  world->pixelsLocked = (flags & pixelsLocked) != 0;
  describePixels(*world, depth, (flags & kNativeEndianPixMap) && kLittleEndian, rowBytes, bounds);
  registerWorld(world);
  *offscreenGWorld = reinterpret_cast<GWorldPtr>(world);
  return noErr;
}

__attribute__((visibility("default"))) void DisposeGWorld(GWorldPtr offscreenGWorld) {
  Port* world = portFrom(offscreenGWorld);
  if (!world || !world->isWorld) return setError(paramErr);
  if (world->cgContext) cg::detachFromPort(world->cgContext);
  unregisterWorld(world);
  delete world;
  setError(noErr);
}

__attribute__((visibility("default"))) GWorldFlags UpdateGWorld(GWorldPtr* offscreenGWorld, int16_t pixelDepth,
                                                                const Rect* boundsRect, CTabHandle cTable,
                                                                GDHandle aGDevice, GWorldFlags flags) {
  auto fail = [](OSErr err) {
    setError(err);
    return GWorldFlags{gwFlagErr};
  };
  if (!offscreenGWorld || !boundsRect || emptyRect(*boundsRect)) return fail(paramErr);
  Port* world = portFrom(*offscreenGWorld);
  // A world lent to Core Graphics keeps its pixels until the context is returned.
  if (!world || !world->isWorld || world->cgContext) return fail(paramErr);
  int oldDepth = world->pixMap.pixelSize;
  int depth = pixelDepth == 0 ? oldDepth : pixelDepth;
  if (!validDepth(depth)) return fail(cDepthErr);
  if (cTable) return fail(paramErr);

  Raster old = world->raster();
  bool bgra = ((flags & kNativeEndianPixMap) && kLittleEndian) || old.layout == Layout::Bgra32;
  Layout layout = layoutFor(depth, bgra);
  Rect bounds = *boundsRect;
  int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
  bool sameSize = width == old.width() && height == old.height();
  if (sameSize && layout == old.layout) {
    // Only the coordinates move; the pixels stay as they are.
    describePixels(*world, depth, bgra, world->ext.rowBytes, bounds);
    setError(noErr);
    return 0;
  }

  long rowBytes = alignedRowBytes(width, depth);
  auto pixels = whitePixels(depth, rowBytes, height);
  if (!pixels) return fail(memFullErr);
  Raster fresh{pixels.get(), rowBytes, layout, bounds};
  // A new depth at the same size is always mapped; a new size keeps the image only
  // when asked to clip or stretch it.
  bool stretch = !sameSize && (flags & stretchPix);
  bool keep = sameSize || (flags & (clipPix | stretchPix));
  if (keep) carryOver(old, fresh, stretch);

  world->pixels = std::move(pixels);
  describePixels(*world, depth, bgra, rowBytes, bounds);
  GWorldFlags result = reallocPix;
  if (depth != oldDepth) result |= newDepth;
  if (keep) result |= depth != oldDepth || layout != old.layout ? GWorldFlags{mapPix} : 0;
  if (keep && !sameSize) result |= stretch ? stretchPix : clipPix;
  setError(noErr);
  return result;
}

__attribute__((visibility("default"))) PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld) {
  Port* port = portFrom(offscreenGWorld);
  return port ? &port->pixMapPtr : nullptr;
}

__attribute__((visibility("default"))) PixMapHandle GetPortPixMap(CGrafPtr port) {
  Port* p = portFrom(port);
  return p ? &p->pixMapPtr : nullptr;
}

__attribute__((visibility("default"))) Boolean LockPixels(PixMapHandle pm) {
  Port* port = portFromPixMap(pm);
  if (!port || !port->pixels) return false;
  port->pixelsLocked = true;
  return true;
}

__attribute__((visibility("default"))) void UnlockPixels(PixMapHandle pm) {
  if (Port* port = portFromPixMap(pm)) port->pixelsLocked = false;
}

__attribute__((visibility("default"))) GWorldFlags GetPixelsState(PixMapHandle pm) {
  Port* port = portFromPixMap(pm);
  return port && port->pixelsLocked ? GWorldFlags{pixelsLocked} : 0;
}

// Pixel maps that are not a port's are read from their own record.
__attribute__((visibility("default"))) Ptr GetPixBaseAddr(PixMapHandle pm) {
  if (Port* port = portFromPixMap(pm)) return reinterpret_cast<Ptr>(port->pixels.get());
  return pm && *pm ? (*pm)->baseAddr : nullptr;
}

__attribute__((visibility("default"))) long GetPixRowBytes(PixMapHandle pm) {
  if (Port* port = portFromPixMap(pm)) return port->ext.rowBytes;
  Raster r;
  return pm && *pm && rasterFromBitMap(reinterpret_cast<const BitMap*>(*pm), r) ? r.rowBytes : 0;
}

__attribute__((visibility("default"))) int16_t GetPixDepth(PixMapHandle pm) {
  if (Port* port = portFromPixMap(pm)) return port->pixMap.pixelSize;
  return pm && *pm ? (*pm)->pixelSize : 0;
}

__attribute__((visibility("default"))) Rect* GetPortBounds(CGrafPtr port, Rect* rect) {
  if (!rect) return nullptr;
  Port* p = portFrom(port);
  *rect = p ? p->portRect : Rect{0, 0, 0, 0};
  return rect;
}

__attribute__((visibility("default"))) const BitMap* GetPortBitMapForCopyBits(CGrafPtr port) {
  Port* p = portFrom(port);
  return p ? reinterpret_cast<const BitMap*>(&p->pixMap) : nullptr;
}

__attribute__((visibility("default"))) long QDLiveGWorldCount(void) { return liveWorldCount(); }
__attribute__((visibility("default"))) long QDLockedPixelsCount(void) { return lockedWorldCount(); }

}  // extern "C"
