// The text media handler's state.
#pragma once

#include <QuickTime/TextMedia.h>

#include "model.h"

#include <utility>
#include <vector>

namespace qte {

struct TextHandler : VisualHandler {
  explicit TextHandler(Media* m) : VisualHandler(m) {}
  // Modifier atoms (type, payload) set by TextMediaSetTextSampleData for the next
  // sample, in the order they were first set.
  std::vector<std::pair<OSType, Bytes>> pending;
};

std::unique_ptr<MediaHandlerObject> makeTextHandler(Media* media);

}  // namespace qte
