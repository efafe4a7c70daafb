// Raising host exceptions. Both return normally; the caller then returns its own
// neutral value (0, nil, false).
#pragma once

#include <cstdint>

// Falls back to "RuntimeException" when the host cannot make `className`.
void RaiseException(const char* className, const char* message);
// "OutOfBoundsException" naming the parameter "index" and the range 0..count-1.
void RaiseOutOfBoundsException(int64_t value, int64_t count);
