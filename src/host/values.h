// Conversions between host values and the bytes, Pascal strings, four-character
// codes and handles that QuickTime works with. Strings and memory blocks returned
// are new references owned by the caller; so are handles.
#pragma once

#include <pelorin/sdk.h>

#include <MacTypes.h>

#include <cstdint>

// A host string of `length` bytes in `encoding`; UTF-16 and UTF-32 input becomes
// UTF-8. Nil for nil bytes or a length outside 1..2^31-1.
REALstring REALBuildUnicodeString(const void* bytes, int64_t length, uint32_t encoding);
// A memory block holding a copy of `size` bytes; nil for nil bytes or size < 1.
// Raises "OutOfMemoryException" when the host cannot make the block.
REALmemoryBlock REALBuildMemoryblock(const void* bytes, int32_t size);
// The first four Mac Roman bytes, space padded; nil or empty gives '    '.
OSType REALstringToOSType(REALstring string);
// A length-prefixed Mac Roman copy, cut at 255 bytes.
void PutSystemString(Str255 out, REALstring string);
// A new handle with a copy of the bytes, or null for nil or empty input.
Handle NewHandleWithString(REALstring string);
Handle NewHandleWithMemory(REALmemoryBlock block);

// A host string's own bytes, held locked for the lifetime of this object.
class StringContents {
 public:
  explicit StringContents(REALstring string);
  ~StringContents();
  StringContents(const StringContents&) = delete;
  StringContents& operator=(const StringContents&) = delete;

  const char* data() const { return data_; }
  RBInteger length() const { return length_; }

 private:
  REALstring string_;
  const char* data_ = nullptr;
  RBInteger length_ = 0;
};
