// Classes: the host's built-in ones, and what the plugin registers in either
// record layout, as class extensions or as modules of global methods.
#include <cstring>

#include "internal.h"
#include "pictures.h"

namespace rt {

ClassInfo* Impl::findClass(std::string_view name) const {
  auto it = classByName.find(name);
  return it == classByName.end() ? nullptr : it->second;
}

ClassInfo* Impl::addBuiltinClass(std::string name, ClassInfo* super, Builtin kind) {
  auto c = std::make_unique<ClassInfo>();
  c->name = std::move(name);
  c->super = super;
  c->builtin = kind;
  if (super) {
    c->dataStart = super->dataStart;
    c->dataEnd = super->dataEnd;
  }
  ClassInfo* raw = c.get();
  classByName[raw->name] = raw;
  ++registrationCount;
  classes.push_back(std::move(c));
  return raw;
}

namespace {

Value getMessage(Impl& impl, ObjectRecord& r) {
  if (!r.message) return Value::adoptString(impl.runtime, impl.buildString("", kREALEncodingUTF8));
  return Value::retainString(impl.runtime, r.message);
}

bool setMessage(Impl& impl, ObjectRecord& r, const Value& v) {
  if (v.kind() != Value::Kind::String && !v.isNil()) return false;
  REALstring old = r.message;
  r.message = v.isNil() ? nullptr : v.asString();
  if (r.message) impl.lockString(r.message);
  if (old) impl.unlockString(old);
  return true;
}

Value getErrorNumber(Impl&, ObjectRecord& r) { return Value::integer(r.errorNumber); }

bool setErrorNumber(Impl&, ObjectRecord& r, const Value& v) {
  if (v.kind() != Value::Kind::Integer) return false;
  r.errorNumber = static_cast<RBInteger>(v.asInteger());
  return true;
}

Value getNativePath(Impl& impl, ObjectRecord& r) {
  return Value::adoptString(impl.runtime, impl.buildString(r.path, kREALEncodingUTF8));
}

Value getMemorySize(Impl&, ObjectRecord& r) { return Value::integer(static_cast<int64_t>(r.bytes.size())); }

PropertyInfo builtinProperty(const ClassInfo* owner, const char* name, const char* type,
                             Value (*get)(Impl&, ObjectRecord&), bool (*set)(Impl&, ObjectRecord&, const Value&)) {
  PropertyInfo p;
  p.name = name;
  p.type.name = type;
  p.type.ctype = ctypeOf(type);
  p.kind = PropertyKind::Builtin;
  p.owner = owner;
  p.builtinGet = get;
  p.builtinSet = set;
  return p;
}

}  // namespace

void Impl::installBuiltinClasses() {
  ClassInfo* base = addBuiltinClass("RuntimeException", nullptr, Builtin::Exception);
  base->properties.push_back(builtinProperty(base, "Message", "String", getMessage, setMessage));
  base->properties.push_back(builtinProperty(base, "ErrorNumber", "Integer", getErrorNumber, setErrorNumber));
  for (const char* name :
       {"NilObjectException", "OutOfBoundsException", "OutOfMemoryException", "UnsupportedOperationException",
        "TypeMismatchException", "InvalidArgumentException", "IllegalCastException", "KeyNotFoundException",
        "IOException", "StackOverflowException", "UnsupportedFormatException"})
    addBuiltinClass(name, base, Builtin::Exception);

  ClassInfo* block = addBuiltinClass("MemoryBlock", nullptr, Builtin::MemoryBlock);
  block->properties.push_back(builtinProperty(block, "Size", "Integer", getMemorySize, nullptr));
  ClassInfo* movie = addBuiltinClass("movie", nullptr, Builtin::Movie);
  movie->properties.push_back(builtinProperty(movie, "Duration", "Double", getMovieDuration, nullptr));
  movie->properties.push_back(builtinProperty(movie, "TimeScale", "Integer", getMovieTimeScale, nullptr));
  addBuiltinClass("ObjectArray", nullptr, Builtin::Array);
  ClassInfo* folder = addBuiltinClass("FolderItem", nullptr, Builtin::FolderItem);
  folder->properties.push_back(builtinProperty(folder, "NativePath", "String", getNativePath, nullptr));
  ClassInfo* picture = addBuiltinClass("Picture", nullptr, Builtin::Picture);
  for (const PictureProperty& p : kPictureProperties)
    picture->properties.push_back(builtinProperty(picture, p.name, p.type, p.get, nullptr));

  switch (config.appKind) {
    case AppKind::Desktop: addBuiltinClass("Application", nullptr, Builtin::Application); break;
    case AppKind::Console: addBuiltinClass("ConsoleApplication", nullptr, Builtin::Application); break;
    case AppKind::Web: addBuiltinClass("WebApplication", nullptr, Builtin::Application); break;
  }
}

namespace {

// The host never gives back what a plugin registers: records, their arrays and
// the declarations the plugin built for them stay the host's for the life of the
// process. Plugins allocate some of them (converted older-layout arrays, the
// synthesised module) and rightly never free them; keeping their addresses here
// keeps them reachable once the plugin is unloaded, as they are in a real host.
void keepRegistered(const void* p) {
  static auto* kept = new std::vector<const void*>();
  if (p) kept->push_back(p);
}

// The two layouts differ only in record sizes and in the absence of words 25-28,
// so one reader handles both, parameterised by the record types.
template <typename ClassDef, typename Prop, typename Method, typename Constant>
struct Layout {
  using ClassDefT = ClassDef;
  using PropT = Prop;
  using MethodT = Method;
  using ConstantT = Constant;
};
using CurrentLayout = Layout<REALclassDefinition, REALproperty, REALmethodDefinition, REALconstant>;
using OlderLayout = Layout<REALclassDefinitionV9, REALpropertyV9, REALmethodDefinitionV9, REALconstantV9>;

const char* orEmpty(const char* s) { return s ? s : ""; }

}  // namespace

template <typename L>
static void readMembers(Impl& impl, ClassInfo& cls, const typename L::ClassDefT& def) {
  auto readProps = [&](const typename L::PropT* props, uintptr_t count, bool shared, std::deque<PropertyInfo>& out) {
    if (!props) return;
    for (uintptr_t i = 0; i < count; ++i) {
      const auto& rec = props[i];
      PropertyInfo p;
      p.name = orEmpty(rec.name);
      p.type.name = orEmpty(rec.type);
      p.type.ctype = ctypeOf(p.type.name);
      p.owner = &cls;
      p.word6 = rec.fieldOffset;
      if (p.name.empty() || p.type.name.empty()) {
        impl.note(cls.name + ": property record " + std::to_string(i) + " without name or type");
        continue;
      }
      if (rec.getter == REAL_DIRECT_PROPERTY) {
        p.kind = PropertyKind::Direct;
        p.setter = rec.setter;
        if (!shared && (p.word6 < 0 || static_cast<uintptr_t>(cls.dataStart + p.word6) >= static_cast<uintptr_t>(cls.dataEnd)))
          impl.note(cls.name + "." + p.name + ": field offset " + std::to_string(p.word6) +
                    " outside the instance data");
      } else {
        p.kind = PropertyKind::Accessor;
        p.getter = rec.getter;
        p.setter = rec.setter;
        planAccessors(p);
      }
      out.push_back(std::move(p));
    }
  };
  auto readMethods = [&](const typename L::MethodT* methods, uintptr_t count, bool shared,
                         std::deque<MethodInfo>& out) {
    if (!methods) return;
    for (uintptr_t i = 0; i < count; ++i) {
      const auto& rec = methods[i];
      MethodInfo m;
      m.text = orEmpty(rec.declaration);
      m.setter = rec.setterFunction;
      m.shared = shared;
      std::string why;
      auto d = parseDeclaration(m.text, &why);
      if (!d) {
        impl.note(cls.name + ": method \"" + m.text + "\": " + why);
        continue;
      }
      m.decl = std::move(*d);
      planMethod(m, rec.function);
      out.push_back(std::move(m));
    }
  };
  for (const void* p : {static_cast<const void*>(&def), static_cast<const void*>(def.properties),
                        static_cast<const void*>(def.methods), static_cast<const void*>(def.events),
                        static_cast<const void*>(def.constants), static_cast<const void*>(def.sharedProperties),
                        static_cast<const void*>(def.sharedMethods)})
    keepRegistered(p);
  readProps(def.properties, def.propertyCount, false, cls.properties);
  readMethods(def.methods, def.methodCount, false, cls.methods);
  if (def.constants)
    for (uintptr_t i = 0; i < def.constantCount; ++i) {
      std::string text = orEmpty(def.constants[i].declaration);
      size_t eq = text.find('=');
      if (eq == std::string::npos) {
        impl.note(cls.name + ": constant \"" + text + "\" without '='");
        continue;
      }
      auto trim = [](std::string s) {
        size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
        return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
      };
      cls.constants.push_back({trim(text.substr(0, eq)), trim(text.substr(eq + 1))});
    }
  readProps(def.sharedProperties, def.sharedPropertyCount, true, cls.sharedProperties);
  readMethods(def.sharedMethods, def.sharedMethodCount, true, cls.sharedMethods);
}

void Impl::registerClass(void* record, bool extension) {
  if (!record) {
    note(extension ? "PluginRegisterClassExtension: null record" : "PluginRegisterClass: null record");
    return;
  }
  // Word 0 tells the layout: control versions up to 9 use the 25-word record.
  const uintptr_t version = *static_cast<uintptr_t*>(record);
  const bool older = version <= 9;
  auto* cur = static_cast<REALclassDefinition*>(record);
  auto* old = static_cast<REALclassDefinitionV9*>(record);
  const char* rawName = older ? old->name : cur->name;
  std::string name = orEmpty(rawName);
  registrations.push_back({extension ? Registration::Route::ClassExtension : Registration::Route::Class, name,
                           version, older, record});
  if (name.empty()) {
    note("class record without a name");
    return;
  }

  ClassInfo* cls = nullptr;
  if (extension) {
    cls = findClass(name);
    if (!cls) {
      note("class extension of unknown class " + name);
      return;
    }
  } else {
    if (findClass(name)) {
      note("class " + name + " registered twice");
      return;
    }
    const char* superName = older ? old->superName : cur->superName;
    ClassInfo* super = nullptr;
    if (superName && *superName) {
      super = findClass(superName);
      if (!super) note("class " + name + ": unknown superclass " + superName);
    }
    cls = addBuiltinClass(name, super, Builtin::None);
    const uintptr_t size = older ? old->dataSize : cur->dataSize;
    // A subclass declaring no data shares its superclass's block; one that
    // declares some gets it after the superclass's.
    if (size > 0) {
      cls->dataStart = super ? super->dataEnd : static_cast<intptr_t>(kHeaderSize);
      cls->dataEnd = cls->dataStart + static_cast<intptr_t>(size);
    }
    cls->constructor = older ? old->constructor : cur->constructor;
    cls->destructor = older ? old->destructor : cur->destructor;
    cls->flags = older ? old->flags : cur->flags;
    if (older) old->forSystemUse = cls->dataStart;
    else cur->forSystemUse = cls->dataStart;
  }
  if (older) readMembers<OlderLayout>(*this, *cls, *old);
  else readMembers<CurrentLayout>(*this, *cls, *cur);
  ++registrationCount;
}

void Impl::registerModule(REALmoduleDefinition* module) {
  if (!module) {
    note("PluginRegisterModule: null record");
    return;
  }
  keepRegistered(module);
  keepRegistered(module->name);
  keepRegistered(module->methods);
  std::string name = orEmpty(module->name);
  registrations.push_back({Registration::Route::Module, name, module->version, false, module});
  ClassInfo* mod = findClass(name);
  if (!mod) mod = addBuiltinClass(name, nullptr, Builtin::Module);
  if (!module->methods) return;
  for (uintptr_t i = 0; i < module->methodCount; ++i) {
    const REALmethodDefinition& rec = module->methods[i];
    MethodInfo m;
    m.text = orEmpty(rec.declaration);
    m.setter = rec.setterFunction;
    std::string why;
    auto d = parseDeclaration(m.text, &why);
    if (!d) {
      note(name + ": method \"" + m.text + "\": " + why);
      continue;
    }
    m.decl = std::move(*d);
    m.shared = !m.decl.extendsParam();
    planMethod(m, rec.function);
    ++registrationCount;
    // "extends ref as Class" makes a global method a member of that class.
    if (const Param* ext = m.decl.extendsParam()) {
      ClassInfo* target = findClass(ext->type.name);
      if (!target) {
        note(name + ": method \"" + m.text + "\" extends unknown class " + ext->type.name);
        continue;
      }
      target->methods.push_back(std::move(m));
    } else {
      mod->sharedMethods.push_back(std::move(m));
    }
  }
}

}  // namespace rt
