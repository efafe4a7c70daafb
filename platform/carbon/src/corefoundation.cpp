// CoreFoundation subset: reference-counted strings, file URLs and bundles whose
// executables are shared objects loaded with dlopen.
#include "CoreFoundation/CoreFoundation.h"
#include "Folders.h"
#include "MacErrors.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unordered_map>

struct __CFAllocator {};

namespace {

enum class Kind { String, URL, Bundle };

// Every CF object starts with this header so CFRelease can dispatch on it.
struct CFObject {
  Kind kind;
  std::atomic<long> retain{1};
  bool constant = false;
  explicit CFObject(Kind k) : kind(k) {}
  virtual ~CFObject() = default;
};

struct CFStr : CFObject {
  std::string text;
  explicit CFStr(std::string t) : CFObject(Kind::String), text(std::move(t)) {}
};

struct CFUrl : CFObject {
  std::string path;
  explicit CFUrl(std::string p) : CFObject(Kind::URL), path(std::move(p)) {}
};

struct CFBundle : CFObject {
  std::string path;
  void* handle = nullptr;
  explicit CFBundle(std::string p) : CFObject(Kind::Bundle), path(std::move(p)) {}
  ~CFBundle() override {
    if (handle) dlclose(handle);
  }
};

std::atomic<long> gLiveObjects{0};
const __CFAllocator kDefaultAllocator{};

template <typename T>
T* track(T* obj) {
  ++gLiveObjects;
  return obj;
}

CFObject* object(CFTypeRef cf) { return const_cast<CFObject*>(static_cast<const CFObject*>(cf)); }

const CFStr* asString(CFStringRef s) {
  auto* o = static_cast<const CFObject*>(static_cast<const void*>(s));
  return o && o->kind == Kind::String ? static_cast<const CFStr*>(o) : nullptr;
}

const CFUrl* asURL(CFURLRef u) {
  auto* o = static_cast<const CFObject*>(static_cast<const void*>(u));
  return o && o->kind == Kind::URL ? static_cast<const CFUrl*>(o) : nullptr;
}

CFBundle* asBundle(CFBundleRef b) {
  auto* o = static_cast<CFObject*>(static_cast<void*>(b));
  return o && o->kind == Kind::Bundle ? static_cast<CFBundle*>(o) : nullptr;
}

// An installed tree keeps the Frameworks folder beside this library, wherever the
// tree was moved; a build tree has it where the build put it.
std::string defaultFrameworksFolder() {
  if (const char* env = std::getenv("PELORIN_FRAMEWORKS")) return env;
  std::string besideUs = std::string(CarbonLibraryFolder()) + "/Frameworks";
  struct stat st;
  if (::stat(besideUs.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return besideUs;
  return PELORIN_DEFAULT_FRAMEWORKS;
}

std::mutex gFolderMutex;
std::string gFrameworksFolder = defaultFrameworksFolder();

}  // namespace

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = &kDefaultAllocator;

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  // Interned so that CFSTR of the same literal is the same object, never freed.
  // The table is never destroyed: constant strings must outlive every static
  // destructor that might still hold one.
  static std::mutex& m = *new std::mutex;
  static auto& table = *new std::unordered_map<std::string, CFStr*>;
  std::lock_guard<std::mutex> lock(m);
  auto& slot = table[cStr ? cStr : ""];
  if (!slot) {
    slot = new CFStr(cStr ? cStr : "");
    slot->constant = true;
  }
  return reinterpret_cast<CFStringRef>(static_cast<CFObject*>(slot));
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding) {
  if (!cStr) return nullptr;
  return reinterpret_cast<CFStringRef>(static_cast<CFObject*>(track(new CFStr(cStr))));
}

const char* CFStringGetCStringPtr(CFStringRef s, CFStringEncoding) {
  const CFStr* str = asString(s);
  return str ? str->text.c_str() : nullptr;
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef, const FSRef* fsRef) {
  if (!fsRef || !fsRef->path[0]) return nullptr;
  return reinterpret_cast<CFURLRef>(static_cast<CFObject*>(track(new CFUrl(fsRef->path))));
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url, CFStringRef component, Boolean) {
  const CFUrl* base = asURL(url);
  const CFStr* leaf = asString(component);
  if (!base || !leaf) return nullptr;
  std::string path = base->path;
  if (path.empty() || path.back() != '/') path += '/';
  path += leaf->text;
  return reinterpret_cast<CFURLRef>(static_cast<CFObject*>(track(new CFUrl(path))));
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, int) {
  const CFUrl* u = asURL(url);
  return u ? CFStringCreateWithCString(nullptr, u->path.c_str(), kCFStringEncodingUTF8) : nullptr;
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
  const CFUrl* u = asURL(bundleURL);
  if (!u) return nullptr;
  struct stat st;
  if (::stat(u->path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
  return reinterpret_cast<CFBundleRef>(static_cast<CFObject*>(track(new CFBundle(u->path))));
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle) {
  CFBundle* b = asBundle(bundle);
  if (!b) return false;
  if (b->handle) return true;
  // "X.framework" keeps its executable at "X.framework/X".
  std::string dir = b->path;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::string leaf = dir.substr(dir.find_last_of('/') + 1);
  if (auto dot = leaf.rfind('.'); dot != std::string::npos) leaf.erase(dot);
  b->handle = dlopen((dir + "/" + leaf).c_str(), RTLD_NOW | RTLD_LOCAL);
  return b->handle != nullptr;
}

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName) {
  CFBundle* b = asBundle(bundle);
  const CFStr* name = asString(functionName);
  if (!b || !b->handle || !name) return nullptr;
  return dlsym(b->handle, name->text.c_str());
}

CFTypeRef CFRetain(CFTypeRef cf) {
  if (CFObject* o = object(cf)) ++o->retain;
  return cf;
}

void CFRelease(CFTypeRef cf) {
  CFObject* o = object(cf);
  if (!o || o->constant) return;
  if (--o->retain == 0) {
    --gLiveObjects;
    delete o;
  }
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  CFObject* o = object(cf);
  return o ? o->retain.load() : 0;
}

long CFLiveObjectCount(void) { return gLiveObjects.load(); }

OSErr FSFindFolder(int16_t, OSType folderType, Boolean, FSRef* foundRef) {
  if (!foundRef) return paramErr;
  if (folderType != kFrameworksFolderType) return fnfErr;
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(gFolderMutex);
    folder = gFrameworksFolder;
  }
  Boolean isDir = false;
  OSStatus err = FSPathMakeRef(reinterpret_cast<const UInt8*>(folder.c_str()), foundRef, &isDir);
  if (err != noErr) return static_cast<OSErr>(err);
  return isDir ? OSErr(noErr) : OSErr(dirNFErr);
}

void CarbonSetFrameworksFolder(const char* path) {
  std::lock_guard<std::mutex> lock(gFolderMutex);
  gFrameworksFolder = path ? path : defaultFrameworksFolder();
}

const char* CarbonLibraryFolder(void) {
  static const std::string folder = [] {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&CarbonLibraryFolder), &info) || !info.dli_fname) return std::string(".");
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  }();
  return folder.c_str();
}

}  // extern "C"
