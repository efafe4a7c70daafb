// Per-port text state and font metrics.
#include "port.h"

#include <FontTable.h>

#include <cmath>

namespace {

// The size a port's text is drawn at when its size is 0.
constexpr int16_t kDefaultTextSize = 12;

int16_t scaled(int16_t perMille, int16_t size) {
  return static_cast<int16_t>(std::lround(perMille * static_cast<double>(size) / 1000.0));
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void TextFont(int16_t font) { qd::currentPort()->txFont = font; }
__attribute__((visibility("default"))) void TextFace(int16_t face) { qd::currentPort()->txFace = face; }
__attribute__((visibility("default"))) void TextSize(int16_t size) { qd::currentPort()->txSize = size; }

__attribute__((visibility("default"))) void GetFontInfo(FontInfo* info) {
  if (!info) return;
  const qd::Port* port = qd::currentPort();
  const CarbonFontFamily* family = CarbonFindFontByID(port->txFont);
  if (!family) family = CarbonFindFontByID(0);
  int16_t size = port->txSize > 0 ? port->txSize : kDefaultTextSize;
  info->ascent = scaled(family->ascent, size);
  info->descent = scaled(family->descent, size);
  info->leading = scaled(family->leading, size);
  info->widMax = scaled(family->maxWidth, size);
  // Bold and extended faces are wider, as the font scaler makes them.
  if (port->txFace & bold) info->widMax += 1;
  if (port->txFace & extend) info->widMax += info->widMax / 4;
}

}  // extern "C"
