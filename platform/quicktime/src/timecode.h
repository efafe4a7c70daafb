// Time code arithmetic and the time code media handler's state.
#pragma once

#include <QuickTime/TimeCodeMedia.h>

#include "model.h"

#include <string>

namespace qte {

// The handler's settings, which a movie file keeps in the media's 'tcmi' atom.
struct TimeCodeHandler : VisualHandler {
  explicit TimeCodeHandler(Media* m) : VisualHandler(m) {}
  int32_t flags = 0;  // tcdfShowTimeCode
  TCTextOptions options{0, 0, 12, 0, {0, 0, 0}, {0xFFFF, 0xFFFF, 0xFFFF}};
};

std::unique_ptr<MediaHandlerObject> makeTimeCodeHandler(Media* media);

namespace timecode {

// Frame number -> time code record under `def`. Negative numbers need tcNegTimesOK
// (the record then carries tctNegFlag) or tc24HourMax (they wrap into the day).
OSErr toRecord(const TimeCodeDef& def, int32_t frameNumber, TimeCodeRecord& out);
// Time code record -> frame number; labels that drop-frame numbering skips, fields
// out of range and signs the definition does not allow are errors.
OSErr toFrameNumber(const TimeCodeDef& def, const TimeCodeRecord& record, int32_t& out);
// QuickTime's text form; the record is checked as toFrameNumber checks it.
OSErr toText(const TimeCodeDef& def, const TimeCodeRecord& record, std::string& out);

// The definition a 'tmcd' description holds (native byte order).
OSErr definitionOf(const uint8_t* desc, size_t n, TimeCodeDef& out);

}  // namespace timecode
}  // namespace qte
