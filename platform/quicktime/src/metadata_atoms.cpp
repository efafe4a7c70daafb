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

#include "file/meta_atoms.h"

#include <algorithm>
#include <cstring>

namespace qte {

using file::Atom;
using file::AtomScope;
using file::get32;
using file::put32;
using file::Walk;

namespace {

constexpr OSType kMeta = "meta"_4cc, kHdlr = "hdlr"_4cc, kKeys = "keys"_4cc, kIlst = "ilst"_4cc,
                 kData = "data"_4cc, kMean = "mean"_4cc, kName = "name"_4cc;
constexpr OSType kHandlerQuickTime = "mdta"_4cc, kHandlerITunes = "mdir"_4cc, kAppl = "appl"_4cc;

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

bool readData(const Atom& d, Walk& w, MetaValue& v) {
  if (d.payloadSize() < 8) {
    Walk::Enter e(w, "data");
    return w.bad(d.offset, "value shorter than its type and locale");
  }
  v.dataType = get32(d.payload()) & 0xFFFFFF;
  v.locale = get32(d.payload() + 4);
  v.value.assign(d.payload() + 8, d.payload() + d.payloadSize());
  return true;
}

// The children of a 'meta' atom, past version/flags when present, with its
// handler checked: writers disagree on version/flags; a zero word before 'hdlr' tells.
bool metaChildren(const Atom& meta, Walk& w, OSType handler, std::vector<Atom>& out) {
  if (meta.type != kMeta) return w.bad(meta.offset, "'" + file::fourccText(meta.type) + "' is not a 'meta' atom");
  const uint8_t* q = meta.payload();
  const size_t skip = meta.payloadSize() >= 12 && get32(q) == 0 && get32(q + 8) == kHdlr ? 4 : 0;
  if (!w.split(meta, out, skip)) return false;
  for (const Atom& c : out)
    if (c.type == kHdlr) {
      if (c.payloadSize() >= 12 && get32(c.payload() + 8) == handler) return true;
      Walk::Enter e(w, "hdlr");
      return w.bad(c.offset, "handler is not '" + file::fourccText(handler) + "'");
    }
  return w.bad(meta.offset, "no handler ('hdlr')");
}

// 'keys': v/f, count, then { u32 size, u32 namespace, key bytes } each.
bool readKeys(const Atom& c, Walk& w, std::vector<MetaKey>& keys) {
  Walk::Enter e(w, "keys");
  if (c.payloadSize() < 8) return w.truncated(c);
  const uint8_t* p = c.payload();
  const size_t n = c.payloadSize();
  uint32_t count = get32(p + 4);
  size_t at = 8;
  if (count > (n - at) / 8) return w.bad(c.offset, "key count " + std::to_string(count) + " exceeds the atom");
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t size = n - at < 8 ? 0 : get32(p + at);
    if (size < 8 || size > n - at)
      return w.bad(c.offset + c.header + at, "key " + std::to_string(i + 1) + " does not fit the list");
    keys.push_back({get32(p + at + 4), Bytes(p + at + 8, p + at + size)});
    at += size;
  }
  return true;
}

// 'ilst' of the QuickTime form: items typed by 1-based key index. One item per
// value: several 'data' atoms are several locales of one key.
bool readQuickTimeItems(const Atom& c, Walk& w, size_t keys, std::vector<QuickTimeItem>& items) {
  Walk::Enter e(w, "ilst");
  std::vector<Atom> entries;
  if (!w.split(c, entries)) return false;
  for (const Atom& entry : entries) {
    if (entry.type == 0 || entry.type > keys)
      return w.bad(entry.offset, "item of key " + std::to_string(entry.type) + ", of " + std::to_string(keys));
    Walk::Enter k(w, "[" + std::to_string(entry.type) + "]");
    std::vector<Atom> parts;
    if (!w.split(entry, parts)) return false;
    for (const Atom& d : parts) {
      if (d.type != kData) continue;
      QuickTimeItem item{0, entry.type, {}};
      if (!readData(d, w, item.data)) return false;
      item.id = newMetaItemId();
      items.push_back(std::move(item));
    }
  }
  return true;
}

// Keys no item uses are dropped, as the container never keeps them, and
// repeated keys become one.
QuickTimeMetaData usedKeysOnly(QuickTimeMetaData md) {
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
  return result;
}

// One item of the iTunes form: typed by its key, or '----' with 'mean' and
// 'name' before its values.
bool readITunesItem(const Atom& entry, Walk& w, std::vector<ITunesItem>& items) {
  Walk::Enter k(w, file::fourccText(entry.type));
  std::vector<Atom> parts;
  if (!w.split(entry, parts)) return false;
  ITunesItem base{0, entry.type, {}, {}, {}};
  for (const Atom& part : parts) {
    if (part.type != kMean && part.type != kName) continue;
    if (part.payloadSize() < 4) {
      Walk::Enter e(w, file::fourccText(part.type));
      return w.truncated(part);
    }
    const uint8_t* from = part.payload() + 4;
    const uint8_t* to = part.payload() + part.payloadSize();
    if (part.type == kMean) base.mean.assign(from, to);
    else base.name.assign(from, to);
  }
  if (entry.type == kITunesLongKeyType && base.name.empty())
    return w.bad(entry.offset, "item of a long key without its name");
  for (const Atom& d : parts) {
    if (d.type != kData) continue;
    ITunesItem item = base;
    if (!readData(d, w, item.data)) return false;
    item.id = newMetaItemId();
    items.push_back(std::move(item));
  }
  return true;
}

// The one atom that [p, p+n) must be, read from offset 0: for the forms without a path.
template <class Read>
OSErr readWhole(const uint8_t* p, size_t n, Read read) {
  file::AtomPath path;
  file::Failure fail;
  Walk w(path, fail);
  std::vector<Atom> top;
  if (!file::splitAtoms(p, n, 0, path, top, fail)) return fail.err;
  if (top.size() != 1) return badPublicMovieAtom;
  Walk::Enter e(w, "meta");
  return read(top[0], w) ? noErr : fail.err;
}

}  // namespace

namespace file {

bool readQuickTimeMeta(const Atom& meta, Walk& w, QuickTimeMetaData& out) {
  std::vector<Atom> kids;
  if (!metaChildren(meta, w, kHandlerQuickTime, kids)) return false;
  QuickTimeMetaData md;
  for (const Atom& c : kids)
    if (c.type == kKeys && !readKeys(c, w, md.keys)) return false;
  for (const Atom& c : kids)
    if (c.type == kIlst && !readQuickTimeItems(c, w, md.keys.size(), md.items)) return false;
  out = usedKeysOnly(std::move(md));
  return true;
}

bool readITunesMeta(const Atom& meta, Walk& w, std::vector<ITunesItem>& out) {
  std::vector<Atom> kids;
  if (!metaChildren(meta, w, kHandlerITunes, kids)) return false;
  std::vector<ITunesItem> items;
  for (const Atom& c : kids) {
    if (c.type != kIlst) continue;
    Walk::Enter e(w, "ilst");
    std::vector<Atom> entries;
    if (!w.split(c, entries)) return false;
    for (const Atom& entry : entries)
      if (!readITunesItem(entry, w, items)) return false;
  }
  out = std::move(items);
  return true;
}

}  // namespace file

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
  return readWhole(p, n, [&](const Atom& meta, Walk& w) { return file::readQuickTimeMeta(meta, w, out); });
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
  return readWhole(p, n, [&](const Atom& meta, Walk& w) { return file::readITunesMeta(meta, w, out); });
}

}  // namespace qte
