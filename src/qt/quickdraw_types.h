// QuickDraw types the framework functions take that <QuickDraw.h> does not declare
// yet; each moves there when the platform grows it. The plugin never looks inside
// them, it only passes them between the calls.
#pragma once

#include <MacTypes.h>
#include <QuickDraw.h>

extern "C" {

typedef struct OpaqueColorTable** CTabHandle;
typedef struct OpaquePixMap** PixMapHandle;
typedef struct OpaqueRegion** RgnHandle;
typedef uint32_t GWorldFlags;
typedef int16_t QDErr;

typedef struct BitMap {
  Ptr baseAddr;
  int16_t rowBytes;
  Rect bounds;
} BitMap;

typedef struct Pattern {
  uint8_t pat[8];
} Pattern;

}  // extern "C"
