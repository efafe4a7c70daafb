// The probe plugin's class table: the plugin frame, built from the product's own
// objects, registering a class whose shared methods hand each frame helper to user
// code, and a `movie` extension made of the declarations whose conversion for the
// various hosts the tests check. Nothing here is part of the product.
#include <MacMemory.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "host/exceptions.h"
#include "host/framework.h"
#include "host/host.h"
#include "host/text.h"
#include "host/values.h"
#include "plugin/instance.h"
#include "plugin/member_records.h"
#include "plugin/registration.h"
#include "qt/qt.h"

extern REALclassDefinition FrameProbeClass;

namespace {

// 24 bytes on LP64, so registration has a size to round.
struct ProbeInstance {
  RBInteger count;
  REALstring label;
  RBInteger spare;
};
static_assert(sizeof(ProbeInstance) % 16 != 0);

ProbeInstance* Fields(REALobject object) { return InstanceData<ProbeInstance>(FrameProbeClass, object); }

void ProbeDestructor(REALobject object) {
  if (ProbeInstance* data = Fields(object)) REALUnlockString(data->label);
}

REALstring GetLabel(REALobject object, RBInteger) {
  ProbeInstance* data = Fields(object);
  REALLockString(data->label);  // the caller receives a reference of its own
  return data->label;
}

void SetLabel(REALobject object, RBInteger, REALstring value) {
  ProbeInstance* data = Fields(object);
  REALLockString(value);
  REALUnlockString(data->label);
  data->label = value;
}

RBInteger Twice(REALobject, RBInteger n) { return 2 * n; }

// ---- shared methods: one per frame helper ----

const void* BlockBytes(REALmemoryBlock block) { return block ? REALMemoryBlockGetPtr(block) : nullptr; }

REALmemoryBlock BlockOf(const void* bytes, RBInteger length) {
  return REALBuildMemoryblock(bytes, static_cast<int32_t>(length));
}

// A NUL-terminated copy of a host string's Mac Roman text.
std::string MacRomanText(REALstring s) {
  rbText text(s);
  const auto& form = text.MacRoman();
  return std::string(form.data, static_cast<size_t>(form.length));
}

REALstring BuildUnicodeString(REALmemoryBlock bytes, RBInteger length, RBInteger encoding) {
  return REALBuildUnicodeString(BlockBytes(bytes), length, static_cast<uint32_t>(encoding));
}

REALmemoryBlock BuildMemoryBlock(REALmemoryBlock bytes, RBInteger size) {
  return REALBuildMemoryblock(BlockBytes(bytes), static_cast<int32_t>(size));
}

RBInteger StringToOSType(REALstring s) { return REALstringToOSType(s); }

REALmemoryBlock SystemString(REALstring s) {
  Str255 out;
  std::memset(out, 0xAA, sizeof out);  // so bytes left unwritten show
  PutSystemString(out, s);
  return BlockOf(out, 1 + out[0]);
}

REALmemoryBlock HandleBytes(Handle handle) {
  if (!handle) return nullptr;
  REALmemoryBlock block = BlockOf(*handle, GetHandleSize(handle));
  DisposeHandle(handle);
  return block;
}

REALmemoryBlock HandleFromString(REALstring s) { return HandleBytes(NewHandleWithString(s)); }
REALmemoryBlock HandleFromMemory(REALmemoryBlock m) { return HandleBytes(NewHandleWithMemory(m)); }

// The form's units followed by its terminator, so tests see both.
REALmemoryBlock MacRomanForm(REALstring s) {
  rbText text(s);
  const auto& form = text.MacRoman();
  return BlockOf(form.data, form.length + 1);
}

REALmemoryBlock UTF16Form(REALstring s) {
  rbText text(s);
  const auto& form = text.UTF16();
  return BlockOf(form.data, (form.length + 1) * 2);
}

REALstring OSTypeText(RBInteger code) { return OSTypeToString(static_cast<OSType>(code)); }

void Raise(REALstring className, REALstring message) {
  const std::string name = MacRomanText(className);
  const std::string text = MacRomanText(message);
  RaiseException(name.c_str(), message ? text.c_str() : nullptr);
}

void RaiseOutOfBounds(RBInteger value, RBInteger count) { RaiseOutOfBoundsException(value, count); }

bool QuickTimeAvailable() { return !QuickTimeUnavailable(); }

RBInteger Int32FromDouble(double value) { return DoubleToInt32(value); }

// -1 when the Carbon framework cannot be reached.
RBInteger FontNumber(REALstring name) {
  auto getFNum = _GetFNum.get();
  if (!getFNum) return -1;
  Str255 pascal;
  PutSystemString(pascal, name);
  int16_t number = 0;
  getFNum(pascal, &number);
  return number;
}

REALstring FontName(RBInteger number) {
  auto getFontName = _GetFontName.get();
  if (!getFontName) return nullptr;
  Str255 name = {0};
  getFontName(static_cast<int16_t>(number), name);
  return REALBuildUnicodeString(name + 1, name[0], kREALEncodingMacRoman);
}

bool TextSizeAvailable() { return _TextSize.get() != nullptr; }

RBInteger MovieSupportResult() { return MyREALenterMoviesResult; }

void EnterPluginAgain() { REALPluginMain(gResolver); }

// Conversion helpers on input no class record of the plugin carries.
bool FixPropertiesOfNothing(RBInteger count) { return FixProperties(nullptr, static_cast<uintptr_t>(count)) == nullptr; }

REALstring ExtendDeclaration(REALstring declaration, REALstring className) {
  const std::string d = MacRomanText(declaration);
  const std::string c = MacRomanText(className);
  char* extended = AddClassParameter(d.c_str(), c.c_str());
  REALstring result = REALBuildUnicodeString(extended, static_cast<int64_t>(std::strlen(extended)), kREALEncodingMacRoman);
  std::free(extended);
  return result;
}

REALproperty kProbeProperties[] = {
    DirectProperty("Count", "Integer", offsetof(ProbeInstance, count)),
    AccessorProperty("Label", "String", &GetLabel, &SetLabel),
};

REALmethodDefinition kProbeMethods[] = {
    MethodRecord("Twice(n as integer) as integer", &Twice),
};

REALconstant kProbeConstants[] = {
    ConstantRecord("kProbeAnswer = 42"),
    ConstantRecord("kProbeCode = \"moov\""),
};

REALmethodDefinition kProbeSharedMethods[] = {
    MethodRecord("BuildUnicodeString(bytes as MemoryBlock, length as integer, encoding as integer) as String",
                 &BuildUnicodeString),
    MethodRecord("BuildMemoryBlock(bytes as MemoryBlock, size as integer) as MemoryBlock", &BuildMemoryBlock),
    MethodRecord("StringToOSType(s as String) as integer", &StringToOSType),
    MethodRecord("SystemString(s as String) as MemoryBlock", &SystemString),
    MethodRecord("HandleFromString(s as String) as MemoryBlock", &HandleFromString),
    MethodRecord("HandleFromMemory(m as MemoryBlock) as MemoryBlock", &HandleFromMemory),
    MethodRecord("MacRomanForm(s as String) as MemoryBlock", &MacRomanForm),
    MethodRecord("UTF16Form(s as String) as MemoryBlock", &UTF16Form),
    MethodRecord("OSTypeText(code as integer) as String", &OSTypeText),
    MethodRecord("Raise(className as String, message as String)", &Raise),
    MethodRecord("RaiseOutOfBounds(value as integer, count as integer)", &RaiseOutOfBounds),
    MethodRecord("QuickTimeAvailable() as Boolean", &QuickTimeAvailable),
    MethodRecord("Int32FromDouble(value as Double) as integer", &Int32FromDouble),
    MethodRecord("FontNumber(name as String) as integer", &FontNumber),
    MethodRecord("FontName(number as integer) as String", &FontName),
    MethodRecord("TextSizeAvailable() as Boolean", &TextSizeAvailable),
    MethodRecord("MovieSupportResult() as integer", &MovieSupportResult),
    MethodRecord("EnterPluginAgain()", &EnterPluginAgain),
    MethodRecord("FixPropertiesOfNothing(count as integer) as Boolean", &FixPropertiesOfNothing),
    MethodRecord("ExtendDeclaration(declaration as String, className as String) as String", &ExtendDeclaration),
};

REALclassDefinition ProbeRecord() {
  REALclassDefinition record = ClassRecord({.name = "FrameProbe",
                                            .dataSize = sizeof(ProbeInstance),
                                            .destructor = &ProbeDestructor,
                                            .properties = kProbeProperties,
                                            .methods = kProbeMethods,
                                            .constants = kProbeConstants});
  record.sharedMethods = kProbeSharedMethods;
  record.sharedMethodCount = sizeof kProbeSharedMethods / sizeof kProbeSharedMethods[0];
  return record;
}

// ---- the `movie` extension: declarations in each of the forms the module rewrites ----

double gPitch = 0.0;
bool gPreservePitch = false;

RBInteger TrackCount(REALmovie) { return 3; }
REALobject GetTrackIndex(REALmovie, RBInteger) { return nullptr; }
void DeleteTimeCodeTracks(REALmovie) {}
double GetPitch(REALmovie) { return gPitch; }
void SetPitch(REALmovie, double value) { gPitch = value; }
bool GetPreservePitch(REALmovie) { return gPreservePitch; }
void SetPreservePitch(REALmovie, bool value) { gPreservePitch = value; }

REALmethodDefinition kMovieMethods[] = {
    {MemberProc(&GetPreservePitch), MemberProc(&SetPreservePitch), "RateChangesPreservePitchZQK as Boolean", 0, {}},
    MethodRecord("TrackCountZQK as integer", &TrackCount),
    MethodRecord("GetTrackIndexZQK(index as integer) as FrameProbe", &GetTrackIndex),
    MethodRecord("DeleteTimeCodeTracksZQK", &DeleteTimeCodeTracks),
    {MemberProc(&GetPitch), MemberProc(&SetPitch), "PitchZQK as double", 0, {}},
};

REALclassDefinition MovieRecord() {
  REALclassDefinition record = ClassRecord({.name = "movie", .methods = kMovieMethods});
  return record;
}

}  // namespace

REALclassDefinition FrameProbeClass = ProbeRecord();
REALclassDefinition ProbeMovieExtensionClass = MovieRecord();

static REALclassDefinition* const kClasses[] = {
    &FrameProbeClass,
    nullptr,  // end of table
};

const PluginClassTable& PluginClasses() {
  static const PluginClassTable table = {kClasses, 1, &ProbeMovieExtensionClass};
  return table;
}
