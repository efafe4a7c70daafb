#include "api_listing.h"

#include <ostream>
#include <span>
#include <string>

namespace tool {
namespace {

// Both class layouts, read through one view: the older records are prefixes of the
// current ones, so only the strides differ.
struct ClassView {
  const char* name;
  const char* superName;
  uintptr_t dataSize;
  std::span<const uintptr_t> properties;   // words
  size_t propertyStride;
  uintptr_t propertyCount;
  const uintptr_t* methods;
  size_t methodStride;
  uintptr_t methodCount;
  const uintptr_t* constants;
  size_t constantStride;
  uintptr_t constantCount;
  const uintptr_t* sharedMethods;
  uintptr_t sharedMethodCount;
};

ClassView viewOf(const rt::Registration& r) {
  ClassView v{};
  if (r.olderLayout) {
    auto* c = static_cast<const REALclassDefinitionV9*>(r.record);
    v = {c->name, c->superName, c->dataSize,
         {reinterpret_cast<const uintptr_t*>(c->properties), c->properties ? c->propertyCount * 10 : 0},
         10, c->propertyCount,
         reinterpret_cast<const uintptr_t*>(c->methods), 4, c->methodCount,
         reinterpret_cast<const uintptr_t*>(c->constants), 3, c->constantCount,
         reinterpret_cast<const uintptr_t*>(c->sharedMethods), c->sharedMethodCount};
  } else {
    auto* c = static_cast<const REALclassDefinition*>(r.record);
    v = {c->name, c->superName, c->dataSize,
         {reinterpret_cast<const uintptr_t*>(c->properties), c->properties ? c->propertyCount * 12 : 0},
         12, c->propertyCount,
         reinterpret_cast<const uintptr_t*>(c->methods), 6, c->methodCount,
         reinterpret_cast<const uintptr_t*>(c->constants), 5, c->constantCount,
         reinterpret_cast<const uintptr_t*>(c->sharedMethods), c->sharedMethodCount};
  }
  return v;
}

const char* text(uintptr_t word) { return word ? reinterpret_cast<const char*>(word) : "(null)"; }

void printMethods(std::ostream& out, const char* heading, const uintptr_t* records, size_t stride,
                  uintptr_t count) {
  if (!records || !count) return;
  out << "    " << heading << ":\n";
  for (uintptr_t i = 0; i < count; ++i) {
    const uintptr_t* m = records + i * stride;
    out << "      " << text(m[2]);
    if (m[1]) out << "   [get/set]";
    out << '\n';
  }
}

const char* routeName(rt::Registration::Route route) {
  switch (route) {
    case rt::Registration::Route::Class: return "class";
    case rt::Registration::Route::ClassExtension: return "class extension";
    case rt::Registration::Route::Module: return "module";
  }
  return "?";
}

}  // namespace

ApiCounts printApi(const rt::Runtime& runtime, std::ostream& out, bool detail) {
  ApiCounts counts;
  for (const rt::Registration& r : runtime.registrations()) {
    if (r.route == rt::Registration::Route::Module) {
      auto* m = static_cast<const REALmoduleDefinition*>(r.record);
      out << "module " << text(reinterpret_cast<uintptr_t>(m->name)) << " (version " << r.controlVersion << ", "
          << m->methodCount << " methods)\n";
      counts.movieMembers += static_cast<int>(m->methodCount);
      if (detail) printMethods(out, "methods", reinterpret_cast<const uintptr_t*>(m->methods), 6, m->methodCount);
      continue;
    }
    ClassView v = viewOf(r);
    bool extension = r.route == rt::Registration::Route::ClassExtension;
    out << routeName(r.route) << ' ' << text(reinterpret_cast<uintptr_t>(v.name));
    if (v.superName) out << " : " << v.superName;
    out << "  (record version " << r.controlVersion << (r.olderLayout ? ", older layout" : "")
        << ", instance data " << v.dataSize << " bytes, " << v.propertyCount << " properties, " << v.methodCount
        << " methods, " << v.constantCount << " constants, " << v.sharedMethodCount << " shared methods)\n";
    if (extension) {
      counts.movieMembers += static_cast<int>(v.methodCount);
    } else {
      ++counts.classes;
      counts.properties += static_cast<int>(v.propertyCount);
      counts.methods += static_cast<int>(v.methodCount);
      counts.constants += static_cast<int>(v.constantCount);
      counts.sharedMethods += static_cast<int>(v.sharedMethodCount);
    }
    if (!detail) continue;
    if (v.propertyCount && !v.properties.empty()) {
      out << "    properties:\n";
      for (uintptr_t i = 0; i < v.propertyCount; ++i) {
        const uintptr_t* p = v.properties.data() + i * v.propertyStride;
        bool direct = p[4] == ~uintptr_t{0};
        out << "      " << text(p[1]) << " as " << text(p[2]);
        if (direct)
          out << "   [direct, offset " << static_cast<intptr_t>(p[6]) << "]";
        else
          out << "   [accessor]";
        out << '\n';
      }
    }
    printMethods(out, "methods", v.methods, v.methodStride, v.methodCount);
    if (v.constants && v.constantCount) {
      out << "    constants:\n";
      for (uintptr_t i = 0; i < v.constantCount; ++i) out << "      " << text(v.constants[i * v.constantStride]) << '\n';
    }
    printMethods(out, "shared methods", v.sharedMethods, r.olderLayout ? 4 : 6, v.sharedMethodCount);
  }
  return counts;
}

}  // namespace tool
