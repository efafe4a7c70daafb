// A container's children as a declared table (type, required or optional, once
// or many, how its payload is read) and the one walk that applies it: it checks
// that required children are there, that a child allowed once is not repeated,
// and that a child of fields is read to its last byte, and records in the
// container's Layout which children the writer renders and which it keeps.
#pragma once

#include "layout.h"

#include <functional>
#include <string>
#include <vector>

namespace qte::file {

enum class Need : uint8_t { optional, required };
enum class Times : uint8_t { once, many };
// How a child's payload is accounted for once its reader ran: `fields` are read
// through the cursor to the last byte; `whole` is taken as a whole (its own
// children, walked exactly, or bytes a decoder such as the region or metadata
// reader checks itself).
enum class Payload : uint8_t { fields, whole };
// What reading made of a child: the writer renders it from the model; it stays
// as the file had it (a second edit list, which the model has no place for); or
// reading failed, and the walk's failure says why.
enum class Took : uint8_t { failed, rendered, kept };

struct Child {
  OSType type;  // 0: any child the table names otherwise not (user-data items)
  Need need;
  Times times;
  Payload payload;
  // Empty: the model keeps nothing of it and the writer makes it anew.
  std::function<Took(const Atom&, Cursor&)> read;
  const char* missing = nullptr;  // for a required child: what its absence means
  OSType renderedAs = 0;          // the type the writer gives it, when not its own
};

inline Took took(bool ok) { return ok ? Took::rendered : Took::failed; }

// The state every reader shares: the path of atoms being read and the first failure.
class Walk {
 public:
  Walk(AtomPath& path, Failure& fail) : path_(path), fail_(fail) {}

  // Records the failure (the first one sticks) naming the path and `at`; answers false.
  bool bad(uint64_t at, const std::string& what, OSErr err = badPublicMovieAtom);
  bool truncated(const Atom& a) { return bad(a.offset, "atom is shorter than its fields"); }

  // The children of `a`'s payload from `skip` on.
  bool split(const Atom& a, std::vector<Atom>& out, size_t skip = 0);

  // Reads the children of `container` by `table`, each kind in the table's order
  // (a child read first settles what later ones need: the handler before the
  // media header, data references before the sample table) and each kind's
  // children in the file's order. Children the table does not name are kept in
  // `layout`; with no layout (containers the writer renders whole) they are passed over.
  bool children(const Atom& container, const std::vector<Child>& table, Layout* layout, size_t skip = 0);

  // Names one more atom in the path while it is read.
  class Enter {
   public:
    Enter(Walk& w, const std::string& name) : path_(w.path_) { path_.push(name); }
    ~Enter() { path_.pop(); }
    Enter(const Enter&) = delete;
    Enter& operator=(const Enter&) = delete;

   private:
    AtomPath& path_;
  };

  AtomPath& path() { return path_; }
  Failure& failure() { return fail_; }

 private:
  Took readOne(const Child& rule, const Atom& a);
  AtomPath& path_;
  Failure& fail_;
};

}  // namespace qte::file
