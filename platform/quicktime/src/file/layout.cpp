// Children written back in their file's order.
#include "layout.h"

#include <algorithm>

namespace qte::file {

void Layout::kept(const Atom& a) {
  entries_.push_back({a.type, a.bytes(), true});
  // Size 0 means "to the end of the container": with siblings written after it,
  // it would swallow them, so it gets its size. Movie atoms stay far below 4 GiB.
  Bytes& b = entries_.back().bytes;
  if (get32(b.data()) == 0)
    for (int i = 0; i < 4; ++i) b[size_t(i)] = uint8_t(a.size >> (24 - 8 * i));
}

bool Layout::keepsAny() const {
  return std::any_of(entries_.begin(), entries_.end(), [](const Entry& e) { return e.kept; });
}

void Layout::write(Bytes& b, const std::vector<Part>& parts) const {
  std::vector<uint8_t> done(parts.size()), inFile(parts.size());
  for (size_t i = 0; i < parts.size(); ++i)
    inFile[i] = std::any_of(entries_.begin(), entries_.end(),
                            [&](const Entry& e) { return !e.kept && e.type == parts[i].type; });
  auto run = [&](size_t i) {
    if (done[i]) return;
    done[i] = true;
    parts[i].write();
  };
  for (const Entry& e : entries_) {
    if (e.kept) {
      putBytes(b, e.bytes);
      continue;
    }
    auto part = std::find_if(parts.begin(), parts.end(), [&](const Part& p) { return p.type == e.type; });
    if (part == parts.end()) continue;
    const size_t k = size_t(part - parts.begin());
    for (size_t i = 0; i < k; ++i)
      if (!inFile[i]) run(i);
    run(k);
  }
  for (size_t i = 0; i < parts.size(); ++i) run(i);
}

}  // namespace qte::file
