// Font Manager calls of the Carbon framework bundle.
#include "Fonts.h"
#include "FontTable.h"

#include <cstring>

extern "C" {

__attribute__((visibility("default"))) void GetFNum(ConstStr255Param name, int16_t* familyID) {
  if (!familyID) return;
  const CarbonFontFamily* f = name ? CarbonFindFontByName(reinterpret_cast<const char*>(name + 1), name[0]) : nullptr;
  // An unknown name yields family 0, as the Font Manager does.
  *familyID = f ? f->familyID : 0;
}

__attribute__((visibility("default"))) void GetFontName(int16_t familyID, Str255 name) {
  if (!name) return;
  const CarbonFontFamily* f = CarbonFindFontByID(familyID);
  size_t n = f ? std::strlen(f->name) : 0;
  name[0] = static_cast<unsigned char>(n);
  if (n) std::memcpy(name + 1, f->name, n);
}

}  // extern "C"
