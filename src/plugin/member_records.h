// Building the records of a class's member tables.
//
//   static REALproperty kProperties[] = {
//       DirectProperty("Width", "Integer", offsetof(Instance, width)),
//       AccessorProperty("FontName", "String", &rbGetFontName, &rbSetFontName),
//   };
//   REALclassDefinition QTChapterDataZQKClass = ClassRecord({
//       .name = "QTChapterDataZQK", .dataSize = 104, .properties = kProperties});
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>
#include <cstdint>
#include <span>

// Any plugin function as the word a record holds.
template <typename Fn>
inline REALproc MemberProc(Fn* function) {
  return reinterpret_cast<REALproc>(function);
}

// A property whose field the host reads and writes itself, `offset` bytes into
// the instance data of the class that declares the block.
inline REALproperty DirectProperty(const char* name, const char* type, size_t offset, uintptr_t flags = 0) {
  return {nullptr, name, type, flags, REAL_DIRECT_PROPERTY, REAL_DIRECT_PROPERTY, static_cast<intptr_t>(offset), {}};
}

// A property served by a getter (object, parameter) and a setter (object,
// parameter, value) of the plugin.
template <typename Getter, typename Setter>
inline REALproperty AccessorProperty(const char* name, const char* type, Getter* getter, Setter* setter,
                                     uintptr_t flags = 0) {
  return {nullptr, name, type, flags, MemberProc(getter), MemberProc(setter), 0, {}};
}

template <typename Fn>
inline REALmethodDefinition MethodRecord(const char* declaration, Fn* function) {
  return {MemberProc(function), nullptr, declaration, 0, {}};
}

// A method record that the host treats as a read/write property: it calls the
// getter to read and the setter to assign.
template <typename Getter, typename Setter>
inline REALmethodDefinition PropertyMethod(const char* declaration, Getter* getter, Setter* setter) {
  return {MemberProc(getter), MemberProc(setter), declaration, 0, {}};
}

// "name = value"
inline REALconstant ConstantRecord(const char* declaration) { return {declaration, {}}; }

// What a class record says; everything left out is null or 0.
struct ClassShape {
  const char* name;
  const char* superName = nullptr;
  uintptr_t dataSize = 0;  // 0 for a subclass, which uses its superclass's block
  REALconstructor constructor = nullptr;
  REALdestructor destructor = nullptr;
  std::span<REALproperty> properties = {};
  std::span<REALmethodDefinition> methods = {};
  std::span<REALconstant> constants = {};
  uintptr_t flags = 0;
};

// The record in the current layout (version 13); registration adapts it to the host.
constexpr REALclassDefinition ClassRecord(const ClassShape& shape) {
  REALclassDefinition record{};
  record.version = 13;
  record.name = shape.name;
  record.superName = shape.superName;
  record.dataSize = shape.dataSize;
  record.constructor = shape.constructor;
  record.destructor = shape.destructor;
  record.properties = shape.properties.empty() ? nullptr : shape.properties.data();
  record.propertyCount = shape.properties.size();
  record.methods = shape.methods.empty() ? nullptr : shape.methods.data();
  record.methodCount = shape.methods.size();
  record.constants = shape.constants.empty() ? nullptr : shape.constants.data();
  record.constantCount = shape.constants.size();
  record.flags = shape.flags;
  return record;
}
