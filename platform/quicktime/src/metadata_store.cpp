// The metadata container: items of the three storage formats, lookups by key,
// and the rules that keep each storage format in its file form.
#include "metadata_store.h"

#include "file/atoms.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace qte {

namespace {

std::unordered_map<const void*, MetaStore*>& liveStores() {
  static std::unordered_map<const void*, MetaStore*> stores;
  return stores;
}
int32_t gNextStoreSerial = 1;
QTMetaDataItem gNextItemId = 1;

OSType native4(const uint8_t* p) {
  OSType v;
  std::memcpy(&v, p, 4);
  return v;
}
Bytes nativeBytes(OSType v) {
  Bytes b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}
Bytes bigEndianBytes(OSType v) {
  Bytes b;
  file::put32(b, v);
  return b;
}
OSType bigEndianCode(const Bytes& b) { return file::get32(b.data()); }

bool sameBytes(const Bytes& a, const uint8_t* p, size_t n) {
  return a.size() == n && (n == 0 || std::memcmp(a.data(), p, n) == 0);
}

// A 'data' atom's type code has 24 bits; numbers must have a width their type allows.
OSStatus checkData(uint32_t dataType, size_t size) {
  if (dataType > 0xFFFFFF) return paramErr;
  switch (dataType) {
    case kQTMetaDataTypeSignedIntegerBE:
    case kQTMetaDataTypeUnsignedIntegerBE:
      return (size >= 1 && size <= 4) || size == 8 ? OSStatus(noErr) : OSStatus(paramErr);
    case kQTMetaDataTypeFloat32BE:
      return size == 4 ? OSStatus(noErr) : OSStatus(paramErr);
    case kQTMetaDataTypeFloat64BE:
      return size == 8 ? OSStatus(noErr) : OSStatus(paramErr);
    default:
      return noErr;
  }
}

// --- User-data text records ------------------------------------------------------

struct TextRecord {
  uint16_t language;
  size_t textAt;
  size_t textSize;
  size_t end;  // where the next record starts
};

// The first record, clipped to the payload when its length overruns.
std::optional<TextRecord> firstRecord(const Bytes& payload) {
  if (payload.size() < 4) return std::nullopt;
  size_t length = file::get16(payload.data());
  uint16_t language = file::get16(payload.data() + 2);
  size_t textSize = std::min(length, payload.size() - 4);
  return TextRecord{language, 4, textSize, 4 + textSize};
}

// Replaces the first record (or makes one), keeping any further records.
void writeFirstRecord(Bytes& payload, uint16_t language, const uint8_t* text, size_t size) {
  auto first = firstRecord(payload);
  Bytes out;
  file::put16(out, uint16_t(size));
  file::put16(out, language);
  if (size) out.insert(out.end(), text, text + size);
  if (first) out.insert(out.end(), payload.begin() + long(first->end), payload.end());
  payload = std::move(out);
}

// The language a text record should carry for text of `dataType`: UTF-8 needs a
// packed ISO code, Mac-encoded text a Mac language code.
std::optional<uint16_t> languageFor(uint32_t dataType, uint16_t current) {
  if (dataType == kQTMetaDataTypeUTF8) return isMacLanguage(current) ? kLanguageUndetermined : current;
  if (dataType == kQTMetaDataTypeMacEncodedText) return isMacLanguage(current) ? current : uint16_t(0);
  return std::nullopt;
}

// --- Common keys -----------------------------------------------------------------

constexpr OSType text(char a, char b, char c) { return 0xA9000000u | FOUR_CHAR_CODE(0, a, b, c); }

constexpr CommonKey kCommonKeys[] = {
    {kQTMetaDataCommonKeyAuthor, "com.apple.quicktime.author", text('a', 'u', 't'), 0},
    {kQTMetaDataCommonKeyComment, "com.apple.quicktime.comment", text('c', 'm', 't'), text('c', 'm', 't')},
    {kQTMetaDataCommonKeyCopyright, "com.apple.quicktime.copyright", text('c', 'p', 'y'), "cprt"_4cc},
    {kQTMetaDataCommonKeyDirector, "com.apple.quicktime.director", text('d', 'i', 'r'), 0},
    {kQTMetaDataCommonKeyDisplayName, "com.apple.quicktime.displayname", text('n', 'a', 'm'), text('n', 'a', 'm')},
    {kQTMetaDataCommonKeyInformation, "com.apple.quicktime.information", text('i', 'n', 'f'), 0},
    {kQTMetaDataCommonKeyKeywords, "com.apple.quicktime.keywords", text('k', 'e', 'y'), "keyw"_4cc},
    {kQTMetaDataCommonKeyProducer, "com.apple.quicktime.producer", text('p', 'r', 'd'), 0},
    {kQTMetaDataCommonKeyAlbum, "com.apple.quicktime.album", text('a', 'l', 'b'), text('a', 'l', 'b')},
    {kQTMetaDataCommonKeyArtist, "com.apple.quicktime.artist", text('A', 'R', 'T'), text('A', 'R', 'T')},
    {kQTMetaDataCommonKeyArtwork, "com.apple.quicktime.artwork", 0, "covr"_4cc},
    {kQTMetaDataCommonKeyChapterName, nullptr, text('c', 'h', 'p'), 0},
    {kQTMetaDataCommonKeyComposer, nullptr, text('c', 'o', 'm'), text('w', 'r', 't')},
    {kQTMetaDataCommonKeyDescription, "com.apple.quicktime.description", text('d', 'e', 's'), "desc"_4cc},
    {kQTMetaDataCommonKeyGenre, "com.apple.quicktime.genre", text('g', 'e', 'n'), text('g', 'e', 'n')},
    {kQTMetaDataCommonKeyOriginalFormat, nullptr, text('f', 'm', 't'), 0},
    {kQTMetaDataCommonKeyOriginalSource, nullptr, text('s', 'r', 'c'), 0},
    {kQTMetaDataCommonKeyPerformers, nullptr, text('p', 'r', 'f'), 0},
    {kQTMetaDataCommonKeySoftware, "com.apple.quicktime.software", text('s', 'w', 'r'), text('t', 'o', 'o')},
    {kQTMetaDataCommonKeyWriter, nullptr, text('w', 'r', 't'), 0},
};

}  // namespace

QTMetaDataItem newMetaItemId() { return gNextItemId++; }

const CommonKey* commonKey(OSType common) {
  for (const CommonKey& k : kCommonKeys)
    if (k.common == common) return &k;
  return nullptr;
}

OSType commonKeyOf(OSType storage, OSType keyFormat, const Bytes& key) {
  for (const CommonKey& k : kCommonKeys) {
    bool hit = false;
    if (keyFormat == kQTMetaDataKeyFormatQuickTime)
      hit = k.quickTime && sameBytes(key, reinterpret_cast<const uint8_t*>(k.quickTime), std::strlen(k.quickTime));
    else if (keyFormat == kQTMetaDataKeyFormatUserData)
      hit = k.userData && key.size() == 4 && native4(key.data()) == k.userData;
    else if (keyFormat == kQTMetaDataKeyFormatiTunesShortForm && storage == kQTMetaDataStorageFormatiTunes)
      hit = k.iTunes && key.size() == 4 && native4(key.data()) == k.iTunes;
    if (hit) return k.common;
  }
  return 0;
}

// --- Container ---------------------------------------------------------------------

MetaStore::MetaStore(OSType ownerType, Object* owner)
    : ownerType_(ownerType), owner_(owner), ownerSerial_(owner->serial), serial_(gNextStoreSerial++) {
  liveStores().emplace(static_cast<const void*>(this), this);
}

MetaStore::~MetaStore() { liveStores().erase(static_cast<const void*>(this)); }

MetaStore* MetaStore::find(const void* ref) {
  if (!ref) return nullptr;
  auto& stores = liveStores();
  auto it = stores.find(ref);
  return it == stores.end() ? nullptr : it->second;
}

void MetaStore::retain() {
  if (refs_++ == 0) self_ = shared_from_this();
}

void MetaStore::release() {
  if (refs_ == 0) return;  // an extra release: nothing of ours is left to give back
  if (--refs_ == 0) {
    std::shared_ptr<MetaStore> last = std::move(self_);  // may destroy this
  }
}

Object* MetaStore::owner() const {
  Kind kind = ownerType_ == kQTMetaDataOwnerTypeMovie ? Kind::Movie : Kind::Track;
  Object* o = findLive(owner_, kind);
  return o && o->serial == ownerSerial_ ? o : nullptr;
}

UserDataList* MetaStore::userData() const {
  Object* o = owner();
  if (!o) return nullptr;
  if (o->kind == Kind::Movie) return static_cast<Movie*>(o)->userData.get();
  return static_cast<Track*>(o)->userData.get();
}

std::vector<OSType> MetaStore::storageFormats() const {
  std::vector<OSType> formats{kQTMetaDataStorageFormatQuickTime, kQTMetaDataStorageFormatiTunes};
  if (userData()) formats.push_back(kQTMetaDataStorageFormatUserData);
  return formats;
}

std::shared_ptr<MetaStore>& metaStoreOf(std::shared_ptr<MetaStore>& slot, OSType ownerType, Object* owner) {
  if (!slot) slot = std::make_shared<MetaStore>(ownerType, owner);
  return slot;
}

// --- Finding items -------------------------------------------------------------------

// Entries only ever join a user-data list at its end, so the ones without an
// identifier are its tail, and stamping them in order keeps the list's
// identifiers ascending: place() can then search it instead of scanning.
void MetaStore::stampUserData() {
  UserDataList* ud = userData();
  if (!ud) return;
  auto& items = ud->items;
  size_t first = items.size();
  while (first > 0 && items[first - 1].metaId == 0) --first;
  for (size_t i = first; i < items.size(); ++i) items[i].metaId = newMetaItemId();
}

size_t MetaStore::sizeOf(OSType storage) const {
  if (storage == kQTMetaDataStorageFormatQuickTime) return quickTime_.items.size();
  if (storage == kQTMetaDataStorageFormatiTunes) return iTunes_.size();
  UserDataList* ud = userData();
  return ud ? ud->items.size() : 0;
}

std::optional<ItemPlace> MetaStore::place(QTMetaDataItem id) {
  if (id == 0) return std::nullopt;
  auto byId = [](const auto& item, QTMetaDataItem v) { return item.id < v; };
  auto& q = quickTime_.items;
  if (auto it = std::lower_bound(q.begin(), q.end(), id, byId); it != q.end() && it->id == id)
    return ItemPlace{kQTMetaDataStorageFormatQuickTime, size_t(it - q.begin())};
  if (auto it = std::lower_bound(iTunes_.begin(), iTunes_.end(), id, byId); it != iTunes_.end() && it->id == id)
    return ItemPlace{kQTMetaDataStorageFormatiTunes, size_t(it - iTunes_.begin())};
  stampUserData();
  UserDataList* ud = userData();
  if (!ud) return std::nullopt;
  auto& u = ud->items;
  auto byMetaId = [](const UserDataItem& item, QTMetaDataItem v) { return item.metaId < v; };
  if (auto it = std::lower_bound(u.begin(), u.end(), id, byMetaId); it != u.end() && it->metaId == id)
    return ItemPlace{kQTMetaDataStorageFormatUserData, size_t(it - u.begin())};
  return std::nullopt;
}

bool MetaStore::matches(ItemPlace p, const KeyFilter& f) const {
  if (f.storage != 0 && f.storage != p.storage) return false;
  if (f.keyFormat == kQTMetaDataKeyFormatCommon) {
    OSType common = commonKeyOf(p.storage, keyFormatOf(p), keyOf(p));
    return common != 0 && (!f.key || (f.keySize == 4 && native4(f.key) == common));
  }
  if (f.keyFormat != 0 && f.keyFormat != keyFormatOf(p)) return false;
  return !f.key || sameBytes(keyOf(p), f.key, f.keySize);
}

namespace {
constexpr OSType kWalkOrder[] = {kQTMetaDataStorageFormatQuickTime, kQTMetaDataStorageFormatiTunes,
                                 kQTMetaDataStorageFormatUserData};
}

OSStatus MetaStore::next(const KeyFilter& f, QTMetaDataItem after, QTMetaDataItem* out) {
  size_t storageAt = 0, index = 0;
  stampUserData();
  if (after != 0) {
    auto p = place(after);
    if (!p) return kQTMetaDataInvalidItemErr;
    storageAt = size_t(std::find(std::begin(kWalkOrder), std::end(kWalkOrder), p->storage) - kWalkOrder);
    index = p->index + 1;
  }
  for (; storageAt < std::size(kWalkOrder); ++storageAt, index = 0) {
    OSType storage = kWalkOrder[storageAt];
    if (f.storage != 0 && f.storage != storage) continue;
    for (size_t n = sizeOf(storage); index < n; ++index) {
      ItemPlace p{storage, index};
      if (!matches(p, f)) continue;
      if (storage == kQTMetaDataStorageFormatQuickTime) *out = quickTime_.items[index].id;
      else if (storage == kQTMetaDataStorageFormatiTunes) *out = iTunes_[index].id;
      else *out = userData()->items[index].metaId;
      return noErr;
    }
  }
  return kQTMetaDataNoMoreItemsErr;
}

OSStatus MetaStore::count(const KeyFilter& f, ItemCount* out) {
  ItemCount n = 0;
  for (OSType storage : kWalkOrder)
    for (size_t i = 0, size = sizeOf(storage); i < size; ++i) n += matches({storage, i}, f);
  *out = n;
  return noErr;
}

// --- Item views ----------------------------------------------------------------------

OSType MetaStore::keyFormatOf(ItemPlace p) const {
  if (p.storage == kQTMetaDataStorageFormatQuickTime)
    return quickTime_.keys[quickTime_.items[p.index].keyIndex - 1].keyNamespace;
  if (p.storage == kQTMetaDataStorageFormatiTunes)
    return iTunes_[p.index].type == kITunesLongKeyType ? kQTMetaDataKeyFormatiTunesLongForm
                                                       : kQTMetaDataKeyFormatiTunesShortForm;
  return kQTMetaDataKeyFormatUserData;
}

Bytes MetaStore::keyOf(ItemPlace p) const {
  if (p.storage == kQTMetaDataStorageFormatQuickTime) {
    const MetaKey& k = quickTime_.keys[quickTime_.items[p.index].keyIndex - 1];
    return k.keyNamespace == kQTMetaDataKeyFormatUserData ? nativeBytes(bigEndianCode(k.key)) : k.key;
  }
  if (p.storage == kQTMetaDataStorageFormatiTunes) {
    const ITunesItem& item = iTunes_[p.index];
    return item.type == kITunesLongKeyType ? item.name : nativeBytes(item.type);
  }
  return nativeBytes(userData()->items[p.index].type);
}

uint32_t MetaStore::dataTypeOf(ItemPlace p) const {
  if (p.storage == kQTMetaDataStorageFormatQuickTime) return quickTime_.items[p.index].data.dataType;
  if (p.storage == kQTMetaDataStorageFormatiTunes) return iTunes_[p.index].data.dataType;
  const UserDataItem& item = userData()->items[p.index];
  if (!isTextType(item.type)) return kQTMetaDataTypeBinary;
  auto first = firstRecord(item.data);
  return !first || isMacLanguage(first->language) ? kQTMetaDataTypeMacEncodedText : kQTMetaDataTypeUTF8;
}

uint32_t MetaStore::localeOf(ItemPlace p) const {
  if (p.storage == kQTMetaDataStorageFormatQuickTime) return quickTime_.items[p.index].data.locale;
  if (p.storage == kQTMetaDataStorageFormatiTunes) return iTunes_[p.index].data.locale;
  const UserDataItem& item = userData()->items[p.index];
  if (!isTextType(item.type)) return 0;
  auto first = firstRecord(item.data);
  return first ? first->language : 0;
}

Bytes MetaStore::valueOf(ItemPlace p) const {
  if (p.storage == kQTMetaDataStorageFormatQuickTime) return quickTime_.items[p.index].data.value;
  if (p.storage == kQTMetaDataStorageFormatiTunes) return iTunes_[p.index].data.value;
  const UserDataItem& item = userData()->items[p.index];
  if (!isTextType(item.type)) return item.data;
  auto first = firstRecord(item.data);
  if (!first) return {};
  auto at = item.data.begin() + long(first->textAt);
  return Bytes(at, at + long(first->textSize));
}

// --- Keys of QuickTime metadata ---------------------------------------------------------

uint32_t MetaStore::keyIndexFor(const MetaKey& k) {
  auto& keys = quickTime_.keys;
  auto it = std::find(keys.begin(), keys.end(), k);
  if (it == keys.end()) it = keys.insert(keys.end(), k);
  return uint32_t(it - keys.begin() + 1);
}

// A key no item uses leaves the 'keys' list; later keys move down one index.
void MetaStore::dropKeyIfUnused(uint32_t keyIndex) {
  auto& items = quickTime_.items;
  if (std::any_of(items.begin(), items.end(), [&](const QuickTimeItem& i) { return i.keyIndex == keyIndex; })) return;
  quickTime_.keys.erase(quickTime_.keys.begin() + keyIndex - 1);
  for (QuickTimeItem& i : items)
    if (i.keyIndex > keyIndex) --i.keyIndex;
}

// --- Adding and removing -------------------------------------------------------------------

OSStatus MetaStore::add(OSType storage, OSType keyFormat, const uint8_t* key, size_t keySize, const uint8_t* value,
                        size_t valueSize, uint32_t dataType, QTMetaDataItem* out) {
  if (!key || keySize == 0 || (!value && valueSize)) return paramErr;

  // A common key becomes the storage format's own key for that meaning.
  Bytes commonNative;
  if (keyFormat == kQTMetaDataKeyFormatCommon) {
    if (keySize != 4) return paramErr;
    const CommonKey* ck = commonKey(native4(key));
    if (!ck) return kQTMetaDataInvalidKeyFormatErr;
    if (storage == kQTMetaDataStorageFormatQuickTime && ck->quickTime) {
      keyFormat = kQTMetaDataKeyFormatQuickTime;
      commonNative.assign(ck->quickTime, ck->quickTime + std::strlen(ck->quickTime));
    } else if (storage == kQTMetaDataStorageFormatUserData && ck->userData) {
      keyFormat = kQTMetaDataKeyFormatUserData;
      commonNative = nativeBytes(ck->userData);
    } else if (storage == kQTMetaDataStorageFormatiTunes && ck->iTunes) {
      keyFormat = kQTMetaDataKeyFormatiTunesShortForm;
      commonNative = nativeBytes(ck->iTunes);
    } else {
      return kQTMetaDataInvalidKeyFormatErr;
    }
    key = commonNative.data();
    keySize = commonNative.size();
  }

  QTMetaDataItem id = 0;
  if (storage == kQTMetaDataStorageFormatQuickTime) {
    MetaKey k{keyFormat, Bytes(key, key + keySize)};
    if (keyFormat == kQTMetaDataKeyFormatUserData) {
      if (keySize != 4) return paramErr;
      k.key = bigEndianBytes(native4(key));
    } else if (keyFormat != kQTMetaDataKeyFormatQuickTime) {
      return kQTMetaDataInvalidKeyFormatErr;
    }
    if (OSStatus err = checkData(dataType, valueSize)) return err;
    id = newMetaItemId();
    quickTime_.items.push_back({id, keyIndexFor(k), {dataType, 0, Bytes(value, value + valueSize)}});
  } else if (storage == kQTMetaDataStorageFormatiTunes) {
    ITunesItem item{0, 0, {}, {}, {dataType, 0, Bytes(value, value + valueSize)}};
    if (keyFormat == kQTMetaDataKeyFormatiTunesShortForm) {
      if (keySize != 4) return paramErr;
      item.type = native4(key);
      if (item.type == kITunesLongKeyType) return kQTMetaDataInvalidKeyFormatErr;  // only long keys use it
    } else if (keyFormat == kQTMetaDataKeyFormatiTunesLongForm) {
      item.type = kITunesLongKeyType;
      item.mean = "com.apple.iTunes";
      item.name.assign(key, key + keySize);
    } else {
      return kQTMetaDataInvalidKeyFormatErr;
    }
    if (OSStatus err = checkData(dataType, valueSize)) return err;
    item.id = id = newMetaItemId();
    iTunes_.push_back(std::move(item));
  } else if (storage == kQTMetaDataStorageFormatUserData) {
    UserDataList* ud = userData();
    if (!ud) return kQTMetaDataInvalidStorageFormatErr;  // the owner has gone
    if (keyFormat != kQTMetaDataKeyFormatUserData) return kQTMetaDataInvalidKeyFormatErr;
    if (keySize != 4) return paramErr;
    UserDataItem item{native4(key), {}};
    if (isTextType(item.type)) {
      auto language = languageFor(dataType, 0);
      if (!language) return kQTCannotCoerceValueErr;
      if (valueSize > 0xFFFF) return paramErr;
      writeFirstRecord(item.data, *language, value, valueSize);
    } else {
      item.data.assign(value, value + valueSize);  // the file form keeps no data type here
    }
    stampUserData();
    item.metaId = id = newMetaItemId();
    ud->items.push_back(std::move(item));
  } else {
    return kQTMetaDataInvalidStorageFormatErr;
  }
  if (out) *out = id;
  return noErr;
}

OSStatus MetaStore::remove(QTMetaDataItem id) {
  auto p = place(id);
  if (!p) return kQTMetaDataInvalidItemErr;
  if (p->storage == kQTMetaDataStorageFormatQuickTime) {
    uint32_t keyIndex = quickTime_.items[p->index].keyIndex;
    quickTime_.items.erase(quickTime_.items.begin() + long(p->index));
    dropKeyIfUnused(keyIndex);
  } else if (p->storage == kQTMetaDataStorageFormatiTunes) {
    iTunes_.erase(iTunes_.begin() + long(p->index));
  } else {
    auto& items = userData()->items;
    items.erase(items.begin() + long(p->index));
  }
  return noErr;
}

OSStatus MetaStore::removeMatching(const KeyFilter& f) {
  stampUserData();
  // Collected first: matching reads the lists that removal changes.
  std::vector<QTMetaDataItem> doomed;
  for (OSType storage : kWalkOrder) {
    for (size_t i = 0, n = sizeOf(storage); i < n; ++i) {
      if (!matches({storage, i}, f)) continue;
      if (storage == kQTMetaDataStorageFormatQuickTime) doomed.push_back(quickTime_.items[i].id);
      else if (storage == kQTMetaDataStorageFormatiTunes) doomed.push_back(iTunes_[i].id);
      else doomed.push_back(userData()->items[i].metaId);
    }
  }
  for (QTMetaDataItem id : doomed) remove(id);
  return noErr;
}

// --- Changing items --------------------------------------------------------------------------

OSStatus MetaStore::setValue(ItemPlace p, const uint8_t* value, size_t size, uint32_t dataType) {
  if (!value && size) return paramErr;
  if (p.storage != kQTMetaDataStorageFormatUserData) {
    if (OSStatus err = checkData(dataType, size)) return err;
    MetaValue& data =
        p.storage == kQTMetaDataStorageFormatQuickTime ? quickTime_.items[p.index].data : iTunes_[p.index].data;
    data.dataType = dataType;
    data.value.assign(value, value + size);
    return noErr;
  }
  UserDataItem& item = userData()->items[p.index];
  if (!isTextType(item.type)) {
    item.data.assign(value, value + size);
    return noErr;
  }
  auto first = firstRecord(item.data);
  auto language = languageFor(dataType, first ? first->language : 0);
  if (!language) return kQTCannotCoerceValueErr;
  if (size > 0xFFFF) return paramErr;
  writeFirstRecord(item.data, *language, value, size);
  return noErr;
}

OSStatus MetaStore::setDataType(ItemPlace p, uint32_t dataType) {
  Bytes value = valueOf(p);
  return setValue(p, value.data(), value.size(), dataType);
}

OSStatus MetaStore::setLocale(ItemPlace p, uint32_t locale) {
  if (p.storage == kQTMetaDataStorageFormatQuickTime) {
    quickTime_.items[p.index].data.locale = locale;
  } else if (p.storage == kQTMetaDataStorageFormatiTunes) {
    iTunes_[p.index].data.locale = locale;
  } else {
    UserDataItem& item = userData()->items[p.index];
    if (!isTextType(item.type)) return locale == 0 ? OSStatus(noErr) : OSStatus(kQTCannotCoerceValueErr);
    if (locale > 0xFFFF) return paramErr;
    Bytes text = valueOf(p);
    writeFirstRecord(item.data, uint16_t(locale), text.data(), text.size());
  }
  return noErr;
}

OSStatus MetaStore::setKey(ItemPlace p, const uint8_t* key, size_t size) {
  if (!key || size == 0) return paramErr;
  if (p.storage == kQTMetaDataStorageFormatQuickTime) {
    QuickTimeItem& item = quickTime_.items[p.index];
    MetaKey k{quickTime_.keys[item.keyIndex - 1].keyNamespace, Bytes(key, key + size)};
    if (k.keyNamespace == kQTMetaDataKeyFormatUserData) {
      if (size != 4) return kQTPropertyBadValueSizeErr;
      k.key = bigEndianBytes(native4(key));
    }
    uint32_t old = item.keyIndex;
    item.keyIndex = keyIndexFor(k);
    dropKeyIfUnused(old);
  } else if (p.storage == kQTMetaDataStorageFormatiTunes) {
    ITunesItem& item = iTunes_[p.index];
    if (item.type == kITunesLongKeyType) {
      item.name.assign(key, key + size);
    } else {
      if (size != 4) return kQTPropertyBadValueSizeErr;
      if (native4(key) == kITunesLongKeyType) return kQTCannotCoerceValueErr;
      item.type = native4(key);
    }
  } else {
    if (size != 4) return kQTPropertyBadValueSizeErr;
    UserDataItem& item = userData()->items[p.index];
    // Text types hold records, other types bare bytes: the payload cannot follow.
    if (isTextType(native4(key)) != isTextType(item.type)) return kQTCannotCoerceValueErr;
    item.type = native4(key);
  }
  return noErr;
}

}  // namespace qte
