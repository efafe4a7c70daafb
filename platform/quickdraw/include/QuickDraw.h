// QuickDraw: graphics ports and their text state, offscreen graphics worlds, regions
// and the drawing calls between them. The calls ship in the ApplicationServices
// framework bundle, where the plugin looks them up by name; the engine and tests link
// the library directly. Both reach the same state.
#pragma once

#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct OpaqueGrafPtr* GrafPtr;
typedef GrafPtr CGrafPtr;
typedef CGrafPtr GWorldPtr;
typedef struct OpaqueGDHandle* GDHandle;

typedef OSErr QDErr;

// QuickDraw's own result codes.
enum {
  rgnOverflowErr = -147,   // a region operation would give coordinates past 32766
  pixMapTooDeepErr = -148, // a bitmap was expected and a deeper pixel map was given
  cDepthErr = -157,        // the pixel depth is not one this QuickDraw keeps
  rgnTooBigErr = -500,     // the region would not fit the 16-bit size of its record
};

typedef struct FontInfo {
  int16_t ascent;
  int16_t descent;
  int16_t widMax;
  int16_t leading;
} FontInfo;

enum {
  normal = 0,
  bold = 1,
  italic = 2,
  underline = 4,
  outline = 8,
  shadow = 0x10,
  condense = 0x20,
  extend = 0x40,
};

// An 8 × 8 one-bit pattern; set bits draw in the foreground colour.
typedef struct Pattern {
  UInt8 pat[8];
} Pattern;

// Colour tables: entry i gives the colour of pixel value i.
typedef struct ColorSpec {
  int16_t value;
  RGBColor rgb;
} ColorSpec;

typedef struct ColorTable {
  int32_t ctSeed;
  int16_t ctFlags;
  int16_t ctSize;  // number of entries minus one
  ColorSpec ctTable[1];
} ColorTable;
typedef ColorTable* CTabPtr;
typedef CTabPtr* CTabHandle;

// A one-bit image. Bit 7 of each byte is the leftmost pixel; a set bit is black.
typedef struct BitMap {
  Ptr baseAddr;
  int16_t rowBytes;
  Rect bounds;
} BitMap;

// A pixel map begins like a BitMap; the top bit of rowBytes tells the two apart.
typedef struct PixMap {
  Ptr baseAddr;
  int16_t rowBytes;  // 0x8000 | row bytes; GetPixRowBytes gives rows wider than 0x3FFF
  Rect bounds;
  int16_t pmVersion;
  int16_t packType;
  int32_t packSize;
  Fixed hRes;
  Fixed vRes;
  int16_t pixelType;  // 0 indexed, 16 direct
  int16_t pixelSize;
  int16_t cmpCount;
  int16_t cmpSize;
  OSType pixelFormat;
  CTabHandle pmTable;
  void* pmExt;
} PixMap;
typedef PixMap* PixMapPtr;
typedef PixMapPtr* PixMapHandle;

enum {
  k1MonochromePixelFormat = 0x00000001,
  k8IndexedPixelFormat = 0x00000008,
  k24RGBPixelFormat = 0x00000018,
  k32ARGBPixelFormat = 0x00000020,
  k32BGRAPixelFormat = 0x42475241,  // 'BGRA'
  RGBDirect = 16,
};

// Regions: a Memory Manager handle holding the size of the record, the bounding box
// and, unless the region is empty or a rectangle, its scan lines of inversion points,
// all in native 16-bit words.
typedef struct MacRegion {
  UInt16 rgnSize;
  Rect rgnBBox;
} MacRegion;
typedef MacRegion* RgnPtr;
typedef RgnPtr* RgnHandle;

typedef uint32_t GWorldFlags;
enum {
  pixPurge = 1u << 0,
  noNewDevice = 1u << 1,
  useTempMem = 1u << 2,
  keepLocal = 1u << 3,
  useDistantHdwrMem = 1u << 4,
  useLocalHdwrMem = 1u << 5,
  pixelsPurgeable = 1u << 6,
  pixelsLocked = 1u << 7,
  kNativeEndianPixMap = 1u << 8,  // 32-bit pixels as native-order words (B, G, R, x on x86)
  mapPix = 1u << 16,
  newDepth = 1u << 17,
  alignPix = 1u << 18,
  newRowBytes = 1u << 19,
  reallocPix = 1u << 20,
  clipPix = 1u << 28,
  stretchPix = 1u << 29,
  ditherPix = 1u << 30,
  gwFlagErr = 1u << 31,
};

// CopyBits transfer modes this QuickDraw performs.
enum {
  srcCopy = 0,
  srcOr = 1,
  srcXor = 2,
  srcBic = 3,
  notSrcCopy = 4,
  ditherCopy = 64,
};

// The port that drawing and text calls apply to. There is always one: the screen
// port, current until something else is made current.
void GetPort(GrafPtr* port);
void SetPort(GrafPtr port);
// The result of the last QuickDraw call that reports one.
OSErr QDError(void);

void TextFont(int16_t font);
void TextFace(int16_t face);
void TextSize(int16_t size);
void GetFontInfo(FontInfo* info);

// Graphics devices: the main screen's, and one per offscreen world.
GDHandle GetMainDevice(void);
GDHandle GetGDevice(void);
void SetGDevice(GDHandle gdh);

// Offscreen graphics worlds of 1, 8 (grey), 24 and 32 bits per pixel.
QDErr NewGWorld(GWorldPtr* offscreenGWorld, int16_t pixelDepth, const Rect* boundsRect, CTabHandle cTable,
                GDHandle aGDevice, GWorldFlags flags);
void DisposeGWorld(GWorldPtr offscreenGWorld);
GWorldFlags UpdateGWorld(GWorldPtr* offscreenGWorld, int16_t pixelDepth, const Rect* boundsRect,
                         CTabHandle cTable, GDHandle aGDevice, GWorldFlags flags);
void GetGWorld(CGrafPtr* port, GDHandle* gdh);
void SetGWorld(CGrafPtr port, GDHandle gdh);
PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld);
PixMapHandle GetPortPixMap(CGrafPtr port);
Boolean LockPixels(PixMapHandle pm);
void UnlockPixels(PixMapHandle pm);
GWorldFlags GetPixelsState(PixMapHandle pm);
Ptr GetPixBaseAddr(PixMapHandle pm);
long GetPixRowBytes(PixMapHandle pm);
int16_t GetPixDepth(PixMapHandle pm);
Rect* GetPortBounds(CGrafPtr port, Rect* rect);
const BitMap* GetPortBitMapForCopyBits(CGrafPtr port);

// Drawing into the current port, clipped to its bounds.
void RGBForeColor(const RGBColor* color);
void RGBBackColor(const RGBColor* color);
void GetForeColor(RGBColor* color);
void GetBackColor(RGBColor* color);
void FillRect(const Rect* r, const Pattern* pat);
void PaintRect(const Rect* r);
void EraseRect(const Rect* r);
void FillRgn(RgnHandle rgn, const Pattern* pat);
void PaintRgn(RgnHandle rgn);
void EraseRgn(RgnHandle rgn);
// Copies srcRect of one image into dstRect of another, scaling and converting depth;
// only destination pixels inside maskRgn (when given) change.
void CopyBits(const BitMap* srcBits, const BitMap* dstBits, const Rect* srcRect, const Rect* dstRect,
              int16_t mode, RgnHandle maskRgn);

// Regions.
RgnHandle NewRgn(void);
void DisposeRgn(RgnHandle rgn);
void CopyRgn(RgnHandle srcRgn, RgnHandle dstRgn);
void SetEmptyRgn(RgnHandle rgn);
void RectRgn(RgnHandle rgn, const Rect* r);
void SetRectRgn(RgnHandle rgn, int16_t left, int16_t top, int16_t right, int16_t bottom);
void OffsetRgn(RgnHandle rgn, int16_t dh, int16_t dv);
Boolean EmptyRgn(RgnHandle rgn);
Boolean EqualRgn(RgnHandle rgnA, RgnHandle rgnB);
Boolean IsRegionRectangular(RgnHandle rgn);
Rect* GetRegionBounds(RgnHandle rgn, Rect* bounds);
Boolean PtInRgn(Point pt, RgnHandle rgn);
void UnionRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
void SectRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
void DiffRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
void XorRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
// The set pixels of a one-bit image become the region, in the image's coordinates.
OSErr BitMapToRegion(RgnHandle region, const BitMap* bMap);

// A region as a movie file stores it (the payload of a clip region atom): the same
// record in big-endian words. The size is what QDRegionToFileBytes writes.
Size QDRegionFileSize(RgnHandle rgn);
OSErr QDRegionToFileBytes(RgnHandle rgn, void* buffer, Size capacity);
// Reads file bytes into rgn, checking every scan line; malformed bytes leave rgn as
// it was and give paramErr.
OSErr QDRegionFromFileBytes(RgnHandle rgn, const void* bytes, Size size);

// Accounting for tests: graphics worlds and regions alive, and worlds whose pixels
// are locked.
long QDLiveGWorldCount(void);
long QDLiveRegionCount(void);
long QDLockedPixelsCount(void);

#ifdef __cplusplus
}
#endif
