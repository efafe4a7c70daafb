// The 'meta' atoms that hold a container's QuickTime and iTunes items in a file.
//
//   meta                       QuickTime form: no version/flags (moov/meta, trak/meta)
//     hdlr  v/f, 0, 'mdta', 3 x 0, name ""
//     keys  v/f, count, { u32 size, u32 namespace, key bytes }...
//     ilst  { item atom typed by 1-based key index: data atom }...
//
//   meta                       iTunes form: a full atom (moov/udta/meta)
//     hdlr  v/f, 0, 'mdir', 'appl', 0, 0, name ""
//     ilst  { item atom typed by its key, or '----' with mean, name: data atom }...
//
//   data  u32 type indicator (byte 0 the type set, 0; then the 24-bit type),
//         u32 locale indicator, value
#include "metadata_store.h"

#include <algorithm>
#include <cstring>

namespace qte {

namespace {

constexpr OSType kMeta = "meta"_4cc, kHdlr = "hdlr"_4cc, kKeys = "keys"_4cc, kIlst = "ilst"_4cc,
                 kData = "data"_4cc, kMean = "mean"_4cc, kName = "name"_4cc;
constexpr OSType kHandlerQuickTime = "mdta"_4cc, kHandlerITunes = "mdir"_4cc, kAppl = "appl"_4cc;

void put32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// An atom being written: its size is patched in when it closes.
class AtomScope {
 public:
  AtomScope(Bytes& out, OSType type) : out_(out), start_(out.size()) {
    put32(out_, 0);
    put32(out_, type);
  }
  ~AtomScope() {
    uint32_t size = uint32_t(out_.size() - start_);
    for (int i = 0; i < 4; ++i) out_[start_ + size_t(i)] = uint8_t(size >> (24 - 8 * i));
  }
  AtomScope(const AtomScope&) = delete;
  AtomScope& operator=(const AtomScope&) = delete;

 private:
  Bytes& out_;
  size_t start_;
};

void writeHandler(Bytes& out, OSType handler, OSType manufacturer) {
  AtomScope hdlr(out, kHdlr);
  put32(out, 0);  // version/flags
  put32(out, 0);  // pre-defined
  put32(out, handler);
  put32(out, manufacturer);
  put32(out, 0);
  put32(out, 0);
  out.push_back(0);  // empty name
}

void writeData(Bytes& out, const MetaValue& v) {
  AtomScope data(out, kData);
  put32(out, v.dataType & 0xFFFFFF);
  put32(out, v.locale);
  out.insert(out.end(), v.value.begin(), v.value.end());
}

void writeFullString(Bytes& out, OSType type, const uint8_t* p, size_t n) {
  AtomScope atom(out, type);
  put32(out, 0);
  out.insert(out.end(), p, p + n);
}

// One child atom: its type and payload.
struct Child {
  OSType type;
  const uint8_t* payload;
  size_t size;
};

// Splits a payload into child atoms; handles 64-bit sizes and size 0 ("to the end").
OSErr children(const uint8_t* p, size_t n, std::vector<Child>& out) {
  size_t at = 0;
  while (at < n) {
    if (n - at == 4 && get32(p + at) == 0) break;  // a terminating zero word
    if (n - at < 8) return badPublicMovieAtom;
    uint64_t size = get32(p + at);
    size_t header = 8;
    if (size == 1) {
      if (n - at < 16) return badPublicMovieAtom;
      size = uint64_t(get32(p + at + 8)) << 32 | get32(p + at + 12);
      header = 16;
    } else if (size == 0) {
      size = n - at;
    }
    if (size < header || size > n - at) return badPublicMovieAtom;
    out.push_back({get32(p + at + 4), p + at + header, size_t(size) - header});
    at += size_t(size);
  }
  return noErr;
}

OSErr readData(const Child& c, MetaValue& v) {
  if (c.size < 8) return badPublicMovieAtom;
  v.dataType = get32(c.payload) & 0xFFFFFF;
  v.locale = get32(c.payload + 4);
  v.value.assign(c.payload + 8, c.payload + c.size);
  return noErr;
}

// The payload of a 'meta' atom starting at p, past version/flags when present,
// and the children of that payload.
OSErr metaChildren(const uint8_t* p, size_t n, std::vector<Child>& out) {
  std::vector<Child> top;
  if (OSErr err = children(p, n, top)) return err;
  if (top.size() != 1 || top[0].type != kMeta) return badPublicMovieAtom;
  const uint8_t* q = top[0].payload;
  size_t m = top[0].size;
  // Writers disagree on version/flags; a zero word before 'hdlr' tells.
  if (m >= 12 && get32(q) == 0 && get32(q + 8) == kHdlr) {
    q += 4;
    m -= 4;
  }
  return children(q, m, out);
}

OSErr checkHandler(const std::vector<Child>& kids, OSType handler) {
  for (const Child& c : kids)
    if (c.type == kHdlr) return c.size >= 12 && get32(c.payload + 8) == handler ? OSErr(noErr) : OSErr(badPublicMovieAtom);
  return badPublicMovieAtom;
}

}  // namespace

Bytes writeQuickTimeMetaAtom(const QuickTimeMetaData& md) {
  Bytes out;
  AtomScope meta(out, kMeta);
  writeHandler(out, kHandlerQuickTime, 0);
  {
    AtomScope keys(out, kKeys);
    put32(out, 0);
    put32(out, uint32_t(md.keys.size()));
    for (const MetaKey& k : md.keys) {
      put32(out, uint32_t(8 + k.key.size()));
      put32(out, k.keyNamespace);
      out.insert(out.end(), k.key.begin(), k.key.end());
    }
  }
  {
    AtomScope ilst(out, kIlst);
    for (const QuickTimeItem& item : md.items) {
      AtomScope entry(out, item.keyIndex);
      writeData(out, item.data);
    }
  }
  return out;
}

OSErr readQuickTimeMetaAtom(const uint8_t* p, size_t n, QuickTimeMetaData& out) {
  std::vector<Child> kids;
  if (OSErr err = metaChildren(p, n, kids)) return err;
  if (OSErr err = checkHandler(kids, kHandlerQuickTime)) return err;
  QuickTimeMetaData md;
  for (const Child& c : kids) {
    if (c.type != kKeys) continue;
    if (c.size < 8) return badPublicMovieAtom;
    uint32_t count = get32(c.payload + 4);
    size_t at = 8;
    if (count > (c.size - at) / 8) return badPublicMovieAtom;
    for (uint32_t i = 0; i < count; ++i) {
      if (c.size - at < 8) return badPublicMovieAtom;
      uint32_t size = get32(c.payload + at);
      if (size < 8 || size > c.size - at) return badPublicMovieAtom;
      md.keys.push_back({get32(c.payload + at + 4), Bytes(c.payload + at + 8, c.payload + at + size)});
      at += size;
    }
  }
  for (const Child& c : kids) {
    if (c.type != kIlst) continue;
    std::vector<Child> entries;
    if (OSErr err = children(c.payload, c.size, entries)) return err;
    for (const Child& e : entries) {
      if (e.type == 0 || e.type > md.keys.size()) return badPublicMovieAtom;
      std::vector<Child> parts;
      if (OSErr err = children(e.payload, e.size, parts)) return err;
      // One item per value: several 'data' atoms are several locales of one key.
      for (const Child& d : parts) {
        if (d.type != kData) continue;
        QuickTimeItem item{0, e.type, {}};
        if (OSErr err = readData(d, item.data)) return err;
        item.id = newMetaItemId();
        md.items.push_back(std::move(item));
      }
    }
  }
  // Keys no item uses are dropped, as the container never keeps them.
  std::vector<uint32_t> renumber(md.keys.size() + 1, 0);
  for (const QuickTimeItem& item : md.items) renumber[item.keyIndex] = 1;
  QuickTimeMetaData result;
  for (size_t k = 1; k < renumber.size(); ++k) {
    if (!renumber[k]) continue;
    auto same = std::find(result.keys.begin(), result.keys.end(), md.keys[k - 1]);
    if (same == result.keys.end()) same = result.keys.insert(result.keys.end(), md.keys[k - 1]);
    renumber[k] = uint32_t(same - result.keys.begin() + 1);
  }
  for (QuickTimeItem& item : md.items) item.keyIndex = renumber[item.keyIndex];
  result.items = std::move(md.items);
  out = std::move(result);
  return noErr;
}

Bytes writeITunesMetaAtom(const std::vector<ITunesItem>& items) {
  Bytes out;
  AtomScope meta(out, kMeta);
  put32(out, 0);  // version/flags: the iTunes form is a full atom
  writeHandler(out, kHandlerITunes, kAppl);
  AtomScope ilst(out, kIlst);
  for (const ITunesItem& item : items) {
    AtomScope entry(out, item.type);
    if (item.type == kITunesLongKeyType) {
      writeFullString(out, kMean, reinterpret_cast<const uint8_t*>(item.mean.data()), item.mean.size());
      writeFullString(out, kName, item.name.data(), item.name.size());
    }
    writeData(out, item.data);
  }
  return out;
}

OSErr readITunesMetaAtom(const uint8_t* p, size_t n, std::vector<ITunesItem>& out) {
  std::vector<Child> kids;
  if (OSErr err = metaChildren(p, n, kids)) return err;
  if (OSErr err = checkHandler(kids, kHandlerITunes)) return err;
  std::vector<ITunesItem> items;
  for (const Child& c : kids) {
    if (c.type != kIlst) continue;
    std::vector<Child> entries;
    if (OSErr err = children(c.payload, c.size, entries)) return err;
    for (const Child& e : entries) {
      std::vector<Child> parts;
      if (OSErr err = children(e.payload, e.size, parts)) return err;
      ITunesItem base{0, e.type, {}, {}, {}};
      for (const Child& part : parts) {
        if (part.type == kMean || part.type == kName) {
          if (part.size < 4) return badPublicMovieAtom;
          if (part.type == kMean) base.mean.assign(part.payload + 4, part.payload + part.size);
          else base.name.assign(part.payload + 4, part.payload + part.size);
        }
      }
      if (e.type == kITunesLongKeyType && base.name.empty()) return badPublicMovieAtom;
      for (const Child& d : parts) {
        if (d.type != kData) continue;
        ITunesItem item = base;
        if (OSErr err = readData(d, item.data)) return err;
        item.id = newMetaItemId();
        items.push_back(std::move(item));
      }
    }
  }
  out = std::move(items);
  return noErr;
}

}  // namespace qte
