// Font Manager: classic font family numbers and names. Shipped in the Carbon
// framework bundle, where the plugin looks the two calls up by name.
#pragma once

#include "MacTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int16_t FontFamilyID;

void GetFNum(ConstStr255Param name, int16_t* familyID);
void GetFontName(int16_t familyID, Str255 name);

#ifdef __cplusplus
}
#endif
