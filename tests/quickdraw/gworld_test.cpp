// Graphics worlds: their pixels in every depth, the current port, fills, depth changes,
// CopyBits, and the framework bundle reaching the same state.
#include "qd_fixture.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Folders.h>
#include <MacErrors.h>

#include <cstring>

namespace qdtest {
namespace {

using GWorldTest = QuickDrawTest;

const uint8_t* pixelRow(GWorldPtr world, int y) {
  PixMapHandle pm = GetGWorldPixMap(world);
  return reinterpret_cast<const uint8_t*>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm);
}

// Runs fn with world as the current port, restoring the port after.
template <typename Fn>
void drawIn(GWorldPtr world, Fn&& fn) {
  CGrafPtr port;
  GDHandle device;
  GetGWorld(&port, &device);
  SetGWorld(world, nullptr);
  fn();
  SetGWorld(port, device);
}

TEST_F(GWorldTest, WorldsOfEveryDepthStartWhiteAndDescribeThemselves) {
  for (int depth : {1, 8, 24, 32}) {
    SCOPED_TRACE(depth);
    GWorldPtr world = newWorld(depth, 37, 5);
    ASSERT_NE(world, nullptr);
    PixMapHandle pm = GetGWorldPixMap(world);
    EXPECT_EQ(pm, GetPortPixMap(world));
    EXPECT_EQ(GetPixDepth(pm), depth);
    EXPECT_GE(GetPixRowBytes(pm), (37 * depth + 7) / 8);
    EXPECT_EQ((*pm)->rowBytes & 0x8000, 0x8000);
    Rect bounds;
    EXPECT_EQ(GetPortBounds(world, &bounds), &bounds);
    EXPECT_EQ(bounds.right, 37);
    EXPECT_EQ(bounds.bottom, 5);
    EXPECT_EQ(blackPixels(world), Mask(37, 5));
    if (depth == 32) {
      EXPECT_EQ(pixelRow(world, 4)[0], 0xFF);  // the pad byte too
    }
    if (depth <= 8) {
      ASSERT_NE((*pm)->pmTable, nullptr);
      EXPECT_EQ((**(*pm)->pmTable).ctSize, (1 << depth) - 1);
    }
    EXPECT_TRUE(LockPixels(pm));
    EXPECT_EQ(QDLockedPixelsCount(), 1);
    EXPECT_EQ(GetPixelsState(pm), pixelsLocked);
    UnlockPixels(pm);
    DisposeGWorld(world);
  }
  GWorldPtr world = newWorld(0, 2, 2);  // depth 0: the deepest kept
  EXPECT_EQ(GetPixDepth(GetGWorldPixMap(world)), 32);
  DisposeGWorld(world);

  Rect bounds{0, 0, 10, 10}, empty{0, 0, 0, 10};
  world = reinterpret_cast<GWorldPtr>(1);
  EXPECT_EQ(NewGWorld(&world, 16, &bounds, nullptr, nullptr, 0), cDepthErr);
  EXPECT_EQ(world, nullptr);
  EXPECT_EQ(NewGWorld(&world, 32, &empty, nullptr, nullptr, 0), paramErr);
  ColorTable table{};
  CTabPtr tablePtr = &table;
  EXPECT_EQ(NewGWorld(&world, 8, &bounds, &tablePtr, nullptr, 0), paramErr);
  EXPECT_EQ(NewGWorld(nullptr, 32, &bounds, nullptr, nullptr, 0), paramErr);
  // A world too large to hold is refused, not attempted.
  Rect huge{0, 0, 32000, 32000};
  EXPECT_EQ(NewGWorld(&world, 32, &huge, nullptr, nullptr, 0), memFullErr);
}

TEST_F(GWorldTest, PortDeviceAndTextStateBelongToEachPort) {
  CGrafPtr screen;
  GDHandle screenDevice;
  GetGWorld(&screen, &screenDevice);
  TextSize(9);
  GWorldPtr a = newWorld(32, 4, 4), b = newWorld(8, 4, 4);

  SetGWorld(a, nullptr);
  CGrafPtr port;
  GDHandle device;
  GetGWorld(&port, &device);
  EXPECT_EQ(port, a);
  EXPECT_NE(device, screenDevice);
  EXPECT_EQ(device, GetGDevice());
  TextSize(24);
  FontInfo inA;
  GetFontInfo(&inA);
  SetGWorld(b, nullptr);
  GetGWorld(&port, &device);
  EXPECT_EQ(port, b);
  FontInfo inB;
  GetFontInfo(&inB);
  EXPECT_GT(inA.ascent, inB.ascent);

  // Disposing the current world leaves the screen current, never a dangling port.
  DisposeGWorld(b);
  GetGWorld(&port, &device);
  EXPECT_EQ(port, screen);
  EXPECT_EQ(device, screenDevice);
  SetGWorld(a, nullptr);
  SetGWorld(b, nullptr);  // stale: refused, the port stays
  EXPECT_EQ(QDError(), paramErr);
  GetPort(&port);
  EXPECT_EQ(port, a);
  EXPECT_EQ(GetGWorldPixMap(b), nullptr);
  SetGWorld(screen, screenDevice);
  TextSize(0);
  DisposeGWorld(a);
}

TEST_F(GWorldTest, FillsWriteTheColourInEachLayout) {
  const RGBColor colour{0x1234, 0x5678, 0x9ABC};
  struct Case {
    int depth;
    GWorldFlags flags;
    std::vector<uint8_t> bytes;
  };
  const int grey = (77 * 0x12 + 150 * 0x56 + 29 * 0x9A + 128) >> 8;
  const Case cases[] = {{32, 0, {0xFF, 0x12, 0x56, 0x9A}},
                        {32, kNativeEndianPixMap, {0x9A, 0x56, 0x12, 0xFF}},
                        {24, 0, {0x12, 0x56, 0x9A}},
                        {8, 0, {static_cast<uint8_t>(grey)}},
                        {1, 0, {0x80}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depth);
    GWorldPtr world = newWorld(c.depth, 10, 3, c.flags);
    Rect r{1, 1, 2, 2};  // the second pixel: each layout must step to it
    drawIn(world, [&] {
      RGBForeColor(&colour);
      PaintRect(&r);
    });
    const uint8_t* at = pixelRow(world, 1) + (c.depth == 1 ? 0 : c.bytes.size());
    std::vector<uint8_t> want = c.depth == 1 ? std::vector<uint8_t>{0x40} : c.bytes;
    EXPECT_EQ(std::vector<uint8_t>(at, at + want.size()), want);
    EXPECT_EQ(blackPixels(world).at(0, 0), false);
    DisposeGWorld(world);
  }

  // A pattern is aligned to the port's coordinates; clear bits take the background.
  GWorldPtr world = newWorld(1, 12, 9);
  const Pattern checker{{0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55}};
  Rect all{-5, -5, 50, 50}, corner{0, 0, 2, 2};
  drawIn(world, [&] {
    FillRect(&all, &checker);  // larger than the port: clipped
    EXPECT_EQ(QDError(), noErr);
  });
  EXPECT_EQ(blackPixels(world), Mask(12, 9, [](int x, int y) { return (x + y) % 2 == 0; }));
  drawIn(world, [&] {
    RGBBackColor(&kWhiteColor);
    EraseRect(&corner);
  });
  EXPECT_FALSE(blackPixels(world).at(0, 0));
  DisposeGWorld(world);
}

// The reduction the clip mask makes: colours drawn at 32 bits become one bit each,
// then a region.
TEST_F(GWorldTest, UpdateGWorldToOneBitThenRegion) {
  GWorldPtr world = newWorld(32, 20, 10);
  const RGBColor darkRed{0xC000, 0x1000, 0x1000}, paleYellow{0xFFFF, 0xFFFF, 0x8000};
  const RGBColor justDark{0x7E00, 0x7E00, 0x7E00}, justLight{0x8100, 0x8100, 0x8100};
  Rect left{0, 0, 10, 10}, right{0, 10, 10, 20}, dark{2, 12, 4, 14}, light{6, 2, 8, 4};
  drawIn(world, [&] {
    RGBForeColor(&darkRed), PaintRect(&left);
    RGBForeColor(&paleYellow), PaintRect(&right);
    RGBForeColor(&justDark), PaintRect(&dark);
    RGBForeColor(&justLight), PaintRect(&light);
  });
  Mask expected(20, 10, [](int x, int y) {
    bool inLight = y >= 6 && y < 8 && x >= 2 && x < 4, inDark = y >= 2 && y < 4 && x >= 12 && x < 14;
    return (x < 10 && !inLight) || inDark;
  });
  PixMapHandle pm = GetPortPixMap(world);
  GWorldPtr same = world;
  Rect bounds{0, 0, 10, 20};
  GWorldFlags flags = UpdateGWorld(&world, 1, &bounds, nullptr, nullptr, clipPix);
  EXPECT_EQ(flags & gwFlagErr, 0u);
  EXPECT_EQ(flags & (newDepth | mapPix), newDepth | mapPix);
  EXPECT_EQ(world, same);
  EXPECT_EQ(GetPortPixMap(world), pm);
  EXPECT_EQ(GetPixDepth(pm), 1);
  EXPECT_EQ(blackPixels(world), expected) << blackPixels(world).text();

  ASSERT_TRUE(LockPixels(pm));
  RgnHandle rgn = NewRgn();
  ASSERT_EQ(BitMapToRegion(rgn, reinterpret_cast<const BitMap*>(*pm)), noErr);
  UnlockPixels(pm);
  EXPECT_EQ(maskOf(rgn, 20, 10), expected);
  DisposeRgn(rgn);

  EXPECT_EQ(UpdateGWorld(&world, 16, &bounds, nullptr, nullptr, 0), gwFlagErr);
  EXPECT_EQ(QDError(), cDepthErr);
  DisposeGWorld(world);
}

TEST_F(GWorldTest, UpdateGWorldClipsStretchesOrStartsAfresh) {
  Mask corner(4, 4, [](int x, int y) { return x < 2 && y < 2; });
  auto fresh = [&] {
    GWorldPtr w = newWorld(1, 4, 4);
    Bits bits(corner);
    Rect r{0, 0, 4, 4};
    drawIn(w, [&] { CopyBits(&bits.map, GetPortBitMapForCopyBits(w), &r, &r, srcCopy, nullptr); });
    return w;
  };
  Rect big{0, 0, 8, 8};
  GWorldPtr w = fresh();
  EXPECT_EQ(UpdateGWorld(&w, 0, &big, nullptr, nullptr, stretchPix) & stretchPix, stretchPix);
  EXPECT_EQ(blackPixels(w), Mask(8, 8, [](int x, int y) { return x < 4 && y < 4; }));
  DisposeGWorld(w);

  w = fresh();
  EXPECT_EQ(UpdateGWorld(&w, 0, &big, nullptr, nullptr, clipPix) & clipPix, clipPix);
  EXPECT_EQ(blackPixels(w), Mask(8, 8, [](int x, int y) { return x < 2 && y < 2; }));
  DisposeGWorld(w);

  w = fresh();
  EXPECT_EQ(UpdateGWorld(&w, 0, &big, nullptr, nullptr, 0), reallocPix);
  EXPECT_EQ(blackPixels(w), Mask(8, 8));
  DisposeGWorld(w);

  // Moving the origin keeps the pixels where they are.
  w = fresh();
  Rect moved{10, 10, 14, 14};
  EXPECT_EQ(UpdateGWorld(&w, 1, &moved, nullptr, nullptr, 0), 0u);
  EXPECT_EQ(blackPixels(w), corner);
  DisposeGWorld(w);
}

TEST_F(GWorldTest, CopyBitsScalesAndConvertsBetweenDepths) {
  Mask shape(4, 3, [](int x, int y) { return x == y || x == 3; });
  Bits bits(shape);
  Rect srcRect{0, 0, 3, 4}, twice{0, 0, 6, 8};

  for (int depth : {1, 8, 24, 32}) {
    SCOPED_TRACE(depth);
    GWorldPtr up = newWorld(depth, 8, 6);
    drawIn(up, [&] { CopyBits(&bits.map, GetPortBitMapForCopyBits(up), &srcRect, &twice, srcCopy, nullptr); });
    EXPECT_EQ(blackPixels(up), Mask(8, 6, [&](int x, int y) { return shape.at(x / 2, y / 2); }));

    // And back down, through the world's own pixel map, to one bit.
    GWorldPtr down = newWorld(1, 4, 3);
    drawIn(down, [&] {
      CopyBits(GetPortBitMapForCopyBits(up), GetPortBitMapForCopyBits(down), &twice, &srcRect, ditherCopy, nullptr);
    });
    EXPECT_EQ(blackPixels(down), shape);
    DisposeGWorld(up), DisposeGWorld(down);
  }

  // Greys survive 8 → 24 → 8.
  GWorldPtr g8 = newWorld(8, 3, 1), g24 = newWorld(24, 3, 1), back = newWorld(8, 3, 1);
  uint8_t* greys = reinterpret_cast<uint8_t*>(GetPixBaseAddr(GetGWorldPixMap(g8)));
  greys[0] = 0, greys[1] = 100, greys[2] = 201;
  Rect row{0, 0, 1, 3};
  CopyBits(GetPortBitMapForCopyBits(g8), GetPortBitMapForCopyBits(g24), &row, &row, srcCopy, nullptr);
  EXPECT_EQ(pixelRow(g24, 0)[3], 100);
  EXPECT_EQ(pixelRow(g24, 0)[5], 100);
  CopyBits(GetPortBitMapForCopyBits(g24), GetPortBitMapForCopyBits(back), &row, &row, srcCopy, nullptr);
  EXPECT_EQ(std::memcmp(pixelRow(back, 0), greys, 3), 0);

  DisposeGWorld(g8), DisposeGWorld(g24), DisposeGWorld(back);

  // Within one image the copy reads the pixels as they were before it began.
  GWorldPtr column = newWorld(8, 1, 3);
  auto cell = [&](int y) { return const_cast<uint8_t*>(pixelRow(column, y)); };
  *cell(0) = 0, *cell(1) = 100, *cell(2) = 201;
  Rect from{0, 0, 2, 1}, to{1, 0, 3, 1};
  CopyBits(GetPortBitMapForCopyBits(column), GetPortBitMapForCopyBits(column), &from, &to, srcCopy, nullptr);
  EXPECT_EQ((std::vector<int>{*cell(0), *cell(1), *cell(2)}), (std::vector<int>{0, 0, 100}));
  DisposeGWorld(column);
}

TEST_F(GWorldTest, CopyBitsModesMasksAndColours) {
  Mask src(6, 6, [](int x, int) { return x < 3; });
  Bits bits(src);
  Rect r{0, 0, 6, 6};
  Mask ring(6, 6, [](int x, int y) { return x == 0 || y == 0 || x == 5 || y == 5; });
  Bits ringBits(ring);
  RgnHandle mask = NewRgn();
  ASSERT_EQ(BitMapToRegion(mask, &ringBits.map), noErr);

  GWorldPtr w = newWorld(1, 6, 6);
  drawIn(w, [&] { CopyBits(&bits.map, GetPortBitMapForCopyBits(w), &r, &r, srcCopy, mask); });
  EXPECT_EQ(blackPixels(w), Mask(6, 6, [&](int x, int y) { return src.at(x, y) && ring.at(x, y); }));
  drawIn(w, [&] { CopyBits(&bits.map, GetPortBitMapForCopyBits(w), &r, &r, notSrcCopy, nullptr); });
  EXPECT_EQ(blackPixels(w), Mask(6, 6, [&](int x, int y) { return !src.at(x, y); }));
  drawIn(w, [&] { CopyBits(&ringBits.map, GetPortBitMapForCopyBits(w), &r, &r, srcXor, nullptr); });
  EXPECT_EQ(blackPixels(w), Mask(6, 6, [&](int x, int y) { return !src.at(x, y) != ring.at(x, y); }));
  drawIn(w, [&] { CopyBits(&bits.map, GetPortBitMapForCopyBits(w), &r, &r, srcOr, nullptr); });
  EXPECT_EQ(blackPixels(w), Mask(6, 6, [&](int x, int y) { return src.at(x, y) || !ring.at(x, y); }));
  drawIn(w, [&] { CopyBits(&bits.map, GetPortBitMapForCopyBits(w), &r, &r, srcBic, nullptr); });
  EXPECT_EQ(blackPixels(w), Mask(6, 6, [&](int x, int y) { return !src.at(x, y) && !ring.at(x, y); }));
  CopyBits(&bits.map, GetPortBitMapForCopyBits(w), &r, &r, 0x20 /* blend */, nullptr);
  EXPECT_EQ(QDError(), paramErr);
  DisposeGWorld(w);

  // Foreground and background other than black and white tint what is copied.
  GWorldPtr colour = newWorld(32, 6, 6);
  const RGBColor red{0xFFFF, 0, 0}, blue{0, 0, 0xFFFF};
  drawIn(colour, [&] {
    RGBForeColor(&red), RGBBackColor(&blue);
    CopyBits(&bits.map, GetPortBitMapForCopyBits(colour), &r, &r, srcCopy, nullptr);
  });
  const uint8_t* p = pixelRow(colour, 2);
  EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{0xFF, 0xFF, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(p + 20, p + 24), (std::vector<uint8_t>{0xFF, 0, 0, 0xFF}));
  DisposeGWorld(colour);
  DisposeRgn(mask);
}

// The edges: a same-size copy touches its rectangle only, a caller's own PixMap
// (no extension record) is read by its rowBytes, and SetPort and a successful
// DisposeGWorld leave the state they promise.
TEST_F(GWorldTest, CopiesPortsAndErrorsAtTheEdges) {
  GWorldPtr from = newWorld(8, 4, 2), to = newWorld(8, 4, 2);
  std::memset(const_cast<uint8_t*>(pixelRow(from, 0)), 7, 4);
  Rect middle{0, 1, 1, 3};
  CopyBits(GetPortBitMapForCopyBits(from), GetPortBitMapForCopyBits(to), &middle, &middle, srcCopy, nullptr);
  const uint8_t* row = pixelRow(to, 0);
  EXPECT_EQ(std::vector<int>(row, row + 4), (std::vector<int>{255, 7, 7, 255}));
  Rect beyond{0, 10, 1, 12};  // right of the destination: nothing to copy
  CopyBits(GetPortBitMapForCopyBits(from), GetPortBitMapForCopyBits(to), &middle, &beyond, srcCopy, nullptr);
  EXPECT_EQ(QDError(), noErr);

  uint8_t pixels[2 * 4] = {1, 2, 3, 4, 5, 6, 7, 8};
  PixMap own{};
  own.baseAddr = reinterpret_cast<Ptr>(pixels);
  own.rowBytes = static_cast<int16_t>(0x8000 | 4);
  own.bounds = Rect{0, 0, 2, 4};
  own.pixelSize = 8;
  own.pmExt = nullptr;
  Rect second{1, 0, 2, 4}, first{0, 0, 1, 4};
  CopyBits(reinterpret_cast<const BitMap*>(&own), GetPortBitMapForCopyBits(to), &second, &first, srcCopy, nullptr);
  EXPECT_EQ(QDError(), noErr);
  EXPECT_EQ(std::vector<int>(row, row + 4), (std::vector<int>{5, 6, 7, 8}));

  GrafPtr saved, now;
  GetPort(&saved);
  SetPort(reinterpret_cast<GrafPtr>(to));
  GetPort(&now);
  EXPECT_EQ(now, reinterpret_cast<GrafPtr>(to));
  SetPort(saved);

  // A fill after a failed call reports its own success.
  RgnHandle dot = NewRgn();
  Rect one{0, 0, 1, 1};
  RectRgn(dot, &one);
  drawIn(to, [&] {
    DisposeGWorld(nullptr);
    EXPECT_EQ(QDError(), paramErr);
    PaintRgn(dot);
    EXPECT_EQ(QDError(), noErr);
  });
  DisposeRgn(dot);

  DisposeGWorld(nullptr);
  EXPECT_EQ(QDError(), paramErr);
  DisposeGWorld(from);
  EXPECT_EQ(QDError(), noErr);
  DisposeGWorld(to);
}

// Rows wider than a PixMap's 14-bit rowBytes field reach every caller intact.
TEST_F(GWorldTest, WideWorldsKeepTheirRowBytes) {
  GWorldPtr world = newWorld(32, 5000, 3), mono = newWorld(1, 5000, 3);
  PixMapHandle pm = GetGWorldPixMap(world);
  EXPECT_GE(GetPixRowBytes(pm), 20000);
  Rect bar{1, 4000, 2, 4990}, bounds{0, 0, 3, 5000};
  drawIn(world, [&] { PaintRect(&bar); });
  RgnHandle expected = NewRgn(), rgn = NewRgn();
  RectRgn(expected, &bar);

  CopyBits(GetPortBitMapForCopyBits(world), GetPortBitMapForCopyBits(mono), &bounds, &bounds, srcCopy, nullptr);
  ASSERT_EQ(BitMapToRegion(rgn, GetPortBitMapForCopyBits(mono)), noErr);
  EXPECT_TRUE(EqualRgn(rgn, expected));

  UpdateGWorld(&world, 1, &bounds, nullptr, nullptr, clipPix);
  ASSERT_EQ(BitMapToRegion(rgn, reinterpret_cast<const BitMap*>(*pm)), noErr);
  EXPECT_TRUE(EqualRgn(rgn, expected));
  DisposeRgn(rgn), DisposeRgn(expected);
  DisposeGWorld(world), DisposeGWorld(mono);
}

// The plugin finds these by name in the bundle; they must be the library's own calls.
TEST_F(GWorldTest, TheBundleReachesTheSameQuickDraw) {
  FSRef folder;
  ASSERT_EQ(FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &folder), noErr);
  CFURLRef base = CFURLCreateFromFSRef(kCFAllocatorDefault, &folder);
  CFStringRef leaf = CFStringCreateWithCString(nullptr, "ApplicationServices.framework", kCFStringEncodingUTF8);
  CFURLRef url = CFURLCreateCopyAppendingPathComponent(kCFAllocatorDefault, base, leaf, false);
  CFRelease(leaf);
  CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
  ASSERT_NE(bundle, nullptr);
  ASSERT_TRUE(CFBundleLoadExecutable(bundle));
  auto find = [&](const char* name) {
    CFStringRef s = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
    void* f = CFBundleGetFunctionPointerForName(bundle, s);
    CFRelease(s);
    return f;
  };
  const std::pair<const char*, void*> calls[] = {
      {"FillRect", (void*)&FillRect},          {"TextSize", (void*)&TextSize},
      {"TextFace", (void*)&TextFace},          {"RGBForeColor", (void*)&RGBForeColor},
      {"NewGWorld", (void*)&NewGWorld},        {"DisposeGWorld", (void*)&DisposeGWorld},
      {"DisposeRgn", (void*)&DisposeRgn},      {"SetGWorld", (void*)&SetGWorld},
      {"GetGWorld", (void*)&GetGWorld},        {"GetPortPixMap", (void*)&GetPortPixMap},
      {"GetPixDepth", (void*)&GetPixDepth},    {"UnlockPixels", (void*)&UnlockPixels},
      {"LockPixels", (void*)&LockPixels},      {"GetGWorldPixMap", (void*)&GetGWorldPixMap},
      {"GetPixBaseAddr", (void*)&GetPixBaseAddr}, {"GetPixRowBytes", (void*)&GetPixRowBytes},
      {"GetPortBounds", (void*)&GetPortBounds}, {"GetPortBitMapForCopyBits", (void*)&GetPortBitMapForCopyBits},
      {"CopyBits", (void*)&CopyBits},          {"GetFontInfo", (void*)&GetFontInfo},
      {"TextFont", (void*)&TextFont},          {"UpdateGWorld", (void*)&UpdateGWorld},
      {"BitMapToRegion", (void*)&BitMapToRegion}, {"FillRgn", (void*)&FillRgn},
      {"NewRgn", (void*)&NewRgn},
  };
  for (const auto& [name, linked] : calls) EXPECT_EQ(find(name), linked) << name;

  // A world made through the bundle is the library's: counted, current, disposable.
  auto newGWorld = reinterpret_cast<decltype(&NewGWorld)>(find("NewGWorld"));
  auto setGWorld = reinterpret_cast<decltype(&SetGWorld)>(find("SetGWorld"));
  Rect bounds{0, 0, 2, 2};
  GWorldPtr world = nullptr;
  long before = QDLiveGWorldCount();
  ASSERT_EQ(newGWorld(&world, 32, &bounds, nullptr, nullptr, 0), noErr);
  EXPECT_EQ(QDLiveGWorldCount(), before + 1);
  CGrafPtr saved, port;
  GDHandle savedDevice;
  GetGWorld(&saved, &savedDevice);
  setGWorld(world, nullptr);
  GetPort(&port);
  EXPECT_EQ(port, world);
  SetGWorld(saved, savedDevice);
  DisposeGWorld(world);

  CFRelease(bundle);
  CFRelease(url);
  CFRelease(base);
}

}  // namespace
}  // namespace qdtest
