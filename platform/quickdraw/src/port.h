// The graphics port as this QuickDraw keeps it. The screen port and every offscreen
// world are Ports; a GrafPtr is a Port's address. Worlds are registered while alive so
// that a stale or foreign pointer is refused rather than followed.
#pragma once

#include "QuickDraw.h"
#include "raster.h"

#include <memory>

struct CGContext;

namespace qd {

struct Device {
  bool offscreen = false;
};

struct Port {
  // Text state.
  int16_t txFont = 0;  // the system font
  int16_t txFace = 0;
  int16_t txSize = 0;  // 0 means the font's default size
  RGBColor fgColor{0, 0, 0};
  RGBColor bgColor{0xFFFF, 0xFFFF, 0xFFFF};

  // Pixels. The PixMapHandle given out is &pixMapPtr, so it stays valid for the life
  // of the port whatever UpdateGWorld does to the pixels.
  PixMap pixMap{};
  PixMapPtr pixMapPtr = &pixMap;
  PixMapExt ext{};
  std::unique_ptr<uint8_t[]> pixels;
  Rect portRect{};
  bool isWorld = false;
  bool pixelsLocked = false;
  Device device;
  CGContext* cgContext = nullptr;  // the context QDBeginCGContext lent out, if any

  Port() = default;
  // Its PixMapHandle and pmExt point into it: a port never moves.
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  Raster raster() const;
};

Port* currentPort();
// Null makes the screen port current again.
void setCurrentPort(Port* port);
Port* screenPort();

// A live port for the pointer, or null for null, stale and foreign pointers.
Port* portFrom(GrafPtr port);
Port* portFromPixMap(PixMapHandle pm);
void registerWorld(Port* world);
void unregisterWorld(Port* world);
long liveWorldCount();
long lockedWorldCount();

void setError(OSErr err);

// Fills the port's PixMap record for its current pixels; bgra picks the byte order
// of 32-bit pixels.
void describePixels(Port& port, int depth, bool bgra, long rowBytes, const Rect& bounds);

}  // namespace qd
