// Adapting the static records to the host at hand: the older 25-word layout, and
// the `movie` members as a module of global methods.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/host.h"
#include "plugin/registration.h"

namespace {

constexpr size_t kMaxArrayBytes = 0x7FFFFFFF;
constexpr uintptr_t kExtensionMethodFlag = 0x10;

// What registration allocates belongs to the host for as long as the library is
// loaded. Once it is unloaded nobody can use it any more, so it goes with it: a
// host that loads the library once per process never sees the difference, and a
// process that loads it many times (the test runtime) does not keep every
// load's arrays, which the sanitizer build's leak checker would report.
class HostHeldBlocks {
 public:
  ~HostHeldBlocks() {
    for (void* block : blocks_) std::free(block);
  }
  template <typename T>
  T* keep(T* block) {
    if (block) blocks_.push_back(const_cast<void*>(static_cast<const void*>(block)));
    return block;
  }

 private:
  std::vector<void*> blocks_;
};

HostHeldBlocks& HostHeld() {
  static HostHeldBlocks blocks;
  return blocks;
}

// A zero-filled array of `count` older records, each the leading words of its
// source record. Null when there is nothing to convert or no memory.
template <typename Older, typename Current>
Older* Narrow(const Current* records, uintptr_t count) {
  static_assert(sizeof(Older) <= sizeof(Current), "older records are prefixes of the current ones");
  if (!records || count == 0 || count > kMaxArrayBytes / sizeof(Older)) return nullptr;
  auto* older = static_cast<Older*>(std::calloc(count, sizeof(Older)));
  if (!older) return nullptr;
  for (uintptr_t i = 0; i < count; ++i) std::memcpy(static_cast<void*>(&older[i]), &records[i], sizeof(Older));
  return older;
}

// The setter's declaration from the getter's: "P(extends ref as movie) as T"
// becomes "P(extends ref as movie, assigns value as T)".
char* SetterDeclaration(const char* declaration, const char* className) {
  char* extended = AddClassParameter(declaration, className);
  if (!extended || !*extended) {
    std::free(extended);
    return nullptr;
  }
  char buffer[1000] = {};
  char* result = nullptr;
  if (const char* close = std::strchr(extended, ')')) {
    const size_t k = static_cast<size_t>(close - extended);
    std::memcpy(buffer, extended, k);
    std::snprintf(buffer + k, 999 - k, ", assigns value%s)", close + 1);
    result = strdup(buffer);
  } else if (const char* space = std::strchr(extended, ' ')) {
    const size_t k = static_cast<size_t>(space - extended);
    std::memcpy(buffer, extended, k);
    std::snprintf(buffer + k, 999 - k, "(assigns value%s)", space);
    result = strdup(buffer);
  }
  std::free(extended);
  return result;
}

}  // namespace

REALpropertyV9* FixProperties(const REALproperty* properties, uintptr_t count) {
  return Narrow<REALpropertyV9>(properties, count);
}

REALclassDefinitionV9* FixClass(const REALclassDefinition* definition) {
  auto* older = static_cast<REALclassDefinitionV9*>(std::calloc(1, sizeof(REALclassDefinitionV9)));
  if (!older) return nullptr;
  older->version = static_cast<uintptr_t>(CurrentREALControlVersion);
  older->name = definition->name;
  older->superName = definition->superName;
  older->dataSize = definition->dataSize;
  older->forSystemUse = definition->forSystemUse;
  older->constructor = definition->constructor;
  older->destructor = definition->destructor;
  HostHeldBlocks& held = HostHeld();
  older->properties = held.keep(FixProperties(definition->properties, definition->propertyCount));
  older->propertyCount = definition->propertyCount;
  older->methods = held.keep(Narrow<REALmethodDefinitionV9>(definition->methods, definition->methodCount));
  older->methodCount = definition->methodCount;
  older->events = held.keep(Narrow<REALeventV9>(definition->events, definition->eventCount));
  older->eventCount = definition->eventCount;
  std::memcpy(older->reserved13, definition->reserved13, sizeof older->reserved13);
  older->constants = held.keep(Narrow<REALconstantV9>(definition->constants, definition->constantCount));
  older->constantCount = definition->constantCount;
  older->flags = definition->flags;
  older->sharedProperties = held.keep(FixProperties(definition->sharedProperties, definition->sharedPropertyCount));
  older->sharedPropertyCount = definition->sharedPropertyCount;
  older->sharedMethods =
      held.keep(Narrow<REALmethodDefinitionV9>(definition->sharedMethods, definition->sharedMethodCount));
  older->sharedMethodCount = definition->sharedMethodCount;
  return older;
}

char* AddClassParameter(const char* declaration, const char* className) {
  if (!declaration) declaration = "";
  char buffer[1000] = {};
  size_t k = 0;
  while (k < 999 && declaration[k] && declaration[k] != ' ' && declaration[k] != '(') {
    buffer[k] = declaration[k];
    ++k;
  }
  if (declaration[k] == ' ') {
    // "Name as T": the parameter list goes in before the result type.
    std::snprintf(buffer + k, 999 - k, "(extends ref as %s)%s", className, declaration + k);
  } else if (declaration[k] == '(') {
    // "Name(args) ...": the extended object becomes the first parameter.
    std::snprintf(buffer + k, 999 - k, "(extends ref as %s, %s", className, declaration + k + 1);
  } else {
    std::snprintf(buffer, sizeof buffer, "%s(extends ref as %s)", declaration, className);
  }
  return strdup(buffer);
}

REALmoduleDefinition* SynthesizeExtensionModule(const REALclassDefinition* extension) {
  if (!extension->methods || extension->methodCount == 0) return nullptr;

  char name[100];
  std::snprintf(name, sizeof name, "%s%s%s", extension->name, gpartname ? gpartname : "", "ExtensionZQK");

  auto* module = static_cast<REALmoduleDefinition*>(std::calloc(1, sizeof(REALmoduleDefinition)));
  if (!module) return nullptr;

  // A property-like method becomes two: its setter, then its getter.
  size_t total = 0;
  for (uintptr_t i = 0; i < extension->methodCount; ++i) {
    total += extension->methods[i].function != nullptr;
    total += extension->methods[i].setterFunction != nullptr;
  }
  auto* methods = total == 0 || total > kMaxArrayBytes / sizeof(REALmethodDefinition)
                      ? nullptr
                      : static_cast<REALmethodDefinition*>(std::calloc(total, sizeof(REALmethodDefinition)));
  if (!methods) {
    std::free(module);
    return nullptr;
  }

  HostHeldBlocks& held = HostHeld();
  size_t n = 0;
  for (uintptr_t i = 0; i < extension->methodCount; ++i) {
    const REALmethodDefinition& source = extension->methods[i];
    if (source.setterFunction) {
      REALmethodDefinition& setter = methods[n++];
      setter.function = source.setterFunction;
      setter.declaration = held.keep(SetterDeclaration(source.declaration, extension->name));
      setter.flags = source.flags | kExtensionMethodFlag;
      std::memcpy(setter.reserved, source.reserved, sizeof setter.reserved);
    }
    if (source.function) {
      REALmethodDefinition& getter = methods[n++];
      getter.function = source.function;
      getter.declaration = held.keep(AddClassParameter(source.declaration, extension->name));
      getter.flags = source.flags | kExtensionMethodFlag;
      std::memcpy(getter.reserved, source.reserved, sizeof getter.reserved);
    }
  }

  module->version = 13;
  module->name = held.keep(strdup(name));
  module->methods = held.keep(methods);
  module->methodCount = total;
  return held.keep(module);
}
