// Clip regions to pictures and back, through offscreen graphics worlds.
//
// Region to picture: white fills a 32-bit world of the track's size, the region
// is painted black over it, and the pixels are copied into a new host picture.
// Picture to region: the picture is drawn into a 32-bit world over white, the
// world is reduced to one bit per pixel, and its black pixels become the region.
//
// Every QuickDraw call is looked up in the ApplicationServices bundle; a call that
// cannot be found is skipped, and whatever needed its result fails.
#include "track/clip_mask.h"

#include <CoreGraphics/CoreGraphics.h>
#include <QuickTime/Movies.h>

#include <cstring>

#include "host/framework.h"
#include "host/pictures.h"
#include "picture/picture_editor.h"
#include "track/track.h"

namespace {

constexpr RGBColor kWhite = {0xFFFF, 0xFFFF, 0xFFFF};
constexpr RGBColor kBlack = {0, 0, 0};
constexpr Pattern kSolid = {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};

// The current port and device, put back when this goes.
class SavedPort {
 public:
  SavedPort() {
    if (auto getGWorld = _GetGWorld.get()) {
      getGWorld(&port_, &device_);
      saved_ = true;
    }
  }
  ~SavedPort() {
    if (!saved_) return;
    if (auto setGWorld = _SetGWorld.get()) setGWorld(port_, device_);
  }
  SavedPort(const SavedPort&) = delete;
  SavedPort& operator=(const SavedPort&) = delete;

 private:
  CGrafPtr port_ = nullptr;
  GDHandle device_ = nullptr;
  bool saved_ = false;
};

void SetPortTo(GWorldPtr world) {
  if (auto setGWorld = _SetGWorld.get()) setGWorld(world, nullptr);
}

GWorldPtr NewWorld(int16_t depth, const Rect& bounds) {
  auto newGWorld = _NewGWorld.get();
  GWorldPtr world = nullptr;
  if (!newGWorld || newGWorld(&world, depth, &bounds, nullptr, nullptr, 0) != noErr) return nullptr;
  return world;
}

void DisposeWorld(GWorldPtr world) {
  if (auto disposeGWorld = _DisposeGWorld.get()) disposeGWorld(world);
}

void DisposeRegion(RgnHandle region) {
  if (auto disposeRgn = _DisposeRgn.get()) disposeRgn(region);
}

void Fill(const Rect& bounds, const RGBColor& color) {
  if (auto rgbForeColor = _RGBForeColor.get()) rgbForeColor(&color);
  if (auto fillRect = _FillRect.get()) fillRect(&bounds, &kSolid);
}

Rect PortBounds(CGrafPtr port) {
  Rect r = {0, 0, 0, 0};
  if (auto getPortBounds = _GetPortBounds.get()) getPortBounds(port, &r);
  return r;
}

// One source pixel (x, r, g, b at 32 bits; r, g, b at 24; a grey v at 8) as the
// 32-bit value the picture's pixel format wants. Formats 1, 3 and 5 put the
// colour first in memory, 2, 4 and 6 last; the console store takes a native word.
uint32_t PictureValue(const uint8_t* source, int16_t depth, int32_t format) {
  uint8_t x = 0xFF, r, g, b;
  if (depth == 32) {
    x = source[0], r = source[1], g = source[2], b = source[3];
  } else if (depth == 24) {
    r = source[0], g = source[1], b = source[2];
  } else {
    r = g = b = source[0];
  }
  if (format == PictureEditor::kConsolePixels) {
    const uint32_t alpha = depth == 32 ? static_cast<uint32_t>(x >> 1) << 24 : 0;
    return alpha + (uint32_t{r} << 16) + (uint32_t{g} << 8) + b;
  }
  const bool colourFirst = format == 1 || format == 3 || format == 5;
  const uint8_t bytes[4] = {colourFirst ? r : x, colourFirst ? g : r, colourFirst ? b : g, colourFirst ? x : b};
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// The world's pixels copied into a new host picture; nil when either side
// cannot be read or written.
REALpicture PictureOfWorld(GWorldPtr world) {
  const Rect r = PortBounds(world);
  const int32_t width = r.right - r.left;
  const int32_t height = r.bottom - r.top;
  if (width < 1 || height < 1) return nullptr;

  auto getGWorldPixMap = _GetGWorldPixMap.get();
  auto getPixDepth = _GetPixDepth.get();
  auto lockPixels = _LockPixels.get();
  PixMapHandle pixels = getGWorldPixMap ? getGWorldPixMap(world) : nullptr;
  const int16_t depth = pixels && getPixDepth ? getPixDepth(pixels) : 0;
  if ((depth != 32 && depth != 24 && depth != 8) || !lockPixels || !lockPixels(pixels)) return nullptr;

  REALpicture result = nullptr;
  auto getPixBaseAddr = _GetPixBaseAddr.get();
  auto getPixRowBytes = _GetPixRowBytes.get();
  const uint8_t* base = getPixBaseAddr ? reinterpret_cast<const uint8_t*>(getPixBaseAddr(pixels)) : nullptr;
  if (base && getPixRowBytes) {
    const long sourceRowBytes = getPixRowBytes(pixels);
    PictureWriter writer;
    if (writer.NewPictureWriter(width, height)) {
      const int32_t format = writer.PixelFormat();
      const int bytesPerPixel = depth / 8;
      for (int32_t y = 0; y < height; ++y, base += sourceRowBytes) {
        for (int32_t x = 0; x < width; ++x) writer.WritePixel(PictureValue(base + x * bytesPerPixel, depth, format));
        writer.NextRow();
      }
      result = writer.RenderPictureWriter();
    }
  }
  if (auto unlockPixels = _UnlockPixels.get()) unlockPixels(pixels);
  return result;
}

// Draws a bitmap context's image into the world, filling its bounds. When the
// world cannot lend itself to Core Graphics, the image is drawn into a 24-bit
// world of its own size and copied over.
void DrawImage(GWorldPtr world, const Rect& bounds, CGImageRef image, const REALpictureDescription& description) {
  CGContextRef context = nullptr;
  if (QDBeginCGContext(world, &context) == noErr) {
    const Rect port = PortBounds(world);
    CGContextDrawImage(context,
                       CGRectMake(bounds.left, port.bottom - bounds.bottom, bounds.right - bounds.left,
                                  bounds.bottom - bounds.top),
                       image);
    CGContextFlush(context);
    QDEndCGContext(world, &context);
    return;
  }
  const Rect imageBounds = {0, 0, static_cast<int16_t>(description.height), static_cast<int16_t>(description.width)};
  GWorldPtr second = NewWorld(24, imageBounds);
  if (!second) return;
  SetPortTo(second);
  if (QDBeginCGContext(second, &context) == noErr) {
    CGContextDrawImage(context, CGRectMake(0, 0, description.width, description.height), image);
    CGContextFlush(context);
    QDEndCGContext(second, &context);
  }
  SetPortTo(world);
  auto bitMapOf = _GetPortBitMapForCopyBits.get();
  if (auto copyBits = _CopyBits.get(); copyBits && bitMapOf) {
    const Rect secondBounds = PortBounds(second);
    copyBits(bitMapOf(second), bitMapOf(world), &secondBounds, &bounds, srcCopy, nullptr);
  }
  DisposeWorld(second);
}

// The black pixels of the picture, drawn over white in bounds, as a new region;
// null when the picture cannot be drawn or reduced.
RgnHandle RegionOfPicture(REALpicture picture, const Rect& bounds) {
  GWorldPtr world = NewWorld(32, bounds);
  if (!world) return nullptr;
  SetPortTo(world);
  // A picture that cannot be drawn leaves white, which is no region.
  Fill(bounds, kWhite);

  REALpictureDescription description;
  if (REALLockPictureDescription(picture, &description, kREALPictureCGBitmapContext)) {
    CGContextRef context = static_cast<CGContextRef>(description.pictureData);
    CGImageRef image = description.pictureType == kREALPictureCGBitmapContext && context
                           ? CGBitmapContextCreateImage(context)
                           : nullptr;
    if (image) {
      DrawImage(world, bounds, image, description);
      CGImageRelease(image);
    }
    REALUnlockPictureDescription(picture);
  }
  SetPortTo(world);

  RgnHandle region = nullptr;
  auto updateGWorld = _UpdateGWorld.get();
  if (updateGWorld) updateGWorld(&world, 1, &bounds, nullptr, nullptr, clipPix);
  auto getPortPixMap = _GetPortPixMap.get();
  auto lockPixels = _LockPixels.get();
  PixMapHandle pixels = getPortPixMap ? getPortPixMap(world) : nullptr;
  if (pixels && lockPixels && lockPixels(pixels)) {
    auto newRgn = _NewRgn.get();
    auto bitMapToRegion = _BitMapToRegion.get();
    region = newRgn ? newRgn() : nullptr;
    // A one-bit pixel map is laid out as a BitMap up to its bounds.
    if (region && (!bitMapToRegion || bitMapToRegion(region, reinterpret_cast<const BitMap*>(*pixels)) != noErr)) {
      DisposeRegion(region);
      region = nullptr;
    }
    if (auto unlockPixels = _UnlockPixels.get()) unlockPixels(pixels);
  }
  DisposeWorld(world);
  return region;
}

}  // namespace

REALpicture rbGetTrackClipRgn(REALobject instance) {
  TrackCall call(instance);
  Track track = call.track();
  if (!track) return nullptr;
  SavedPort saved;

  RgnHandle region = GetTrackClipRgn(track);
  call.RecordMoviesError();
  if (!region) return nullptr;

  Fixed width = 0, height = 0;
  GetTrackDimensions(track, &width, &height);
  const Rect bounds = {0, 0, static_cast<int16_t>(height >> 16), static_cast<int16_t>(width >> 16)};
  REALpicture result = nullptr;
  if (GWorldPtr world = NewWorld(32, bounds)) {
    SetPortTo(world);
    Fill(bounds, kWhite);
    if (auto rgbForeColor = _RGBForeColor.get()) rgbForeColor(&kBlack);
    if (auto fillRgn = _FillRgn.get()) fillRgn(region, &kSolid);
    result = PictureOfWorld(world);
    DisposeWorld(world);
  }
  DisposeRegion(region);
  return result;
}

void rbSetTrackClipRgn(REALobject instance, REALpicture picture) {
  TrackCall call(instance);
  Track track = call.track();
  if (!track) return;
  SavedPort saved;

  RgnHandle region = nullptr;
  if (picture) {
    SavedPort drawing;
    // Only the size is read from the host's own description.
    REALpictureDescription native;
    if (REALLockPictureDescriptionWithNativeType(picture, &native)) {
      // QuickDraw's rectangles hold 16-bit sizes: a picture of any other size
      // cannot be drawn into one, so it counts as unreadable and clears the
      // clip region, as a picture whose description cannot be read does.
      if (native.width >= 1 && native.width <= 32767 && native.height >= 1 && native.height <= 32767) {
        const Rect bounds = {0, 0, static_cast<int16_t>(native.height), static_cast<int16_t>(native.width)};
        region = RegionOfPicture(picture, bounds);
      }
      REALUnlockPictureDescription(picture);
    }
  }
  SetTrackClipRgn(track, region);
  call.RecordMoviesError();
  if (region) DisposeRegion(region);
}
