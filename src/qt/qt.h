// The plugin's QuickTime conventions: how result codes, four-character codes,
// colours and numbers cross between QuickTime and the host.
#pragma once

#include <pelorin/sdk.h>

#include <MacTypes.h>

#include <cstdint>

// Movie Toolbox results are 16-bit; stored or returned, they are sign-extended.
inline int32_t WidenOSErr(OSErr err) { return static_cast<int32_t>(err); }

// A four-character code as host text, most significant byte first: ASCII when
// every byte is below 0x80, Mac Roman otherwise. A new string owned by the caller.
REALstring OSTypeToString(OSType code);

// Host colour 0xRRGGBB to QuickDraw: each 8-bit channel times 257.
RGBColor HostColorToRGB(RBColor color);
// As above, except that bits above bit 23 stay with red before the ×257, as some
// members pass them on (the result keeps red's low 16 bits).
RGBColor HostColorToRGBUnmasked(RBColor color);
// QuickDraw to host colour: the high byte of each 16-bit channel.
RBColor RGBToHostColor(const RGBColor& color);

// Double to a 32-bit integer the way a 32-bit Intel host truncates: NaN and values
// outside the range give 0x80000000.
int32_t DoubleToInt32(double value);
// Double to 16.16 fixed point: value × 65536 truncated by the conversion above.
Fixed DoubleToFixed(double value);
inline double FixedToDouble(Fixed value) { return static_cast<double>(value) / 65536.0; }

// The availability gate: on hosts from 2014.0 raises "UnsupportedOperationException"
// and answers true; the caller then returns its neutral value.
bool QuickTimeUnavailable();
