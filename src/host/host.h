// Host services, reached through the resolver handed to REALPluginMain.
//
// Each wrapper resolves its entry on first use and keeps a non-null answer; a null
// answer is not kept, so the next call asks the host again. With no entry the
// wrapper does nothing and yields nil, 0 or false, which callers treat as failure.
#pragma once

#include <pelorin/sdk.h>

#include <QuickTime/Movies.h>

#include <cstdint>

// Entry signatures are the contract's (pelorin/sdk.h, "...Proc" types).

// ---- globals written by REALPluginMain, read everywhere else ----
extern REALResolver gResolver;
extern double rbversion;                    // the host version, e.g. 2013.04
extern int32_t CurrentREALControlVersion;   // record layout version, 9 to 13
extern const char* gpartname;               // "Pelorin"
extern int32_t MyREALenterMoviesResult;     // 999999 until movie support was started

constexpr int32_t kMoviesNotEntered = 999999;

// Resolves a host entry and caches it under the rule above. One per entry name.
template <typename Fn>
class HostEntry {
 public:
  constexpr explicit HostEntry(const char* name) : name_(name) {}
  Fn get() {
    if (!fn_ && gResolver) fn_ = reinterpret_cast<Fn>(gResolver(name_));
    return fn_;
  }
  const char* name() const { return name_; }

 private:
  const char* name_;
  Fn fn_ = nullptr;
};

// Resolved each time, never cached: only REALPluginMain asks for these.
REALproc REALResolveUncached(const char* name);

// ---- start-up and registration ----
bool REALinRuntime();
// Null when the host lacks the entry; the caller decides what that means.
bool REALenterMovies(RBInteger* result);
bool REALRegisterClass(REALclassDefinition* definition);
bool REALRegisterClassExtension(REALclassDefinition* definition);
bool REALRegisterModule(REALmoduleDefinition* module);

// ---- objects ----
REALobject REALnewInstance(const char* className);       // "PluginNewInstance"
REALclassRef REALGetClassRef(const char* className);     // "pluginObjectType"
// The QuickTime Movie behind a host movie object, or null.
Movie REALgetMovieMovie(REALmovie movie);                // "getMovieMovie"
void REALLockObject(REALobject object);
void REALUnlockObject(REALobject object);

// ---- strings ----
void REALLockString(REALstring string);
void REALUnlockString(REALstring string);
REALstring REALBuildString(const void* bytes, RBInteger length);
REALstring REALBuildStringWithEncoding(const void* bytes, RBInteger length, uint32_t encoding);
// kREALEncodingUnknown also when the host lacks the entry; `resolved` tells which.
uint32_t REALGetStringEncoding(REALstring string, bool* resolved = nullptr);
void REALSetStringEncoding(REALstring string, uint32_t encoding);
REALstring REALConvertString(REALstring string, uint32_t encoding);
const char* StringGetCString(REALstring string);
// A host-language function by declaration, e.g. "LenB( s as string ) as integer".
REALproc REALLoadFrameworkMethod(const char* declaration);  // "REALLoadGlobalMethod"
bool PluginGetStringData(REALstring string, uint32_t encoding, REALstringData* out);
void PluginDisposeStringData(REALstringData* data);
// The host language's LenB of the string, through REALLoadFrameworkMethod; false
// when the host cannot provide it.
bool REALStringLenB(REALstring string, RBInteger* length);
// A string's own bytes, read in place; the caller holds a lock while it uses them.
// Null with length 0 for nil or when the host cannot say.
const char* REALGetStringContents(REALstring string, RBInteger* length);

// ---- memory blocks ----
REALmemoryBlock REALNewMemoryBlockOriginal(RBInteger size);  // "newMemoryBlock"
void* REALMemoryBlockGetPtr(REALmemoryBlock block);           // "memoryBlockGetPtr"
// 0 also when the host lacks the entry; `resolved` tells which.
RBInteger REALMemoryBlockGetSize(REALmemoryBlock block, bool* resolved = nullptr);  // "memoryBlockGetSize"

// ---- exceptions and properties by name ----
void REALRaiseException(REALobject exception);               // "RuntimeRaiseException"
bool REALSetPropValueString(REALobject object, const char* property, REALstring value);
// Tries "REALSetPropValueInteger", then "REALSetPropValueInt".
bool REALSetPropValueInteger(REALobject object, const char* property, RBInteger value);
bool REALGetPropValueBoolean(REALobject object, const char* property, bool* value);  // "REALGetPropValueBool"

// ---- arrays ----
RBInteger REALGetArrayUBound(REALarray array);                      // "RuntimeUBound"
// "RuntimeDirectReadObjectArray"; the element comes locked, the caller releases it.
REALobject REALGetArrayObject(REALobjectArray array, RBInteger index);

// Folder items ("FolderItemFromFSSpec", "REALFSRefFromFolderItem") and pictures
// ("newPicture", "REALBuildPictureFromBuffer", "lockPictureDescription",
// "REALLockPictureDescription", "unlockPictureDescription", "REALPictureClearCache")
// join this list with the members that use them.
