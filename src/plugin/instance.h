// Reaching an object's instance data through its class definition.
#pragma once

#include <pelorin/sdk.h>

// The host writes the instance-data offset into the class definition's
// system-use word at registration; subclasses share their superclass's block, so
// callers pass the definition of the class that declared the block. Null for nil,
// and for a definition that cannot hold a T at a known place: one the host has
// not registered (no offset yet: the object header comes first, so a real offset
// is never 0), or one whose declared block is smaller than T (a subclass's
// definition, or the wrong class's), so that no member writes outside an object.
template <typename T>
inline T* InstanceData(const REALclassDefinition& definition, REALobject object) {
  if (!object || definition.forSystemUse <= 0 || definition.dataSize < sizeof(T)) return nullptr;
  return reinterpret_cast<T*>(reinterpret_cast<char*>(object) + definition.forSystemUse);
}
