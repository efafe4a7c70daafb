// Carbon drawing and font calls, looked up by name in the system's framework
// bundles on first use rather than linked: the plugin loads where they are absent.
//
//   if (auto getFNum = _GetFNum.get()) getFNum(name, &id);
//
// A function that cannot be found yields null and the caller skips the call; the
// bundle load is tried again at the next use.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <Fonts.h>
#include <MacTypes.h>

#include "qt/quickdraw_types.h"

// The loaded bundle `name` in the Frameworks folder, or null. Owned by the caller.
CFBundleRef LoadFrameworkBundle(CFStringRef name);

enum class Framework { Carbon, ApplicationServices };

// The bundle, loaded and cached on first success.
CFBundleRef FrameworkBundle(Framework which);
// The address of `name` in the bundle, or null.
void* FrameworkSymbol(Framework which, const char* name);

// One cached framework function; the pointer is kept once found.
template <typename Fn>
class FrameworkFunction {
 public:
  constexpr FrameworkFunction(Framework bundle, const char* name) : bundle_(bundle), name_(name) {}
  Fn get() {
    if (!fn_) fn_ = reinterpret_cast<Fn>(FrameworkSymbol(bundle_, name_));
    return fn_;
  }

 private:
  Framework bundle_;
  const char* name_;
  Fn fn_ = nullptr;
};

// "Carbon.framework"
extern FrameworkFunction<void (*)(ConstStr255Param, int16_t*)> _GetFNum;
extern FrameworkFunction<void (*)(int16_t, Str255)> _GetFontName;

// "ApplicationServices.framework"
extern FrameworkFunction<void (*)(const Rect*, const Pattern*)> _FillRect;
extern FrameworkFunction<void (*)(int16_t)> _TextSize;
extern FrameworkFunction<void (*)(int16_t)> _TextFace;
extern FrameworkFunction<void (*)(const RGBColor*)> _RGBForeColor;
extern FrameworkFunction<QDErr (*)(GWorldPtr*, int16_t, const Rect*, CTabHandle, GDHandle, GWorldFlags)> _NewGWorld;
extern FrameworkFunction<void (*)(GWorldPtr)> _DisposeGWorld;
extern FrameworkFunction<void (*)(RgnHandle)> _DisposeRgn;
extern FrameworkFunction<void (*)(CGrafPtr, GDHandle)> _SetGWorld;
extern FrameworkFunction<void (*)(CGrafPtr*, GDHandle*)> _GetGWorld;
extern FrameworkFunction<PixMapHandle (*)(CGrafPtr)> _GetPortPixMap;
extern FrameworkFunction<int16_t (*)(PixMapHandle)> _GetPixDepth;
extern FrameworkFunction<void (*)(PixMapHandle)> _UnlockPixels;
extern FrameworkFunction<Boolean (*)(PixMapHandle)> _LockPixels;
extern FrameworkFunction<PixMapHandle (*)(GWorldPtr)> _GetGWorldPixMap;
extern FrameworkFunction<Ptr (*)(PixMapHandle)> _GetPixBaseAddr;
extern FrameworkFunction<long (*)(PixMapHandle)> _GetPixRowBytes;
extern FrameworkFunction<Rect* (*)(CGrafPtr, Rect*)> _GetPortBounds;
extern FrameworkFunction<const BitMap* (*)(CGrafPtr)> _GetPortBitMapForCopyBits;
extern FrameworkFunction<void (*)(const BitMap*, const BitMap*, const Rect*, const Rect*, int16_t, RgnHandle)> _CopyBits;
extern FrameworkFunction<void (*)(FontInfo*)> _GetFontInfo;
extern FrameworkFunction<void (*)(int16_t)> _TextFont;
extern FrameworkFunction<GWorldFlags (*)(GWorldPtr*, int16_t, const Rect*, CTabHandle, GDHandle, GWorldFlags)> _UpdateGWorld;
extern FrameworkFunction<OSErr (*)(RgnHandle, const BitMap*)> _BitMapToRegion;
extern FrameworkFunction<void (*)(RgnHandle, const Pattern*)> _FillRgn;
extern FrameworkFunction<RgnHandle (*)()> _NewRgn;
