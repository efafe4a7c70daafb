// Memory Manager handles: a Handle is a pointer to a master pointer; the block's
// size lives beside the master pointer so GetHandleSize never needs the allocator.
#pragma once

#include "MacTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

Handle NewHandle(Size byteCount);
Handle NewHandleClear(Size byteCount);
OSErr PtrToHand(const void* srcPtr, Handle* dstHndl, long size);
OSErr PtrAndHand(const void* ptr1, Handle hand2, long size);
OSErr HandToHand(Handle* theHndl);
Size GetHandleSize(Handle h);
void SetHandleSize(Handle h, Size newSize);
void HLock(Handle h);
void HUnlock(Handle h);
SInt8 HGetState(Handle h);
void HSetState(Handle h, SInt8 flags);
void DisposeHandle(Handle h);
OSErr MemError(void);

Ptr NewPtr(Size byteCount);
Ptr NewPtrClear(Size byteCount);
void DisposePtr(Ptr p);
void BlockMove(const void* src, void* dst, Size count);
void BlockMoveData(const void* src, void* dst, Size count);

// Accounting for tests: handles currently alive in this process.
long CarbonLiveHandleCount(void);

#ifdef __cplusplus
}
#endif
