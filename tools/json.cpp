#include "json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "text.h"

namespace tool {

std::string jsonQuoted(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : validUtf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + '"';
}

void JsonWriter::newline() {
  out_ << '\n' << std::string(2 * hasMembers_.size(), ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (hasMembers_.empty()) return;
  if (hasMembers_.back()) out_ << ',';
  hasMembers_.back() = true;
  newline();
}

JsonWriter& JsonWriter::beginObject() {
  beforeValue();
  out_ << '{';
  hasMembers_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
  bool any = hasMembers_.back();
  hasMembers_.pop_back();
  if (any) newline();
  out_ << bracket;
  return *this;
}

JsonWriter& JsonWriter::endObject() { return close('}'); }

JsonWriter& JsonWriter::beginArray() {
  beforeValue();
  out_ << '[';
  hasMembers_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::endArray() { return close(']'); }

JsonWriter& JsonWriter::key(std::string_view name) {
  beforeValue();
  out_ << jsonQuoted(name) << ": ";
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
  beforeValue();
  out_ << jsonQuoted(text);
  return *this;
}

JsonWriter& JsonWriter::value(int64_t number) {
  beforeValue();
  out_ << number;
  return *this;
}

JsonWriter& JsonWriter::value(double number) {
  beforeValue();
  if (!std::isfinite(number)) {
    out_ << "null";
    return *this;
  }
  // The shortest form that reads back as the same number.
  char buf[32];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, number);
    if (std::strtod(buf, nullptr) == number) break;
  }
  out_ << buf;
  return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
  beforeValue();
  out_ << (flag ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::null() {
  beforeValue();
  out_ << "null";
  return *this;
}

}  // namespace tool
