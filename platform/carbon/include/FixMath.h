// 16.16 fixed-point helpers.
#pragma once

#include "MacTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define fixed1 ((Fixed)0x00010000)

Fixed FixRatio(int16_t numer, int16_t denom);
Fixed Long2Fix(int32_t x);
int32_t Fix2Long(Fixed x);
Fixed FixMul(Fixed a, Fixed b);
Fixed FixDiv(Fixed a, Fixed b);
Fixed X2Fix(double x);
double Fix2X(Fixed x);

#ifdef __cplusplus
}
#endif
