// Instance data of QTMetaDataZQK.
//
// Kept free of anything but the contract so that the 32-bit layout check can
// compile it: on a 32-bit host the block is 16 bytes.
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>
#include <cstdint>

struct OpaqueQTMetaDataRef;  // QuickTime's container behind a QTMetaDataRef

struct MetaDataInstance {
  // A signed 32-bit result, held sign-extended in a host Integer: the host
  // reads the property as one.
  RBInteger lastError;           // "Lasterror": OSStatus unchanged, or -1
  OpaqueQTMetaDataRef* handle;   // "Handle": one retained reference, or null
  // The FirstItem/NextItem cursor, a QTMetaDataItem; 0 stands before the first
  // item. Aligned as the 64-bit item of QTMetaDataItemZQK is.
  alignas(8) uint64_t currentItem;

  static const size_t kDeclaredSize;  // the size registered for the class
};
inline constexpr size_t MetaDataInstance::kDeclaredSize = sizeof(MetaDataInstance);
