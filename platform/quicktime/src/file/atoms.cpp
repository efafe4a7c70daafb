// Atom mechanics: cursor, walker and size-patching writer.
#include "atoms.h"

#include <cstdio>

namespace qte::file {

std::string fourccText(OSType t) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    auto c = static_cast<unsigned char>(t >> shift);
    if (c >= 0x20 && c < 0x7F) {
      s += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      s += hex;
    }
  }
  return s;
}

std::string AtomPath::text() const {
  std::string s;
  for (const std::string& p : parts_) {
    if (!s.empty()) s += '/';
    s += p;
  }
  return s.empty() ? std::string("(file)") : s;
}

bool Cursor::need(size_t k) {
  if (failed_ || k > n_ - pos_) {
    failed_ = true;
    return false;
  }
  return true;
}

uint8_t Cursor::u8() {
  if (!need(1)) return 0;
  return p_[pos_++];
}

uint16_t Cursor::u16() {
  if (!need(2)) return 0;
  uint16_t v = get16(p_ + pos_);
  pos_ += 2;
  return v;
}

uint32_t Cursor::u32() {
  if (!need(4)) return 0;
  uint32_t v = get32(p_ + pos_);
  pos_ += 4;
  return v;
}

uint64_t Cursor::u64() {
  if (!need(8)) return 0;
  uint64_t v = get64(p_ + pos_);
  pos_ += 8;
  return v;
}

std::pair<uint8_t, uint32_t> Cursor::fullHeader() {
  uint32_t w = u32();
  return {static_cast<uint8_t>(w >> 24), w & 0xFFFFFF};
}

const uint8_t* Cursor::take(size_t k) {
  if (!need(k)) return nullptr;
  const uint8_t* at = p_ + pos_;
  pos_ += k;
  return at;
}

bool splitAtoms(const uint8_t* p, size_t n, uint64_t base, const AtomPath& path, std::vector<Atom>& out,
                Failure& fail) {
  auto bad = [&](size_t at, const std::string& what) {
    fail.err = badPublicMovieAtom;
    fail.message = path.text() + " at offset " + std::to_string(base + at) + ": " + what;
    return false;
  };
  size_t at = 0;
  while (at < n) {
    size_t left = n - at;
    if (left < 8) {
      // A list may end with a zero word (older user data, 'ilst'); anything else is debris.
      for (size_t k = 0; k < left; ++k)
        if (p[at + k] != 0) return bad(at, "stray bytes after the last atom");
      return true;
    }
    uint64_t size = get32(p + at);
    OSType type = get32(p + at + 4);
    size_t header = 8;
    if (size == 1) {
      if (left < 16) return bad(at, "64-bit size of '" + fourccText(type) + "' is cut off");
      size = get64(p + at + 8);
      header = 16;
    } else if (size == 0) {
      if (type == 0) return true;  // zero terminator followed by padding
      size = left;
    }
    if (size < header) return bad(at, "atom '" + fourccText(type) + "' has size " + std::to_string(size));
    if (size > left)
      return bad(at, "atom '" + fourccText(type) + "' of " + std::to_string(size) + " bytes runs past its container (" +
                         std::to_string(left) + " bytes left)");
    Atom a;
    a.type = type;
    a.offset = base + at;
    a.start = p + at;
    a.size = static_cast<size_t>(size);
    a.header = header;
    out.push_back(a);
    at += a.size;
  }
  return true;
}

void putBytes(Bytes& b, const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); }

void putFullHeader(Bytes& b, uint8_t version, uint32_t flags) { put32(b, uint32_t(version) << 24 | (flags & 0xFFFFFF)); }

AtomScope::AtomScope(Bytes& b, OSType type, const size_t* elsewhere)
    : b_(b), start_(b.size()), elsewhere_(elsewhere), elsewhereAtStart_(elsewhere ? *elsewhere : 0) {
  put32(b, 0);
  put32(b, type);
}

AtomScope::~AtomScope() {
  uint64_t size = b_.size() - start_ + (elsewhere_ ? *elsewhere_ - elsewhereAtStart_ : 0);
  // Movie atoms never approach 4 GiB: the reader refuses to load one that large.
  for (int i = 0; i < 4; ++i) b_[start_ + i] = uint8_t(size >> (24 - 8 * i));
}

}  // namespace qte::file
