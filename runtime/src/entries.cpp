// The host entry points, and the one table the resolver answers from.
//
// Each entry finds its runtime through the current-runtime pointer, counts the
// call under the name the plugin asked for, and never lets a C++ exception out:
// the plugin's frames are C. The one exception is the std::bad_alloc a test asks
// for with Config::failingStringBuilds, which the plugin catches where it builds strings.
#include <Files.h>
#include <MacErrors.h>

#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>

#include "internal.h"
#include "pictures.h"

namespace rt {

namespace {

Impl* enter(const char* name) {
  Impl* impl = currentImpl();
  if (impl) ++impl->entryCalls[name];
  return impl;
}

// Runs an entry's body; a failure inside the runtime becomes the entry's
// failure value and a note.
template <typename R, typename F>
R guarded(Impl* impl, const char* name, R failure, F&& body) {
  if (!impl) return failure;
  try {
    return body();
  } catch (const std::exception& e) {
    impl->note(std::string(name) + ": " + e.what());
    return failure;
  }
}

// ---- start-up and registration ----

double eREALGetRBVersion() {
  Impl* I = enter("REALGetRBVersion");
  return I && I->config.hostVersion ? *I->config.hostVersion : 0.0;
}

void eRegisterPluginVersion(int32_t version) {
  if (Impl* I = enter("RegisterPluginVersion")) I->pluginVersion = version;
}

bool eREALinRuntime() {
  Impl* I = enter("REALinRuntime");
  return I && I->config.compiledApplication;
}

RBInteger eREALenterMovies() {
  enter("REALenterMovies");
  return 0;
}

void ePluginRegisterClass(REALclassDefinition* def) {
  Impl* I = enter("PluginRegisterClass");
  guarded(I, "PluginRegisterClass", 0, [&] { return I->registerClass(def, false), 0; });
}

void ePluginRegisterClassExtension(REALclassDefinition* def) {
  Impl* I = enter("PluginRegisterClassExtension");
  guarded(I, "PluginRegisterClassExtension", 0, [&] { return I->registerClass(def, true), 0; });
}

void ePluginRegisterModule(REALmoduleDefinition* module) {
  Impl* I = enter("PluginRegisterModule");
  guarded(I, "PluginRegisterModule", 0, [&] { return I->registerModule(module), 0; });
}

// ---- objects ----

REALobject ePluginNewInstance(const char* className) {
  Impl* I = enter("PluginNewInstance");
  return guarded(I, "PluginNewInstance", REALobject(nullptr), [&]() -> REALobject {
    if (!className) return nullptr;
    if (I->config.refusedInstanceClasses.count(className)) return nullptr;
    ClassInfo* cls = I->findClass(className);
    if (!cls) return nullptr;
    switch (cls->builtin) {
      case Builtin::MemoryBlock: return I->newMemoryBlock(0);
      case Builtin::Movie: return I->newMovie(nullptr, false);
      case Builtin::Array: return I->newArray({});
      case Builtin::FolderItem: return I->newFolderItem("");
      case Builtin::Module:
      case Builtin::Picture:  // pictures come from "newPicture"
      case Builtin::Application: return nullptr;
      default: return I->newInstance(cls);
    }
  });
}

REALclassRef epluginObjectType(const char* className) {
  Impl* I = enter("pluginObjectType");
  if (!I || !className) return nullptr;
  ClassInfo* cls = I->findClass(className);
  return cls && cls->builtin != Builtin::Module ? reinterpret_cast<REALclassRef>(cls) : nullptr;
}

void eREALLockObject(REALobject o) {
  Impl* I = enter("REALLockObject");
  if (I && o) I->lockObject(o);
}

void eREALUnlockObject(REALobject o) {
  Impl* I = enter("REALUnlockObject");
  if (I && o) I->unlockObject(o);
}

void eRuntimeRaiseException(REALobject exception) {
  Impl* I = enter("RuntimeRaiseException");
  if (I && exception) I->raise(exception);
}

// ---- properties by name ----

template <typename Make>
bool setByName(Impl* I, const char* entry, REALobject o, const char* property, Make&& make) {
  return guarded(I, entry, false, [&] {
    ObjectRecord* r = I->liveObject(o, entry);
    if (!r || !property) return false;
    const PropertyInfo* p = I->findProperty(r->cls, property);
    if (!p) return false;
    I->setProperty(*r, *p, make());
    return true;
  });
}

bool eREALSetPropValueString(REALobject o, const char* property, REALstring value) {
  Impl* I = enter("REALSetPropValueString");
  return setByName(I, "REALSetPropValueString", o, property, [&] {
    if (value && !I->liveString(value, "REALSetPropValueString")) throw std::invalid_argument("bad string");
    return Value::retainString(I->runtime, value);
  });
}

bool eREALSetPropValueInteger(REALobject o, const char* property, RBInteger value) {
  Impl* I = enter("REALSetPropValueInteger");
  return setByName(I, "REALSetPropValueInteger", o, property, [&] { return Value::integer(value); });
}

bool eREALSetPropValueInt(REALobject o, const char* property, RBInteger value) {
  Impl* I = enter("REALSetPropValueInt");
  return setByName(I, "REALSetPropValueInt", o, property, [&] { return Value::integer(value); });
}

bool eREALGetPropValueBool(REALobject o, const char* property, bool* out) {
  Impl* I = enter("REALGetPropValueBool");
  return guarded(I, "REALGetPropValueBool", false, [&] {
    ObjectRecord* r = I->liveObject(o, "REALGetPropValueBool");
    if (!r || !property || !out) return false;
    const PropertyInfo* p = I->findProperty(r->cls, property);
    if (!p || p->type.ctype != CType::Boolean) return false;
    *out = I->getProperty(*r, *p).asBoolean();
    return true;
  });
}

// ---- strings ----

void eREALLockString(REALstring s) {
  Impl* I = enter("REALLockString");
  if (I && s) I->lockString(s);
}

void eREALUnlockString(REALstring s) {
  Impl* I = enter("REALUnlockString");
  if (I && s) I->unlockString(s);
}

// Out of memory reaches the caller as the allocator reports it, not as a nil string.
void spendStringFailure(Impl* I) {
  if (I && I->config.failingStringBuilds > 0) {
    --I->config.failingStringBuilds;
    throw std::bad_alloc();
  }
}

REALstring build(Impl* I, const char* entry, const char* bytes, RBInteger length, uint32_t encoding) {
  spendStringFailure(I);
  return guarded(I, entry, REALstring(nullptr), [&]() -> REALstring {
    if (length < 0 || (!bytes && length > 0)) return nullptr;
    return I->buildString(std::string_view(bytes ? bytes : "", static_cast<size_t>(length)), encoding);
  });
}

REALstring eREALBuildString(const char* bytes, RBInteger length) {
  Impl* I = enter("REALBuildString");
  return build(I, "REALBuildString", bytes, length, kREALEncodingUnknown);
}

REALstring eREALBuildStringWithEncoding(const char* bytes, RBInteger length, uint32_t encoding) {
  Impl* I = enter("REALBuildStringWithEncoding");
  return build(I, "REALBuildStringWithEncoding", bytes, length, encoding);
}

uint32_t eREALGetStringEncoding(REALstring s) {
  Impl* I = enter("REALGetStringEncoding");
  StringRecord* r = I ? I->liveString(s, "REALGetStringEncoding") : nullptr;
  return r ? r->encoding : kREALEncodingUnknown;
}

void eREALSetStringEncoding(REALstring s, uint32_t encoding) {
  Impl* I = enter("REALSetStringEncoding");
  if (StringRecord* r = I ? I->liveString(s, "REALSetStringEncoding") : nullptr) r->encoding = encoding;
}

REALstring eREALConvertString(REALstring s, uint32_t encoding) {
  Impl* I = enter("REALConvertString");
  spendStringFailure(I);
  return guarded(I, "REALConvertString", REALstring(nullptr), [&]() -> REALstring {
    StringRecord* r = I->liveString(s, "REALConvertString");
    if (!r) return nullptr;
    auto out = I->convert(*r, encoding);
    return out ? I->buildString(*out, encoding) : nullptr;
  });
}

const char* eStringGetCString(REALstring s) {
  Impl* I = enter("StringGetCString");
  StringRecord* r = I ? I->liveString(s, "StringGetCString") : nullptr;
  return r ? r->record.bytesMinusOne + 1 : nullptr;
}

// The host-language function "LenB( s as string ) as integer".
RBInteger hostLenB(REALstring s) {
  Impl* I = enter("LenB");
  StringRecord* r = I ? I->liveString(s, "LenB") : nullptr;
  return r ? static_cast<RBInteger>(r->record.length) : 0;
}

// Declarations compare as the host compares them: without regard to case or
// spacing.
std::string squeeze(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p)
    if (*p != ' ' && *p != '\t') out += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return out;
}

REALproc eREALLoadGlobalMethod(const char* module, const char* declaration) {
  Impl* I = enter("REALLoadGlobalMethod");
  if (!I || module || !declaration) return nullptr;
  if (squeeze(declaration) == "lenb(sasstring)asinteger") return reinterpret_cast<REALproc>(&hostLenB);
  return nullptr;
}

bool ePluginGetStringData(REALstring s, uint32_t encoding, REALstringData* out) {
  Impl* I = enter("PluginGetStringData");
  return guarded(I, "PluginGetStringData", false, [&] {
    if (!out) return false;
    StringRecord* r = I->liveString(s, "PluginGetStringData");
    if (!r) return false;
    auto converted = I->convert(*r, encoding);
    if (!converted) return false;
    // Four zero bytes after the text terminate it in any unit width.
    auto buffer = std::make_unique<char[]>(converted->size() + 4);
    std::memset(buffer.get(), 0, converted->size() + 4);
    std::memcpy(buffer.get(), converted->data(), converted->size());
    out->data = buffer.get();
    out->length = static_cast<RBInteger>(converted->size());
    out->encoding = encoding;
    out->hostPrivate = buffer.get();
    I->stringData.emplace(buffer.get(), std::move(buffer));
    return true;
  });
}

void ePluginDisposeStringData(REALstringData* data) {
  Impl* I = enter("PluginDisposeStringData");
  if (!I || !data) return;
  auto it = I->stringData.find(data->hostPrivate);
  if (it == I->stringData.end()) {
    ++I->overReleases;
    I->note("PluginDisposeStringData: a record that is not outstanding");
    return;
  }
  I->stringData.erase(it);
  data->data = nullptr;
  data->length = 0;
  data->hostPrivate = nullptr;
}

// ---- memory blocks, arrays, movies ----

REALmemoryBlock enewMemoryBlock(RBInteger size) {
  Impl* I = enter("newMemoryBlock");
  return guarded(I, "newMemoryBlock", REALmemoryBlock(nullptr), [&] { return I->newMemoryBlock(size); });
}

ObjectRecord* builtinOf(Impl* I, REALobject o, Builtin kind, const char* entry) {
  ObjectRecord* r = I ? I->liveObject(o, entry) : nullptr;
  if (r && r->cls->builtin != kind) {
    I->note(std::string(entry) + ": an object of class " + r->cls->name);
    return nullptr;
  }
  return r;
}

void* ememoryBlockGetPtr(REALmemoryBlock block) {
  Impl* I = enter("memoryBlockGetPtr");
  ObjectRecord* r = builtinOf(I, block, Builtin::MemoryBlock, "memoryBlockGetPtr");
  // A block of size 0 still has an address, as the host's do.
  return r ? (r->bytes.empty() ? static_cast<void*>(r->memory + kHeaderSize) : r->bytes.data()) : nullptr;
}

RBInteger ememoryBlockGetSize(REALmemoryBlock block) {
  Impl* I = enter("memoryBlockGetSize");
  ObjectRecord* r = builtinOf(I, block, Builtin::MemoryBlock, "memoryBlockGetSize");
  return r ? static_cast<RBInteger>(r->bytes.size()) : 0;
}

RBInteger eRuntimeUBound(REALarray array) {
  Impl* I = enter("RuntimeUBound");
  ObjectRecord* r = builtinOf(I, array, Builtin::Array, "RuntimeUBound");
  return r ? static_cast<RBInteger>(r->elements.size()) - 1 : -1;
}

REALobject eRuntimeDirectReadObjectArray(REALarray array, RBInteger index) {
  Impl* I = enter("RuntimeDirectReadObjectArray");
  ObjectRecord* r = builtinOf(I, array, Builtin::Array, "RuntimeDirectReadObjectArray");
  if (!r || index < 0 || static_cast<size_t>(index) >= r->elements.size()) return nullptr;
  REALobject e = r->elements[static_cast<size_t>(index)];
  if (e) I->lockObject(e);  // the caller releases each element it reads
  return e;
}

void* egetMovieMovie(REALmovie movie) {
  Impl* I = enter("getMovieMovie");
  ObjectRecord* r = builtinOf(I, movie, Builtin::Movie, "getMovieMovie");
  return r ? r->movie : nullptr;
}

// ---- folder items ----

REALfolderItem eFolderItemFromFSSpec(const FSSpec* fsSpec) {
  Impl* I = enter("FolderItemFromFSSpec");
  return guarded(I, "FolderItemFromFSSpec", REALfolderItem(nullptr), [&]() -> REALfolderItem {
    if (!fsSpec) return nullptr;
    size_t n = strnlen(fsSpec->path, sizeof fsSpec->path);
    if (n == 0 || n == sizeof fsSpec->path) return nullptr;
    return I->newFolderItem(std::string(fsSpec->path, n));
  });
}

// Like the File Manager's FSRef, only an existing item can be named.
bool eREALFSRefFromFolderItem(REALfolderItem item, FSRef* ref, void*) {
  Impl* I = enter("REALFSRefFromFolderItem");
  ObjectRecord* r = builtinOf(I, item, Builtin::FolderItem, "REALFSRefFromFolderItem");
  if (!r || !ref) return false;
  Boolean isDirectory = false;
  return FSPathMakeRef(reinterpret_cast<const UInt8*>(r->path.c_str()), ref, &isDirectory) == noErr;
}

// ---- the table ----

struct Entry {
  const char* name;
  REALproc function;
  bool (*offered)(const Impl&);  // null: always
};

template <typename F>
REALproc proc(F* f) {
  return reinterpret_cast<REALproc>(f);
}

bool hasVersion(const Impl& impl) { return impl.config.hostVersion.has_value(); }

// The picture entries live with the pictures (pictures.cpp).
const Entry kEntries[] = {
    {"REALGetRBVersion", proc(eREALGetRBVersion), hasVersion},
    {"RegisterPluginVersion", proc(eRegisterPluginVersion), nullptr},
    {"REALinRuntime", proc(eREALinRuntime), nullptr},
    {"REALenterMovies", proc(eREALenterMovies), nullptr},
    {"PluginRegisterClass", proc(ePluginRegisterClass), nullptr},
    {"PluginRegisterClassExtension", proc(ePluginRegisterClassExtension), nullptr},
    {"PluginRegisterModule", proc(ePluginRegisterModule), nullptr},
    {"PluginNewInstance", proc(ePluginNewInstance), nullptr},
    {"pluginObjectType", proc(epluginObjectType), nullptr},
    {"getMovieMovie", proc(egetMovieMovie), nullptr},
    {"REALLockObject", proc(eREALLockObject), nullptr},
    {"REALUnlockObject", proc(eREALUnlockObject), nullptr},
    {"REALLockString", proc(eREALLockString), nullptr},
    {"REALUnlockString", proc(eREALUnlockString), nullptr},
    {"REALBuildString", proc(eREALBuildString), nullptr},
    {"REALBuildStringWithEncoding", proc(eREALBuildStringWithEncoding), nullptr},
    {"REALGetStringEncoding", proc(eREALGetStringEncoding), nullptr},
    {"REALSetStringEncoding", proc(eREALSetStringEncoding), nullptr},
    {"REALConvertString", proc(eREALConvertString), nullptr},
    {"StringGetCString", proc(eStringGetCString), nullptr},
    {"REALLoadGlobalMethod", proc(eREALLoadGlobalMethod), nullptr},
    {"PluginGetStringData", proc(ePluginGetStringData), nullptr},
    {"PluginDisposeStringData", proc(ePluginDisposeStringData), nullptr},
    {"newMemoryBlock", proc(enewMemoryBlock), nullptr},
    {"memoryBlockGetPtr", proc(ememoryBlockGetPtr), nullptr},
    {"memoryBlockGetSize", proc(ememoryBlockGetSize), nullptr},
    {"RuntimeRaiseException", proc(eRuntimeRaiseException), nullptr},
    {"REALSetPropValueString", proc(eREALSetPropValueString), nullptr},
    {"REALSetPropValueInteger", proc(eREALSetPropValueInteger), nullptr},
    {"REALSetPropValueInt", proc(eREALSetPropValueInt), nullptr},
    {"REALGetPropValueBool", proc(eREALGetPropValueBool), nullptr},
    {"RuntimeUBound", proc(eRuntimeUBound), nullptr},
    {"RuntimeDirectReadObjectArray", proc(eRuntimeDirectReadObjectArray), nullptr},
    {"FolderItemFromFSSpec", proc(eFolderItemFromFSSpec), nullptr},
    {"REALFSRefFromFolderItem", proc(eREALFSRefFromFolderItem), nullptr},
};

}  // namespace

REALproc resolveEntry(const char* name) {
  Impl* impl = currentImpl();
  if (!impl || !name) return nullptr;
  const std::string_view wanted(name);
  if (auto it = impl->resolverQueries.find(wanted); it != impl->resolverQueries.end()) ++it->second;
  else impl->resolverQueries.emplace(wanted, 1);
  if (!impl->config.refusedEntries.empty() && impl->config.refusedEntries.count(name)) return nullptr;
  // Plugins may resolve an entry on every use: find it without a scan.
  static const auto* byName = [] {
    auto* m = new std::unordered_map<std::string_view, const Entry*>();
    for (const Entry& e : kEntries) m->emplace(e.name, &e);
    return m;
  }();
  if (auto it = byName->find(wanted); it != byName->end())
    return !it->second->offered || it->second->offered(*impl) ? it->second->function : nullptr;
  return pictureEntry(name);
}

}  // namespace rt
