// Core Graphics bitmap contexts and images, and contexts lent over graphics worlds,
// ending with the two trips a track's clip mask makes between pictures and regions.
#include "qd_fixture.h"

#include <MacErrors.h>

#include <cmath>

namespace qdtest {
namespace {

using CoreGraphicsTest = QuickDrawTest;
using Bytes = std::vector<uint8_t>;

Bytes pixelBytes(CGContextRef c, size_t x, size_t row) {
  size_t size = CGBitmapContextGetBitsPerPixel(c) / 8;
  const uint8_t* p = static_cast<const uint8_t*>(CGBitmapContextGetData(c)) + row * CGBitmapContextGetBytesPerRow(c) + x * size;
  return Bytes(p, p + size);
}

TEST_F(CoreGraphicsTest, BitmapContextsLayOutPixelsAsDescribed) {
  CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB(), gray = CGColorSpaceCreateDeviceGray();
  const struct {
    uint32_t info;
    Bytes bytes;  // of the colour (0x20, 0x40, 0x60) opaque
  } formats[] = {
      {kCGImageAlphaPremultipliedLast, {0x20, 0x40, 0x60, 0xFF}},
      {kCGImageAlphaPremultipliedFirst, {0xFF, 0x20, 0x40, 0x60}},
      {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {0x60, 0x40, 0x20, 0xFF}},
      {kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Big, {0x20, 0x40, 0x60, 0xFF}},
      {kCGImageAlphaLast, {0x20, 0x40, 0x60, 0xFF}},
      {kCGImageAlphaFirst | kCGBitmapByteOrder32Little, {0x60, 0x40, 0x20, 0xFF}},
      {kCGImageAlphaNoneSkipLast, {0x20, 0x40, 0x60, 0xFF}},
      {kCGImageAlphaNoneSkipFirst, {0xFF, 0x20, 0x40, 0x60}},
  };
  for (const auto& f : formats) {
    SCOPED_TRACE(f.info);
    CGContextRef c = CGBitmapContextCreate(nullptr, 5, 3, 8, 0, rgb, f.info);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(CGBitmapContextGetData(c), nullptr);
    EXPECT_EQ(CGBitmapContextGetWidth(c), 5u);
    EXPECT_EQ(CGBitmapContextGetHeight(c), 3u);
    EXPECT_EQ(CGBitmapContextGetBitsPerPixel(c), 32u);
    EXPECT_EQ(CGBitmapContextGetBitsPerComponent(c), 8u);
    EXPECT_GE(CGBitmapContextGetBytesPerRow(c), 20u);
    EXPECT_EQ(CGBitmapContextGetAlphaInfo(c), f.info & kCGBitmapAlphaInfoMask);
    EXPECT_EQ(CGBitmapContextGetBitmapInfo(c), f.info);
    CGContextSetRGBFillColor(c, 0x20 / 255.0, 0x40 / 255.0, 0x60 / 255.0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 5, 3));
    EXPECT_EQ(pixelBytes(c, 4, 2), f.bytes);
    CGContextRelease(c);
  }

  CGContextRef g = CGBitmapContextCreate(nullptr, 4, 4, 8, 0, gray, kCGImageAlphaNone);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(CGBitmapContextGetBitsPerPixel(g), 8u);
  CGContextSetGrayFillColor(g, 0.5, 1);
  CGContextFillRect(g, CGRectMake(0, 0, 4, 4));
  EXPECT_EQ(pixelBytes(g, 0, 0), Bytes{128});
  CGContextRelease(g);
  CGContextRef alphaOnly = CGBitmapContextCreate(nullptr, 4, 4, 8, 0, nullptr, kCGImageAlphaOnly);
  ASSERT_NE(alphaOnly, nullptr);
  EXPECT_EQ(CGBitmapContextGetAlphaInfo(alphaOnly), kCGImageAlphaOnly);
  CGContextRelease(alphaOnly);

  uint8_t buffer[64];
  const struct {
    const char* why;
    CGContextRef c;
  } refused[] = {
      {"rgb without alpha", CGBitmapContextCreate(nullptr, 4, 4, 8, 0, rgb, kCGImageAlphaNone)},
      {"rgb alpha only", CGBitmapContextCreate(nullptr, 4, 4, 8, 0, rgb, kCGImageAlphaOnly)},
      {"grey with alpha", CGBitmapContextCreate(nullptr, 4, 4, 8, 0, gray, kCGImageAlphaPremultipliedLast)},
      {"16 bits a component", CGBitmapContextCreate(nullptr, 4, 4, 16, 0, rgb, kCGImageAlphaPremultipliedLast)},
      {"float components",
       CGBitmapContextCreate(nullptr, 4, 4, 8, 0, rgb, kCGImageAlphaPremultipliedLast | kCGBitmapFloatComponents)},
      {"16-bit byte order", CGBitmapContextCreate(nullptr, 4, 4, 8, 0, rgb, kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder16Little)},
      {"rows too short", CGBitmapContextCreate(buffer, 4, 4, 8, 12, rgb, kCGImageAlphaPremultipliedLast)},
      {"no width", CGBitmapContextCreate(nullptr, 0, 4, 8, 0, rgb, kCGImageAlphaPremultipliedLast)},
      {"too big", CGBitmapContextCreate(nullptr, size_t{1} << 40, 4, 8, 0, rgb, kCGImageAlphaPremultipliedLast)},
  };
  for (const auto& r : refused) EXPECT_EQ(r.c, nullptr) << r.why;
  CGColorSpaceRelease(rgb);
  CGColorSpaceRelease(gray);
}

TEST_F(CoreGraphicsTest, TranslucentFillsKeepAlphaAsTheFormatAsks) {
  CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
  const struct {
    uint32_t info;
    Bytes bytes;
  } cases[] = {
      {kCGImageAlphaPremultipliedLast, {0x80, 0, 0, 0x80}},
      {kCGImageAlphaLast, {0xFF, 0, 0, 0x80}},
      {kCGImageAlphaFirst, {0x80, 0xFF, 0, 0}},
      // Over opaque white: half red, half white.
      {kCGImageAlphaNoneSkipLast, {0xFF, 0x7F, 0x7F, 0xFF}},
  };
  for (const auto& c : cases) {
    CGContextRef ctx = CGBitmapContextCreate(nullptr, 2, 2, 8, 0, rgb, c.info);
    CGContextSetRGBFillColor(ctx, 1, 1, 1, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, 2, 2));
    CGContextClearRect(ctx, CGRectMake(0, 0, 2, 2));
    if (c.info == kCGImageAlphaNoneSkipLast) CGContextFillRect(ctx, CGRectMake(0, 0, 2, 2));
    CGContextSetRGBFillColor(ctx, 1, 0, 0, 0.5);
    CGContextFillRect(ctx, CGRectMake(0, 0, 2, 2));
    EXPECT_EQ(pixelBytes(ctx, 1, 1), c.bytes) << c.info;
    CGContextRelease(ctx);
  }
  CGColorSpaceRelease(rgb);
}

TEST_F(CoreGraphicsTest, ShapesCoverThePixelsWhoseCentresTheyContain) {
  CGColorSpaceRef gray = CGColorSpaceCreateDeviceGray();
  CGContextRef c = CGBitmapContextCreate(nullptr, 10, 10, 8, 0, gray, kCGImageAlphaNone);
  auto dark = [&] {
    return Mask(10, 10, [&](int x, int y) { return pixelBytes(c, static_cast<size_t>(x), static_cast<size_t>(y))[0] == 0; });
  };
  CGContextSetGrayFillColor(c, 1, 1);
  CGContextFillRect(c, CGRectMake(0, 0, 10, 10));
  CGContextSetGrayFillColor(c, 0, 1);
  // Centres 2.5 to 4.5 across; 3.5 to 5.5 up from the bottom, rows 6 to 4 from the top.
  CGContextFillRect(c, CGRectMake(2.4, 2.6, 3, 3));
  EXPECT_EQ(dark(), Mask(10, 10, [](int x, int y) { return x >= 2 && x <= 4 && y >= 4 && y <= 6; })) << dark().text();

  CGContextSetGrayFillColor(c, 1, 1);
  CGContextFillRect(c, CGRectMake(0, 0, 10, 10));
  CGContextSetGrayFillColor(c, 0, 1);
  CGContextFillEllipseInRect(c, CGRectMake(1, 0, 8, 10));
  EXPECT_EQ(dark(), Mask(10, 10, [](int x, int y) {
              double u = (x + 0.5 - 5) / 4, v = (9 - y + 0.5 - 5) / 5;
              return u * u + v * v <= 1;
            }))
      << dark().text();
  CGContextRelease(c);
  CGColorSpaceRelease(gray);
}

TEST_F(CoreGraphicsTest, ImagesAreSnapshotsDrawnScaledTopUp) {
  CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
  const uint32_t info = kCGImageAlphaPremultipliedFirst;
  CGContextRef small = CGBitmapContextCreate(nullptr, 2, 2, 8, 0, rgb, info);
  const Bytes red{0xFF, 0xFF, 0, 0}, green{0xFF, 0, 0xFF, 0}, blue{0xFF, 0, 0, 0xFF}, white{0xFF, 0xFF, 0xFF, 0xFF};
  CGContextSetRGBFillColor(small, 1, 0, 0, 1), CGContextFillRect(small, CGRectMake(0, 1, 1, 1));  // top left
  CGContextSetRGBFillColor(small, 0, 1, 0, 1), CGContextFillRect(small, CGRectMake(1, 1, 1, 1));
  CGContextSetRGBFillColor(small, 0, 0, 1, 1), CGContextFillRect(small, CGRectMake(0, 0, 1, 1));
  CGContextSetRGBFillColor(small, 1, 1, 1, 1), CGContextFillRect(small, CGRectMake(1, 0, 1, 1));
  EXPECT_EQ(pixelBytes(small, 0, 0), red);  // memory row 0 is the top

  CGImageRef image = CGBitmapContextCreateImage(small);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(CGImageGetWidth(image), 2u);
  EXPECT_EQ(CGImageGetHeight(image), 2u);
  EXPECT_EQ(CGImageGetAlphaInfo(image), kCGImageAlphaPremultipliedFirst);
  CGContextSetRGBFillColor(small, 0, 0, 0, 1);
  CGContextFillRect(small, CGRectMake(0, 0, 2, 2));  // the image keeps what it saw

  CGContextRef big = CGBitmapContextCreate(nullptr, 6, 4, 8, 0, rgb, kCGImageAlphaNoneSkipFirst);
  CGContextDrawImage(big, CGRectMake(0, 0, 4, 4), image);
  const Bytes* expected[2][2] = {{&red, &green}, {&blue, &white}};
  for (size_t y = 0; y < 4; ++y)
    for (size_t x = 0; x < 4; ++x) EXPECT_EQ(pixelBytes(big, x, y), *expected[y / 2][x / 2]) << x << "," << y;
  EXPECT_EQ(pixelBytes(big, 5, 0), (Bytes{0, 0, 0, 0}));  // outside the rectangle: untouched

  CGImageRef retained = CGImageRetain(image);
  CGImageRelease(image);
  EXPECT_EQ(CGImageGetWidth(retained), 2u);
  CGImageRelease(retained);
  CGContextRelease(CGContextRetain(big));
  CGContextRelease(big);
  CGContextRelease(small);
  CGColorSpaceRelease(rgb);
}

TEST_F(CoreGraphicsTest, ContextsLentOverWorldsShareTheirPixels) {
  GWorldPtr world = newWorld(32, 8, 6);
  PixMapHandle pm = GetGWorldPixMap(world);
  CGContextRef c = nullptr;
  ASSERT_EQ(QDBeginCGContext(world, &c), noErr);
  EXPECT_EQ(CGBitmapContextGetData(c), GetPixBaseAddr(pm));
  EXPECT_EQ(CGBitmapContextGetBytesPerRow(c), static_cast<size_t>(GetPixRowBytes(pm)));
  EXPECT_EQ(CGBitmapContextGetWidth(c), 8u);
  EXPECT_EQ(CGBitmapContextGetHeight(c), 6u);
  EXPECT_EQ(CGBitmapContextGetAlphaInfo(c), kCGImageAlphaNoneSkipFirst);

  CGContextRef second = nullptr;
  EXPECT_EQ(QDBeginCGContext(world, &second), paramErr);  // one at a time
  EXPECT_EQ(second, nullptr);
  Rect bounds{0, 0, 6, 8};
  EXPECT_EQ(UpdateGWorld(&world, 1, &bounds, nullptr, nullptr, clipPix), gwFlagErr);

  // Core Graphics counts up from the bottom: y 0 is the world's last row.
  CGContextSetRGBFillColor(c, 0, 0, 0, 1);
  CGContextFillRect(c, CGRectMake(0, 0, 8, 1));
  EXPECT_EQ(blackPixels(world), Mask(8, 6, [](int, int y) { return y == 5; }));
  CGContextRef wrong = second;
  EXPECT_EQ(QDEndCGContext(world, &wrong), paramErr);
  EXPECT_EQ(QDEndCGContext(world, &c), noErr);
  EXPECT_EQ(c, nullptr);

  // A context kept past its world's end draws nothing.
  ASSERT_EQ(QDBeginCGContext(world, &c), noErr);
  CGContextRetain(c);
  DisposeGWorld(world);
  CGContextFillRect(c, CGRectMake(0, 0, 8, 6));
  EXPECT_EQ(CGBitmapContextGetData(c), nullptr);
  CGContextRelease(c);
  CGContextRelease(c);

  // Eight-bit worlds lend a grey context; Core Graphics has no 24- or 1-bit kind.
  for (int depth : {8, 24, 1}) {
    GWorldPtr w = newWorld(depth, 4, 4);
    CGContextRef lent = nullptr;
    EXPECT_EQ(QDBeginCGContext(w, &lent), depth == 8 ? OSStatus{noErr} : OSStatus{paramErr}) << depth;
    if (lent) {
      EXPECT_EQ(CGBitmapContextGetBitsPerPixel(lent), 8u);
      QDEndCGContext(w, &lent);
    }
    DisposeGWorld(w);
  }
  GWorldPtr native = newWorld(32, 2, 2, kNativeEndianPixMap);
  ASSERT_EQ(QDBeginCGContext(native, &c), noErr);
  EXPECT_EQ(CGBitmapContextGetBitmapInfo(c) & kCGBitmapByteOrderMask, uint32_t{kCGBitmapByteOrder32Little});
  QDEndCGContext(native, &c);
  DisposeGWorld(native);
}

// Picture to region, the way a clip mask is set, and region to picture, the way it
// is read, through the same calls in the same order.
TEST_F(CoreGraphicsTest, PicturesAndRegionsMakeTheRoundTrip) {
  CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
  const int16_t width = 40, height = 30;
  for (bool blank : {false, true}) {
    SCOPED_TRACE(blank ? "all white" : "black ring on white");
    CGContextRef picture = CGBitmapContextCreate(nullptr, width, height, 8, 0, rgb, kCGImageAlphaPremultipliedFirst);
    CGContextSetRGBFillColor(picture, 1, 1, 1, 1);
    CGContextFillRect(picture, CGRectMake(0, 0, width, height));
    if (!blank) {
      CGContextSetRGBFillColor(picture, 0, 0, 0, 1);
      CGContextFillEllipseInRect(picture, CGRectMake(4, 3, 30, 24));
      CGContextSetRGBFillColor(picture, 1, 1, 1, 1);
      CGContextFillEllipseInRect(picture, CGRectMake(12, 9, 12, 10));
    }
    Mask black(width, height, [&](int x, int y) {
      return pixelBytes(picture, static_cast<size_t>(x), static_cast<size_t>(y))[1] == 0;
    });

    CGrafPtr savedPort;
    GDHandle savedDevice;
    GetGWorld(&savedPort, &savedDevice);
    Rect bounds{0, 0, height, width};
    GWorldPtr world = newWorld(32, width, height);
    SetGWorld(world, nullptr);
    CGImageRef image = CGBitmapContextCreateImage(picture);
    CGContextRef c = nullptr;
    ASSERT_EQ(QDBeginCGContext(world, &c), noErr);
    Rect portBounds;
    GetPortBounds(world, &portBounds);
    CGContextDrawImage(c, CGRectMake(0, portBounds.bottom - bounds.bottom, width, height), image);
    CGContextFlush(c);
    QDEndCGContext(world, &c);
    CGImageRelease(image);
    SetGWorld(world, nullptr);
    UpdateGWorld(&world, 1, &bounds, nullptr, nullptr, clipPix);
    PixMapHandle pixels = GetPortPixMap(world);
    ASSERT_TRUE(LockPixels(pixels));
    RgnHandle region = NewRgn();
    ASSERT_EQ(BitMapToRegion(region, reinterpret_cast<const BitMap*>(*pixels)), noErr);
    UnlockPixels(pixels);
    DisposeGWorld(world);
    SetGWorld(savedPort, savedDevice);
    EXPECT_EQ(maskOf(region, width, height), black) << maskOf(region, width, height).text();
    EXPECT_EQ(EmptyRgn(region), blank);

    // And back: white everywhere, the region black.
    GWorldPtr back = newWorld(32, width, height);
    SetGWorld(back, nullptr);
    RGBForeColor(&kWhiteColor);
    FillRect(&bounds, &kSolid);
    RGBForeColor(&kBlackColor);
    FillRgn(region, &kSolid);
    SetGWorld(savedPort, savedDevice);
    EXPECT_EQ(blackPixels(back), black);
    DisposeGWorld(back);
    DisposeRgn(region);
    CGContextRelease(picture);
  }
  CGColorSpaceRelease(rgb);
}

}  // namespace
}  // namespace qdtest
