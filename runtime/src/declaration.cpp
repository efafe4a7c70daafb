#include "declaration.h"

#include <cctype>

namespace rt {

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string lowerName(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

CType ctypeOf(std::string_view t) {
  struct Entry {
    const char* name;
    CType type;
  };
  static const Entry kTypes[] = {
      {"integer", CType::Integer}, {"int8", CType::Int8},     {"int16", CType::Int16},
      {"int32", CType::Int32},     {"int64", CType::Int64},   {"uint8", CType::UInt8},
      {"uint16", CType::UInt16},   {"uint32", CType::UInt32}, {"uint64", CType::UInt64},
      {"byte", CType::UInt8},      {"short", CType::Int16},   {"boolean", CType::Boolean},
      {"double", CType::Double},   {"single", CType::Single}, {"color", CType::Color},
      {"string", CType::String},   {"ptr", CType::Pointer},
  };
  for (const Entry& e : kTypes)
    if (sameName(t, e.name)) return e.type;
  return CType::Object;
}

size_t Declaration::required() const {
  size_t n = 0;
  for (const Param& p : params)
    if (!p.extends && !p.assigns && !p.defaultText) ++n;
  return n;
}

size_t Declaration::explicitCount() const {
  size_t n = 0;
  for (const Param& p : params)
    if (!p.extends && !p.assigns) ++n;
  return n;
}

const Param* Declaration::extendsParam() const {
  for (const Param& p : params)
    if (p.extends) return &p;
  return nullptr;
}

const Param* Declaration::assignsParam() const {
  for (const Param& p : params)
    if (p.assigns) return &p;
  return nullptr;
}

namespace {

// A small cursor over the declaration text; the first failure sticks.
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}

  void skipSpace() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  bool atEnd() {
    skipSpace();
    return pos_ >= s_.size();
  }
  bool peek(char c) {
    skipSpace();
    return pos_ < s_.size() && s_[pos_] == c;
  }
  bool accept(char c) {
    if (!peek(c)) return false;
    ++pos_;
    return true;
  }
  std::string word() {
    skipSpace();
    size_t start = pos_;
    while (pos_ < s_.size() &&
           (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_' || s_[pos_] == '.'))
      ++pos_;
    return std::string(s_.substr(start, pos_ - start));
  }
  // Accepts a keyword when it is followed by more words (so "byref as integer"
  // still names a parameter called byref).
  bool acceptKeyword(std::string_view kw) {
    skipSpace();
    size_t save = pos_;
    std::string w = word();
    if (sameName(w, kw)) {
      skipSpace();
      if (pos_ < s_.size() && (std::isalpha(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) {
        size_t afterKw = pos_;
        std::string next = word();
        pos_ = afterKw;
        if (!sameName(next, "as")) return true;
      }
    }
    pos_ = save;
    return false;
  }
  // A default value: everything up to the next top-level comma or closing paren,
  // with quoted text kept whole.
  std::string defaultValue() {
    skipSpace();
    size_t start = pos_;
    bool quoted = false;
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == '"') quoted = !quoted;
      else if (!quoted && (c == ',' || c == ')')) break;
      ++pos_;
    }
    std::string_view v = s_.substr(start, pos_ - start);
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.remove_suffix(1);
    return std::string(v);
  }

 private:
  std::string_view s_;
  size_t pos_ = 0;
};

bool parseType(Scanner& sc, TypeRef& out, std::string* error) {
  out.name = sc.word();
  if (out.name.empty()) {
    if (error) *error = "type name expected";
    return false;
  }
  if (sc.accept('(')) {
    if (!sc.accept(')')) {
      if (error) *error = "')' expected after array type";
      return false;
    }
    out.array = true;
  }
  out.ctype = out.array ? CType::Object : ctypeOf(out.name);
  return true;
}

}  // namespace

std::optional<Declaration> parseDeclaration(std::string_view text, std::string* error) {
  Scanner sc(text);
  Declaration d;
  d.name = sc.word();
  if (d.name.empty()) {
    if (error) *error = "member name expected";
    return std::nullopt;
  }
  if (sc.accept('(')) {
    d.hasParens = true;
    if (!sc.accept(')')) {
      do {
        Param p;
        for (;;) {
          if (sc.acceptKeyword("byref")) p.byref = true;
          else if (sc.acceptKeyword("byval")) {
          } else if (sc.acceptKeyword("extends")) p.extends = true;
          else if (sc.acceptKeyword("assigns")) p.assigns = true;
          else break;
        }
        p.name = sc.word();
        if (p.name.empty()) {
          if (error) *error = "parameter name expected";
          return std::nullopt;
        }
        bool arrayName = false;
        if (sc.accept('(')) {
          if (!sc.accept(')')) {
            if (error) *error = "')' expected after array parameter " + p.name;
            return std::nullopt;
          }
          arrayName = true;
        }
        if (!sameName(sc.word(), "as")) {
          if (error) *error = "'as' expected after parameter " + p.name;
          return std::nullopt;
        }
        if (!parseType(sc, p.type, error)) return std::nullopt;
        if (arrayName) {
          p.type.array = true;
          p.type.ctype = CType::Object;
        }
        if (sc.accept('=')) {
          std::string v = sc.defaultValue();
          if (v.empty()) {
            if (error) *error = "default value expected for " + p.name;
            return std::nullopt;
          }
          p.defaultText = v;
        }
        d.params.push_back(std::move(p));
      } while (sc.accept(','));
      if (!sc.accept(')')) {
        if (error) *error = "')' expected after the parameters";
        return std::nullopt;
      }
    }
  }
  if (!sc.atEnd()) {
    if (!sameName(sc.word(), "as")) {
      if (error) *error = "'as' expected before the result type";
      return std::nullopt;
    }
    if (!parseType(sc, d.result, error)) return std::nullopt;
    if (!sc.atEnd()) {
      if (error) *error = "unexpected text after the result type";
      return std::nullopt;
    }
  }
  return d;
}

}  // namespace rt
