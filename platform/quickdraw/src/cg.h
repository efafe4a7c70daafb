// Core Graphics objects as this library keeps them.
#pragma once

#include "CoreGraphics/CoreGraphics.h"
#include "port.h"

#include <cstdint>
#include <memory>

namespace qd::cg {

// Where each component of a pixel lies and how its alpha is kept.
struct Format {
  enum class Kind : uint8_t { Rgba32, Gray8, Alpha8 };
  enum class Alpha : uint8_t { Premultiplied, Straight, None };
  Kind kind = Kind::Rgba32;
  Alpha alpha = Alpha::None;
  uint8_t r = 0, g = 0, b = 0, a = 0;  // byte offsets within a 32-bit pixel
  CGBitmapInfo info = 0;

  int bytesPerPixel() const { return kind == Kind::Rgba32 ? 4 : 1; }
};

// Premultiplied 8-bit components.
struct Px {
  uint8_t r, g, b, a;
};

void detachFromPort(CGContext* context);

}  // namespace qd::cg

struct CGColorSpace {
  int refs = 1;
  bool gray = false;
};

struct CGImage {
  int refs = 1;
  size_t width = 0, height = 0, bytesPerRow = 0;
  qd::cg::Format format;
  std::unique_ptr<uint8_t[]> data;
};

struct CGContext {
  int refs = 1;
  uint8_t* data = nullptr;
  std::unique_ptr<uint8_t[]> owned;  // pixels the context allocated itself
  size_t width = 0, height = 0, bytesPerRow = 0;
  qd::cg::Format format;
  qd::cg::Px fill{0, 0, 0, 255};
  qd::Port* port = nullptr;  // the world whose pixels QDBeginCGContext lent
};
