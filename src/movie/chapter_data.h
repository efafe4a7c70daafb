// QTChapterDataZQK: one chapter of a chapter track as user code fills it in.
//
// This header carries only the contract types so that the 32-bit layout check
// can compile it: on a 32-bit host every field is one 32-bit word, 104 bytes.
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>
#include <cstdint>

struct ChapterDataInstance {
  REALstring text;              // owned; nil by default
  RBBoolean bold;
  RBInteger frameDuration;      // in movie time units
  RBBoolean italic;
  RBInteger fontNumber;
  RBBoolean underline;
  RBInteger fontSize;
  RBBoolean outline;
  RBColor textColor;
  RBBoolean shadow;
  RBColor backColor;
  RBBoolean condense;
  RBInteger textJustification;  // teCenter by default
  RBBoolean extend;
  RBInteger displayFlags;       // dfClipToTextBox by default
  RBBoolean hasBackColor;
  RBInteger scrollDelay;
  RBBoolean hasTextColor;
  RBInteger highLightStart;
  RBBoolean hasHighLightColor;
  RBColor highLightColor;
  RBInteger highLightEnd;
  RBInteger left;
  RBInteger top;
  RBInteger width;
  RBInteger height;

  static const size_t kDeclaredSize;  // the size registered for the class
};
inline constexpr size_t ChapterDataInstance::kDeclaredSize = sizeof(ChapterDataInstance);

extern REALclassDefinition QTChapterDataZQKClass;
