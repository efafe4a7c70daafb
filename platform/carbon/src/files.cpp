// Path-based File Manager references.
#include "Files.h"
#include "MacErrors.h"

#include <cstring>
#include <sys/stat.h>

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
