// File Manager references over real paths. An FSRef names an existing file or
// folder by its absolute path; an FSSpec names a file that may not exist yet.
#pragma once

#include "MacTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { kFSRefPathCapacity = 1024 };

typedef struct FSRef {
  char path[kFSRefPathCapacity];  // absolute, NUL-terminated
} FSRef;

typedef struct FSSpec {
  int16_t vRefNum;
  int32_t parID;
  Str63 name;                      // leaf name, length-prefixed
  char path[kFSRefPathCapacity];   // absolute path of the named item, NUL-terminated
} FSSpec;

typedef FSRef* FSRefPtr;
typedef FSSpec* FSSpecPtr;

// Fails with fnfErr when nothing exists at the path.
OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);
OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize);

// Classic FSSpec helpers over paths. fileName is a Pascal string holding a path,
// absolute or relative to the working directory; vRefNum and dirID are ignored.
// Like the classic call, FSMakeFSSpec fills the FSSpec and answers fnfErr when the
// named item does not exist but its folder does.
OSErr FSMakeFSSpec(int16_t vRefNum, int32_t dirID, ConstStr255Param fileName, FSSpec* fsSpec);
// Fails with fnfErr when the item named by the FSSpec does not exist.
OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef);

typedef UInt32 FSCatalogInfoBitmap;
enum { kFSCatInfoNone = 0 };
typedef struct FSCatalogInfo FSCatalogInfo;  // no catalog fields are kept
typedef struct HFSUniStr255 {
  UInt16 length;
  UniChar unicode[255];
} HFSUniStr255;

// Only the name, FSSpec and parent outputs are supported; whichInfo must be
// kFSCatInfoNone.
OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                       HFSUniStr255* outName, FSSpec* fsSpec, FSRef* parentRef);

#ifdef __cplusplus
}
#endif
