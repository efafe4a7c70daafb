// The font families this system knows, shared by the Font Manager and QuickDraw's
// text metrics.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CarbonFontFamily {
  int16_t familyID;
  const char* name;
  // Metrics per 1000 units of point size.
  int16_t ascent;
  int16_t descent;
  int16_t leading;
  int16_t maxWidth;
} CarbonFontFamily;

// Null when the family is unknown.
const CarbonFontFamily* CarbonFindFontByID(int16_t familyID);
// Case-insensitive; null when the name is unknown.
const CarbonFontFamily* CarbonFindFontByName(const char* name, size_t length);

#ifdef __cplusplus
}
#endif
