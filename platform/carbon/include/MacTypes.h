// Basic Mac OS types with their classic widths.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;

typedef unsigned char Boolean;
typedef unsigned char Byte;
typedef signed char SignedByte;
typedef char* Ptr;
typedef Ptr* Handle;
typedef long Size;

typedef int16_t OSErr;
typedef int32_t OSStatus;
typedef uint32_t FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;
typedef int32_t Fixed;
typedef int32_t Fract;
typedef uint32_t UnsignedFixed;
typedef uint16_t UniChar;
typedef uint32_t UniCharCount;
typedef int16_t ScriptCode;
typedef int16_t LangCode;
typedef int16_t RegionCode;
typedef uint32_t TextEncoding;
typedef int16_t Style;
typedef uint8_t StyleParameter;

typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];
typedef unsigned char Str15[16];
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef const unsigned char* ConstStr255Param;
typedef const unsigned char* ConstStr63Param;

typedef struct Point {
  int16_t v;
  int16_t h;
} Point;

typedef struct Rect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
} Rect;

typedef struct RGBColor {
  uint16_t red;
  uint16_t green;
  uint16_t blue;
} RGBColor;

typedef struct FixedPoint {
  Fixed x;
  Fixed y;
} FixedPoint;

typedef struct FixedRect {
  Fixed left;
  Fixed top;
  Fixed right;
  Fixed bottom;
} FixedRect;

enum { noErr = 0 };

#ifndef __cplusplus
#ifndef true
#define true 1
#define false 0
#endif
#endif

// Builds a four-character code from its text, first character most significant.
#define FOUR_CHAR_CODE(a, b, c, d) \
  ((OSType)(((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d)))

#ifdef __cplusplus
}
constexpr OSType operator""_4cc(const char* s, size_t n) {
  return n == 4 ? FOUR_CHAR_CODE(s[0], s[1], s[2], s[3]) : throw "four-character codes have four characters";
}
#endif
