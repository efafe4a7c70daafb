// QTTimeCodeCreationParametersZQK: what AddTimeCodeToMovieZQK needs to build a
// time code track, with defaults for 29.97 fps drop-frame time code.
//
// This header carries only the contract types so that the 32-bit layout check
// can compile it: on a 32-bit host every field is one 32-bit word, 84 bytes.
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>
#include <cstdint>

struct TimeCodeParametersInstance {
  RBInteger height;
  RBBoolean isNeg;
  RBInteger frameDuration;
  RBInteger numberOfFrames;
  RBBoolean dropFrames;
  RBInteger hours;
  RBBoolean useTimeCode;
  RBInteger minutes;
  RBBoolean use24Hours;
  RBInteger seconds;
  RBInteger timeScale;
  RBInteger frames;
  RBInteger counterStartValue;
  RBBoolean displayBelowVideo;
  REALstring sourceName;        // owned
  REALstring fontName;          // owned
  RBBoolean displayTimeCode;
  RBInteger fontFace;           // negative: keep the handler's own face
  RBInteger fontSize;           // negative: keep the handler's own size
  RBColor fontForeColor;
  RBColor fontBackColor;

  static const size_t kDeclaredSize;  // the size registered for the class
};
inline constexpr size_t TimeCodeParametersInstance::kDeclaredSize = sizeof(TimeCodeParametersInstance);

extern REALclassDefinition QTTimeCodeCreationParametersZQKClass;

// The destructor, also registered as the method "Close".
void QTTimeCodeCreationParametersDestructor(REALobject instance);
