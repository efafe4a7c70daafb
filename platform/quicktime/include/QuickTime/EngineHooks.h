// Test hooks of the engine: result-code injection and a log of the calls made.
// Both are off until switched on, and cost a flag test per call while off.
#pragma once

#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

// From now on the public call named `callName` (e.g. "AddMediaSample") does nothing
// but return `result` (its neutral value for calls without a result code) and make
// GetMoviesError answer it. `times` > 0 limits the injection to that many calls;
// 0 keeps it until cleared. A new injection for the same name replaces the old one.
// The name "bulkAllocate" stands for the engine's allocation of its sample
// tables: while injected (whatever the result), that memory runs out, and the
// call that needed it answers memFullErr.
void QTEngineHookInjectResult(const char* callName, SInt32 result, SInt32 times);
void QTEngineHookClearInjections(void);

// The call log: one line per public call, its name and its input arguments, such as
// "GetMovieIndTrackType(movie=1, index=2, type='vide', flags=5)". Engine objects
// appear by their serial number (QTEngineHookObjectSerial), null as NULL.
void QTEngineHookSetLogging(Boolean enabled);
SInt32 QTEngineHookCallLogCount(void);
// The entry at `index` (from 0), valid until the log changes; NULL out of range.
const char* QTEngineHookCallLogEntry(SInt32 index);
void QTEngineHookClearCallLog(void);

// Serial number of a live engine object (movie, track, media, handler, user data),
// counted from 1 per kind in order of creation; 0 for anything else.
SInt32 QTEngineHookObjectSerial(const void* object);

// Injections cleared, logging off, log emptied.
void QTEngineHookReset(void);

#ifdef __cplusplus
}
#endif
