// Host pictures: a picture object's pixel store and the host's rendering of it.
#pragma once

#include <CoreGraphics/CoreGraphics.h>

#include <string_view>
#include <vector>

#include "internal.h"

namespace rt {

// Desktop applications keep a picture's pixels in a bitmap context; console and
// web applications in the console pixel store: one 32-bit word per pixel,
// 0xAARRGGBB in the machine's byte order, reached through a table of row pointers.
// The store keeps alpha in the top byte's low seven bits (127 opaque); pictures
// without an alpha channel ignore that byte.
struct PictureStore {
  int width = 0;
  int height = 0;
  bool hasAlpha = false;
  CGContextRef context = nullptr;  // desktop
  std::vector<uint32_t> words;     // console
  std::vector<uint8_t*> rows;
  REALconsolePixels console{};
  long descriptionLocks = 0;
  // The rendering user code sees, 0xAARRGGBB per pixel; stale once the cache is
  // cleared, made again from the pixels on the next read.
  std::vector<uint32_t> rendering;
  bool renderingCurrent = false;

  PictureStore() = default;
  PictureStore(const PictureStore&) = delete;
  PictureStore& operator=(const PictureStore&) = delete;
  ~PictureStore() {
    if (context) CGContextRelease(context);
  }
};

// The read-only properties of the built-in class "Picture".
struct PictureProperty {
  const char* name;
  const char* type;
  Value (*get)(Impl&, ObjectRecord&);
};
extern const PictureProperty kPictureProperties[3];
// A new picture in the application kind's store, filled, with one lock; null when
// the size cannot be had.
REALobject makePicture(Impl& impl, int width, int height, bool hasAlpha, Pixel fill);
// A picture's end: its store goes, unless its description is still locked (then
// the store stays until the runtime goes, so late writes land in live memory).
void releasePicture(Impl& impl, ObjectRecord& r);
// The picture entry points by name, or null.
REALproc pictureEntry(std::string_view name);

}  // namespace rt
