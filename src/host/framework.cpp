// Framework bundles and the functions looked up in them.
#include "host/framework.h"

#include <Folders.h>

namespace {

// Loaded on first success and kept for the life of the plugin.
CFBundleRef CarbonFramework = nullptr;
CFBundleRef ApplicationServicesFramework = nullptr;

// Unloading the plugin lets go of the bundles; nothing can call into them after.
// A host loads the plugin once and keeps it for the life of the process, where
// this changes nothing; a process that loads and unloads it many times (the test
// runtime loads a fresh copy for each runtime) would otherwise keep a pair of
// bundles per load, which the leak checker of the sanitizer build reports.
struct ReleaseBundlesAtUnload {
  ~ReleaseBundlesAtUnload() {
    if (CarbonFramework) CFRelease(CarbonFramework);
    if (ApplicationServicesFramework) CFRelease(ApplicationServicesFramework);
  }
} releaseBundlesAtUnload;

}  // namespace

CFBundleRef LoadFrameworkBundle(CFStringRef name) {
  FSRef folder;
  if (FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &folder) != noErr) return nullptr;

  CFURLRef folderURL = CFURLCreateFromFSRef(kCFAllocatorDefault, &folder);
  CFURLRef bundleURL =
      folderURL ? CFURLCreateCopyAppendingPathComponent(kCFAllocatorDefault, folderURL, name, false) : nullptr;
  CFBundleRef bundle = bundleURL ? CFBundleCreate(kCFAllocatorDefault, bundleURL) : nullptr;
  if (bundle && !CFBundleLoadExecutable(bundle)) {
    CFRelease(bundle);
    bundle = nullptr;
  }
  if (bundleURL) CFRelease(bundleURL);
  if (folderURL) CFRelease(folderURL);
  return bundle;
}

CFBundleRef FrameworkBundle(Framework which) {
  // A bundle that did not load is tried again next time.
  if (which == Framework::Carbon) {
    if (!CarbonFramework) CarbonFramework = LoadFrameworkBundle(CFSTR("Carbon.framework"));
    return CarbonFramework;
  }
  if (!ApplicationServicesFramework) {
    ApplicationServicesFramework = LoadFrameworkBundle(CFSTR("ApplicationServices.framework"));
  }
  return ApplicationServicesFramework;
}

void* FrameworkSymbol(Framework which, const char* name) {
  CFBundleRef bundle = FrameworkBundle(which);
  if (!bundle) return nullptr;
  CFStringRef functionName = CFStringCreateWithCString(kCFAllocatorDefault, name, kCFStringEncodingUTF8);
  if (!functionName) return nullptr;
  void* symbol = CFBundleGetFunctionPointerForName(bundle, functionName);
  CFRelease(functionName);
  return symbol;
}

#define CARBON_FUNCTION(name) decltype(_##name) _##name(Framework::Carbon, #name)
#define APPLICATION_SERVICES_FUNCTION(name) decltype(_##name) _##name(Framework::ApplicationServices, #name)

CARBON_FUNCTION(GetFNum);
CARBON_FUNCTION(GetFontName);

APPLICATION_SERVICES_FUNCTION(FillRect);
APPLICATION_SERVICES_FUNCTION(TextSize);
APPLICATION_SERVICES_FUNCTION(TextFace);
APPLICATION_SERVICES_FUNCTION(RGBForeColor);
APPLICATION_SERVICES_FUNCTION(NewGWorld);
APPLICATION_SERVICES_FUNCTION(DisposeGWorld);
APPLICATION_SERVICES_FUNCTION(DisposeRgn);
APPLICATION_SERVICES_FUNCTION(SetGWorld);
APPLICATION_SERVICES_FUNCTION(GetGWorld);
APPLICATION_SERVICES_FUNCTION(GetPortPixMap);
APPLICATION_SERVICES_FUNCTION(GetPixDepth);
APPLICATION_SERVICES_FUNCTION(UnlockPixels);
APPLICATION_SERVICES_FUNCTION(LockPixels);
APPLICATION_SERVICES_FUNCTION(GetGWorldPixMap);
APPLICATION_SERVICES_FUNCTION(GetPixBaseAddr);
APPLICATION_SERVICES_FUNCTION(GetPixRowBytes);
APPLICATION_SERVICES_FUNCTION(GetPortBounds);
APPLICATION_SERVICES_FUNCTION(GetPortBitMapForCopyBits);
APPLICATION_SERVICES_FUNCTION(CopyBits);
APPLICATION_SERVICES_FUNCTION(GetFontInfo);
APPLICATION_SERVICES_FUNCTION(TextFont);
APPLICATION_SERVICES_FUNCTION(UpdateGWorld);
APPLICATION_SERVICES_FUNCTION(BitMapToRegion);
APPLICATION_SERVICES_FUNCTION(FillRgn);
APPLICATION_SERVICES_FUNCTION(NewRgn);
