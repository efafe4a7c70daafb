// Instance data of QTMetaDataItemZQK.
//
// Kept free of anything but the contract so that the 32-bit layout check can
// compile it. The item identifier is 8-byte aligned on every target, which is
// what makes the block 24 bytes on a 32-bit host (20 bytes of fields).
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>
#include <cstdint>

struct OpaqueQTMetaDataRef;  // QuickTime's container behind a QTMetaDataRef

struct MetaDataItemInstance {
  // A signed 32-bit result, held sign-extended in a host Integer: the host
  // reads the property as one.
  RBInteger lastError;             // "Lasterror": OSStatus unchanged, or -1
  REALobject owner;                // the QTMetaDataZQK that made the item, locked
  alignas(8) uint64_t item;        // QTMetaDataItem within the container
  OpaqueQTMetaDataRef* metaData;   // retained; null when the item has no container

  static const size_t kDeclaredSize;  // the size registered for the class
};
inline constexpr size_t MetaDataItemInstance::kDeclaredSize = sizeof(MetaDataItemInstance);
