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

#ifdef __cplusplus
}
#endif
