// Instance data of QTUserDataZQK.
//
// Kept free of anything but the contract so that the 32-bit layout check can
// compile it: on a 32-bit host the block is four words, 16 bytes.
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>
#include <cstdint>

struct UserDataRecord;  // a QuickTime UserData is a UserDataRecord**

struct UserDataInstance {
  uint32_t tag;              // 'QTUD', set by the constructor; nothing reads it
  RBBoolean release;         // "Release": the object made the list and disposes of it
  // A signed 32-bit result, held sign-extended in a host Integer: the host
  // reads the property as one.
  RBInteger lastError;       // "Lasterror": OSErr sign-extended, or -1
  UserDataRecord** handle;   // "Handle": the list; null when there is none

  static constexpr uint32_t kTag = 0x51545544;  // 'QTUD'
  static const size_t kDeclaredSize;  // the size registered for the class
};
inline constexpr size_t UserDataInstance::kDeclaredSize = sizeof(UserDataInstance);
