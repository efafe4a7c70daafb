// Classic Mac font families with their historical family numbers.
#include "FontTable.h"

#include <strings.h>

namespace {

// Metrics are rough per-mille figures of the bitmap faces, enough for line heights
// that look right: a 12-point Monaco line comes out 15 pixels tall.
constexpr CarbonFontFamily kFamilies[] = {
    {0, "Chicago", 917, 250, 0, 1083},
    {1, "Geneva", 917, 250, 0, 1083},   // the application font
    {2, "New York", 917, 250, 83, 1167},
    {3, "Geneva", 917, 250, 0, 1083},
    {4, "Monaco", 1000, 250, 0, 583},
    {5, "Venice", 833, 250, 0, 1167},
    {6, "London", 833, 250, 0, 1167},
    {7, "Athens", 833, 250, 0, 1167},
    {8, "San Francisco", 917, 250, 0, 1167},
    {9, "Toronto", 917, 250, 0, 1083},
    {11, "Cairo", 1000, 250, 0, 1333},
    {12, "Los Angeles", 917, 250, 0, 1167},
    {20, "Times", 917, 250, 83, 1167},
    {21, "Helvetica", 917, 250, 83, 1083},
    {22, "Courier", 833, 250, 83, 600},
    {23, "Symbol", 917, 250, 83, 1083},
    {24, "Taliesin", 1000, 250, 0, 1333},
};

}  // namespace

extern "C" {

const CarbonFontFamily* CarbonFindFontByID(int16_t familyID) {
  for (const auto& f : kFamilies)
    if (f.familyID == familyID) return &f;
  return nullptr;
}

const CarbonFontFamily* CarbonFindFontByName(const char* name, size_t length) {
  if (!name) return nullptr;
  // "System" is the classic alias of family 0.
  if (length == 6 && strncasecmp(name, "System", 6) == 0) return &kFamilies[0];
  for (const auto& f : kFamilies) {
    size_t n = 0;
    while (f.name[n]) ++n;
    // Family 1 is an alias of Geneva: a name lookup must find the real family 3.
    if (f.familyID == 1) continue;
    if (n == length && strncasecmp(f.name, name, length) == 0) return &f;
  }
  return nullptr;
}

}  // extern "C"
