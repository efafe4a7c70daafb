// Shared pieces of the public calls.
#pragma once

#include "hooks.h"
#include "model.h"

namespace qte {

inline OSErr done(OSErr err) {
  setError(err);
  return err;
}

// The live object a handle names; a stale or foreign handle refuses the call
// with the kind's own result code.
template <class T>
T* need(const void* handle) {
  if (T* object = live<T>(handle)) return object;
  if constexpr (std::is_same_v<T, Movie>) throw Refusal{invalidMovie};
  else if constexpr (std::is_same_v<T, Track>) throw Refusal{invalidTrack};
  else if constexpr (std::is_same_v<T, Media>) throw Refusal{invalidMedia};
  else throw Refusal{paramErr};
}

using Tag = ArgWriter::Tag;
using Fix = ArgWriter::Fix;

// A TimeValue result: values beyond 32 bits cannot be expressed.
inline TimeValue toTimeValue(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<TimeValue>(v);
}

}  // namespace qte
