// rbText: Mac Roman and UTF-16 forms of a host string.
#include "host/text.h"

#include <cstdlib>
#include <cstring>

#include "host/host.h"
#include "host/values.h"

namespace {

// Where a form points until it is made, so a failed form reads as empty text.
const uint16_t EmptyBufferUInt16[2] = {0, 0};

const char* EmptyBytes() { return reinterpret_cast<const char*>(EmptyBufferUInt16); }

constexpr uint16_t kByteOrderMark = 0xFEFF;
constexpr uint16_t kSwappedByteOrderMark = 0xFFFE;

// Zero-filled copy of `units` units with 4 spare bytes, or null when the size does
// not fit in 31 bits or memory ran out.
template <typename Unit>
Unit* TerminatedCopy(const void* data, int32_t units) {
  const int64_t bytes = int64_t{units} * int64_t{sizeof(Unit)} + 4;
  if (bytes > 0x7FFFFFFF) return nullptr;
  auto* copy = static_cast<Unit*>(std::calloc(1, static_cast<size_t>(bytes)));
  if (copy && units > 0) std::memcpy(copy, data, static_cast<size_t>(units) * sizeof(Unit));
  return copy;
}

// Lengths the host hands over are words; forms count with 32 bits.
int32_t FormLength(int64_t units) { return units < 0 || units > 0x7FFFFFFF ? 0 : static_cast<int32_t>(units); }

}  // namespace

rbText::rbText(REALstring string) {
  macRoman.data = EmptyBytes();
  utf16.data = EmptyBufferUInt16;
  if (!string) return;

  bool resolved = false;
  const uint32_t encoding = REALGetStringEncoding(string, &resolved);
  if (encoding != kREALEncodingUnknown || !resolved) {
    held_ = string;
    REALLockString(held_);
  } else {
    // Bytes of no known encoding: plain ASCII can be used as it is, anything else
    // is taken to be Mac Roman and made a string that says so.
    REALstring macRomanCopy = nullptr;
    bool ascii = true;
    {
      StringContents contents(string);
      for (RBInteger i = 0; i < contents.length() && ascii; ++i) {
        ascii = static_cast<uint8_t>(contents.data()[i]) < 0x80;
      }
      if (!ascii) macRomanCopy = REALBuildUnicodeString(contents.data(), contents.length(), kREALEncodingMacRoman);
    }
    if (ascii) {
      held_ = string;
      REALLockString(held_);
      direct_ = true;
    } else {
      held_ = macRomanCopy;
      if (!held_) error = true;
    }
  }
  macRoman.length = -1;
  utf16.length = -1;
}

rbText::~rbText() {
  REALUnlockString(held_);
  REALUnlockString(macRoman.held);
  REALUnlockString(utf16.held);
  if (macRoman.giveBack) PluginDisposeStringData(&macRoman.record);
  if (utf16.giveBack) PluginDisposeStringData(&utf16.record);
  std::free(macRoman.owned);
  std::free(utf16.owned);
}

void rbText::ConvertMacRoman() {
  macRoman.length = 0;
  macRoman.data = EmptyBytes();
  if (!held_) return;

  const char* data = nullptr;
  int64_t length = 0;
  if (direct_) {
    // The string's own bytes are the form; the held lock keeps them alive.
    if (rbversion >= 2012.0) {
      data = StringGetCString(held_);
      RBInteger bytes = 0;
      length = data && REALStringLenB(held_, &bytes) ? bytes : 0;
    } else {
      auto* record = reinterpret_cast<const REALstringRecordV9*>(held_);
      data = record->bytesMinusOne ? record->bytesMinusOne + 1 : nullptr;
      length = static_cast<int64_t>(record->length);
    }
    if (data && FormLength(length) > 0) {
      macRoman.data = data;
      macRoman.length = FormLength(length);
    }
    return;
  }

  if (rbversion >= 2012.0) {
    if (PluginGetStringData(held_, kREALEncodingMacRoman, &macRoman.record)) {
      macRoman.giveBack = true;
      data = static_cast<const char*>(macRoman.record.data);
      length = macRoman.record.length;
    } else {
      error = true;
    }
  } else {
    macRoman.held = REALConvertString(held_, kREALEncodingMacRoman);
    if (macRoman.held) {
      auto* record = reinterpret_cast<const REALstringRecordV9*>(macRoman.held);
      data = record->bytesMinusOne ? record->bytesMinusOne + 1 : nullptr;
      length = static_cast<int64_t>(record->length);
    } else {
      error = true;
    }
  }
  if (!data || FormLength(length) == 0) return;

  const int32_t n = FormLength(length);
  if (data[n] != 0) {
    // QuickTime and Carbon calls want the text terminated.
    macRoman.owned = TerminatedCopy<char>(data, n);
    if (!macRoman.owned) return;
    data = macRoman.owned;
  }
  macRoman.data = data;
  macRoman.length = n;
}

void rbText::ConvertUTF16() {
  utf16.length = 0;
  utf16.data = EmptyBufferUInt16;
  if (!held_) return;

  if (direct_) {
    // Bytes of unknown encoding are Mac Roman to the conversion below.
    REALstring marked;
    {
      StringContents contents(held_);
      marked = REALBuildUnicodeString(contents.data(), contents.length(), kREALEncodingMacRoman);
    }
    REALUnlockString(held_);
    held_ = marked;
    direct_ = false;
    if (!held_) {
      error = true;
      return;
    }
  }

  const char* bytes = nullptr;
  int64_t units = 0;
  if (rbversion >= 2012.0) {
    if (PluginGetStringData(held_, kREALEncodingUTF16, &utf16.record)) {
      utf16.giveBack = true;
      bytes = static_cast<const char*>(utf16.record.data);
      units = utf16.record.length / 2;
    } else {
      error = true;
    }
  } else {
    utf16.held = REALConvertString(held_, kREALEncodingUTF16);
    if (utf16.held) {
      auto* record = reinterpret_cast<const REALstringRecordV9*>(utf16.held);
      bytes = record->bytesMinusOne ? record->bytesMinusOne + 1 : nullptr;
      units = static_cast<int64_t>(record->length / 2);
    } else {
      error = true;
    }
  }
  if (!bytes || FormLength(units) == 0) return;

  int32_t n = FormLength(units);
  const bool aligned = reinterpret_cast<uintptr_t>(bytes) % alignof(uint16_t) == 0;
  const uint16_t* data = reinterpret_cast<const uint16_t*>(bytes);
  // Callers need the units terminated, and aligned to be read as units at all: an
  // older host's text starts one byte into its record, and its buffer ends with a
  // single terminating byte, so it is always copied.
  if (!aligned || data[n] != 0) {
    utf16.owned = TerminatedCopy<uint16_t>(bytes, n);
    if (!utf16.owned) return;
    data = utf16.owned;
  }
  if (data[0] == kSwappedByteOrderMark) {
    // Text in the other byte order: swap every unit into a buffer of our own.
    auto* swapped = TerminatedCopy<uint16_t>(data, n);
    if (!swapped) return;
    for (int32_t i = 0; i < n; ++i) swapped[i] = static_cast<uint16_t>((swapped[i] << 8) | (swapped[i] >> 8));
    std::free(utf16.owned);
    utf16.owned = swapped;
    data = swapped;
  }
  if (data[0] == kByteOrderMark) {
    ++data;
    --n;
  }
  if (n > 0 && data[0] == kSwappedByteOrderMark) {
    ++data;
    --n;
  }
  utf16.data = data;
  utf16.length = n;
}
