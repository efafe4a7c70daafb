// Instance data of QTTrackZQK, shared by QTChapterTrackZQK.
//
// Kept free of anything but the contract so that the 32-bit layout check can
// compile it: on a 32-bit host the block is three words, 12 bytes.
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>
#include <cstdint>

struct TrackType;  // a QuickTime Track is a TrackType**

struct TrackInstance {
  REALmovie movie;           // "Movie": locked by whoever made the object
  // A signed 32-bit result, held sign-extended in a host Integer: the host
  // reads the property as one.
  RBInteger lastError;       // "Lasterror": the last result of a recording member, or -1
  TrackType** trackHandle;    // "TrackHandle": belongs to the movie, never disposed here

  static const size_t kDeclaredSize;  // the size registered for the class
};
inline constexpr size_t TrackInstance::kDeclaredSize = sizeof(TrackInstance);
