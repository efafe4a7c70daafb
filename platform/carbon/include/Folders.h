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

// Where the Frameworks folder is. Null restores the build's own Frameworks folder.
void CarbonSetFrameworksFolder(const char* path);

#ifdef __cplusplus
}
#endif
