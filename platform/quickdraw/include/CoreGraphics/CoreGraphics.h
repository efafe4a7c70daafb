// Core Graphics: colour spaces, bitmap contexts and images, with the few drawing
// calls the plugin and its tests use, and QuickDraw's bridge into a graphics world.
// User space has its origin at the bottom-left corner, y growing upwards; row 0 of
// a bitmap's memory is its top row.
#pragma once

#include <QuickDraw.h>

#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef double CGFloat;

typedef struct CGPoint {
  CGFloat x;
  CGFloat y;
} CGPoint;

typedef struct CGSize {
  CGFloat width;
  CGFloat height;
} CGSize;

typedef struct CGRect {
  CGPoint origin;
  CGSize size;
} CGRect;

static inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
  CGRect r = {{x, y}, {width, height}};
  return r;
}

typedef struct CGColorSpace* CGColorSpaceRef;
typedef struct CGContext* CGContextRef;
typedef struct CGImage* CGImageRef;

// One set of constants, so that alpha info and byte order combine with | cleanly.
typedef uint32_t CGImageAlphaInfo;
typedef uint32_t CGBitmapInfo;
enum {
  kCGImageAlphaNone = 0,
  kCGImageAlphaPremultipliedLast = 1,
  kCGImageAlphaPremultipliedFirst = 2,
  kCGImageAlphaLast = 3,
  kCGImageAlphaFirst = 4,
  kCGImageAlphaNoneSkipLast = 5,
  kCGImageAlphaNoneSkipFirst = 6,
  kCGImageAlphaOnly = 7,

  kCGBitmapAlphaInfoMask = 0x1F,
  kCGBitmapFloatComponents = 1u << 8,
  kCGBitmapByteOrderMask = 0x7000,
  kCGBitmapByteOrderDefault = 0u << 12,  // components in memory in the order named
  kCGBitmapByteOrder16Little = 1u << 12,
  kCGBitmapByteOrder32Little = 2u << 12,  // 32-bit words stored little-endian
  kCGBitmapByteOrder16Big = 3u << 12,
  kCGBitmapByteOrder32Big = 4u << 12,
};
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define kCGBitmapByteOrder16Host kCGBitmapByteOrder16Little
#define kCGBitmapByteOrder32Host kCGBitmapByteOrder32Little
#else
#define kCGBitmapByteOrder16Host kCGBitmapByteOrder16Big
#define kCGBitmapByteOrder32Host kCGBitmapByteOrder32Big
#endif

CGColorSpaceRef CGColorSpaceCreateDeviceRGB(void);
CGColorSpaceRef CGColorSpaceCreateDeviceGray(void);
CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space);
void CGColorSpaceRelease(CGColorSpaceRef space);

// Bitmap contexts of 8 bits per component: RGB with alpha info 1–6 (32 bits per
// pixel), grey without alpha, or alpha only with no colour space (8 bits per pixel).
// Null data makes the context allocate zeroed pixels of its own.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, uint32_t bitmapInfo);
void* CGBitmapContextGetData(CGContextRef context);
size_t CGBitmapContextGetWidth(CGContextRef context);
size_t CGBitmapContextGetHeight(CGContextRef context);
size_t CGBitmapContextGetBitsPerComponent(CGContextRef context);
size_t CGBitmapContextGetBitsPerPixel(CGContextRef context);
size_t CGBitmapContextGetBytesPerRow(CGContextRef context);
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(CGContextRef context);
CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef context);
// A snapshot of the context's pixels; later drawing does not change the image.
CGImageRef CGBitmapContextCreateImage(CGContextRef context);

CGContextRef CGContextRetain(CGContextRef context);
void CGContextRelease(CGContextRef context);
// Drawing into a bitmap context is immediate; flushing has nothing left to do.
void CGContextFlush(CGContextRef context);

// Fills cover the pixels whose centres lie inside the shape, composited source-over.
void CGContextSetRGBFillColor(CGContextRef context, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
void CGContextSetGrayFillColor(CGContextRef context, CGFloat gray, CGFloat alpha);
void CGContextFillRect(CGContextRef context, CGRect rect);
void CGContextFillEllipseInRect(CGContextRef context, CGRect rect);
// Sets the pixels of rect to transparent (black where the context has no alpha).
void CGContextClearRect(CGContextRef context, CGRect rect);
// Draws the image scaled to rect, each destination pixel taking the image pixel
// under its centre.
void CGContextDrawImage(CGContextRef context, CGRect rect, CGImageRef image);

CGImageRef CGImageRetain(CGImageRef image);
void CGImageRelease(CGImageRef image);
size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
size_t CGImageGetBitsPerComponent(CGImageRef image);
size_t CGImageGetBitsPerPixel(CGImageRef image);
size_t CGImageGetBytesPerRow(CGImageRef image);
CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image);

// A bitmap context over a graphics world's own pixels (32-bit and 8-bit grey
// worlds), its origin at the port's bottom-left corner. One at a time per port;
// QDEndCGContext releases it and clears *context.
OSStatus QDBeginCGContext(CGrafPtr inPort, CGContextRef* outContext);
OSStatus QDEndCGContext(CGrafPtr inPort, CGContextRef* inoutContext);

// Accounting for tests: contexts, images and colour spaces alive.
long CGLiveContextCount(void);
long CGLiveImageCount(void);
long CGLiveColorSpaceCount(void);

#ifdef __cplusplus
}
#endif
