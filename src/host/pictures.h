// Host pictures: making them, and locking their pixel stores for direct access.
// Wrapped like the other host entries (host.h): resolved on first use, a missing
// entry makes its call fail.
#pragma once

#include <pelorin/sdk.h>

// "newPicture": a new picture of `depth` bits per pixel, owned by the caller; nil
// when the host makes none.
REALpicture REALNewPicture(RBInteger width, RBInteger height, RBInteger depth);
// A new picture holding a copy of 32-bit pixels, owned by the caller; nil when
// the host makes none.
REALpicture REALBuildPictureFromBuffer(RBInteger width, RBInteger height, RBInteger pixelType, void* buffer,
                                       RBInteger rowBytes);
// "lockPictureDescription": the description in the host's own form; only its
// width and height mean anything here. False when the host has no such entry.
bool REALLockPictureDescriptionWithNativeType(REALpicture picture, REALpictureDescription* description);
// The description in the form asked for (kREALPictureCGBitmapContext or
// kREALPictureConsolePixels); false when the picture cannot be seen that way.
// Only a successful lock is the caller's to give back.
bool REALLockPictureDescription(REALpicture picture, REALpictureDescription* description, RBInteger type);
// "unlockPictureDescription": ends either kind of lock.
void REALUnlockPictureDescription(REALpicture picture);
// The host forgets any rendering it made of the picture's pixels before.
void REALPictureClearCache(REALpicture picture);
