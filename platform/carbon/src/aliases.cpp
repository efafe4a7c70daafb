// Alias records that name their target by absolute path.
#include "Aliases.h"
#include "MacErrors.h"
#include "MacMemory.h"

#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

constexpr size_t kHeaderSize = 6;
constexpr char kFormatTag[4] = {'p', 'a', 't', 'h'};
constexpr size_t kPathOffset = kHeaderSize + sizeof kFormatTag;

OSErr makeAlias(const char* path, AliasHandle* out) {
  if (!out) return paramErr;
  *out = nullptr;
  size_t n = strnlen(path, kFSRefPathCapacity);
  if (n == 0 || n == kFSRefPathCapacity || path[0] != '/') return paramErr;
  size_t total = kPathOffset + n + 1;
  Handle h = NewHandleClear(static_cast<Size>(total));
  if (!h) return memFullErr;
  auto* p = reinterpret_cast<UInt8*>(*h);
  p[4] = static_cast<UInt8>(total >> 8);
  p[5] = static_cast<UInt8>(total);
  std::memcpy(p + kHeaderSize, kFormatTag, sizeof kFormatTag);
  std::memcpy(p + kPathOffset, path, n);
  *out = reinterpret_cast<AliasHandle>(h);
  return noErr;
}

// The stored path, or an empty string when the record is not one of ours or is cut short.
std::string storedPath(AliasHandle alias) {
  Handle h = reinterpret_cast<Handle>(alias);
  Size size = GetHandleSize(h);
  if (!h || size < static_cast<Size>(kPathOffset + 2)) return std::string();
  const auto* p = reinterpret_cast<const UInt8*>(*h);
  size_t declared = (size_t(p[4]) << 8) | p[5];
  if (declared > static_cast<size_t>(size) || declared < kPathOffset + 2) return std::string();
  if (std::memcmp(p + kHeaderSize, kFormatTag, sizeof kFormatTag) != 0) return std::string();
  const char* path = reinterpret_cast<const char*>(p + kPathOffset);
  size_t n = strnlen(path, declared - kPathOffset);
  if (n == declared - kPathOffset || n == 0 || path[0] != '/') return std::string();
  return std::string(path, n);
}

}  // namespace

extern "C" {

OSErr FSNewAlias(const FSRef*, const FSRef* target, AliasHandle* inAlias) {
  if (!target) return paramErr;
  return makeAlias(target->path, inAlias);
}

OSErr NewAlias(const FSSpec*, const FSSpec* target, AliasHandle* alias) {
  if (!target) return paramErr;
  return makeAlias(target->path, alias);
}

OSErr FSResolveAlias(const FSRef*, AliasHandle alias, FSRef* target, Boolean* wasChanged) {
  if (!alias || !target) return paramErr;
  std::string path = storedPath(alias);
  if (path.empty()) return paramErr;
  if (wasChanged) *wasChanged = false;
  return static_cast<OSErr>(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), target, nullptr));
}

OSErr ResolveAlias(const FSSpec*, AliasHandle alias, FSSpec* target, Boolean* wasChanged) {
  if (!alias || !target) return paramErr;
  FSRef ref;
  OSErr err = FSResolveAlias(nullptr, alias, &ref, wasChanged);
  if (err != noErr) return err;
  return FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, target, nullptr);
}

OSErr AliasGetPath(AliasHandle alias, char* path, UInt32 maxPathSize) {
  if (!alias || !path || maxPathSize == 0) return paramErr;
  std::string stored = storedPath(alias);
  if (stored.empty()) return paramErr;
  if (stored.size() + 1 > maxPathSize) return bdNamErr;
  std::memcpy(path, stored.c_str(), stored.size() + 1);
  return noErr;
}

Size GetAliasSize(AliasHandle alias) {
  return GetHandleSize(reinterpret_cast<Handle>(alias));
}

}  // extern "C"
