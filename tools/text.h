// Text helpers of the tool: UTF-8 checks, Mac Roman, and host strings read back
// as UTF-8 whatever encoding the plugin labelled them with.
#pragma once

#include <pelorin/runtime.h>

#include <optional>
#include <string>
#include <string_view>

namespace tool {

bool isUtf8(std::string_view bytes);
// The bytes with every invalid UTF-8 sequence replaced by U+FFFD.
std::string validUtf8(std::string_view bytes);
// The UTF-16 code units that valid UTF-8 text takes (two for each character
// beyond U+FFFF).
size_t utf16Length(std::string_view utf8);
// UTF-8 text in Mac Roman, or nullopt when a character has no Mac Roman form.
std::optional<std::string> toMacRoman(std::string_view utf8);
std::string fromMacRoman(std::string_view bytes);
std::string fromUtf16BE(std::string_view bytes);  // U+FFFD when it is not UTF-16

// A host string as UTF-8: nil is "". Text labelled ASCII or Mac Roman that is
// valid UTF-8 is taken as UTF-8 (files written by other tools store UTF-8 where
// the plugin expects ASCII); otherwise the label decides.
std::string textOf(rt::Runtime& runtime, const rt::Value& s);

// A four-character code typed by a person ("©nam", "tmcd") as the host string
// the plugin turns into an OSType; throws std::invalid_argument naming `what`.
std::string fourCharCode(std::string_view utf8, const char* what);

}  // namespace tool
