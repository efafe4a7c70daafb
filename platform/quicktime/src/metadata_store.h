// A movie's or track's metadata container, kept in the forms the file uses:
//
//   'mdta'  moov/meta (or trak/meta): hdlr 'mdta', a 'keys' list and an 'ilst'
//           whose item atoms are typed by 1-based key index, one 'data' atom each
//   'itms'  moov/udta/meta: hdlr 'mdir', an 'ilst' of item atoms typed by a
//           four-character key, or '----' with mean and name for long keys
//   'udta'  the owner's user-data list itself (its item atoms); nothing is copied,
//           so user-data calls and metadata calls see the same entries
//
// Item identifiers come from one process-wide counter, so an identifier is never
// handed out twice. 'mdta' and 'itms' items are appended, which keeps each of their
// lists ordered by identifier; user-data entries get theirs when the container
// first sees them.
#pragma once

#include <QuickTime/MetaData.h>

#include "model.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qte {

// A 'data' atom: the type indicator's 24-bit type code, the locale indicator and
// the value bytes.
struct MetaValue {
  uint32_t dataType = kQTMetaDataTypeBinary;
  uint32_t locale = 0;
  Bytes value;
};

// A 'keys' entry: namespace 'mdta' (reverse-DNS text) or 'udta' (a big-endian
// four-character code).
struct MetaKey {
  OSType keyNamespace;
  Bytes key;
  bool operator==(const MetaKey&) const = default;
};

// An 'ilst' item atom of QuickTime metadata.
struct QuickTimeItem {
  QTMetaDataItem id;
  uint32_t keyIndex;  // from 1, into QuickTimeMetaData::keys
  MetaValue data;
};

struct QuickTimeMetaData {
  std::vector<MetaKey> keys;  // each used by at least one item
  std::vector<QuickTimeItem> items;
};

constexpr OSType kITunesLongKeyType = "----"_4cc;

// An 'ilst' item atom of iTunes metadata.
struct ITunesItem {
  QTMetaDataItem id;
  OSType type;       // the short key, or '----' for a long one
  std::string mean;  // long keys only: the 'mean' atom's domain
  Bytes name;        // long keys only: the 'name' atom's key
  MetaValue data;
};

// Where an item lives: its storage format and its position in that list.
struct ItemPlace {
  OSType storage;
  size_t index;
};

// What a lookup asks for: a storage format (0: any), a key format (0: any) and
// optionally a key. Keys of four-character formats are native-order OSTypes.
struct KeyFilter {
  OSType storage;
  OSType keyFormat;
  const uint8_t* key;
  size_t keySize;
};

class MetaStore : public std::enable_shared_from_this<MetaStore> {
 public:
  MetaStore(OSType ownerType, Object* owner);
  ~MetaStore();
  MetaStore(const MetaStore&) = delete;
  MetaStore& operator=(const MetaStore&) = delete;

  // The live container behind a reference, or null.
  static MetaStore* find(const void* ref);
  QTMetaDataRef ref() { return reinterpret_cast<QTMetaDataRef>(this); }
  int32_t serial() const { return serial_; }

  // References handed out through the C calls; the owner's own hold is separate.
  void retain();
  void release();

  OSType ownerType() const { return ownerType_; }
  // The movie or track, or null once it has gone.
  Object* owner() const;
  // The owner's user-data list, or null once the owner has gone.
  UserDataList* userData() const;
  std::vector<OSType> storageFormats() const;

  // --- Items -------------------------------------------------------------
  std::optional<ItemPlace> place(QTMetaDataItem id);
  OSStatus next(const KeyFilter& f, QTMetaDataItem after, QTMetaDataItem* out);
  OSStatus count(const KeyFilter& f, ItemCount* out);
  OSStatus add(OSType storage, OSType keyFormat, const uint8_t* key, size_t keySize, const uint8_t* value,
               size_t valueSize, uint32_t dataType, QTMetaDataItem* out);
  OSStatus remove(QTMetaDataItem id);
  OSStatus removeMatching(const KeyFilter& f);

  // Per-item views, in the API's terms. `p` must come from place().
  OSType keyFormatOf(ItemPlace p) const;
  Bytes keyOf(ItemPlace p) const;
  uint32_t dataTypeOf(ItemPlace p) const;
  uint32_t localeOf(ItemPlace p) const;
  Bytes valueOf(ItemPlace p) const;

  OSStatus setValue(ItemPlace p, const uint8_t* value, size_t size, uint32_t dataType);
  OSStatus setDataType(ItemPlace p, uint32_t dataType);
  OSStatus setLocale(ItemPlace p, uint32_t locale);
  OSStatus setKey(ItemPlace p, const uint8_t* key, size_t size);

  QuickTimeMetaData& quickTime() { return quickTime_; }
  std::vector<ITunesItem>& iTunes() { return iTunes_; }
  const QuickTimeMetaData& quickTime() const { return quickTime_; }
  const std::vector<ITunesItem>& iTunes() const { return iTunes_; }

 private:
  bool matches(ItemPlace p, const KeyFilter& f) const;
  // Gives identifiers to user-data entries that have none yet.
  void stampUserData();
  size_t sizeOf(OSType storage) const;
  // Key index for a 'keys' entry, added when new.
  uint32_t keyIndexFor(const MetaKey& k);
  void dropKeyIfUnused(uint32_t keyIndex);

  OSType ownerType_;
  Object* owner_;
  int32_t ownerSerial_;
  int32_t serial_;
  uint32_t refs_ = 0;
  std::shared_ptr<MetaStore> self_;  // held while references are out
  QuickTimeMetaData quickTime_;
  std::vector<ITunesItem> iTunes_;
};

// The owner's container, made on first use.
std::shared_ptr<MetaStore>& metaStoreOf(std::shared_ptr<MetaStore>& slot, OSType ownerType, Object* owner);

QTMetaDataItem newMetaItemId();

// --- User-data text items ('©' types): records of u16 length, u16 language, text ---

constexpr uint16_t kLanguageUndetermined = 0x55C4;  // packed ISO 639-2 "und"

inline bool isTextType(OSType type) { return (type >> 24) == 0xA9; }
// Mac language codes and "unspecified" carry Mac-encoded text; packed ISO codes UTF-8.
inline bool isMacLanguage(uint16_t language) { return language < 0x400 || language == 0x7FFF; }

// --- Common keys ------------------------------------------------------------

struct CommonKey {
  OSType common;
  const char* quickTime;  // 'mdta' key, or null
  OSType userData;        // '©' type, or 0
  OSType iTunes;          // short iTunes key, or 0
};
const CommonKey* commonKey(OSType common);
// The common key an item's native key carries, or 0.
OSType commonKeyOf(OSType storage, OSType keyFormat, const Bytes& key);

// --- Atoms --------------------------------------------------------------------

// moov/meta or trak/meta (QuickTime form, no version/flags), and back.
Bytes writeQuickTimeMetaAtom(const QuickTimeMetaData& md);
OSErr readQuickTimeMetaAtom(const uint8_t* p, size_t n, QuickTimeMetaData& out);
// udta/meta (iTunes form, a full atom), and back.
Bytes writeITunesMetaAtom(const std::vector<ITunesItem>& items);
OSErr readITunesMetaAtom(const uint8_t* p, size_t n, std::vector<ITunesItem>& out);

}  // namespace qte
