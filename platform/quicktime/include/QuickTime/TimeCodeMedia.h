// The time code media handler: time code definitions and records, conversions
// between frame numbers, time codes and text, display settings and source names.
#pragma once

#include <QuickTime/Movies.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef ComponentResult HandlerError;

// TimeCodeDef flags.
enum {
  tcDropFrame = 1 << 0,   // 29.97 (59.94) numbering: labels skipped each minute but every tenth
  tc24HourMax = 1 << 1,   // times wrap at 24 hours
  tcNegTimesOK = 1 << 2,  // negative times allowed
  tcCounter = 1 << 3,     // a plain counter instead of hours, minutes, seconds, frames
};

// The minutes byte's top bit marks a negative time code.
enum { tctNegFlag = 0x80 };

// Time code media handler flags.
enum { tcdfShowTimeCode = 1 << 0 };

// QuickTime's 2-byte packing: TimeCodeDef is 14 bytes, TimeCodeDescription 38.
#pragma pack(push, 2)

typedef struct TimeCodeDef {
  SInt32 flags;
  TimeScale fTimeScale;
  TimeValue frameDuration;
  UInt8 numFrames;  // frames per second rounded up (30 for 29.97); per tick for counters
  UInt8 padding;
} TimeCodeDef;

typedef struct TimeCodeTime {
  UInt8 hours;
  UInt8 minutes;  // tctNegFlag marks a negative time code
  UInt8 seconds;
  UInt8 frames;
} TimeCodeTime;

typedef union TimeCodeRecord {
  TimeCodeTime t;
  SInt32 c;  // counter form (tcCounter)
} TimeCodeRecord;

// Names the fields of a 'tmcd' description. In a handle the description is its
// stsd entry bytes, big-endian; the source reference's item atoms start at srcRef.
typedef struct TimeCodeDescription {
  SInt32 descSize;
  SInt32 dataFormat;
  SInt32 resvd1;
  SInt16 resvd2;
  SInt16 dataRefIndex;
  SInt32 flags;
  TimeCodeDef timeCodeDef;
  SInt32 srcRef[1];
} TimeCodeDescription;

#pragma pack(pop)

typedef TimeCodeDescription* TimeCodeDescriptionPtr;
typedef TimeCodeDescriptionPtr* TimeCodeDescriptionHandle;

typedef struct TCTextOptions {
  short txFont;
  short txFace;
  short txSize;
  short pad;
  RGBColor foreColor;
  RGBColor backColor;
} TCTextOptions;
typedef TCTextOptions* TCTextOptionsPtr;

// The time code at a media time (from 0 to the media's duration, exclusive): the
// covering sample's start frame number plus the frames elapsed since its start.
// Any output may be null. A returned source reference is the caller's to dispose
// of (DisposeUserData); it is null when the description names no source.
HandlerError TCGetTimeCodeAtTime(MediaHandler mh, TimeValue mediaTime, SInt32* frameNum, TimeCodeDef* tcdef,
                                 TimeCodeRecord* tcdata, UserData* srcRefH);
// The same at the movie's current time, taken through the track's edits.
HandlerError TCGetCurrentTimeCode(MediaHandler mh, SInt32* frameNum, TimeCodeDef* tcdef, TimeCodeRecord* tcrec,
                                  UserData* srcRefH);

HandlerError TCFrameNumberToTimeCode(MediaHandler mh, SInt32 frameNumber, TimeCodeDef* tcdef,
                                     TimeCodeRecord* tcrec);
HandlerError TCTimeCodeToFrameNumber(MediaHandler mh, TimeCodeDef* tcdef, TimeCodeRecord* tcrec,
                                     SInt32* frameNumber);
// Length-prefixed text: "hh:mm:ss:ff", ";" before the frames for drop-frame, a
// leading "-" when negative; the counter's decimal value for counters.
HandlerError TCTimeCodeToString(MediaHandler mh, TimeCodeDef* tcdef, TimeCodeRecord* tcrec, StringPtr tcStr);

// The source reference is kept in the description as user-data item atoms after
// its time code definition; setting one rewrites the handle, null removes it.
HandlerError TCGetSourceRef(MediaHandler mh, TimeCodeDescriptionHandle tcdH, UserData* srefH);
HandlerError TCSetSourceRef(MediaHandler mh, TimeCodeDescriptionHandle tcdH, UserData srefH);

// Only the bits in flagsMask change.
HandlerError TCSetTimeCodeFlags(MediaHandler mh, SInt32 flags, SInt32 flagsMask);
HandlerError TCGetTimeCodeFlags(MediaHandler mh, SInt32* flags);
HandlerError TCSetDisplayOptions(MediaHandler mh, TCTextOptionsPtr textOptions);
HandlerError TCGetDisplayOptions(MediaHandler mh, TCTextOptionsPtr textOptions);

#ifdef __cplusplus
}
#endif
