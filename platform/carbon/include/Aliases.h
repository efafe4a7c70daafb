// Alias Manager over paths. An alias record is the classic header (creator type
// and total size, big-endian) followed by a format tag and the target's absolute
// path, so it can travel inside a movie's 'alis' data reference unchanged.
#pragma once

#include "Files.h"
#include "MacTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct AliasRecord {
  UInt8 userType[4];
  UInt8 aliasSize[2];
} AliasRecord;
typedef AliasRecord* AliasPtr;
typedef AliasPtr* AliasHandle;

// fromFile is accepted for compatibility; aliases always hold absolute paths.
OSErr FSNewAlias(const FSRef* fromFile, const FSRef* target, AliasHandle* inAlias);
OSErr NewAlias(const FSSpec* fromFile, const FSSpec* target, AliasHandle* alias);
// fnfErr when the target no longer exists; paramErr for a malformed record.
OSErr FSResolveAlias(const FSRef* fromFile, AliasHandle alias, FSRef* target, Boolean* wasChanged);
OSErr ResolveAlias(const FSSpec* fromFile, AliasHandle alias, FSSpec* target, Boolean* wasChanged);
// The target's path without resolving it (so also for a missing target).
OSErr AliasGetPath(AliasHandle alias, char* path, UInt32 maxPathSize);
Size GetAliasSize(AliasHandle alias);

#ifdef __cplusplus
}
#endif
