// Regions against per-pixel masks: bitmaps to regions and back, set operations, the
// file form, and the limits of the record.
#include "qd_fixture.h"

#include <MacErrors.h>

#include <cmath>
#include <cstring>

namespace qdtest {
namespace {

using RegionTest = QuickDrawTest;

struct Shape {
  const char* name;
  Mask mask;
};

std::vector<Shape> shapes() {
  std::vector<Shape> s = {
      {"empty", Mask(9, 7)},
      {"corner pixel", Mask(9, 7, [](int x, int y) { return x == 0 && y == 0; })},
      {"lone pixel", Mask(9, 7, [](int x, int y) { return x == 5 && y == 3; })},
      {"rectangle", Mask(20, 12, [](int x, int y) { return x >= 3 && x < 17 && y >= 2 && y < 9; })},
      {"everything", Mask(13, 5, [](int, int) { return true; })},
      {"L", Mask(10, 20, [](int x, int y) { return y < 10 || x < 5; })},
      {"frame with a hole", Mask(16, 16, [](int x, int y) { return !(x >= 4 && x < 12 && y >= 4 && y < 12); })},
      {"ring", Mask(40, 30, [](int x, int y) {
         double d = std::hypot(x - 19.5, y - 14.5);
         return d < 14 && d > 6;
       })},
      {"two blobs per row", Mask(30, 8, [](int x, int y) { return (x > 2 && x < 9) || (x > 20 && x < 20 + y); })},
      {"diagonal", Mask(17, 17, [](int x, int y) { return x == y; })},
      {"checkerboard", Mask(16, 16, [](int x, int y) { return (x + y) % 2 == 0; })},
      {"right edge of a ragged width", Mask(13, 3, [](int x, int) { return x == 12; })},
  };
  std::mt19937 rng(7);
  for (int percent : {5, 50, 95}) s.push_back({"random", randomMask(rng, 37, 23, percent)});
  return s;
}

TEST_F(RegionTest, BitmapsBecomeRegionsThatPaintBackPixelForPixel) {
  for (const Shape& shape : shapes()) {
    for (auto [left, top] : {std::pair<int16_t, int16_t>{0, 0}, {-7, 12}}) {
      SCOPED_TRACE(std::string(shape.name) + " at " + std::to_string(left) + "," + std::to_string(top) + "\n" +
                   shape.mask.text());
      Bits bits(shape.mask, left, top);
      // Bits past the image's width are not part of the image.
      for (int y = 0; y < shape.mask.height; ++y)
        for (int x = shape.mask.width; x < bits.map.rowBytes * 8; ++x)
          bits.bytes[static_cast<size_t>(y * bits.map.rowBytes + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
      RgnHandle rgn = NewRgn();
      ASSERT_EQ(BitMapToRegion(rgn, &bits.map), noErr);
      EXPECT_EQ(maskOf(rgn, shape.mask.width, shape.mask.height, left, top), shape.mask);

      // The bounding box is tight, and only a rectangle has the 10-byte form.
      Rect box;
      GetRegionBounds(rgn, &box);
      int minX = INT32_MAX, maxX = -1, minY = INT32_MAX, maxY = -1;
      for (int y = 0; y < shape.mask.height; ++y)
        for (int x = 0; x < shape.mask.width; ++x)
          if (shape.mask.at(x, y)) minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = y;
      bool empty = maxX < 0;
      EXPECT_EQ(EmptyRgn(rgn), empty);
      if (empty) {
        EXPECT_EQ(box.top | box.left | box.bottom | box.right, 0);
      } else {
        EXPECT_EQ(box.left, left + minX);
        EXPECT_EQ(box.right, left + maxX + 1);
        EXPECT_EQ(box.top, top + minY);
        EXPECT_EQ(box.bottom, top + maxY + 1);
      }
      bool rectangle = !empty && (maxX - minX + 1) * (maxY - minY + 1) ==
                                     std::count(shape.mask.on.begin(), shape.mask.on.end(), 1);
      EXPECT_EQ(IsRegionRectangular(rgn), rectangle);
      EXPECT_EQ(QDRegionFileSize(rgn) == 10, empty || rectangle);

      // Painted into worlds of every depth with the same coordinates, it is the image again.
      for (int depth : {1, 8, 24, 32}) {
        SCOPED_TRACE(depth);
        GWorldPtr world = nullptr;
        ASSERT_EQ(NewGWorld(&world, static_cast<int16_t>(depth), &bits.map.bounds, nullptr, nullptr, 0), noErr);
        CGrafPtr savedPort;
        GDHandle savedDevice;
        GetGWorld(&savedPort, &savedDevice);
        SetGWorld(world, nullptr);
        RGBForeColor(&kBlackColor);
        FillRgn(rgn, &kSolid);
        SetGWorld(savedPort, savedDevice);
        EXPECT_EQ(blackPixels(world), shape.mask);
        DisposeGWorld(world);
      }
      DisposeRgn(rgn);
    }
  }
}

// Set operations and hit testing compared with mask arithmetic over random shapes.
TEST_F(RegionTest, SetOperationsMatchMaskArithmetic) {
  std::mt19937 rng(2024);
  std::uniform_int_distribution<int> coord(0, 24);
  auto randomRegion = [&](Mask& mask) {
    RgnHandle rgn = NewRgn(), piece = NewRgn();
    for (int i = 0; i < 3; ++i) {
      int16_t l = static_cast<int16_t>(coord(rng)), t = static_cast<int16_t>(coord(rng));
      int16_t r = static_cast<int16_t>(l + coord(rng) / 2), b = static_cast<int16_t>(t + coord(rng) / 2);
      SetRectRgn(piece, l, t, r, b);
      UnionRgn(rgn, piece, rgn);  // the destination may be a source
      for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) mask.set(x, y, true);
    }
    DisposeRgn(piece);
    return rgn;
  };
  struct Op {
    const char* name;
    void (*call)(RgnHandle, RgnHandle, RgnHandle);
    bool (*apply)(bool, bool);
  };
  const Op ops[] = {{"union", UnionRgn, [](bool a, bool b) { return a || b; }},
                    {"sect", SectRgn, [](bool a, bool b) { return a && b; }},
                    {"diff", DiffRgn, [](bool a, bool b) { return a && !b; }},
                    {"xor", XorRgn, [](bool a, bool b) { return a != b; }}};
  for (int round = 0; round < 40; ++round) {
    Mask ma(40, 40), mb(40, 40);
    RgnHandle a = randomRegion(ma), b = randomRegion(mb), result = NewRgn(), fromBits = NewRgn();
    ASSERT_EQ(maskOf(a, 40, 40), ma) << ma.text();
    for (const Op& op : ops) {
      Mask expected(40, 40, [&](int x, int y) { return op.apply(ma.at(x, y), mb.at(x, y)); });
      op.call(a, b, result);
      ASSERT_EQ(maskOf(result, 40, 40), expected) << op.name << " of\n" << ma.text() << "and\n" << mb.text();
      // One canonical form: the same pixels made another way give an equal record.
      Bits bits(expected);
      ASSERT_EQ(BitMapToRegion(fromBits, &bits.map), noErr);
      EXPECT_TRUE(EqualRgn(result, fromBits)) << op.name;
    }
    DisposeRgn(a), DisposeRgn(b), DisposeRgn(result), DisposeRgn(fromBits);
  }
}

TEST_F(RegionTest, RectanglesCopiesAndOffsets) {
  RgnHandle a = NewRgn(), b = NewRgn();
  EXPECT_TRUE(EmptyRgn(a));
  SetRectRgn(a, 10, 20, 5, 30);  // right of left: empty
  EXPECT_TRUE(EmptyRgn(a));
  EXPECT_TRUE(EqualRgn(a, b));
  Rect r{-5, -3, 4, 8};
  RectRgn(a, &r);
  EXPECT_TRUE(IsRegionRectangular(a));
  EXPECT_FALSE(EqualRgn(a, b));
  CopyRgn(a, b);
  EXPECT_TRUE(EqualRgn(a, b));
  EXPECT_TRUE(PtInRgn(Point{-5, -3}, b));
  EXPECT_FALSE(PtInRgn(Point{4, 0}, b));  // bottom and right edges lie outside

  Bits ring(Mask(8, 8, [](int x, int y) { return (x == 0 || x == 7 || y == 0 || y == 7); }));
  ASSERT_EQ(BitMapToRegion(b, &ring.map), noErr);
  OffsetRgn(b, 100, -50);
  EXPECT_EQ(QDError(), noErr);
  EXPECT_EQ(maskOf(b, 8, 8, 100, -50), Mask(8, 8, [](int x, int y) { return x == 0 || x == 7 || y == 0 || y == 7; }));
  RgnHandle before = NewRgn();
  CopyRgn(b, before);
  OffsetRgn(b, 32700, 0);  // would reach the 0x7FFF that ends scan lines
  EXPECT_EQ(QDError(), rgnOverflowErr);
  EXPECT_TRUE(EqualRgn(b, before));
  SetEmptyRgn(b);
  EXPECT_TRUE(EmptyRgn(b));
  DisposeRgn(a), DisposeRgn(b), DisposeRgn(before);
}

TEST_F(RegionTest, ImagesThatCannotBecomeRegionsLeaveTheRegionAlone) {
  RgnHandle rgn = NewRgn(), original = NewRgn();
  SetRectRgn(original, 1, 2, 3, 4);
  CopyRgn(original, rgn);

  // Noise this size needs more than the 16-bit record size allows.
  std::mt19937 rng(1);
  Bits board(randomMask(rng, 256, 256, 50));
  EXPECT_EQ(BitMapToRegion(rgn, &board.map), rgnTooBigErr);
  EXPECT_TRUE(EqualRgn(rgn, original));

  // Scan lines cannot reach 0x7FFF; a rectangle there needs none.
  Mask triangle(4, 4, [](int x, int y) { return x <= y; });
  Bits high(triangle, 0, 32763);
  EXPECT_EQ(BitMapToRegion(rgn, &high.map), rgnOverflowErr);
  EXPECT_TRUE(EqualRgn(rgn, original));
  Bits block(Mask(4, 4, [](int, int) { return true; }), 0, 32763);
  EXPECT_EQ(BitMapToRegion(rgn, &block.map), noErr);
  EXPECT_TRUE(IsRegionRectangular(rgn));

  GWorldPtr deep = newWorld(32, 8, 8);
  EXPECT_EQ(BitMapToRegion(rgn, GetPortBitMapForCopyBits(deep)), pixMapTooDeepErr);
  DisposeGWorld(deep);
  EXPECT_EQ(BitMapToRegion(nullptr, &block.map), paramErr);
  EXPECT_EQ(BitMapToRegion(rgn, nullptr), paramErr);
  DisposeRgn(rgn), DisposeRgn(original);
}

// The L-shaped region of two rectangles, as a clip atom stores it.
const uint8_t kLShape[] = {
    0x00, 0x24,                                      // size 36
    0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0x00, 0x0A,  // bbox 0,0,20,10
    0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x7F, 0xFF,  // y 0: [0,10)
    0x00, 0x0A, 0x00, 0x05, 0x00, 0x0A, 0x7F, 0xFF,  // y 10: xor [5,10)
    0x00, 0x14, 0x00, 0x00, 0x00, 0x05, 0x7F, 0xFF,  // y 20: xor [0,5)
    0x7F, 0xFF,                                      // end
};

TEST_F(RegionTest, FileBytesRoundTrip) {
  Bits bits(Mask(10, 20, [](int x, int y) { return y < 10 || x < 5; }));
  RgnHandle fromBits = NewRgn(), fromFile = NewRgn();
  ASSERT_EQ(BitMapToRegion(fromBits, &bits.map), noErr);
  ASSERT_EQ(QDRegionFileSize(fromBits), Size{sizeof kLShape});
  uint8_t out[sizeof kLShape];
  EXPECT_EQ(QDRegionToFileBytes(fromBits, out, sizeof out - 1), paramErr);
  ASSERT_EQ(QDRegionToFileBytes(fromBits, out, sizeof out), noErr);
  EXPECT_EQ(std::memcmp(out, kLShape, sizeof kLShape), 0);
  ASSERT_EQ(QDRegionFromFileBytes(fromFile, kLShape, sizeof kLShape), noErr);
  EXPECT_TRUE(EqualRgn(fromBits, fromFile));

  // Read leniently: a rectangle written as scan lines, under a wrong bounding box,
  // comes back canonical.
  const uint8_t rectAsLines[] = {0x00, 0x1C, 0, 0, 0, 0, 0, 1, 0, 1,  // size 28, bbox 0,0,1,1
                                 0x00, 0x02, 0x00, 0x03, 0x00, 0x07, 0x7F, 0xFF,
                                 0x00, 0x06, 0x00, 0x03, 0x00, 0x07, 0x7F, 0xFF, 0x7F, 0xFF};
  ASSERT_EQ(QDRegionFromFileBytes(fromFile, rectAsLines, sizeof rectAsLines), noErr);
  EXPECT_TRUE(IsRegionRectangular(fromFile));
  Rect box;
  GetRegionBounds(fromFile, &box);
  EXPECT_EQ((std::vector<int>{box.top, box.left, box.bottom, box.right}), (std::vector<int>{2, 3, 6, 7}));
  DisposeRgn(fromBits), DisposeRgn(fromFile);
}

TEST_F(RegionTest, MalformedFileBytesAreRefusedAndChangeNothing) {
  using Bytes = std::vector<uint8_t>;
  Bytes good(kLShape, kLShape + sizeof kLShape);
  auto withSize = [](Bytes b, int size) {
    b[0] = static_cast<uint8_t>(size >> 8), b[1] = static_cast<uint8_t>(size);
    return b;
  };
  auto patched = [&](size_t at, std::initializer_list<uint8_t> v) {
    Bytes b = good;
    std::copy(v.begin(), v.end(), b.begin() + static_cast<long>(at));
    return b;
  };
  Bytes truncated(good.begin(), good.end() - 2);
  Bytes unclosed(good.begin(), good.begin() + 26);  // the last line is missing
  unclosed.push_back(0x7F), unclosed.push_back(0xFF);
  Bytes trailing = good;
  trailing.insert(trailing.end(), {0x00, 0x00});
  const struct {
    const char* fault;
    Bytes bytes;
  } cases[] = {
      {"shorter than a header", Bytes(good.begin(), good.begin() + 8)},
      {"size below 10", withSize(good, 8)},
      {"odd size", withSize(good, 35)},
      {"size past the bytes", withSize(good, 38)},
      {"no final end", withSize(truncated, 34)},
      {"lines out of order", patched(18, {0x00, 0x00})},
      {"points out of order", patched(12, {0x00, 0x0B})},
      {"a row left open", patched(22, {0x7F, 0xFF})},  // one point: a span with no end
      {"region never closes", withSize(unclosed, 28)},
      {"words after the end", withSize(trailing, 38)},
  };
  RgnHandle rgn = NewRgn(), original = NewRgn();
  SetRectRgn(original, 1, 1, 9, 9);
  for (const auto& c : cases) {
    CopyRgn(original, rgn);
    EXPECT_EQ(QDRegionFromFileBytes(rgn, c.bytes.data(), static_cast<Size>(c.bytes.size())), paramErr) << c.fault;
    EXPECT_TRUE(EqualRgn(rgn, original)) << c.fault;
  }
  EXPECT_EQ(QDRegionFromFileBytes(rgn, nullptr, 10), paramErr);

  // Damaged at random, a region is refused or read into one that writes back the same.
  std::mt19937 rng(99);
  Bits ringBits(Mask(20, 20, [](int x, int y) { return std::abs(x - 10) + std::abs(y - 10) < 8 && (x + y) % 5; }));
  ASSERT_EQ(BitMapToRegion(original, &ringBits.map), noErr);
  Bytes valid(static_cast<size_t>(QDRegionFileSize(original)));
  ASSERT_EQ(QDRegionToFileBytes(original, valid.data(), static_cast<Size>(valid.size())), noErr);
  RgnHandle reread = NewRgn();
  int accepted = 0;
  for (int round = 0; round < 2000; ++round) {
    Bytes damaged = valid;
    for (int hits = 1 + round % 3; hits > 0; --hits)
      damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    if (QDRegionFromFileBytes(rgn, damaged.data(), static_cast<Size>(damaged.size())) != noErr) continue;
    ++accepted;
    Bytes written(static_cast<size_t>(QDRegionFileSize(rgn)));
    ASSERT_EQ(QDRegionToFileBytes(rgn, written.data(), static_cast<Size>(written.size())), noErr);
    ASSERT_EQ(QDRegionFromFileBytes(reread, written.data(), static_cast<Size>(written.size())), noErr);
    ASSERT_TRUE(EqualRgn(rgn, reread)) << "round " << round;
  }
  EXPECT_GT(accepted, 0);  // damage to the bounding box alone is repaired
  DisposeRgn(reread);
  EXPECT_EQ(QDRegionToFileBytes(nullptr, nullptr, 0), paramErr);
  EXPECT_EQ(QDRegionFileSize(nullptr), 0);
  DisposeRgn(rgn), DisposeRgn(original);
}

}  // namespace
}  // namespace qdtest
