// Host entry-point wrappers.
#include "host/host.h"

namespace {

// Raw entry signatures, as the host exports them.
using InRuntimeFn = bool (*)();
using EnterMoviesFn = RBInteger (*)();
using RegisterClassFn = void (*)(REALclassDefinition*);
using RegisterModuleFn = void (*)(REALmoduleDefinition*);
using NewInstanceFn = REALobject (*)(const char*);
using ObjectTypeFn = REALclassRef (*)(const char*);
using MovieMovieFn = void* (*)(REALmovie);
using ObjectFn = void (*)(REALobject);
using StringFn = void (*)(REALstring);
using BuildStringFn = REALstring (*)(const void*, RBInteger);
using BuildStringWithEncodingFn = REALstring (*)(const void*, RBInteger, uint32_t);
using GetEncodingFn = uint32_t (*)(REALstring);
using SetEncodingFn = void (*)(REALstring, uint32_t);
using ConvertStringFn = REALstring (*)(REALstring, uint32_t);
using CStringFn = const char* (*)(REALstring);
using LoadGlobalMethodFn = REALproc (*)(const char*, const char*);
using GetStringDataFn = bool (*)(REALstring, uint32_t, REALstringData*);
using DisposeStringDataFn = void (*)(REALstringData*);
using NewMemoryBlockFn = REALmemoryBlock (*)(RBInteger);
using MemoryBlockPtrFn = void* (*)(REALmemoryBlock);
using MemoryBlockSizeFn = RBInteger (*)(REALmemoryBlock);
using SetPropStringFn = bool (*)(REALobject, const char*, REALstring);
using SetPropIntegerFn = bool (*)(REALobject, const char*, RBInteger);
using GetPropBoolFn = bool (*)(REALobject, const char*, RBBoolean*);
using UBoundFn = RBInteger (*)(REALarray);
using ReadObjectArrayFn = REALobject (*)(REALobjectArray, RBInteger);
using LenBFn = RBInteger (*)(REALstring);

HostEntry<InRuntimeFn> inRuntime("REALinRuntime");
HostEntry<EnterMoviesFn> enterMovies("REALenterMovies");
HostEntry<RegisterClassFn> registerClass("PluginRegisterClass");
HostEntry<RegisterClassFn> registerClassExtension("PluginRegisterClassExtension");
HostEntry<RegisterModuleFn> registerModule("PluginRegisterModule");
HostEntry<NewInstanceFn> newInstance("PluginNewInstance");
HostEntry<ObjectTypeFn> objectType("pluginObjectType");
HostEntry<MovieMovieFn> movieMovie("getMovieMovie");
HostEntry<ObjectFn> lockObject("REALLockObject");
HostEntry<ObjectFn> unlockObject("REALUnlockObject");
HostEntry<StringFn> lockString("REALLockString");
HostEntry<StringFn> unlockString("REALUnlockString");
HostEntry<BuildStringFn> buildString("REALBuildString");
HostEntry<BuildStringWithEncodingFn> buildStringWithEncoding("REALBuildStringWithEncoding");
HostEntry<GetEncodingFn> getStringEncoding("REALGetStringEncoding");
HostEntry<SetEncodingFn> setStringEncoding("REALSetStringEncoding");
HostEntry<ConvertStringFn> convertString("REALConvertString");
HostEntry<CStringFn> stringGetCString("StringGetCString");
HostEntry<LoadGlobalMethodFn> loadGlobalMethod("REALLoadGlobalMethod");
HostEntry<GetStringDataFn> getStringData("PluginGetStringData");
HostEntry<DisposeStringDataFn> disposeStringData("PluginDisposeStringData");
HostEntry<NewMemoryBlockFn> newMemoryBlock("newMemoryBlock");
HostEntry<MemoryBlockPtrFn> memoryBlockGetPtr("memoryBlockGetPtr");
HostEntry<MemoryBlockSizeFn> memoryBlockGetSize("memoryBlockGetSize");
HostEntry<ObjectFn> raiseException("RuntimeRaiseException");
HostEntry<SetPropStringFn> setPropValueString("REALSetPropValueString");
HostEntry<SetPropIntegerFn> setPropValueInteger("REALSetPropValueInteger");
HostEntry<SetPropIntegerFn> setPropValueInt("REALSetPropValueInt");
HostEntry<GetPropBoolFn> getPropValueBool("REALGetPropValueBool");
HostEntry<UBoundFn> arrayUBound("RuntimeUBound");
HostEntry<ReadObjectArrayFn> readObjectArray("RuntimeDirectReadObjectArray");

// The host-language LenB, found once through the host and kept.
LenBFn lenB = nullptr;

}  // namespace

REALproc REALResolveUncached(const char* name) { return gResolver ? gResolver(name) : nullptr; }

bool REALinRuntime() {
  auto fn = inRuntime.get();
  return fn && fn();
}

bool REALenterMovies(RBInteger* result) {
  auto fn = enterMovies.get();
  if (!fn) return false;
  *result = fn();
  return true;
}

bool REALRegisterClass(REALclassDefinition* definition) {
  auto fn = registerClass.get();
  if (fn) fn(definition);
  return fn != nullptr;
}

bool REALRegisterClassExtension(REALclassDefinition* definition) {
  auto fn = registerClassExtension.get();
  if (fn) fn(definition);
  return fn != nullptr;
}

bool REALRegisterModule(REALmoduleDefinition* module) {
  auto fn = registerModule.get();
  if (fn) fn(module);
  return fn != nullptr;
}

REALobject REALnewInstance(const char* className) {
  auto fn = newInstance.get();
  return fn ? fn(className) : nullptr;
}

REALclassRef REALGetClassRef(const char* className) {
  auto fn = objectType.get();
  return fn ? fn(className) : nullptr;
}

void* REALgetMovieMovie(REALmovie movie) {
  if (!movie) return nullptr;
  auto fn = movieMovie.get();
  return fn ? fn(movie) : nullptr;
}

void REALLockObject(REALobject object) {
  if (!object) return;
  if (auto fn = lockObject.get()) fn(object);
}

void REALUnlockObject(REALobject object) {
  if (!object) return;
  if (auto fn = unlockObject.get()) fn(object);
}

void REALLockString(REALstring string) {
  if (!string) return;
  if (auto fn = lockString.get()) fn(string);
}

void REALUnlockString(REALstring string) {
  if (!string) return;
  if (auto fn = unlockString.get()) fn(string);
}

REALstring REALBuildString(const void* bytes, RBInteger length) {
  auto fn = buildString.get();
  return fn ? fn(bytes, length) : nullptr;
}

REALstring REALBuildStringWithEncoding(const void* bytes, RBInteger length, uint32_t encoding) {
  auto fn = buildStringWithEncoding.get();
  return fn ? fn(bytes, length, encoding) : nullptr;
}

uint32_t REALGetStringEncoding(REALstring string, bool* resolved) {
  auto fn = getStringEncoding.get();
  if (resolved) *resolved = fn != nullptr;
  return fn && string ? fn(string) : kREALEncodingUnknown;
}

void REALSetStringEncoding(REALstring string, uint32_t encoding) {
  if (!string) return;
  if (auto fn = setStringEncoding.get()) fn(string, encoding);
}

REALstring REALConvertString(REALstring string, uint32_t encoding) {
  auto fn = convertString.get();
  return fn ? fn(string, encoding) : nullptr;
}

const char* StringGetCString(REALstring string) {
  if (!string) return nullptr;
  auto fn = stringGetCString.get();
  return fn ? fn(string) : nullptr;
}

REALproc REALLoadFrameworkMethod(const char* declaration) {
  auto fn = loadGlobalMethod.get();
  return fn ? fn(nullptr, declaration) : nullptr;
}

bool PluginGetStringData(REALstring string, uint32_t encoding, REALstringData* out) {
  auto fn = getStringData.get();
  return fn && fn(string, encoding, out);
}

void PluginDisposeStringData(REALstringData* data) {
  if (auto fn = disposeStringData.get()) fn(data);
}

const char* REALGetStringContents(REALstring string, RBInteger* length) {
  *length = 0;
  if (!string) return nullptr;
  const char* data = nullptr;
  RBInteger n = 0;
  if (rbversion >= 2016.0) {
    // Newer hosts no longer lay strings out as records; ask the host language.
    data = StringGetCString(string);
    if (data && !REALStringLenB(string, &n)) n = 0;
  } else {
    auto* record = reinterpret_cast<const REALstringRecordV9*>(string);
    data = record->bytesMinusOne ? record->bytesMinusOne + 1 : nullptr;
    n = static_cast<RBInteger>(record->length);
  }
  if (!data || n <= 0) return data;
  *length = n;
  return data;
}

bool REALStringLenB(REALstring string, RBInteger* length) {
  if (!lenB) lenB = reinterpret_cast<LenBFn>(REALLoadFrameworkMethod("LenB( s as string ) as integer"));
  if (!lenB) return false;
  *length = lenB(string);
  return true;
}

REALmemoryBlock REALNewMemoryBlockOriginal(RBInteger size) {
  auto fn = newMemoryBlock.get();
  return fn ? fn(size) : nullptr;
}

void* REALMemoryBlockGetPtr(REALmemoryBlock block) {
  if (!block) return nullptr;
  auto fn = memoryBlockGetPtr.get();
  return fn ? fn(block) : nullptr;
}

RBInteger REALMemoryBlockGetSize(REALmemoryBlock block) {
  if (!block) return 0;
  auto fn = memoryBlockGetSize.get();
  return fn ? fn(block) : 0;
}

void REALRaiseException(REALobject exception) {
  if (!exception) return;
  if (auto fn = raiseException.get()) fn(exception);
}

bool REALSetPropValueString(REALobject object, const char* property, REALstring value) {
  auto fn = setPropValueString.get();
  return fn && object && fn(object, property, value);
}

bool REALSetPropValueInteger(REALobject object, const char* property, RBInteger value) {
  // Older hosts export the same service under the shorter name.
  auto fn = setPropValueInteger.get();
  if (!fn) fn = setPropValueInt.get();
  return fn && object && fn(object, property, value);
}

bool REALGetPropValueBoolean(REALobject object, const char* property, bool* value) {
  *value = false;
  auto fn = getPropValueBool.get();
  if (!fn || !object) return false;
  // Wide enough for a host writing a byte, a 32-bit Boolean or a word.
  RBInteger out = 0;
  if (!fn(object, property, reinterpret_cast<RBBoolean*>(&out))) return false;
  *value = out != 0;
  return true;
}

RBInteger REALGetArrayUBound(REALarray array) {
  auto fn = arrayUBound.get();
  return fn && array ? fn(array) : -1;
}

REALobject REALGetArrayObject(REALobjectArray array, RBInteger index) {
  auto fn = readObjectArray.get();
  return fn && array ? fn(array, index) : nullptr;
}
