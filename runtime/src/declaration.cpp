#include "declaration.h"

#include <cctype>
#include <stdexcept>

namespace rt {

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

size_t NameHash::operator()(std::string_view s) const {
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the folded name
  for (char c : s) h = (h ^ static_cast<unsigned char>(fold(c))) * 1099511628211ull;
  return static_cast<size_t>(h);
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
          p.defaultValue = parseLiteral(v, &p.type);
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

std::optional<Literal> parseLiteral(std::string_view text, const TypeRef* as) {
  std::string_view n = text;
  if (n.empty()) return std::nullopt;
  Literal v;
  if (n.front() == '"') {
    if (n.size() < 2 || n.back() != '"') return std::nullopt;
    v.kind = Literal::Kind::Text;
    for (size_t i = 1; i + 1 < n.size(); ++i) {
      v.text += n[i];
      if (n[i] == '"' && i + 2 < n.size() && n[i + 1] == '"') ++i;  // "" inside quotes
    }
    return v;
  }
  if (sameName(n, "true") || sameName(n, "false")) {
    v.kind = Literal::Kind::Boolean;
    v.integer = sameName(n, "true");
    return v;
  }
  if (sameName(n, "nil")) return v;
  bool negative = false;
  if (n.front() == '-' || n.front() == '+') {
    negative = n.front() == '-';
    n.remove_prefix(1);
  }
  int base = 10;
  bool color = as && as->ctype == CType::Color, colorPrefix = false;
  if (n.size() > 2 && n[0] == '&') {
    const char k = fold(n[1]);
    base = k == 'h' || k == 'c' ? 16 : k == 'o' ? 8 : k == 'b' ? 2 : 0;
    if (!base) return std::nullopt;
    colorPrefix = k == 'c';
    color = color || colorPrefix;
    n.remove_prefix(2);
  }
  const std::string digits(n);
  size_t used = 0;
  try {
    const bool real = base == 10 && digits.find_first_of(".eE") != std::string::npos;
    if (!colorPrefix && (real || (as && (as->ctype == CType::Double || as->ctype == CType::Single)))) {
      const double d = std::stod(digits, &used);
      if (used != digits.size()) return std::nullopt;
      v.kind = Literal::Kind::Double;
      v.real = negative ? -d : d;
      return v;
    }
    const uint64_t u = std::stoull(digits, &used, base);
    if (used != digits.size()) return std::nullopt;
    v.kind = color ? Literal::Kind::Color : Literal::Kind::Integer;
    v.integer = negative ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
    if (color) v.integer = static_cast<uint32_t>(v.integer);
    return v;
  } catch (const std::logic_error&) {
    return std::nullopt;
  }
}

}  // namespace rt
