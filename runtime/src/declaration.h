// Member declarations in the host language's syntax, parsed once at registration.
//
//   Name(p as type, byref q as type, r as type = default, c() as T) as ReturnType
//   Name(extends ref as movie, assigns value as double)
//   Name as type                                       (property-like method)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// How a host type travels through a C call.
enum class CType {
  None,     // no value (a method without result)
  Integer,  // RBInteger
  Int8, Int16, Int32, Int64, UInt8, UInt16, UInt32, UInt64,
  Boolean,  // bool
  Double,
  Single,   // float
  Color,    // uint32_t 0xRRGGBB
  String,   // REALstring
  Object,   // REALobject: classes, memoryblock, movie, folderitem, picture, arrays
  Pointer,  // ptr: a raw address carried as an integer
};

struct TypeRef {
  std::string name;   // as declared, e.g. "QTTrackZQK", "integer"
  CType ctype = CType::None;
  bool array = false;  // "x() as T"
};

// A literal of the host language as a declaration writes it (a default value or
// a constant): integers (with &h, &o, &b), &c colours, doubles, booleans, quoted
// text, nil.
struct Literal {
  enum class Kind { Nil, Integer, Boolean, Double, Color, Text };
  Kind kind = Kind::Nil;
  int64_t integer = 0;  // Integer, Boolean (0 or 1), Color
  double real = 0;
  std::string text;
};

// Reads a literal, as a double when `as` is single or double, as a colour when it
// is color; nullopt when the text is no literal.
std::optional<Literal> parseLiteral(std::string_view text, const TypeRef* as);

struct Param {
  std::string name;
  TypeRef type;
  bool byref = false;
  bool extends = false;   // "extends ref as Class": the object the method extends
  bool assigns = false;   // "assigns value as T": the value of an assignment
  std::optional<std::string> defaultText;
  std::optional<Literal> defaultValue;  // read once; unset when defaultText is no literal
};

struct Declaration {
  std::string name;
  std::vector<Param> params;  // extends/assigns parameters included, in place
  TypeRef result;             // ctype None: no result
  bool hasParens = false;     // "Name as type" has none: property-like form

  // Parameters user code supplies (neither extends nor assigns).
  size_t required() const;
  size_t explicitCount() const;
  const Param* extendsParam() const;
  const Param* assignsParam() const;
};

// Parses a declaration; nullopt with a reason on malformed text.
std::optional<Declaration> parseDeclaration(std::string_view text, std::string* error);

// The C type of a host type name (case-insensitive). Unknown names are classes.
CType ctypeOf(std::string_view typeName);

// Case-insensitive comparison, as the host language compares names (which are ASCII).
bool sameName(std::string_view a, std::string_view b);

// A hash and equality for maps keyed by names, looked up without a copy.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const;
};
struct NameEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return sameName(a, b); }
};

}  // namespace rt
