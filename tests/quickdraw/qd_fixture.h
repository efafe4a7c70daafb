// Shared by the QuickDraw tests: per-pixel masks as the oracle, one-bit images built
// from them, and a fixture that fails a test that leaks or leaves a port current.
#pragma once

#include <CoreGraphics/CoreGraphics.h>
#include <MacMemory.h>
#include <QuickDraw.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace qdtest {

struct Mask {
  int width = 0, height = 0;
  std::vector<uint8_t> on;

  Mask(int w, int h) : width(w), height(h), on(static_cast<size_t>(w * h)) {}
  Mask(int w, int h, const std::function<bool(int, int)>& f) : Mask(w, h) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) set(x, y, f(x, y));
  }
  bool at(int x, int y) const { return on[static_cast<size_t>(y * width + x)] != 0; }
  void set(int x, int y, bool v) { on[static_cast<size_t>(y * width + x)] = v; }
  bool operator==(const Mask& o) const { return width == o.width && height == o.height && on == o.on; }

  // Rows of '#' and '.', for failure messages that show the shape.
  std::string text() const {
    std::ostringstream s;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) s << (at(x, y) ? '#' : '.');
      s << '\n';
    }
    return s.str();
  }
};

inline void PrintTo(const Mask& m, std::ostream* os) { *os << m.width << " x " << m.height << "\n" << m.text(); }

// A one-bit image of the mask whose top-left pixel sits at (left, top).
struct Bits {
  std::vector<uint8_t> bytes;
  BitMap map{};

  Bits(const Mask& m, int16_t left = 0, int16_t top = 0) {
    int rowBytes = ((m.width + 15) / 16) * 2;
    bytes.assign(static_cast<size_t>(rowBytes * (m.height ? m.height : 1)), 0);
    for (int y = 0; y < m.height; ++y)
      for (int x = 0; x < m.width; ++x)
        if (m.at(x, y)) bytes[static_cast<size_t>(y * rowBytes + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    map.baseAddr = reinterpret_cast<Ptr>(bytes.data());
    map.rowBytes = static_cast<int16_t>(rowBytes);
    map.bounds = Rect{top, left, static_cast<int16_t>(top + m.height), static_cast<int16_t>(left + m.width)};
  }
};

// The region's pixels over a width × height area from (left, top), asked point by point.
inline Mask maskOf(RgnHandle rgn, int width, int height, int left = 0, int top = 0) {
  return Mask(width, height, [&](int x, int y) {
    return PtInRgn(Point{static_cast<int16_t>(top + y), static_cast<int16_t>(left + x)}, rgn) != 0;
  });
}

// Black pixels of a port's image, read through its pixel map as a caller would.
inline Mask blackPixels(GWorldPtr world) {
  PixMapHandle pm = GetGWorldPixMap(world);
  Rect b;
  GetPortBounds(world, &b);
  Mask m(b.right - b.left, b.bottom - b.top);
  const uint8_t* base = reinterpret_cast<const uint8_t*>(GetPixBaseAddr(pm));
  long rowBytes = GetPixRowBytes(pm);
  int depth = GetPixDepth(pm);
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      const uint8_t* p = base + y * rowBytes;
      bool black = false;
      switch (depth) {
        case 1: black = (p[x / 8] >> (7 - x % 8)) & 1; break;
        case 8: black = p[x] == 0; break;
        case 24: black = p[3 * x] == 0 && p[3 * x + 1] == 0 && p[3 * x + 2] == 0; break;
        case 32: black = p[4 * x + 1] == 0 && p[4 * x + 2] == 0 && p[4 * x + 3] == 0; break;
      }
      m.set(x, y, black);
    }
  return m;
}

inline Mask randomMask(std::mt19937& rng, int w, int h, int percent) {
  std::uniform_int_distribution<int> d(0, 99);
  return Mask(w, h, [&](int, int) { return d(rng) < percent; });
}

class QuickDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handles_ = CarbonLiveHandleCount();
    worlds_ = QDLiveGWorldCount();
    regions_ = QDLiveRegionCount();
    contexts_ = CGLiveContextCount();
    images_ = CGLiveImageCount();
    spaces_ = CGLiveColorSpaceCount();
    GetGWorld(&port_, &device_);
  }

  void TearDown() override {
    EXPECT_EQ(CarbonLiveHandleCount(), handles_);
    EXPECT_EQ(QDLiveGWorldCount(), worlds_);
    EXPECT_EQ(QDLiveRegionCount(), regions_);
    EXPECT_EQ(QDLockedPixelsCount(), 0);
    EXPECT_EQ(CGLiveContextCount(), contexts_);
    EXPECT_EQ(CGLiveImageCount(), images_);
    EXPECT_EQ(CGLiveColorSpaceCount(), spaces_);
    CGrafPtr port;
    GDHandle device;
    GetGWorld(&port, &device);
    EXPECT_EQ(port, port_);
    EXPECT_EQ(device, device_);
  }

  GWorldPtr newWorld(int depth, int16_t width, int16_t height, GWorldFlags flags = 0) {
    Rect bounds{0, 0, height, width};
    GWorldPtr world = nullptr;
    EXPECT_EQ(NewGWorld(&world, static_cast<int16_t>(depth), &bounds, nullptr, nullptr, flags), noErr);
    return world;
  }

 private:
  long handles_ = 0, worlds_ = 0, regions_ = 0, contexts_ = 0, images_ = 0, spaces_ = 0;
  CGrafPtr port_ = nullptr;
  GDHandle device_ = nullptr;
};

constexpr Pattern kSolid{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
constexpr RGBColor kBlackColor{0, 0, 0};
constexpr RGBColor kWhiteColor{0xFFFF, 0xFFFF, 0xFFFF};

}  // namespace qdtest
