// Host value helpers.
#include "host/values.h"

#include <MacMemory.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host/exceptions.h"
#include "host/host.h"
#include "host/text.h"

namespace {

constexpr int64_t kMaxStringBytes = int64_t{1} << 31;

bool AllBelow0x80(const void* bytes, int64_t length) {
  auto* p = static_cast<const uint8_t*>(bytes);
  return std::all_of(p, p + length, [](uint8_t b) { return b < 0x80; });
}

// UTF-16 through the older hosts' route: a plain string, marked, then converted.
REALstring UTF16ToUTF8OlderHost(const void* bytes, int64_t length) {
  REALstring utf16 = REALBuildString(bytes, length);
  if (!utf16) return nullptr;
  REALSetStringEncoding(utf16, kREALEncodingUTF16);
  REALstring utf8 = REALConvertString(utf16, kREALEncodingUTF8);
  REALUnlockString(utf16);
  return utf8;
}

// Older hosts know no UTF-32: keep the low 16 bits of each unit and go as UTF-16.
REALstring UTF32ToUTF8OlderHost(const void* bytes, int64_t length) {
  const int64_t units = length / 4;
  uint16_t fixed[200];
  uint16_t* buffer = fixed;
  if (length > 799) {
    buffer = static_cast<uint16_t*>(std::calloc(1, static_cast<size_t>(units) * 2 + 4));
    if (!buffer) return nullptr;
  }
  auto* in = static_cast<const uint8_t*>(bytes);
  for (int64_t i = 0; i < units; ++i) {
    uint32_t unit;
    std::memcpy(&unit, in + i * 4, 4);
    buffer[i] = static_cast<uint16_t>(unit);
  }
  REALstring result = UTF16ToUTF8OlderHost(buffer, units * 2);
  if (buffer != fixed) std::free(buffer);
  return result;
}

REALstring BuildUnicodeString(const void* bytes, int64_t length, uint32_t encoding) {
  if (encoding == kREALEncodingUTF16 || encoding == kREALEncodingUTF32) {
    if (rbversion >= 2012.0) {
      REALstring wide = REALBuildStringWithEncoding(bytes, length, encoding);
      if (!wide) return nullptr;
      REALstring utf8 = REALConvertString(wide, kREALEncodingUTF8);
      REALUnlockString(wide);
      return utf8;
    }
    return encoding == kREALEncodingUTF16 ? UTF16ToUTF8OlderHost(bytes, length)
                                          : UTF32ToUTF8OlderHost(bytes, length);
  }
  // Plain ASCII is stored as such, whatever 8-bit encoding it came in.
  if ((encoding == kREALEncodingMacRoman || encoding == kREALEncodingWindowsLatin1 ||
       encoding == kREALEncodingUnknown) &&
      AllBelow0x80(bytes, length)) {
    encoding = kREALEncodingASCII;
  }
  REALstring string = REALBuildString(bytes, length);
  if (!string) return nullptr;
  REALSetStringEncoding(string, encoding);
  return string;
}

}  // namespace

REALstring REALBuildUnicodeString(const void* bytes, int64_t length, uint32_t encoding) {
  if (!bytes || length <= 0 || length >= kMaxStringBytes) return nullptr;
  try {
    return BuildUnicodeString(bytes, length, encoding);
  } catch (const std::bad_alloc&) {
    RaiseException("OutOfMemoryException", "Failed to allocate memory for a string.");
    return nullptr;
  }
}

REALmemoryBlock REALBuildMemoryblock(const void* bytes, int32_t size) {
  if (!bytes || size < 1) return nullptr;
  REALmemoryBlock block = nullptr;
  void* data = nullptr;
  if (size < 0x7FFFFFFF) {
    block = REALNewMemoryBlockOriginal(size);
    data = REALMemoryBlockGetPtr(block);
    if (block && !data) {
      REALUnlockObject(block);
      block = nullptr;
    }
  }
  if (!block) {
    char message[200];
    std::snprintf(message, sizeof message, "Failed to allocate a memoryblock with %lld bytes in size.",
                  static_cast<long long>(size));
    RaiseException("OutOfMemoryException", message);
    return nullptr;
  }
  std::memcpy(data, bytes, static_cast<size_t>(size));
  return block;
}

OSType REALstringToOSType(REALstring string) {
  rbText text(string);
  const auto& form = text.MacRoman();
  OSType code = 0;
  for (int i = 0; i < 4; ++i) {
    const uint8_t byte = i < form.length ? static_cast<uint8_t>(form.data[i]) : ' ';
    code = (code << 8) | byte;
  }
  return code;
}

void PutSystemString(Str255 out, REALstring string) {
  out[0] = 0;
  rbText text(string);
  const auto& form = text.MacRoman();
  const int32_t n = std::min<int32_t>(form.length, 255);
  if (n <= 0) return;
  std::memcpy(out + 1, form.data, static_cast<size_t>(n));
  out[0] = static_cast<unsigned char>(n);
}

Handle NewHandleWithString(REALstring string) {
  if (!string) return nullptr;
  StringContents contents(string);
  if (contents.length() <= 0) return nullptr;
  Handle handle = NewHandle(contents.length());
  if (!handle) return nullptr;
  HLock(handle);
  std::memcpy(*handle, contents.data(), static_cast<size_t>(contents.length()));
  HUnlock(handle);
  return handle;
}

Handle NewHandleWithMemory(REALmemoryBlock block) {
  if (!block) return nullptr;
  REALLockObject(block);
  RBInteger size = std::max<RBInteger>(REALMemoryBlockGetSize(block), 0);
  const void* data = REALMemoryBlockGetPtr(block);
  if (!data) size = 0;
  Handle handle = nullptr;
  if (size > 0) {
    handle = NewHandle(size);
    if (handle) {
      HLock(handle);
      std::memcpy(*handle, data, static_cast<size_t>(size));
      HUnlock(handle);
    }
  }
  REALUnlockObject(block);
  return handle;
}

StringContents::StringContents(REALstring string) : string_(string) {
  if (!string_) return;
  REALLockString(string_);
  data_ = REALGetStringContents(string_, &length_);
}

StringContents::~StringContents() { REALUnlockString(string_); }
