// Just enough JSON reading to check what `--json` prints: a strict parser into a
// tree of values, which fails on anything that is not one JSON document.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tooltest {

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool flag = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;

  const Json& operator[](const std::string& key) const {
    static const Json missing;
    auto it = members.find(key);
    return it == members.end() ? missing : it->second;
  }
  const Json& operator[](size_t i) const { return items.at(i); }
  bool isNull() const { return kind == Kind::Null; }
};

class JsonParser {
 public:
  explicit JsonParser(const std::string& s) : s_(s) {}

  // The document, or nullopt when the text is not exactly one JSON value.
  std::optional<Json> parse() {
    Json v;
    if (!value(v)) return std::nullopt;
    space();
    if (at_ != s_.size()) return std::nullopt;
    return v;
  }

 private:
  void space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\t' || s_[at_] == '\r')) ++at_;
  }
  bool literal(const char* word) {
    std::string w(word);
    if (s_.compare(at_, w.size(), w) != 0) return false;
    at_ += w.size();
    return true;
  }
  bool string(std::string& out) {
    if (s_[at_] != '"') return false;
    for (++at_; at_ < s_.size(); ++at_) {
      char c = s_[at_];
      if (c == '"') {
        ++at_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (++at_ >= s_.size()) return false;
      switch (s_[at_]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          if (at_ + 4 >= s_.size()) return false;
          unsigned long cp = std::strtoul(s_.substr(at_ + 1, 4).c_str(), nullptr, 16);
          at_ += 4;
          if (cp >= 0x80) return false;  // the writer escapes control characters only
          out += static_cast<char>(cp);
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  bool value(Json& v) {
    space();
    if (at_ >= s_.size()) return false;
    char c = s_[at_];
    if (c == '{') {
      v.kind = Json::Kind::Object;
      ++at_;
      space();
      if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
      for (;;) {
        space();
        std::string key;
        if (at_ >= s_.size() || !string(key)) return false;
        space();
        if (at_ >= s_.size() || s_[at_++] != ':') return false;
        if (!value(v.members[key])) return false;
        space();
        if (at_ < s_.size() && s_[at_] == ',') {
          ++at_;
          continue;
        }
        return at_ < s_.size() && s_[at_++] == '}';
      }
    }
    if (c == '[') {
      v.kind = Json::Kind::Array;
      ++at_;
      space();
      if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
      for (;;) {
        v.items.emplace_back();
        if (!value(v.items.back())) return false;
        space();
        if (at_ < s_.size() && s_[at_] == ',') {
          ++at_;
          continue;
        }
        return at_ < s_.size() && s_[at_++] == ']';
      }
    }
    if (c == '"') return v.kind = Json::Kind::String, string(v.text);
    if (literal("true")) return v.kind = Json::Kind::Bool, v.flag = true, true;
    if (literal("false")) return v.kind = Json::Kind::Bool, true;
    if (literal("null")) return true;
    const char* start = s_.c_str() + at_;
    char* end = nullptr;
    v.number = std::strtod(start, &end);
    if (end == start) return false;
    v.kind = Json::Kind::Number;
    at_ += size_t(end - start);
    return true;
  }

  const std::string& s_;
  size_t at_ = 0;
};

}  // namespace tooltest
