// The CoreFoundation subset that bundle loading needs: strings, URLs and bundles,
// reference counted, with bundles backed by dlopen.
#pragma once

#include "../MacTypes.h"
#include "../Files.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFURL* CFURLRef;
typedef struct __CFBundle* CFBundleRef;
typedef long CFIndex;
typedef uint32_t CFStringEncoding;

extern const CFAllocatorRef kCFAllocatorDefault;
enum { kCFStringEncodingUTF8 = 0x08000100, kCFStringEncodingMacRoman = 0 };

// Constant strings live for the whole process; CFRelease of one does nothing.
CFStringRef __CFStringMakeConstantString(const char* cStr);
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")

CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
const char* CFStringGetCStringPtr(CFStringRef s, CFStringEncoding encoding);

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef alloc, const FSRef* fsRef);
CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef alloc, CFURLRef url, CFStringRef component,
                                               Boolean isDirectory);
CFStringRef CFURLCopyFileSystemPath(CFURLRef url, int pathStyle);

CFBundleRef CFBundleCreate(CFAllocatorRef alloc, CFURLRef bundleURL);
Boolean CFBundleLoadExecutable(CFBundleRef bundle);
void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName);

CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFIndex CFGetRetainCount(CFTypeRef cf);

// Accounting for tests: CoreFoundation objects currently alive (constants excluded).
long CFLiveObjectCount(void);

#ifdef __cplusplus
}
#endif
