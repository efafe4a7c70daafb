// QuickTime conventions shared by every member.
#include "qt/qt.h"

#include <cmath>

#include "host/exceptions.h"
#include "host/host.h"
#include "host/values.h"

REALstring OSTypeToString(OSType code) {
  const char bytes[4] = {static_cast<char>(code >> 24), static_cast<char>(code >> 16), static_cast<char>(code >> 8),
                         static_cast<char>(code)};
  const bool ascii = (code & 0x80808080u) == 0;
  return REALBuildUnicodeString(bytes, 4, ascii ? kREALEncodingASCII : kREALEncodingMacRoman);
}

RGBColor HostColorToRGB(RBColor color) {
  return RGBColor{static_cast<uint16_t>(((color >> 16) & 0xFF) * 257), static_cast<uint16_t>(((color >> 8) & 0xFF) * 257),
                  static_cast<uint16_t>((color & 0xFF) * 257)};
}

RGBColor HostColorToRGBUnmasked(RBColor color) {
  return RGBColor{static_cast<uint16_t>((color >> 16) * 257), static_cast<uint16_t>(((color >> 8) & 0xFF) * 257),
                  static_cast<uint16_t>((color & 0xFF) * 257)};
}

RBColor RGBToHostColor(const RGBColor& color) {
  return (RBColor{color.red} >> 8) << 16 | (RBColor{color.green} >> 8) << 8 | RBColor{color.blue} >> 8;
}

int32_t DoubleToInt32(double value) {
  // cvttsd2si answers the "integer indefinite" value for NaN and out-of-range input.
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

Fixed DoubleToFixed(double value) { return DoubleToInt32(value * 65536.0); }

bool QuickTimeUnavailable() {
  if (rbversion < 2014.0) return false;
  RaiseException("UnsupportedOperationException", "QuickTime not available in Xojo 2014.");
  return true;
}
