// User data and metadata: 'udta' items and the 'meta' containers of either dialect.
// Reading and writing side by side.
#include "reader.h"
#include "writer.h"
#include "../meta_atoms.h"

namespace qte::file {

// --- Reading

// 'udta' — QTFF "User data atoms": item atoms; an iTunes 'meta' among them is
// metadata, not a user-data item, or a save would write it twice.
bool Reader::userData(const Atom& a, UserDataList& list, std::shared_ptr<MetaStore>& meta, OSType owner,
                      Object* obj) {
  auto plain = [this](const Atom& k) { return k.header == 8 || bad(k.offset, "user data item with a 64-bit size"); };
  return children(a,
                  {{"meta"_4cc, Need::optional, Times::many, Payload::whole,
                    [&](const Atom& k, Cursor&) {
                      if (!plain(k)) return Took::failed;
                      Enter e(*this, "meta");
                      return took(metaAtom(k, meta, owner, obj));
                    }},
                   {0, Need::optional, Times::many, Payload::whole,
                    [&](const Atom& k, Cursor&) {
                      if (!plain(k)) return Took::failed;
                      list.items.push_back({k.type, Bytes(k.payload(), k.payload() + k.payloadSize())});
                      return Took::rendered;
                    }}},
                  nullptr);
}

// 'meta' of either dialect: the handler says whose items these are.
bool Reader::metaAtom(const Atom& a, std::shared_ptr<MetaStore>& meta, OSType owner, Object* obj) {
  std::vector<Atom> kids;
  size_t skip = a.payloadSize() >= 12 && get32(a.payload()) == 0 && get32(a.payload() + 8) == "hdlr"_4cc ? 4 : 0;
  if (!split(a, kids, skip)) return false;
  OSType handler = 0;
  for (const Atom& k : kids)
    if (k.type == "hdlr"_4cc && k.payloadSize() >= 12) handler = get32(k.payload() + 8);
  auto& store = metaStoreOf(meta, owner, obj);
  if (handler == kQTMetaDataStorageFormatQuickTime) {
    if (!store->quickTime().items.empty()) return bad(a.offset, "second QuickTime metadata container");
    return readQuickTimeMeta(a, *this, store->quickTime());
  }
  if (handler == "mdir"_4cc) {
    if (!store->iTunes().empty()) return bad(a.offset, "second iTunes metadata container");
    return readITunesMeta(a, *this, store->iTunes());
  }
  return bad(a.offset, "metadata handler '" + fourccText(handler) + "' is not 'mdta' or 'mdir'");
}

// --- Writing

// 'udta' items, with the owner's iTunes metadata as its 'meta' item.
void Writer::userData(Bytes& b, const UserDataList& list, const MetaStore* meta) {
  bool iTunes = meta && !meta->iTunes().empty();
  if (list.items.empty() && !iTunes) return;
  AtomScope u(b, "udta"_4cc);
  for (const UserDataItem& item : list.items) {
    AtomScope i(b, item.type);
    putBytes(b, item.data);
  }
  if (iTunes) putBytes(b, writeITunesMetaAtom(meta->iTunes()));
}

void Writer::quickTimeMeta(Bytes& b, const MetaStore* meta) {
  if (meta && !meta->quickTime().items.empty()) putBytes(b, writeQuickTimeMetaAtom(meta->quickTime()));
}

}  // namespace qte::file
