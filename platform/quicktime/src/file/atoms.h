// Atom mechanics shared by the movie-file reader and writer: a bounds-checked
// cursor whose first failure sticks, a walker that splits a container into its
// children, and a writer whose scopes back-patch atom sizes.
#pragma once

#include "../model.h"

#include <string>
#include <vector>

namespace qte::file {

// One atom inside a buffer held by the caller.
struct Atom {
  OSType type = 0;
  uint64_t offset = 0;         // of the size field, in the file
  const uint8_t* start = nullptr;  // the whole atom, header included
  size_t size = 0;
  size_t header = 8;  // 8, or 16 for a 64-bit size
  const uint8_t* payload() const { return start + header; }
  size_t payloadSize() const { return size - header; }
  Bytes bytes() const { return Bytes(start, start + size); }
};

// Where a parse failed: the result code and a message naming atom path and offset.
struct Failure {
  OSErr err = noErr;
  std::string message;
};

// The path of atoms being parsed ("moov/trak[2]/mdia"), for messages.
class AtomPath {
 public:
  void push(const std::string& name) { parts_.push_back(name); }
  void pop() { parts_.pop_back(); }
  std::string text() const;
  size_t depth() const { return parts_.size(); }

 private:
  std::vector<std::string> parts_;
};

std::string fourccText(OSType t);

// Reads big-endian fields from one atom's payload. After the first read past the
// end every read answers zero and the cursor stops moving; ok() tells once.
class Cursor {
 public:
  Cursor(const Atom& a) : p_(a.payload()), n_(a.payloadSize()), base_(a.offset + a.header) {}
  Cursor(const uint8_t* p, size_t n, uint64_t base) : p_(p), n_(n), base_(base) {}

  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  uint64_t u64();
  int16_t s16() { return static_cast<int16_t>(u16()); }
  int32_t s32() { return static_cast<int32_t>(u32()); }
  int64_t s64() { return static_cast<int64_t>(u64()); }
  // Version byte and 24-bit flags of a full atom.
  std::pair<uint8_t, uint32_t> fullHeader();
  const uint8_t* take(size_t k);
  void skip(size_t k) { take(k); }

  size_t left() const { return failed_ ? 0 : n_ - pos_; }
  size_t pos() const { return pos_; }
  uint64_t fileOffset() const { return base_ + pos_; }
  // Whether `count` records of `each` bytes fit in what is left (no overflow).
  bool fits(uint64_t count, size_t each) const { return each == 0 || count <= left() / each; }
  bool ok() const { return !failed_; }

 private:
  bool need(size_t k);
  const uint8_t* p_;
  size_t n_;
  uint64_t base_;
  size_t pos_ = 0;
  bool failed_ = false;
};

// Splits [p, p+n) (at file offset `base`) into atoms. Sizes 1 (64-bit) and 0 (to
// the end) are honoured; four zero bytes at the end close a list; a size under 8
// or past the container is an error named with `path`.
bool splitAtoms(const uint8_t* p, size_t n, uint64_t base, const AtomPath& path, std::vector<Atom>& out,
                Failure& fail);

// --- Writing ----------------------------------------------------------------

// Inline: a movie atom of a long movie is millions of these.
inline void put8(Bytes& b, uint8_t v) { b.push_back(v); }
inline void put16(Bytes& b, uint16_t v) {
  const uint8_t bytes[2] = {uint8_t(v >> 8), uint8_t(v)};
  b.insert(b.end(), bytes, bytes + 2);
}
inline void put32(Bytes& b, uint32_t v) {
  const uint8_t bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  b.insert(b.end(), bytes, bytes + 4);
}
inline void put64(Bytes& b, uint64_t v) {
  put32(b, uint32_t(v >> 32));
  put32(b, uint32_t(v));
}
void putBytes(Bytes& b, const Bytes& v);

// Appends `n` big-endian values, value(i) each, in one step: the sample tables of
// a long movie hold hundreds of thousands.
template <class Value>
void put32s(Bytes& b, size_t n, Value value) {
  const size_t at = b.size();
  b.resize(at + 4 * n);
  uint8_t* p = b.data() + at;
  for (size_t i = 0; i < n; ++i, p += 4) {
    const uint32_t v = value(i);
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
  }
}
template <class Value>
void put64s(Bytes& b, size_t n, Value value) {
  const size_t at = b.size();
  b.resize(at + 8 * n);
  uint8_t* p = b.data() + at;
  for (size_t i = 0; i < n; ++i) {
    const uint64_t v = value(i);
    for (int k = 56; k >= 0; k -= 8) *p++ = uint8_t(v >> k);
  }
}

// Opens an atom; the destructor writes its 32-bit size. Only a top-level 'mdat'
// can pass 4 GiB, and its header is written by hand. `elsewhere`, when given,
// counts bytes of the atom that are not appended to `b` (they are written from
// where they lie); its growth while the scope is open adds to the size.
class AtomScope {
 public:
  AtomScope(Bytes& b, OSType type, const size_t* elsewhere = nullptr);
  ~AtomScope();
  AtomScope(const AtomScope&) = delete;
  AtomScope& operator=(const AtomScope&) = delete;

 private:
  Bytes& b_;
  size_t start_;
  const size_t* elsewhere_;
  size_t elsewhereAtStart_;
};

// A full atom's version and flags.
void putFullHeader(Bytes& b, uint8_t version, uint32_t flags);

inline uint32_t get32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint64_t get64(const uint8_t* p) { return uint64_t(get32(p)) << 32 | get32(p + 4); }
inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// The atoms of [p, p+n) (at file offset `base`) up to the first damaged one:
// for lists that a damaged entry only shortens, such as a sample description's
// extensions, which a decoder passes over.
inline std::vector<Atom> wellFormedAtoms(const uint8_t* p, size_t n, uint64_t base) {
  std::vector<Atom> out;
  Failure ignored;
  splitAtoms(p, n, base, AtomPath(), out, ignored);
  return out;
}

}  // namespace qte::file
