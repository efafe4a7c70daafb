// A streaming JSON writer for the tool's --json output: objects and arrays are
// opened and closed in order, commas and indentation come by themselves.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tool {

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}

  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  // The name of the next member of the current object.
  JsonWriter& key(std::string_view name);

  JsonWriter& value(std::string_view text);  // UTF-8; invalid bytes become U+FFFD
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }
  JsonWriter& value(const std::string& text) { return value(std::string_view(text)); }
  JsonWriter& value(int64_t number);
  JsonWriter& value(int number) { return value(static_cast<int64_t>(number)); }
  JsonWriter& value(double number);
  JsonWriter& value(bool flag);
  JsonWriter& null();

  template <typename T>
  JsonWriter& member(std::string_view name, const T& v) {
    key(name);
    return value(v);
  }

  // Ends the document with a newline.
  void finish() { out_ << '\n'; }

 private:
  void beforeValue();
  void newline();
  JsonWriter& close(char bracket);

  std::ostream& out_;
  std::vector<bool> hasMembers_;  // one per open container
  bool afterKey_ = false;
};

// The text as a JSON string literal, quotes included.
std::string jsonQuoted(std::string_view text);

}  // namespace tool
