// Frame numbers, time code records and their text. Drop-frame numbering (for 30
// and 60 frames a second) skips the first 2 (4) labels of every minute except each
// tenth, so that 29.97 (59.94) frames a second keep up with the clock.
#include "timecode.h"

#include "file/atoms.h"

#include <cstdio>

namespace qte::timecode {

namespace {

struct Counting {
  int64_t nf;           // frames a second, as labelled
  int64_t drop;         // labels skipped per dropping minute (0: none)
  int64_t perMinute;    // real frames in a dropping minute
  int64_t perTenMinutes;
  int64_t perDay;
};

// Drop-frame is defined for multiples of 30 frames a second; other rates count
// every label whatever the flag says.
Counting countingOf(const TimeCodeDef& def) {
  Counting c{};
  c.nf = def.numFrames;
  c.drop = (def.flags & tcDropFrame) && c.nf % 30 == 0 ? c.nf / 15 : 0;
  c.perMinute = 60 * c.nf - c.drop;
  c.perTenMinutes = 600 * c.nf - 9 * c.drop;
  c.perDay = 144 * c.perTenMinutes;
  return c;
}

bool isCounter(const TimeCodeDef& def) { return def.flags & tcCounter; }
bool negativeOK(const TimeCodeDef& def) { return def.flags & tcNegTimesOK; }
bool wrapsDay(const TimeCodeDef& def) { return def.flags & tc24HourMax; }

// Whether a record names a time code the definition can have.
OSErr check(const TimeCodeDef& def, const TimeCodeRecord& r, const Counting& c) {
  if (c.nf == 0) return paramErr;
  if (isCounter(def)) return r.c < 0 && !negativeOK(def) ? OSErr(paramErr) : OSErr(noErr);
  bool negative = r.t.minutes & tctNegFlag;
  int minutes = r.t.minutes & ~tctNegFlag;
  if (negative && !negativeOK(def)) return paramErr;
  if (minutes >= 60 || r.t.seconds >= 60 || r.t.frames >= c.nf) return paramErr;
  if (wrapsDay(def) && r.t.hours >= 24) return paramErr;
  if (c.drop && r.t.seconds == 0 && r.t.frames < c.drop && minutes % 10 != 0) return paramErr;
  return noErr;
}

}  // namespace

OSErr toRecord(const TimeCodeDef& def, int32_t frameNumber, TimeCodeRecord& out) {
  Counting c = countingOf(def);
  if (c.nf == 0) return paramErr;
  int64_t n = frameNumber;
  bool negative = n < 0;
  if (negative && !negativeOK(def) && !(wrapsDay(def) && !isCounter(def))) return paramErr;

  if (isCounter(def)) {
    out.c = static_cast<SInt32>(n / c.nf);
    return noErr;
  }
  if (negative && negativeOK(def)) {
    n = -n;
  } else if (negative) {
    n = n % c.perDay + c.perDay;
  }
  if (wrapsDay(def)) n %= c.perDay;

  if (c.drop) {
    int64_t tens = n / c.perTenMinutes, rest = n % c.perTenMinutes;
    n += 9 * c.drop * tens;
    if (rest >= c.drop) n += c.drop * ((rest - c.drop) / c.perMinute);
  }
  int64_t hours = n / (c.nf * 3600);
  if (hours > 0xFF) return paramErr;
  out.t.hours = static_cast<UInt8>(hours);
  out.t.minutes = static_cast<UInt8>(n / (c.nf * 60) % 60 | (negative && negativeOK(def) ? tctNegFlag : 0));
  out.t.seconds = static_cast<UInt8>(n / c.nf % 60);
  out.t.frames = static_cast<UInt8>(n % c.nf);
  return noErr;
}

OSErr toFrameNumber(const TimeCodeDef& def, const TimeCodeRecord& record, int32_t& out) {
  Counting c = countingOf(def);
  if (OSErr err = check(def, record, c)) return err;
  int64_t n;
  if (isCounter(def)) {
    n = int64_t(record.c) * c.nf;
  } else {
    int64_t minutes = record.t.minutes & ~tctNegFlag;
    int64_t totalMinutes = 60 * int64_t(record.t.hours) + minutes;
    n = (totalMinutes * 60 + record.t.seconds) * c.nf + record.t.frames;
    n -= c.drop * (totalMinutes - totalMinutes / 10);
    if (record.t.minutes & tctNegFlag) n = -n;
  }
  if (n > INT32_MAX || n < INT32_MIN) return paramErr;
  out = static_cast<int32_t>(n);
  return noErr;
}

OSErr toText(const TimeCodeDef& def, const TimeCodeRecord& record, std::string& out) {
  if (OSErr err = check(def, record, countingOf(def))) return err;
  char buf[32];
  if (isCounter(def)) {
    std::snprintf(buf, sizeof buf, "%d", int(record.c));
  } else {
    std::snprintf(buf, sizeof buf, "%s%02u:%02u:%02u%c%02u", (record.t.minutes & tctNegFlag) ? "-" : "",
                  unsigned(record.t.hours), unsigned(record.t.minutes & ~tctNegFlag), unsigned(record.t.seconds),
                  (def.flags & tcDropFrame) ? ';' : ':', unsigned(record.t.frames));
  }
  out = buf;
  return noErr;
}

OSErr definitionOf(const uint8_t* desc, size_t n, TimeCodeDef& out) {
  auto be32 = [&](size_t at) { return int32_t(file::get32(desc + at)); };
  if (n < 34 || uint32_t(be32(4)) != TimeCodeMediaType) return invalidSampleDescription;
  out.flags = be32(20);
  out.fTimeScale = be32(24);
  out.frameDuration = be32(28);
  out.numFrames = desc[32];
  out.padding = desc[33];
  return noErr;
}

}  // namespace qte::timecode
