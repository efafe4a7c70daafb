// Folder Manager: only the Frameworks folder exists here.
#pragma once

#include "Files.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  kOnAppropriateDisk = -32767,
  kOnSystemDisk = -32768,
  kFrameworksFolderType = FOUR_CHAR_CODE('f', 'r', 'a', 'm'),
};

OSErr FSFindFolder(int16_t vRefNum, OSType folderType, Boolean createFolder, FSRef* foundRef);

// Where the Frameworks folder is. Null restores the default: $PELORIN_FRAMEWORKS,
// else the Frameworks folder beside this library (an installed tree), else the
// build's own.
void CarbonSetFrameworksFolder(const char* path);

// The folder this library was loaded from. An installed tree keeps the plugin, the
// companion plugin and the Frameworks folder there, so a moved tree still finds them.
const char* CarbonLibraryFolder(void);

#ifdef __cplusplus
}
#endif
