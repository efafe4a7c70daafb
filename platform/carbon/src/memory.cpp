// Memory Manager handles over the C heap.
#include "MacMemory.h"
#include "MacErrors.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// The master pointer comes first so that a Handle (its address) is also the
// address of the whole bookkeeping block.
struct MasterBlock {
  char* ptr;
  Size size;
  uint32_t magic;
  SInt8 state;
};

constexpr uint32_t kLiveMagic = 0x484E444C;   // 'HNDL'
constexpr uint32_t kDeadMagic = 0x64656164;   // 'dead'
constexpr SInt8 kLockedBit = (SInt8)0x80;

thread_local OSErr gMemError = noErr;
std::atomic<long> gLiveHandles{0};

MasterBlock* blockOf(Handle h) {
  auto* b = reinterpret_cast<MasterBlock*>(h);
  return (b && b->magic == kLiveMagic) ? b : nullptr;
}

Handle makeHandle(Size byteCount, bool clear) {
  if (byteCount < 0) {
    gMemError = memFullErr;
    return nullptr;
  }
  auto* b = static_cast<MasterBlock*>(std::calloc(1, sizeof(MasterBlock)));
  // Zero-length handles still get a block so that the master pointer is never null.
  char* data = static_cast<char*>(clear ? std::calloc(1, byteCount ? byteCount : 1)
                                        : std::malloc(byteCount ? byteCount : 1));
  if (!b || !data) {
    std::free(b);
    std::free(data);
    gMemError = memFullErr;
    return nullptr;
  }
  b->ptr = data;
  b->size = byteCount;
  b->magic = kLiveMagic;
  ++gLiveHandles;
  gMemError = noErr;
  return &b->ptr;
}

}  // namespace

extern "C" {

Handle NewHandle(Size byteCount) { return makeHandle(byteCount, false); }
Handle NewHandleClear(Size byteCount) { return makeHandle(byteCount, true); }

OSErr PtrToHand(const void* srcPtr, Handle* dstHndl, long size) {
  if (!dstHndl || size < 0 || (size > 0 && !srcPtr)) return gMemError = paramErr;
  Handle h = makeHandle(size, false);
  *dstHndl = h;
  if (!h) return gMemError;
  if (size) std::memcpy(*h, srcPtr, size);
  return noErr;
}

OSErr PtrAndHand(const void* ptr1, Handle hand2, long size) {
  MasterBlock* b = blockOf(hand2);
  if (!b || size < 0 || (size > 0 && !ptr1)) return gMemError = b ? OSErr(paramErr) : OSErr(nilHandleErr);
  Size old = b->size;
  SetHandleSize(hand2, old + size);
  if (gMemError != noErr) return gMemError;
  if (size) std::memcpy(b->ptr + old, ptr1, size);
  return noErr;
}

OSErr HandToHand(Handle* theHndl) {
  if (!theHndl) return gMemError = paramErr;
  MasterBlock* b = blockOf(*theHndl);
  if (!b) return gMemError = nilHandleErr;
  Handle copy = nullptr;
  OSErr err = PtrToHand(b->ptr, &copy, b->size);
  if (err == noErr) *theHndl = copy;
  return err;
}

Size GetHandleSize(Handle h) {
  MasterBlock* b = blockOf(h);
  if (!b) {
    gMemError = nilHandleErr;
    return 0;
  }
  gMemError = noErr;
  return b->size;
}

void SetHandleSize(Handle h, Size newSize) {
  MasterBlock* b = blockOf(h);
  if (!b) {
    gMemError = nilHandleErr;
    return;
  }
  if (newSize < 0) {
    gMemError = memFullErr;
    return;
  }
  // A locked handle may not move; growing it would have to.
  if ((b->state & kLockedBit) && newSize > b->size) {
    gMemError = memFullErr;
    return;
  }
  char* data = static_cast<char*>(std::realloc(b->ptr, newSize ? newSize : 1));
  if (!data) {
    gMemError = memFullErr;
    return;
  }
  b->ptr = data;
  b->size = newSize;
  gMemError = noErr;
}

void HLock(Handle h) {
  if (MasterBlock* b = blockOf(h)) {
    b->state |= kLockedBit;
    gMemError = noErr;
  } else {
    gMemError = nilHandleErr;
  }
}

void HUnlock(Handle h) {
  if (MasterBlock* b = blockOf(h)) {
    b->state &= ~kLockedBit;
    gMemError = noErr;
  } else {
    gMemError = nilHandleErr;
  }
}

SInt8 HGetState(Handle h) {
  MasterBlock* b = blockOf(h);
  gMemError = b ? OSErr(noErr) : OSErr(nilHandleErr);
  return b ? b->state : 0;
}

void HSetState(Handle h, SInt8 flags) {
  if (MasterBlock* b = blockOf(h)) {
    b->state = flags;
    gMemError = noErr;
  } else {
    gMemError = nilHandleErr;
  }
}

void DisposeHandle(Handle h) {
  if (!h) {
    gMemError = nilHandleErr;
    return;
  }
  MasterBlock* b = blockOf(h);
  if (!b) {
    // Disposing twice is a caller bug; refuse rather than corrupt the heap.
    gMemError = memWZErr;
    return;
  }
  std::free(b->ptr);
  b->magic = kDeadMagic;
  std::free(b);
  --gLiveHandles;
  gMemError = noErr;
}

OSErr MemError(void) { return gMemError; }

Ptr NewPtr(Size byteCount) {
  Ptr p = byteCount >= 0 ? static_cast<Ptr>(std::malloc(byteCount ? byteCount : 1)) : nullptr;
  gMemError = p ? OSErr(noErr) : OSErr(memFullErr);
  return p;
}

Ptr NewPtrClear(Size byteCount) {
  Ptr p = byteCount >= 0 ? static_cast<Ptr>(std::calloc(1, byteCount ? byteCount : 1)) : nullptr;
  gMemError = p ? OSErr(noErr) : OSErr(memFullErr);
  return p;
}

void DisposePtr(Ptr p) {
  std::free(p);
  gMemError = noErr;
}

void BlockMove(const void* src, void* dst, Size count) {
  if (count > 0) std::memmove(dst, src, count);
}

void BlockMoveData(const void* src, void* dst, Size count) { BlockMove(src, dst, count); }

long CarbonLiveHandleCount(void) { return gLiveHandles.load(); }

}  // extern "C"
