// Host picture entries.
#include "host/pictures.h"

#include "host/host.h"

namespace {

HostEntry<newPictureProc> newPicture("newPicture");
HostEntry<REALBuildPictureFromBufferProc> buildPictureFromBuffer("REALBuildPictureFromBuffer");
HostEntry<lockPictureDescriptionProc> lockNative("lockPictureDescription");
HostEntry<REALLockPictureDescriptionProc> lockDescription("REALLockPictureDescription");
HostEntry<unlockPictureDescriptionProc> unlockDescription("unlockPictureDescription");
HostEntry<REALPictureClearCacheProc> clearCache("REALPictureClearCache");

}  // namespace

REALpicture REALNewPicture(RBInteger width, RBInteger height, RBInteger depth) {
  auto fn = newPicture.get();
  return fn ? fn(width, height, depth) : nullptr;
}

REALpicture REALBuildPictureFromBuffer(RBInteger width, RBInteger height, RBInteger pixelType, void* buffer,
                                       RBInteger rowBytes) {
  auto fn = buildPictureFromBuffer.get();
  return fn ? fn(width, height, pixelType, buffer, rowBytes) : nullptr;
}

bool REALLockPictureDescriptionWithNativeType(REALpicture picture, REALpictureDescription* description) {
  *description = {};
  auto fn = lockNative.get();
  if (!fn || !picture) return false;
  fn(picture, description);
  return true;
}

bool REALLockPictureDescription(REALpicture picture, REALpictureDescription* description, RBInteger type) {
  *description = {};
  auto fn = lockDescription.get();
  if (!fn || !picture) return false;
  if (fn(picture, description, type)) return true;
  // Hosts before 2012.0 count a failed lock as one, to be given back like any other.
  if (rbversion < 2012.0) REALUnlockPictureDescription(picture);
  return false;
}

void REALUnlockPictureDescription(REALpicture picture) {
  auto fn = unlockDescription.get();
  if (fn && picture) fn(picture);
}

void REALPictureClearCache(REALpicture picture) {
  auto fn = clearCache.get();
  if (fn && picture) fn(picture);
}
