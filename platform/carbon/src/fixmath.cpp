// 16.16 fixed-point arithmetic with the classic saturation rules.
#include "FixMath.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr Fixed kFixedMax = 0x7FFFFFFF;
constexpr Fixed kFixedMin = static_cast<Fixed>(0x80000000);

Fixed saturate(int64_t v) {
  if (v > kFixedMax) return kFixedMax;
  if (v < kFixedMin) return kFixedMin;
  return static_cast<Fixed>(v);
}

}  // namespace

extern "C" {

Fixed FixRatio(int16_t numer, int16_t denom) {
  if (denom == 0) return numer >= 0 ? kFixedMax : kFixedMin + 1;
  return saturate((static_cast<int64_t>(numer) << 16) / denom);
}

Fixed Long2Fix(int32_t x) { return saturate(static_cast<int64_t>(x) * 65536); }

// Rounds to the nearest integer, halves away from zero's floor as the toolbox does.
int32_t Fix2Long(Fixed x) { return static_cast<int32_t>((static_cast<int64_t>(x) + 0x8000) >> 16); }

Fixed FixMul(Fixed a, Fixed b) {
  int64_t p = static_cast<int64_t>(a) * b;
  return saturate((p + 0x8000) >> 16);
}

Fixed FixDiv(Fixed a, Fixed b) {
  if (b == 0) return a >= 0 ? kFixedMax : kFixedMin;
  return saturate((static_cast<int64_t>(a) << 16) / b);
}

Fixed X2Fix(double x) {
  if (std::isnan(x)) return 0;
  double scaled = std::nearbyint(x * 65536.0);
  if (scaled >= 2147483647.0) return kFixedMax;
  if (scaled <= -2147483648.0) return kFixedMin;
  return static_cast<Fixed>(scaled);
}

double Fix2X(Fixed x) { return x / 65536.0; }

}  // extern "C"
