// The graphics port as this QuickDraw keeps it.
#pragma once

#include "QuickDraw.h"

namespace qd {

struct Port {
  int16_t txFont = 0;   // the system font
  int16_t txFace = 0;
  int16_t txSize = 0;   // 0 means the font's default size
  RGBColor fgColor{0, 0, 0};
  RGBColor bgColor{0xFFFF, 0xFFFF, 0xFFFF};
};

Port* currentPort();
Port* asPort(GrafPtr port);
// Null makes the screen port current again.
void setCurrentPort(Port* port);

}  // namespace qd
