// Host entry-point wrappers.
#include "host/host.h"

namespace {

HostEntry<REALinRuntimeProc> inRuntime("REALinRuntime");
HostEntry<REALenterMoviesProc> enterMovies("REALenterMovies");
HostEntry<PluginRegisterClassProc> registerClass("PluginRegisterClass");
HostEntry<PluginRegisterClassExtensionProc> registerClassExtension("PluginRegisterClassExtension");
HostEntry<PluginRegisterModuleProc> registerModule("PluginRegisterModule");
HostEntry<PluginNewInstanceProc> newInstance("PluginNewInstance");
HostEntry<pluginObjectTypeProc> objectType("pluginObjectType");
HostEntry<getMovieMovieProc> movieMovie("getMovieMovie");
HostEntry<REALLockObjectProc> lockObject("REALLockObject");
HostEntry<REALUnlockObjectProc> unlockObject("REALUnlockObject");
HostEntry<REALLockStringProc> lockString("REALLockString");
HostEntry<REALUnlockStringProc> unlockString("REALUnlockString");
HostEntry<REALBuildStringProc> buildString("REALBuildString");
HostEntry<REALBuildStringWithEncodingProc> buildStringWithEncoding("REALBuildStringWithEncoding");
HostEntry<REALGetStringEncodingProc> getStringEncoding("REALGetStringEncoding");
HostEntry<REALSetStringEncodingProc> setStringEncoding("REALSetStringEncoding");
HostEntry<REALConvertStringProc> convertString("REALConvertString");
HostEntry<StringGetCStringProc> stringGetCString("StringGetCString");
HostEntry<REALLoadGlobalMethodProc> loadGlobalMethod("REALLoadGlobalMethod");
HostEntry<PluginGetStringDataProc> getStringData("PluginGetStringData");
HostEntry<PluginDisposeStringDataProc> disposeStringData("PluginDisposeStringData");
HostEntry<newMemoryBlockProc> newMemoryBlock("newMemoryBlock");
HostEntry<memoryBlockGetPtrProc> memoryBlockGetPtr("memoryBlockGetPtr");
HostEntry<memoryBlockGetSizeProc> memoryBlockGetSize("memoryBlockGetSize");
HostEntry<RuntimeRaiseExceptionProc> raiseException("RuntimeRaiseException");
HostEntry<REALSetPropValueStringProc> setPropValueString("REALSetPropValueString");
HostEntry<REALSetPropValueIntegerProc> setPropValueInteger("REALSetPropValueInteger");
HostEntry<REALSetPropValueIntegerProc> setPropValueInt("REALSetPropValueInt");
HostEntry<REALGetPropValueBoolProc> getPropValueBool("REALGetPropValueBool");
HostEntry<RuntimeUBoundProc> arrayUBound("RuntimeUBound");
HostEntry<RuntimeDirectReadObjectArrayProc> readObjectArray("RuntimeDirectReadObjectArray");

// The host-language LenB, found once through the host and kept.
REALLenBProc lenB = nullptr;

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

Movie REALgetMovieMovie(REALmovie movie) {
  if (!movie) return nullptr;
  auto fn = movieMovie.get();
  return fn ? static_cast<Movie>(fn(movie)) : nullptr;
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
  return fn ? fn(static_cast<const char*>(bytes), length) : nullptr;
}

REALstring REALBuildStringWithEncoding(const void* bytes, RBInteger length, uint32_t encoding) {
  auto fn = buildStringWithEncoding.get();
  return fn ? fn(static_cast<const char*>(bytes), length, encoding) : nullptr;
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
  if (!lenB) lenB = reinterpret_cast<REALLenBProc>(REALLoadFrameworkMethod("LenB( s as string ) as integer"));
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

RBInteger REALMemoryBlockGetSize(REALmemoryBlock block, bool* resolved) {
  auto fn = memoryBlockGetSize.get();
  if (resolved) *resolved = fn != nullptr;
  return fn && block ? fn(block) : 0;
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
  return fn(object, property, value);
}

RBInteger REALGetArrayUBound(REALarray array) {
  auto fn = arrayUBound.get();
  return fn && array ? fn(array) : 0;
}

REALobject REALGetArrayObject(REALobjectArray array, RBInteger index) {
  auto fn = readObjectArray.get();
  return fn && array ? fn(array, index) : nullptr;
}
