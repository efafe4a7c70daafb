// Sections of `pelorin demo`, each on its own host and sample.
#pragma once

#include <pelorin/runtime.h>

namespace tool {

void showTracks();

}  // namespace tool
