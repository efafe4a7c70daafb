// QTTimeCodeZQK: a time code held as a value. The properties are views of the two
// QuickTime records in the instance data, so that the track's time code members
// can pass those records to the time code handler exactly as they are.
#include "track/timecode.h"

#include "host/host.h"
#include "plugin/instance.h"
#include "plugin/member_records.h"

#include <QuickTime/TimeCodeMedia.h>

#include <cstddef>


static_assert(sizeof(TimeCodeDefFields) == sizeof(TimeCodeDef) &&
              offsetof(TimeCodeDefFields, fTimeScale) == offsetof(TimeCodeDef, fTimeScale) &&
              offsetof(TimeCodeDefFields, frameDuration) == offsetof(TimeCodeDef, frameDuration) &&
              offsetof(TimeCodeDefFields, numFrames) == offsetof(TimeCodeDef, numFrames) &&
              offsetof(TimeCodeDefFields, padding) == offsetof(TimeCodeDef, padding));
static_assert(sizeof(TimeCodeRecordFields) == sizeof(TimeCodeRecord) &&
              offsetof(TimeCodeRecordFields, t.minutes) == offsetof(TimeCodeRecord, t.minutes) &&
              offsetof(TimeCodeRecordFields, t.frames) == offsetof(TimeCodeRecord, t.frames));

namespace {

TimeCodeInstance* Fields(REALobject instance) {
  return InstanceData<TimeCodeInstance>(QTTimeCodeZQKClass, instance);
}

bool FlagSet(REALobject instance, int32_t flag) {
  const TimeCodeInstance* data = Fields(instance);
  return data && (data->definition.flags & flag) != 0;
}

// Only the one bit changes; the rest of the flags word is the caller's.
void ChangeFlag(REALobject instance, int32_t flag, bool on) {
  TimeCodeInstance* data = Fields(instance);
  if (!data) return;
  if (on)
    data->definition.flags |= flag;
  else
    data->definition.flags &= ~flag;
}

// The host hands out zeros: a definition without flags or rate, time code 0:0:0:0
// and no source name.
void QTTimeCodeConstructor(REALobject) {}

// Time code rather than counter is the absence of the counter flag.
bool GetUseTimeCode(REALobject instance, RBInteger) { return Fields(instance) && !FlagSet(instance, tcCounter); }
void SetUseTimeCode(REALobject instance, RBInteger, bool value) { ChangeFlag(instance, tcCounter, !value); }
bool GetDropFrames(REALobject instance, RBInteger) { return FlagSet(instance, tcDropFrame); }
void SetDropFrames(REALobject instance, RBInteger, bool value) { ChangeFlag(instance, tcDropFrame, value); }
bool GetIsNeg(REALobject instance, RBInteger) { return FlagSet(instance, tcNegTimesOK); }
void SetIsNeg(REALobject instance, RBInteger, bool value) { ChangeFlag(instance, tcNegTimesOK, value); }
bool GetUse24Hours(REALobject instance, RBInteger) { return FlagSet(instance, tc24HourMax); }
void SetUse24Hours(REALobject instance, RBInteger, bool value) { ChangeFlag(instance, tc24HourMax, value); }

// The definition's fields. numFrames is a byte: assignments keep the low 8 bits,
// as the 32-bit words keep the low 32.
RBInteger GetnumFrames(REALobject instance, RBInteger) {
  const TimeCodeInstance* data = Fields(instance);
  return data ? data->definition.numFrames : 0;
}
void SetnumFrames(REALobject instance, RBInteger, RBInteger value) {
  if (TimeCodeInstance* data = Fields(instance)) data->definition.numFrames = static_cast<uint8_t>(value);
}
RBInteger Getflags(REALobject instance, RBInteger) {
  const TimeCodeInstance* data = Fields(instance);
  return data ? data->definition.flags : 0;
}
void Setflags(REALobject instance, RBInteger, RBInteger value) {
  if (TimeCodeInstance* data = Fields(instance)) data->definition.flags = static_cast<int32_t>(value);
}
RBInteger GetTimeScale(REALobject instance, RBInteger) {
  const TimeCodeInstance* data = Fields(instance);
  return data ? data->definition.fTimeScale : 0;
}
void SetTimeScale(REALobject instance, RBInteger, RBInteger value) {
  if (TimeCodeInstance* data = Fields(instance)) data->definition.fTimeScale = static_cast<int32_t>(value);
}
RBInteger GetFrameDuration(REALobject instance, RBInteger) {
  const TimeCodeInstance* data = Fields(instance);
  return data ? data->definition.frameDuration : 0;
}
void SetFrameDuration(REALobject instance, RBInteger, RBInteger value) {
  if (TimeCodeInstance* data = Fields(instance)) data->definition.frameDuration = static_cast<int32_t>(value);
}

// The time code record: one 32-bit counter sharing its bytes with hours, minutes,
// seconds and frames, so writing either view changes the other.
RBInteger Getcounter(REALobject instance, RBInteger) {
  const TimeCodeInstance* data = Fields(instance);
  return data ? data->timeCode.c : 0;
}
void Setcounter(REALobject instance, RBInteger, RBInteger value) {
  if (TimeCodeInstance* data = Fields(instance)) data->timeCode.c = static_cast<int32_t>(value);
}
RBInteger Gethours(REALobject instance, RBInteger) {
  const TimeCodeInstance* data = Fields(instance);
  return data ? data->timeCode.t.hours : 0;
}
void Sethours(REALobject instance, RBInteger, RBInteger value) {
  if (TimeCodeInstance* data = Fields(instance)) data->timeCode.t.hours = static_cast<uint8_t>(value);
}
// Includes the 0x80 that marks a negative time code.
RBInteger Getminutes(REALobject instance, RBInteger) {
  const TimeCodeInstance* data = Fields(instance);
  return data ? data->timeCode.t.minutes : 0;
}
void Setminutes(REALobject instance, RBInteger, RBInteger value) {
  if (TimeCodeInstance* data = Fields(instance)) data->timeCode.t.minutes = static_cast<uint8_t>(value);
}
RBInteger Getseconds(REALobject instance, RBInteger) {
  const TimeCodeInstance* data = Fields(instance);
  return data ? data->timeCode.t.seconds : 0;
}
void Setseconds(REALobject instance, RBInteger, RBInteger value) {
  if (TimeCodeInstance* data = Fields(instance)) data->timeCode.t.seconds = static_cast<uint8_t>(value);
}
RBInteger Getframes(REALobject instance, RBInteger) {
  const TimeCodeInstance* data = Fields(instance);
  return data ? data->timeCode.t.frames : 0;
}
void Setframes(REALobject instance, RBInteger, RBInteger value) {
  if (TimeCodeInstance* data = Fields(instance)) data->timeCode.t.frames = static_cast<uint8_t>(value);
}

using F = TimeCodeInstance;

REALproperty kTimeCodeProperties[] = {
    AccessorProperty("UseTimeCode", "Boolean", &GetUseTimeCode, &SetUseTimeCode),
    AccessorProperty("DropFrames", "Boolean", &GetDropFrames, &SetDropFrames),
    AccessorProperty("IsNeg", "Boolean", &GetIsNeg, &SetIsNeg),
    AccessorProperty("Use24Hours", "Boolean", &GetUse24Hours, &SetUse24Hours),
    AccessorProperty("NumberOfFrames", "Integer", &GetnumFrames, &SetnumFrames),
    AccessorProperty("Flags", "Integer", &Getflags, &Setflags),
    AccessorProperty("TimeScale", "Integer", &GetTimeScale, &SetTimeScale),
    AccessorProperty("FrameDuration", "Integer", &GetFrameDuration, &SetFrameDuration),
    AccessorProperty("Counter", "Integer", &Getcounter, &Setcounter),
    AccessorProperty("Hours", "Integer", &Gethours, &Sethours),
    AccessorProperty("Minutes", "Integer", &Getminutes, &Setminutes),
    AccessorProperty("Seconds", "Integer", &Getseconds, &Setseconds),
    AccessorProperty("Frames", "Integer", &Getframes, &Setframes),
    DirectProperty("SourceName", "String", offsetof(F, sourceName)),
    DirectProperty("FrameNumber", "Integer", offsetof(F, frameNumber)),
};

REALmethodDefinition kTimeCodeMethods[] = {
    MethodRecord("Close", &QTTimeCodeDestructor),
};

}  // namespace

// Releases the source name and forgets it, so that "Close" followed by the
// object's end releases it once.
void QTTimeCodeDestructor(REALobject instance) {
  TimeCodeInstance* data = Fields(instance);
  if (!data || !data->sourceName) return;
  REALUnlockString(data->sourceName);
  data->sourceName = nullptr;
}

REALclassDefinition QTTimeCodeZQKClass = ClassRecord({
    .name = "QTTimeCodeZQK",
    .dataSize = TimeCodeInstance::kDeclaredSize,
    .constructor = QTTimeCodeConstructor,
    .destructor = QTTimeCodeDestructor,
    .properties = kTimeCodeProperties,
    .methods = kTimeCodeMethods,
});
