// Path-based File Manager references.
#include "Files.h"
#include "MacErrors.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {

OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory) {
  if (!path || !ref) return paramErr;
  const char* p = reinterpret_cast<const char*>(path);
  size_t n = std::strlen(p);
  if (n == 0 || n >= sizeof ref->path) return bdNamErr;
  struct stat st;
  if (::stat(p, &st) != 0) return fnfErr;
  std::memcpy(ref->path, p, n + 1);
  if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
  return noErr;
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize) {
  if (!ref || !path || maxPathSize == 0) return paramErr;
  size_t n = strnlen(ref->path, sizeof ref->path);
  if (n == 0) return fnfErr;
  if (n + 1 > maxPathSize) return bdNamErr;
  std::memcpy(path, ref->path, n + 1);
  return noErr;
}

}  // extern "C"

namespace {

// Fills the FSSpec's name (leaf, length-prefixed) and path from an absolute path.
void fillSpec(FSSpec* fsSpec, const std::string& path) {
  std::memset(fsSpec, 0, sizeof *fsSpec);
  std::memcpy(fsSpec->path, path.data(), path.size());
  size_t slash = path.find_last_of('/');
  std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  if (leaf.size() > 63) leaf.resize(63);
  fsSpec->name[0] = static_cast<unsigned char>(leaf.size());
  std::memcpy(fsSpec->name + 1, leaf.data(), leaf.size());
}

std::string absolutePath(const std::string& p) {
  if (!p.empty() && p[0] == '/') return p;
  char cwd[kFSRefPathCapacity];
  if (!::getcwd(cwd, sizeof cwd)) return std::string();
  return std::string(cwd) + "/" + p;
}

}  // namespace

extern "C" {

OSErr FSMakeFSSpec(int16_t, int32_t, ConstStr255Param fileName, FSSpec* fsSpec) {
  if (!fileName || !fsSpec || fileName[0] == 0) return paramErr;
  std::string path = absolutePath(std::string(reinterpret_cast<const char*>(fileName + 1), fileName[0]));
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || path.size() >= kFSRefPathCapacity) return bdNamErr;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    fillSpec(fsSpec, path);
    return noErr;
  }
  // A missing item still makes a valid fsSpec when its folder exists.
  // The folder part, keeping the root's own slash.
  std::string parent = path.substr(0, std::max<size_t>(1, path.find_last_of('/')));
  if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return dirNFErr;
  fillSpec(fsSpec, path);
  return fnfErr;
}

OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef) {
  if (!source || !newRef) return paramErr;
  size_t n = strnlen(source->path, sizeof source->path);
  if (n == 0 || n == sizeof source->path) return paramErr;
  return static_cast<OSErr>(FSPathMakeRef(reinterpret_cast<const UInt8*>(source->path), newRef, nullptr));
}

OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                       HFSUniStr255* outName, FSSpec* fsSpec, FSRef* parentRef) {
  if (!ref) return paramErr;
  if (whichInfo != kFSCatInfoNone) return paramErr;
  size_t n = strnlen(ref->path, sizeof ref->path);
  if (n == 0 || n == sizeof ref->path) return paramErr;
  std::string path(ref->path, n);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return fnfErr;
  size_t slash = path.find_last_of('/');
  std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  if (outName) {
    // Names are kept as bytes; each byte becomes one UTF-16 unit.
    outName->length = static_cast<UInt16>(std::min<size_t>(leaf.size(), 255));
    for (size_t i = 0; i < outName->length; ++i) outName->unicode[i] = static_cast<unsigned char>(leaf[i]);
  }
  if (fsSpec) fillSpec(fsSpec, path);
  if (parentRef) {
    std::string parent = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    std::memset(parentRef, 0, sizeof *parentRef);
    std::memcpy(parentRef->path, parent.data(), parent.size());
  }
  return noErr;
}

}  // extern "C"
