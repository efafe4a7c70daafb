// The current port and device, the registry of live worlds, and QDError.
#include "port.h"

#include <MacErrors.h>

#include <unordered_map>

namespace qd {
namespace {

// The screen port has no pixels here: drawing into it changes nothing.
Port& screen() {
  static Port port;
  static bool described = (describePixels(port, 32, false, 0, Rect{0, 0, 0, 0}), true);
  (void)described;
  return port;
}

thread_local Port* gCurrent = nullptr;
thread_local Device* gDevice = nullptr;
thread_local OSErr gError = noErr;

// Keyed by the port and by its PixMapHandle, so both kinds of argument are checked.
std::unordered_map<const void*, Port*>& worlds() {
  static std::unordered_map<const void*, Port*> map;
  return map;
}
std::unordered_map<const void*, Port*>& pixMaps() {
  static std::unordered_map<const void*, Port*> map;
  return map;
}

}  // namespace

Port* screenPort() { return &screen(); }
Port* currentPort() { return gCurrent ? gCurrent : &screen(); }
void setCurrentPort(Port* port) { gCurrent = port == &screen() ? nullptr : port; }

Port* portFrom(GrafPtr port) {
  if (!port) return nullptr;
  if (reinterpret_cast<Port*>(port) == &screen()) return &screen();
  auto it = worlds().find(port);
  return it == worlds().end() ? nullptr : it->second;
}

Port* portFromPixMap(PixMapHandle pm) {
  if (!pm) return nullptr;
  if (pm == &screen().pixMapPtr) return &screen();
  auto it = pixMaps().find(pm);
  return it == pixMaps().end() ? nullptr : it->second;
}

void registerWorld(Port* world) {
  worlds()[world] = world;
  pixMaps()[&world->pixMapPtr] = world;
}

void unregisterWorld(Port* world) {
  worlds().erase(world);
  pixMaps().erase(&world->pixMapPtr);
  // A disposed world can no longer be drawn into.
  if (gCurrent == world) {
    gCurrent = nullptr;
    gDevice = nullptr;
  }
  if (gDevice == &world->device) gDevice = nullptr;
}

long liveWorldCount() { return static_cast<long>(worlds().size()); }

long lockedWorldCount() {
  long n = 0;
  for (const auto& [key, world] : worlds()) n += world->pixelsLocked;
  return n;
}

void setError(OSErr err) { gError = err; }

Raster Port::raster() const {
  Raster r;
  r.base = pixels.get();
  r.rowBytes = ext.rowBytes;
  r.bounds = pixMap.bounds;
  switch (pixMap.pixelSize) {
    case 1: r.layout = Layout::Mono1; break;
    case 8: r.layout = Layout::Grey8; break;
    case 24: r.layout = Layout::Rgb24; break;
    default: r.layout = pixMap.pixelFormat == k32BGRAPixelFormat ? Layout::Bgra32 : Layout::Argb32; break;
  }
  return r;
}

void describePixels(Port& port, int depth, bool bgra, long rowBytes, const Rect& bounds) {
  PixMap& pm = port.pixMap;
  pm.baseAddr = reinterpret_cast<Ptr>(port.pixels.get());
  pm.rowBytes = static_cast<int16_t>(0x8000 | (rowBytes & 0x3FFF));
  pm.bounds = bounds;
  pm.pmVersion = 0;
  pm.packType = 0;
  pm.packSize = 0;
  pm.hRes = pm.vRes = 72 << 16;
  bool indexed = depth <= 8;
  pm.pixelType = indexed ? 0 : RGBDirect;
  pm.pixelSize = static_cast<int16_t>(depth);
  pm.cmpCount = indexed ? 1 : 3;
  pm.cmpSize = static_cast<int16_t>(indexed ? depth : 8);
  pm.pixelFormat = depth == 32 ? static_cast<OSType>(bgra ? k32BGRAPixelFormat : k32ARGBPixelFormat) : static_cast<OSType>(depth);
  pm.pmTable = depth == 1 ? monoTable() : depth == 8 ? greyTable() : nullptr;
  port.ext.rowBytes = rowBytes;
  pm.pmExt = &port.ext;
  port.portRect = bounds;
}

}  // namespace qd

using namespace qd;

extern "C" {

__attribute__((visibility("default"))) void GetPort(GrafPtr* port) {
  if (port) *port = reinterpret_cast<GrafPtr>(currentPort());
}

__attribute__((visibility("default"))) void SetPort(GrafPtr port) {
  if (!port) return setCurrentPort(nullptr);
  Port* p = portFrom(port);
  if (!p) return setError(paramErr);
  setCurrentPort(p);
}

__attribute__((visibility("default"))) OSErr QDError(void) { return gError; }

__attribute__((visibility("default"))) GDHandle GetMainDevice(void) {
  return reinterpret_cast<GDHandle>(&screen().device);
}

__attribute__((visibility("default"))) GDHandle GetGDevice(void) {
  return reinterpret_cast<GDHandle>(gDevice ? gDevice : &screen().device);
}

__attribute__((visibility("default"))) void SetGDevice(GDHandle gdh) {
  auto* device = reinterpret_cast<Device*>(gdh);
  if (!gdh || device == &screen().device) {
    gDevice = nullptr;
    return;
  }
  for (const auto& [key, world] : worlds())
    if (&world->device == device) {
      gDevice = device;
      return;
    }
}

__attribute__((visibility("default"))) void GetGWorld(CGrafPtr* port, GDHandle* gdh) {
  if (port) *port = reinterpret_cast<CGrafPtr>(currentPort());
  if (gdh) *gdh = GetGDevice();
}

// A world brings its own device; any other port takes the device given.
__attribute__((visibility("default"))) void SetGWorld(CGrafPtr port, GDHandle gdh) {
  Port* p = port ? portFrom(port) : screenPort();
  if (!p) return setError(paramErr);
  setCurrentPort(p);
  if (p->isWorld) gDevice = &p->device;
  else SetGDevice(gdh);
  setError(noErr);
}

}  // extern "C"
