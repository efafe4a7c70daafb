// What the members of QTMetaDataZQK and QTMetaDataItemZQK share: how host
// arguments become what the metadata calls take, and room for a value whose size
// QuickTime reports first.
#pragma once

#include <pelorin/sdk.h>

#include <MacTypes.h>
#include <QuickTime/MetaData.h>

#include <cstdlib>
#include <optional>

#include "host/exceptions.h"
#include "host/host.h"
#include "host/values.h"

// The code of a string argument; nil gives 0, which the lookups read as "any".
inline OSType CodeOf(REALstring s) { return s ? REALstringToOSType(s) : 0; }

// A four-character key as the metadata calls take one: the code's four bytes in
// the processor's order. Nil gives four zero bytes.
class KeyCode {
 public:
  explicit KeyCode(REALstring s) : code_(CodeOf(s)) {}
  const UInt8* data() const { return reinterpret_cast<const UInt8*>(&code_); }
  static constexpr ByteCount size() { return sizeof(OSType); }

 private:
  OSType code_;
};

// A string argument's bytes exactly as the host holds them, for keys and values.
inline const UInt8* BytesOf(const StringContents& s) { return reinterpret_cast<const UInt8*>(s.data()); }
inline ByteCount SizeOf(const StringContents& s) { return static_cast<ByteCount>(s.length()); }

// Zero-filled room for a value of the size QuickTime reported. There is none (a
// null pointer) for a size of 0 or above 2^31-1, or when memory runs out; the
// read that follows then gives QuickTime's answer to a missing buffer.
class ValueBuffer {
 public:
  explicit ValueBuffer(ByteCount size)
      : data_(size >= 1 && size <= 0x7FFFFFFF ? static_cast<UInt8*>(std::calloc(size, 1)) : nullptr) {}
  ~ValueBuffer() { std::free(data_); }
  ValueBuffer(const ValueBuffer&) = delete;
  ValueBuffer& operator=(const ValueBuffer&) = delete;

  UInt8* data() const { return data_; }

 private:
  UInt8* data_;
};

// Values read back are raw bytes, whatever their data type.
inline REALstring BytesAsString(const UInt8* bytes, ByteCount size) {
  return REALBuildUnicodeString(bytes, size, kREALEncodingUnknown);
}
inline REALmemoryBlock BytesAsMemory(const UInt8* bytes, ByteCount size) {
  return REALBuildMemoryblock(bytes, static_cast<int32_t>(size));
}

inline void RaiseNilMemoryBlock() { RaiseException("NilObjectException", "value memoryblock is nil"); }

// The `size` bytes at `offset` in `block`; nothing when they do not all lie inside
// the block, so QuickTime is never handed bytes past its end. A host that cannot
// give the block's bytes gives a null pointer, usable for 0 bytes only: the
// library this stands in for passed null plus the offset on, an address no
// block holds, where this refuses with paramErr.
inline std::optional<const UInt8*> BlockBytes(REALmemoryBlock block, RBInteger offset, RBInteger size) {
  const RBInteger total = REALMemoryBlockGetSize(block);
  if (offset < 0 || size < 0 || offset > total || size > total - offset || size > 0x7FFFFFFF) return std::nullopt;
  const auto* base = static_cast<const UInt8*>(REALMemoryBlockGetPtr(block));
  if (!base) return size == 0 ? std::optional<const UInt8*>(nullptr) : std::nullopt;
  return base + offset;
}

// The bytes a memory-block setter hands QuickTime, or nothing when no call is to
// be made: Lasterror starts at -1 (no call), a nil block raises, an object without
// a container stays at -1, and bytes outside the block give paramErr.
inline std::optional<const UInt8*> SetterBytes(RBInteger& lastError, bool hasContainer, REALmemoryBlock value,
                                               RBInteger offset, RBInteger size) {
  lastError = -1;
  if (!value) {
    RaiseNilMemoryBlock();
    return std::nullopt;
  }
  if (!hasContainer) return std::nullopt;
  std::optional<const UInt8*> bytes = BlockBytes(value, offset, size);
  if (!bytes) lastError = paramErr;
  return bytes;
}
