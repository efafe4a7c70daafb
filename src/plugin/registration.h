// Registration of the plugin's classes and the members it adds to `movie`.
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>

// The classes in registration order (superclasses before subclasses), and the
// record of the members added to the host's `movie` class. Defined in
// class_table.cpp.
struct PluginClassTable {
  REALclassDefinition* const* classes;
  size_t count;
  REALclassDefinition* movieExtension;
};
const PluginClassTable& PluginClasses();

extern "C" __attribute__((visibility("default"))) void REALPluginMain(REALResolver resolver);

// ---- conversions for older hosts and the synthesised module (class_conversion.cpp) ----

// The 25-word layout of control version 9, with narrowed member arrays. The record
// is the caller's to free; the arrays stay allocated for the host until the
// library is unloaded.
REALclassDefinitionV9* FixClass(const REALclassDefinition* definition);
// Null for a null array or a count of 0.
REALpropertyV9* FixProperties(const REALproperty* properties, uintptr_t count);
// "Name(args) as T" becomes "Name(extends ref as className, args) as T". The
// result is a heap string the caller frees.
char* AddClassParameter(const char* declaration, const char* className);
// The extension's methods as global methods taking the extended object first,
// property-like ones split into setter and getter. Null when there is nothing to
// register or memory ran out. The host keeps it until the library is unloaded.
REALmoduleDefinition* SynthesizeExtensionModule(const REALclassDefinition* extension);
