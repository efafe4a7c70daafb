// The registered API as the host received it, printed for a person to read.
#pragma once

#include <pelorin/runtime.h>

#include <iosfwd>

namespace tool {

struct ApiCounts {
  int classes = 0;
  int properties = 0;
  int methods = 0;
  int constants = 0;
  int sharedMethods = 0;
  int movieMembers = 0;
};

// Lists every registration in order; with `detail` false only one line a class.
ApiCounts printApi(const rt::Runtime& runtime, std::ostream& out, bool detail);

}  // namespace tool
