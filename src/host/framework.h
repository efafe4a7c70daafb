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
#include <QuickDraw.h>

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

// Each keeps the published signature, taken from the platform header, but is
// reached only through its bundle.

// "Carbon.framework"
extern FrameworkFunction<decltype(&::GetFNum)> _GetFNum;
extern FrameworkFunction<decltype(&::GetFontName)> _GetFontName;

// "ApplicationServices.framework"
extern FrameworkFunction<decltype(&::FillRect)> _FillRect;
extern FrameworkFunction<decltype(&::TextSize)> _TextSize;
extern FrameworkFunction<decltype(&::TextFace)> _TextFace;
extern FrameworkFunction<decltype(&::RGBForeColor)> _RGBForeColor;
extern FrameworkFunction<decltype(&::NewGWorld)> _NewGWorld;
extern FrameworkFunction<decltype(&::DisposeGWorld)> _DisposeGWorld;
extern FrameworkFunction<decltype(&::DisposeRgn)> _DisposeRgn;
extern FrameworkFunction<decltype(&::SetGWorld)> _SetGWorld;
extern FrameworkFunction<decltype(&::GetGWorld)> _GetGWorld;
extern FrameworkFunction<decltype(&::GetPortPixMap)> _GetPortPixMap;
extern FrameworkFunction<decltype(&::GetPixDepth)> _GetPixDepth;
extern FrameworkFunction<decltype(&::UnlockPixels)> _UnlockPixels;
extern FrameworkFunction<decltype(&::LockPixels)> _LockPixels;
extern FrameworkFunction<decltype(&::GetGWorldPixMap)> _GetGWorldPixMap;
extern FrameworkFunction<decltype(&::GetPixBaseAddr)> _GetPixBaseAddr;
extern FrameworkFunction<decltype(&::GetPixRowBytes)> _GetPixRowBytes;
extern FrameworkFunction<decltype(&::GetPortBounds)> _GetPortBounds;
extern FrameworkFunction<decltype(&::GetPortBitMapForCopyBits)> _GetPortBitMapForCopyBits;
extern FrameworkFunction<decltype(&::CopyBits)> _CopyBits;
extern FrameworkFunction<decltype(&::GetFontInfo)> _GetFontInfo;
extern FrameworkFunction<decltype(&::TextFont)> _TextFont;
extern FrameworkFunction<decltype(&::UpdateGWorld)> _UpdateGWorld;
extern FrameworkFunction<decltype(&::BitMapToRegion)> _BitMapToRegion;
extern FrameworkFunction<decltype(&::FillRgn)> _FillRgn;
extern FrameworkFunction<decltype(&::NewRgn)> _NewRgn;
