#include "text.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace tool {
namespace {

// The length of the valid UTF-8 sequence at `at`, or 0.
size_t sequenceAt(std::string_view s, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char c = byte(at);
  if (c < 0x80) return 1;
  size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (n == 0 || at + n > s.size()) return 0;
  for (size_t i = 1; i < n; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and values past U+10FFFF.
  if (n == 3 && c == 0xE0 && byte(at + 1) < 0xA0) return 0;
  if (n == 3 && c == 0xED && byte(at + 1) >= 0xA0) return 0;
  if (n == 4 && c == 0xF0 && byte(at + 1) < 0x90) return 0;
  if (n == 4 && c == 0xF4 && byte(at + 1) >= 0x90) return 0;
  return n;
}

std::optional<std::string> convert(std::string_view in, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return std::nullopt;
  out.resize(out.size() - dstLeft);
  return out;
}

}  // namespace

bool isUtf8(std::string_view bytes) {
  for (size_t at = 0; at < bytes.size();) {
    size_t n = sequenceAt(bytes, at);
    if (!n) return false;
    at += n;
  }
  return true;
}

size_t utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++units;  // each lead byte starts a character
    if (c >= 0xF0) ++units;           // four-byte sequences need a surrogate pair
  }
  return units;
}

std::string validUtf8(std::string_view bytes) {
  if (isUtf8(bytes)) return std::string(bytes);
  std::string out;
  for (size_t at = 0; at < bytes.size();) {
    size_t n = sequenceAt(bytes, at);
    if (n) {
      out.append(bytes.substr(at, n));
      at += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++at;
    }
  }
  return out;
}

std::optional<std::string> toMacRoman(std::string_view utf8) { return convert(utf8, "MACINTOSH", "UTF-8"); }

std::string fromMacRoman(std::string_view bytes) {
  // Every byte has a character in Mac Roman.
  return convert(bytes, "UTF-8", "MACINTOSH").value_or(validUtf8(bytes));
}

std::string fromUtf16BE(std::string_view bytes) {
  return convert(bytes.substr(0, bytes.size() & ~size_t(1)), "UTF-8", "UTF-16BE").value_or("\xEF\xBF\xBD");
}

std::string textOf(rt::Runtime& runtime, const rt::Value& s) {
  if (s.isNil()) return {};
  const uint32_t encoding = runtime.encoding(s);
  std::string bytes = runtime.bytes(s);
  if (encoding == kREALEncodingUTF8 || encoding == kREALEncodingASCII || encoding == kREALEncodingMacRoman ||
      encoding == kREALEncodingUnknown) {
    if (isUtf8(bytes)) return bytes;
    return encoding == kREALEncodingUTF8 ? validUtf8(bytes) : fromMacRoman(bytes);
  }
  try {
    return runtime.utf8(s);
  } catch (const rt::UsageError&) {
    return validUtf8(bytes);
  }
}

std::string fourCharCode(std::string_view utf8, const char* what) {
  std::optional<std::string> mac = toMacRoman(utf8);
  if (!mac || mac->size() != 4)
    throw std::invalid_argument(std::string(what) + " must be four characters (such as \u00a9nam), not '" +
                                validUtf8(utf8) + "'");
  return std::string(utf8);
}

}  // namespace tool
