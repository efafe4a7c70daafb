// QuickDraw: graphics ports and their text state. The calls ship in the
// ApplicationServices framework bundle, where the plugin looks them up by name.
#pragma once

#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct OpaqueGrafPtr* GrafPtr;
typedef GrafPtr CGrafPtr;
typedef CGrafPtr GWorldPtr;
typedef struct OpaqueGDHandle* GDHandle;

typedef struct FontInfo {
  int16_t ascent;
  int16_t descent;
  int16_t widMax;
  int16_t leading;
} FontInfo;

enum {
  normal = 0,
  bold = 1,
  italic = 2,
  underline = 4,
  outline = 8,
  shadow = 0x10,
  condense = 0x20,
  extend = 0x40,
};

// The port that drawing and text calls apply to. There is always one: the screen
// port, current until something else is made current.
void GetPort(GrafPtr* port);
void SetPort(GrafPtr port);

void TextFont(int16_t font);
void TextFace(int16_t face);
void TextSize(int16_t size);
void GetFontInfo(FontInfo* info);

#ifdef __cplusplus
}
#endif
