// QTTimeCodeZQK: one QuickTime time code (definition, time code, frame number
// and source name) held as a value.
//
// This header carries only the contract types so that the 32-bit layout check
// can compile it. The two QuickTime records keep QuickTime's 2-byte packing so
// that the time code handler can fill them in place; on a 32-bit host the block
// is 4 + 14 + 4 bytes, then the string word at offset 24: 28 bytes.
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>
#include <cstdint>

// Byte-for-byte QuickTime's TimeCodeDef and TimeCodeRecord (timecode.cpp checks
// this against the engine's declarations), so that the records can be copied to
// and from the time code handler's calls as they are.
#pragma pack(push, 2)
struct TimeCodeDefFields {
  int32_t flags;          // tc24HourMax, tcDropFrame, tcNegTimesOK, tcCounter
  int32_t fTimeScale;
  int32_t frameDuration;
  uint8_t numFrames;
  uint8_t padding;
};
// Four bytes or one counter.
union TimeCodeRecordFields {
  struct {
    uint8_t hours;
    uint8_t minutes;      // 0x80 marks a negative time code
    uint8_t seconds;
    uint8_t frames;
  } t;
  int32_t c;
};
#pragma pack(pop)
static_assert(sizeof(TimeCodeDefFields) == 14);
static_assert(sizeof(TimeCodeRecordFields) == 4);

struct TimeCodeInstance {
  RBInteger frameNumber;
  TimeCodeDefFields definition;
  TimeCodeRecordFields timeCode;
  REALstring sourceName;  // owned; nil when there is none

  static const size_t kDeclaredSize;  // the size registered for the class
};
inline constexpr size_t TimeCodeInstance::kDeclaredSize = sizeof(TimeCodeInstance);

extern REALclassDefinition QTTimeCodeZQKClass;

// The destructor, also registered as the method "Close".
void QTTimeCodeDestructor(REALobject instance);
