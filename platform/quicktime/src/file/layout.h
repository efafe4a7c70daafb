// The children of one container as its file held them, in order: those the
// model re-renders, by type, and those it has no place for, byte for byte. The
// writer puts both back in that order, so an atom the engine does not know
// stays where it was among its siblings, and an edit moves nothing it did not change.
#pragma once

#include "atoms.h"

#include <functional>
#include <vector>

namespace qte::file {

class Layout {
 public:
  // Reading: the next child, rendered from the model (`renderedAs`: the type
  // the writer gives it) or kept as it is.
  void rendered(OSType renderedAs) { entries_.push_back({renderedAs, {}, false}); }
  void kept(const Atom& a);
  bool keepsAny() const;

  // Writing: one part a child type the writer renders (writing nothing when the
  // model holds none), listed in the order a new file has them.
  struct Part {
    OSType type;
    std::function<void()> write;
  };
  // Writes the parts and the kept children in the file's order; parts the file
  // did not have go before the first later part it had, as in a new file.
  void write(Bytes& b, const std::vector<Part>& parts) const;

 private:
  struct Entry {
    OSType type;
    Bytes bytes;
    bool kept;
  };
  std::vector<Entry> entries_;
};

}  // namespace qte::file
