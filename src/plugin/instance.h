// Reaching an object's instance data through its class definition.
#pragma once

#include <pelorin/sdk.h>

// The host writes the instance-data offset into the class definition's
// system-use word at registration; subclasses share their superclass's block, so
// callers always pass the definition of the class that declared the block.
template <typename T>
inline T* InstanceData(const REALclassDefinition& definition, REALobject object) {
  if (!object) return nullptr;
  return reinterpret_cast<T*>(reinterpret_cast<char*>(object) + definition.forSystemUse);
}
