// The text media handler: styled text samples in QuickTime's text sample layout.
#pragma once

#include <QuickTime/Movies.h>

#ifdef __cplusplus
extern "C" {
#endif

// Display flags of a text sample description.
enum {
  dfDontDisplay = 1 << 0,
  dfDontAutoScale = 1 << 1,
  dfClipToTextBox = 1 << 2,
  dfUseMovieBGColor = 1 << 3,
  dfShrinkTextBoxToFit = 1 << 4,
  dfScrollIn = 1 << 5,
  dfScrollOut = 1 << 6,
  dfHorizScroll = 1 << 7,
  dfReverseScroll = 1 << 8,
  dfContinuousScroll = 1 << 9,
  dfFlowHoriz = 1 << 10,
  dfContinuousKaraoke = 1 << 11,
  dfDropShadow = 1 << 12,
  dfAntiAlias = 1 << 13,
  dfKeyedText = 1 << 14,
  dfInverseHilite = 1 << 15,
  dfTextColorHilite = 1 << 16,
};

// Text justification (TextEdit's values).
enum {
  teFlushDefault = 0,
  teCenter = 1,
  teFlushRight = -1,
  teFlushLeft = -2,
};

// Data TextMediaSetTextSampleData accepts for the next sample, and the modifier
// atoms that carry it.
enum {
  kTextEncoding = FOUR_CHAR_CODE('e', 'n', 'c', 'd'),  // TextEncoding (UInt32)
  kTextWrap = FOUR_CHAR_CODE('t', 'w', 'r', 'p'),      // UInt8: 0 no wrap, 1 wrap
  kTextDropShadowOffset = FOUR_CHAR_CODE('d', 'r', 'p', 'o'),  // Point (v = dy, h = dx)
  kTextDropShadowTransparency = FOUR_CHAR_CODE('d', 'r', 'p', 't'),  // SInt16, 0 to 256
};

// Modifier atoms a text sample may carry after its text.
enum {
  kTextStyle = FOUR_CHAR_CODE('s', 't', 'y', 'l'),
  kTextHilite = FOUR_CHAR_CODE('h', 'l', 'i', 't'),
  kTextHiliteColor = FOUR_CHAR_CODE('h', 'c', 'l', 'r'),
  kTextTextBox = FOUR_CHAR_CODE('t', 'b', 'o', 'x'),
  kTextScrollDelay = FOUR_CHAR_CODE('d', 'l', 'a', 'y'),
  kTextFontTable = FOUR_CHAR_CODE('f', 't', 'a', 'b'),
};

// Sets data for the next sample TextMediaAddTextSample adds; `data` points to the
// value of the type's form. The data applies to that one sample.
ComponentResult TextMediaSetTextSampleData(MediaHandler mh, void* data, OSType dataType);

// Adds one text sample: a 16-bit big-endian length, the `size` bytes of text, then
// modifier atoms for the style, highlight, text box, scroll delay and the data set
// by TextMediaSetTextSampleData. The media must be in an edit session. Null colours
// mean black text on white; a null text box means the track's bounds. The sample's
// description holds the display flags, justification and background colour, and
// the first such sample's style as its defaults.
ComponentResult TextMediaAddTextSample(MediaHandler mh, Ptr text, UInt32 size, short fontNumber, short fontSize,
                                       Style textFace, RGBColor* textColor, RGBColor* backColor,
                                       short textJustification, Rect* textBox, SInt32 displayFlags,
                                       TimeValue scrollDelay, short hiliteStart, short hiliteEnd,
                                       RGBColor* rgbHiliteColor, TimeValue duration, TimeValue* sampleTime);

#ifdef __cplusplus
}
#endif
