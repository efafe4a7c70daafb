// The QTTrackZQK members that read time codes from a time code track and convert
// between frame numbers, time codes and text with its media handler. The
// QTTimeCodeZQK object's records are handed to the handler as they are.
#include "track/timecode_members.h"

#include <MacMemory.h>
#include <QuickTime/TimeCodeMedia.h>

#include <cstring>

#include "host/host.h"
#include "host/values.h"
#include "plugin/instance.h"
#include "track/timecode.h"
#include "track/track.h"

namespace {

constexpr OSType kSourceNameType = FOUR_CHAR_CODE('n', 'a', 'm', 'e');
constexpr Size kSourceNameBuffer = 1024;

TimeCodeInstance* TimeCodeFields(REALobject timeCode) {
  return InstanceData<TimeCodeInstance>(QTTimeCodeZQKClass, timeCode);
}

// The object's records and QuickTime's have the same bytes (timecode.cpp checks
// that); they are copied rather than aliased.
struct Records {
  TimeCodeDef definition;
  TimeCodeRecord record;
};
Records RecordsOf(const TimeCodeInstance* t) {
  Records r;
  std::memcpy(&r.definition, &t->definition, sizeof r.definition);
  std::memcpy(&r.record, &t->timeCode, sizeof r.record);
  return r;
}
void Store(TimeCodeInstance* t, const TimeCodeDef& definition, const TimeCodeRecord& record) {
  std::memcpy(&t->definition, &definition, sizeof definition);
  std::memcpy(&t->timeCode, &record, sizeof record);
}

// The 'name' text of a source reference, in Mac Roman; nil without one. The
// reference is the caller's and is disposed of here.
REALstring SourceNameOf(UserData source) {
  if (!source) return nullptr;
  REALstring name = nullptr;
  if (Handle text = NewHandleClear(kSourceNameBuffer)) {
    if (GetUserDataText(source, text, kSourceNameType, 1, 0) == noErr && GetHandleSize(text) > 0) {
      HLock(text);
      name = REALBuildUnicodeString(*text, GetHandleSize(text), kREALEncodingMacRoman);
      HUnlock(text);
    }
    DisposeHandle(text);
  }
  DisposeUserData(source);
  return name;
}

// A new QTTimeCodeZQK holding the records and the name, which it takes over.
REALobject NewTimeCode(SInt32 frameNumber, const TimeCodeDef& definition, const TimeCodeRecord& record,
                       REALstring name) {
  REALobject object = REALnewInstance("QTTimeCodeZQK");
  TimeCodeInstance* t = TimeCodeFields(object);
  if (!t) {
    REALUnlockString(name);
    return nullptr;
  }
  t->frameNumber = frameNumber;
  Store(t, definition, record);
  t->sourceName = name;
  return object;
}

}  // namespace

REALobject rbTCGetTimeCodeAtTime(REALobject instance, RBInteger mediaTime) {
  TrackCall call(instance);
  MediaHandler mh = call.handler();
  if (!mh) return nullptr;
  const TimeValue time = static_cast<TimeValue>(mediaTime);
  SInt32 frameNumber = 0;
  TimeCodeDef definition{};
  TimeCodeRecord record{};
  if (call.Record(TCGetTimeCodeAtTime(mh, time, &frameNumber, &definition, &record, nullptr)) != noErr) return nullptr;
  UserData source = nullptr;
  TCGetTimeCodeAtTime(mh, time, nullptr, nullptr, nullptr, &source);
  return NewTimeCode(frameNumber, definition, record, SourceNameOf(source));
}

REALobject rbTCGetCurrentTimeCode(REALobject instance) {
  TrackCall call(instance);
  MediaHandler mh = call.handler();
  if (!mh) return nullptr;
  SInt32 frameNumber = 0;
  TimeCodeDef definition{};
  TimeCodeRecord record{};
  if (call.Record(TCGetCurrentTimeCode(mh, &frameNumber, &definition, &record, nullptr)) != noErr) return nullptr;
  UserData source = nullptr;
  TCGetCurrentTimeCode(mh, nullptr, nullptr, nullptr, &source);
  return NewTimeCode(frameNumber, definition, record, SourceNameOf(source));
}

// The object's time code is worked out in place from its frame number.
void rbTCFrameNumberToTimeCode(REALobject instance, REALobject timeCode) {
  TrackCall call(instance);
  MediaHandler mh = call.handler();
  TimeCodeInstance* t = TimeCodeFields(timeCode);
  if (!mh || !t) return;
  Records r = RecordsOf(t);
  call.Record(TCFrameNumberToTimeCode(mh, static_cast<SInt32>(t->frameNumber), &r.definition, &r.record));
  Store(t, r.definition, r.record);
}

// The frame number is worked out in place from the time code; the handler's
// answer is not recorded, so Lasterror stays -1.
void rbTCTimeCodeToFrameNumber(REALobject instance, REALobject timeCode) {
  MediaHandler mh = TrackCall(instance).handler();
  TimeCodeInstance* t = TimeCodeFields(timeCode);
  if (!mh || !t) return;
  Records r = RecordsOf(t);
  SInt32 frameNumber = static_cast<SInt32>(t->frameNumber);
  TCTimeCodeToFrameNumber(mh, &r.definition, &r.record, &frameNumber);
  t->frameNumber = frameNumber;
}

// "hh:mm:ss:ff" (";" before the frames when dropping frames), or nil when the
// handler cannot write it. Lasterror stays -1.
REALstring rbTCTimeCodeToString(REALobject instance, REALobject timeCode) {
  MediaHandler mh = TrackCall(instance).handler();
  TimeCodeInstance* t = TimeCodeFields(timeCode);
  if (!mh || !t) return nullptr;
  Str255 text;
  text[0] = 0;
  Records r = RecordsOf(t);
  if (TCTimeCodeToString(mh, &r.definition, &r.record, text) != noErr) return nullptr;
  return REALBuildUnicodeString(text + 1, text[0], kREALEncodingASCII);
}
