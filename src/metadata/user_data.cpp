// QTUserDataZQK. An object either borrows the list QuickTime keeps for a movie
// or track, or owns one it made itself (Release true); only an owned list is
// ever disposed of. Movie Toolbox results land in Lasterror, -1 when no call
// could be made; nothing here raises.
#include "metadata/user_data.h"

#include <QuickTime/Movies.h>

#include <cstddef>

#include "host/host.h"
#include "host/values.h"
#include "plugin/instance.h"
#include "plugin/member_records.h"
#include "plugin/members.h"
#include "qt/qt.h"
#include "track/track.h"

namespace {

UserDataInstance* Fields(REALobject instance) {
  return InstanceData<UserDataInstance>(QTUserDataZQKClass, instance);
}

// Regions are QuickTime's 16-bit script region codes.
short Region(RBInteger region) { return static_cast<short>(region); }

void UserDataConstructor(REALobject instance) {
  if (UserDataInstance* data = Fields(instance)) data->tag = UserDataInstance::kTag;
}

// Also registered as Close, so a second run must find nothing left to dispose.
void UserDataDestructor(REALobject instance) {
  UserDataInstance* data = Fields(instance);
  if (!data) return;
  if (data->release && data->handle) DisposeUserData(data->handle);
  data->handle = nullptr;
}

REALobject NewUserDataObject(UserData list) {
  if (!list) return nullptr;
  REALobject object = REALnewInstance("QTUserDataZQK");
  UserDataInstance* data = Fields(object);
  if (!data) return nullptr;
  data->handle = list;
  data->release = false;
  return object;
}

// The whole list flattened, handed to `build` while the bytes are locked.
template <typename Build>
auto Flattened(REALobject instance, Build build) -> decltype(build(nullptr, 0)) {
  UserDataInstance* data = Fields(instance);
  if (!data) return nullptr;
  data->lastError = kNoCall;
  if (!data->handle) return nullptr;
  Handle h = NewHandle(0);
  if (!h) return nullptr;
  const OSErr err = PutUserDataIntoHandle(data->handle, h);
  decltype(build(nullptr, 0)) result = nullptr;
  const Size size = GetHandleSize(h);
  if (err == noErr && size > 0) {
    HLock(h);
    result = build(*h, static_cast<int32_t>(size));
    HUnlock(h);
  }
  data->lastError = WidenOSErr(err);
  DisposeHandle(h);
  return result;
}

// Drops the current list (disposing of it only when owned) and parses a new,
// owned one from `h`, which this takes over. Never writes into a movie's list.
void ReplaceList(REALobject instance, Handle h) {
  UserDataInstance* data = Fields(instance);
  if (!data) {
    if (h) DisposeHandle(h);
    return;
  }
  if (data->release && data->handle) DisposeUserData(data->handle);
  data->handle = nullptr;
  data->lastError = kNoCall;
  if (!h) return;  // a nil or empty value leaves the object without a list
  UserData list = nullptr;
  const OSErr err = NewUserDataFromHandle(h, &list);
  DisposeHandle(h);
  data->lastError = WidenOSErr(err);
  if (err == noErr) {
    data->release = true;
    data->handle = list;
  }
}

REALstring rbGetBinaryData(REALobject instance) {
  return Flattened(instance, [](const void* bytes, int32_t size) {
    return REALBuildUnicodeString(bytes, size, kREALEncodingUnknown);
  });
}

REALmemoryBlock rbGetMemory(REALobject instance) {
  return Flattened(instance, [](const void* bytes, int32_t size) { return REALBuildMemoryblock(bytes, size); });
}

void rbSetBinaryData(REALobject instance, REALstring value) {
  ReplaceList(instance, NewHandleWithString(value));
}

void rbSetMemory(REALobject instance, REALmemoryBlock value) {
  ReplaceList(instance, NewHandleWithMemory(value));
}

// One entry's bytes read into a fresh handle by `read`, labelled Mac Roman (ASCII
// when every byte is below 0x80).
template <typename Read>
REALstring ReadEntry(REALobject instance, Read read) {
  UserDataInstance* data = Fields(instance);
  if (!data) return nullptr;
  if (!data->handle) {
    data->lastError = kNoCall;
    return nullptr;
  }
  Handle h = NewHandle(0);
  if (!h) {
    data->lastError = kNoCall;
    return nullptr;
  }
  const OSErr err = read(data->handle, h);
  REALstring result = nullptr;
  const Size size = GetHandleSize(h);
  if (err == noErr && size > 0) {
    HLock(h);
    result = REALBuildUnicodeString(*h, size, kREALEncodingMacRoman);
    HUnlock(h);
  }
  data->lastError = WidenOSErr(err);
  DisposeHandle(h);
  return result;
}

// Adds the bytes `h` (taken over; null for a nil or empty value) with `add`,
// first creating an owned list when the object has none.
template <typename Add>
void AddEntry(REALobject instance, Handle h, Add add) {
  UserDataInstance* data = Fields(instance);
  if (!data) {
    if (h) DisposeHandle(h);
    return;
  }
  bool created = false;
  if (!data->handle) {
    UserData list = nullptr;
    const OSErr err = NewUserData(&list);
    if (err != noErr) {
      data->lastError = WidenOSErr(err);
      if (h) DisposeHandle(h);
      return;
    }
    data->handle = list;
    data->release = true;
    created = true;
    if (!list) {
      data->lastError = 0;
      if (h) DisposeHandle(h);
      return;
    }
  }
  if (!h) {
    data->lastError = created ? 0 : kNoCall;
    return;
  }
  data->lastError = WidenOSErr(add(data->handle, h));
  DisposeHandle(h);
}

void rbRemoveUserDataText(REALobject instance, REALstring type, RBInteger index, RBInteger region) {
  UserDataInstance* data = Fields(instance);
  if (!data) return;
  data->lastError = data->handle ? WidenOSErr(RemoveUserDataText(data->handle, REALstringToOSType(type),
                                                                 static_cast<SInt32>(index), Region(region)))
                                 : kNoCall;
}

REALstring rbGetUserDataText(REALobject instance, REALstring type, RBInteger index, RBInteger region) {
  const OSType code = REALstringToOSType(type);
  return ReadEntry(instance, [&](UserData list, Handle h) {
    return GetUserDataText(list, h, code, static_cast<SInt32>(index), Region(region));
  });
}

void rbAddUserDataText(REALobject instance, REALstring type, RBInteger index, RBInteger region, REALstring text) {
  const OSType code = REALstringToOSType(type);
  AddEntry(instance, NewHandleWithString(text), [&](UserData list, Handle h) {
    return AddUserDataText(list, h, code, static_cast<SInt32>(index), Region(region));
  });
}

REALstring rbGetNextUserDataType(REALobject instance, REALstring type) {
  UserDataInstance* data = Fields(instance);
  if (!data) return nullptr;
  REALstring result = nullptr;
  if (data->handle) {
    const OSType next =
        static_cast<OSType>(GetNextUserDataType(data->handle, type ? REALstringToOSType(type) : 0));
    if (next) result = OSTypeToString(next);
  }
  data->lastError = kNoCall;
  return result;
}

RBInteger rbCountUserDataType(REALobject instance, REALstring type) {
  UserDataInstance* data = Fields(instance);
  if (!data || !type || !data->handle) return 0;
  return CountUserDataType(data->handle, REALstringToOSType(type));
}

void rbRemoveUserData(REALobject instance, REALstring type, RBInteger index) {
  UserDataInstance* data = Fields(instance);
  if (!data) return;
  data->lastError = data->handle ? WidenOSErr(RemoveUserData(data->handle, REALstringToOSType(type),
                                                             static_cast<SInt32>(index)))
                                 : kNoCall;
}

REALstring rbGetUserData(REALobject instance, REALstring type, RBInteger index) {
  const OSType code = REALstringToOSType(type);
  return ReadEntry(instance,
                   [&](UserData list, Handle h) { return GetUserData(list, h, code, static_cast<SInt32>(index)); });
}

void rbAddUserDataString(REALobject instance, REALstring type, REALstring value) {
  const OSType code = REALstringToOSType(type);
  AddEntry(instance, NewHandleWithString(value), [&](UserData list, Handle h) { return AddUserData(list, h, code); });
}

void rbAddUserDataMemory(REALobject instance, REALstring type, REALmemoryBlock value) {
  const OSType code = REALstringToOSType(type);
  AddEntry(instance, NewHandleWithMemory(value), [&](UserData list, Handle h) { return AddUserData(list, h, code); });
}

REALproperty kUserDataProperties[] = {
    DirectProperty("Handle", "Integer", offsetof(UserDataInstance, handle)),
    DirectProperty("Lasterror", "Integer", offsetof(UserDataInstance, lastError)),
    DirectProperty("Release", "Boolean", offsetof(UserDataInstance, release)),
};

REALmethodDefinition kUserDataMethods[] = {
    PropertyMethod("BinaryData as string", &rbGetBinaryData, &rbSetBinaryData),
    PropertyMethod("Memory as Memoryblock", &rbGetMemory, &rbSetMemory),
    MethodRecord("RemoveText(type as string, index as integer, region as integer)", &rbRemoveUserDataText),
    MethodRecord("GetText(type as string, index as integer, region as integer) as string", &rbGetUserDataText),
    MethodRecord("AddText(type as string, index as integer, region as integer, text as string)", &rbAddUserDataText),
    MethodRecord("GetNextType(type as string) as string", &rbGetNextUserDataType),
    MethodRecord("CountType(type as string) as integer", &rbCountUserDataType),
    MethodRecord("RemoveData(type as string, index as integer)", &rbRemoveUserData),
    MethodRecord("GetData(type as string, index as integer) as string", &rbGetUserData),
    MethodRecord("AddData(type as string, data as string)", &rbAddUserDataString),
    MethodRecord("AddData(type as string, data as memoryblock)", &rbAddUserDataMemory),
    MethodRecord("Close", &UserDataDestructor),
};

}  // namespace

REALobject rbGetMovieUserData(REALmovie movie) {
  return MovieMember(movie, [](Movie qtMovie) { return NewUserDataObject(GetMovieUserData(qtMovie)); });
}

// No QuickTime result is recorded on this path, so the track keeps -1.
REALobject rbGetTrackUserData(REALobject track) {
  Track qtTrack = TrackCall(track).track();
  return qtTrack ? NewUserDataObject(GetTrackUserData(qtTrack)) : nullptr;
}

REALclassDefinition QTUserDataZQKClass = ClassRecord({
    .name = "QTUserDataZQK",
    .dataSize = UserDataInstance::kDeclaredSize,
    .constructor = UserDataConstructor,
    .destructor = UserDataDestructor,
    .properties = kUserDataProperties,
    .methods = kUserDataMethods,
});
