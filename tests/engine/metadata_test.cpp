// Metadata containers of movies and tracks: lifetime, walks, keys, the user data they
// share with the user-data calls, properties and bad input.
#include "engine_support.h"

#include <string>

using namespace enginetest;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr OSType kMdta = kQTMetaDataStorageFormatQuickTime;
constexpr OSType kItms = kQTMetaDataStorageFormatiTunes;
constexpr OSType kUdta = kQTMetaDataStorageFormatUserData;
constexpr OSType kAuthorText = 0xA9617574;  // '©aut'
constexpr OSType kNameText = 0xA96E616D;    // '©nam'

// Four-character keys travel as OSTypes in memory order.
Bytes code(OSType c) {
  Bytes b(4);
  std::memcpy(b.data(), &c, 4);
  return b;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct MetaHolder {
  QTMetaDataRef ref = nullptr;
  explicit MetaHolder(Movie m) { EXPECT_EQ(QTCopyMovieMetaData(m, &ref), noErr); }
  explicit MetaHolder(Track t) { EXPECT_EQ(QTCopyTrackMetaData(t, &ref), noErr); }
  ~MetaHolder() { QTMetaDataRelease(ref); }
  operator QTMetaDataRef() const { return ref; }
};

QTMetaDataItem add(QTMetaDataRef md, OSType storage, OSType keyFormat, const Bytes& key, const std::string& value,
                   UInt32 type = kQTMetaDataTypeUTF8) {
  QTMetaDataItem item = 0;
  EXPECT_EQ(QTMetaDataAddItem(md, storage, keyFormat, key.data(), ByteCount(key.size()),
                              reinterpret_cast<const UInt8*>(value.data()), ByteCount(value.size()), type, &item),
            noErr);
  return item;
}

std::string value(QTMetaDataRef md, QTMetaDataItem item) {
  ByteCount size = 0;
  if (QTMetaDataGetItemValue(md, item, nullptr, 0, &size) != noErr) return "<error>";
  std::string v(size, '\0');
  EXPECT_EQ(QTMetaDataGetItemValue(md, item, reinterpret_cast<UInt8*>(v.data()), size, nullptr), noErr);
  return v;
}

Bytes property(QTMetaDataRef md, QTMetaDataItem item, QTPropertyID id) {
  ByteCount size = 0;
  EXPECT_EQ(QTMetaDataGetItemPropertyInfo(md, item, kPropertyClass_MetaDataItem, id, nullptr, &size, nullptr), noErr);
  Bytes b(size);
  ByteCount used = 0;
  EXPECT_EQ(QTMetaDataGetItemProperty(md, item, kPropertyClass_MetaDataItem, id, size, b.data(), &used), noErr);
  EXPECT_EQ(used, size);
  return b;
}
UInt32 property32(QTMetaDataRef md, QTMetaDataItem item, QTPropertyID id) {
  Bytes b = property(md, item, id);
  UInt32 v = 0;
  if (b.size() == 4) std::memcpy(&v, b.data(), 4);
  return v;
}

// Every item a filtered walk visits, in order.
std::vector<QTMetaDataItem> walk(QTMetaDataRef md, OSType storage = 0, OSType keyFormat = 0,
                                 const Bytes* key = nullptr) {
  std::vector<QTMetaDataItem> items;
  QTMetaDataItem item = 0;
  OSStatus err;
  while ((err = QTMetaDataGetNextItem(md, storage, item, keyFormat, key ? key->data() : nullptr,
                                      key ? ByteCount(key->size()) : 0, &item)) == noErr)
    items.push_back(item);
  EXPECT_EQ(err, kQTMetaDataNoMoreItemsErr);
  return items;
}

ItemCount count(QTMetaDataRef md, OSType storage, OSType keyFormat, const Bytes* key = nullptr) {
  ItemCount n = 99;
  EXPECT_EQ(QTMetaDataGetItemCountWithKey(md, storage, keyFormat, key ? key->data() : nullptr,
                                          key ? ByteCount(key->size()) : 0, &n),
            noErr);
  return n;
}

std::string userText(UserData ud, OSType type, SInt32 index, short region) {
  HandleHolder h;
  if (GetUserDataText(ud, h, type, index, region) != noErr) return "<missing>";
  Bytes b = h.bytes();
  return std::string(b.begin(), b.end());
}

TEST(MetaData, ContainerIsSharedCountedAndOutlivesItsOwner) {
  QTMetaDataRef md = nullptr;
  QTMetaDataItem title = 0;
  {
    MovieHolder movie;
    MetaHolder a(movie), b(movie);
    EXPECT_EQ(a.ref, b.ref);  // one container per movie
    title = add(a, kMdta, kQTMetaDataKeyFormatQuickTime, text("com.apple.quicktime.displayname"), "Title");
    add(a, kUdta, kQTMetaDataKeyFormatUserData, code(kNameText), "Name", kQTMetaDataTypeMacEncodedText);
    EXPECT_EQ(QTMetaDataRetain(a), a.ref);
    md = a.ref;

    Track track = NewMovieTrack(movie, 0, 0, 0);
    MetaHolder t(track);
    EXPECT_NE(t.ref, a.ref);
    EXPECT_EQ(walk(t).size(), 0u);
  }
  // The movie is gone: its own items stay readable, its user data does not.
  EXPECT_EQ(value(md, title), "Title");
  EXPECT_EQ(walk(md).size(), 1u);
  ByteCount size = 0;
  ASSERT_EQ(QTMetaDataGetPropertyInfo(md, kPropertyClass_MetaData, kQTMetaDataPropertyID_StorageFormats, nullptr,
                                      &size, nullptr), noErr);
  EXPECT_EQ(size, 2 * sizeof(OSType));
  void* owner = &size;
  ASSERT_EQ(QTMetaDataGetProperty(md, kPropertyClass_MetaData, kQTMetaDataPropertyID_Owner, sizeof owner, &owner,
                                  nullptr), noErr);
  EXPECT_EQ(owner, nullptr);
  Bytes key = code(kNameText);
  EXPECT_EQ(QTMetaDataAddItem(md, kUdta, kQTMetaDataKeyFormatUserData, key.data(), 4, key.data(), 4, 0, nullptr),
            kQTMetaDataInvalidStorageFormatErr);

  QTMetaDataRelease(md);  // the last reference
  EXPECT_EQ(QTMetaDataRetain(md), nullptr);
  EXPECT_EQ(GetMoviesError(), kQTMetaDataInvalidMetaDataErr);
  EXPECT_EQ(QTMetaDataGetNextItem(md, 0, 0, 0, nullptr, 0, &title), kQTMetaDataInvalidMetaDataErr);
  EXPECT_EQ(QTMetaDataRemoveItem(nullptr, 1), kQTMetaDataInvalidMetaDataErr);
  QTMetaDataRelease(md);  // harmless

  QTMetaDataRef none = nullptr;
  EXPECT_EQ(QTCopyMovieMetaData(nullptr, &none), invalidMovie);
  EXPECT_EQ(QTCopyTrackMetaData(nullptr, &none), invalidTrack);
  EXPECT_EQ(none, nullptr);
}

TEST(MetaData, WalksFilterByStorageAndKeyWithStableNeverReusedIdentifiers) {
  MovieHolder movie;
  MetaHolder md(movie);
  Bytes author = text("com.apple.quicktime.author");
  QTMetaDataItem a1 = add(md, kMdta, kQTMetaDataKeyFormatQuickTime, author, "Ann");
  QTMetaDataItem t = add(md, kMdta, kQTMetaDataKeyFormatQuickTime, text("com.example.custom"), "x");
  QTMetaDataItem a2 = add(md, kMdta, kQTMetaDataKeyFormatQuickTime, author, "Bob");
  QTMetaDataItem it = add(md, kItms, kQTMetaDataKeyFormatiTunesShortForm, code(0xA9415254), "Artist");
  QTMetaDataItem lg = add(md, kItms, kQTMetaDataKeyFormatiTunesLongForm, text("iTunSMPB"), "gapless");
  QTMetaDataItem ud = add(md, kUdta, kQTMetaDataKeyFormatUserData, code(kAuthorText), "Cy",
                          kQTMetaDataTypeMacEncodedText);

  using V = std::vector<QTMetaDataItem>;
  EXPECT_EQ(walk(md), (V{a1, t, a2, it, lg, ud}));
  EXPECT_EQ(walk(md, kItms), (V{it, lg}));
  EXPECT_EQ(walk(md, 0, kQTMetaDataKeyFormatQuickTime, &author), (V{a1, a2}));
  EXPECT_EQ(walk(md, kMdta, kQTMetaDataKeyFormatQuickTime, &author), (V{a1, a2}));
  EXPECT_EQ(walk(md, kItms, kQTMetaDataKeyFormatQuickTime, &author), V{});
  EXPECT_EQ(walk(md, 0, kQTMetaDataKeyFormatiTunesLongForm), V{lg});
  EXPECT_EQ(count(md, 0, 0), 6u);
  EXPECT_EQ(count(md, kMdta, kQTMetaDataKeyFormatQuickTime, &author), 2u);
  Bytes zero(4, 0);
  EXPECT_EQ(count(md, kUdta, kQTMetaDataKeyFormatUserData, &zero), 0u);

  // Removing items leaves the others' identifiers alone; removed ones are invalid.
  ASSERT_EQ(QTMetaDataRemoveItem(md, t), noErr);
  EXPECT_EQ(QTMetaDataRemoveItem(md, t), kQTMetaDataInvalidItemErr);
  EXPECT_EQ(value(md, a2), "Bob");
  QTMetaDataItem next = 0;
  EXPECT_EQ(QTMetaDataGetNextItem(md, 0, t, 0, nullptr, 0, &next), kQTMetaDataInvalidItemErr);
  ByteCount size = 0;
  EXPECT_EQ(QTMetaDataGetItemValue(md, t, nullptr, 0, &size), kQTMetaDataInvalidItemErr);
  ASSERT_EQ(QTMetaDataRemoveItemsWithKey(md, 0, kQTMetaDataKeyFormatQuickTime, author.data(), ByteCount(author.size())),
            noErr);
  EXPECT_EQ(walk(md), (V{it, lg, ud}));
  QTMetaDataItem again = add(md, kMdta, kQTMetaDataKeyFormatQuickTime, author, "Dee");
  for (QTMetaDataItem old : {a1, t, a2, it, lg, ud}) EXPECT_NE(again, old);
  EXPECT_EQ(walk(md), (V{again, it, lg, ud}));

  // The walk may start from an item the filter does not take.
  EXPECT_EQ(QTMetaDataGetNextItem(md, kUdta, again, 0, nullptr, 0, &next), noErr);
  EXPECT_EQ(next, ud);
}

TEST(MetaData, UserDataStorageIsTheOwnersUserDataList) {
  MovieHolder movie;
  Track track = NewMovieTrack(movie, 0, 0, 0);
  UserData ud = GetTrackUserData(track);
  MetaHolder md(track);

  // Added through metadata: an ordinary user-data text in the file's record form.
  QTMetaDataItem name = add(md, kUdta, kQTMetaDataKeyFormatUserData, code(kNameText), "Clip",
                            kQTMetaDataTypeMacEncodedText);
  EXPECT_EQ(CountUserDataType(ud, kNameText), 1);
  EXPECT_EQ(userText(ud, kNameText, 1, 0), "Clip");
  HandleHolder flat;
  ASSERT_EQ(PutUserDataIntoHandle(ud, flat), noErr);
  EXPECT_EQ(flat.bytes(), (Bytes{0, 0, 0, 16, 0xA9, 'n', 'a', 'm', 0, 4, 0, 0, 'C', 'l', 'i', 'p'}));

  // UTF-8 text takes the undetermined ISO language, which readers decode as UTF-8.
  QTMetaDataItem aut = add(md, kUdta, kQTMetaDataKeyFormatUserData, code(kAuthorText), "Zoë");
  EXPECT_EQ(userText(ud, kAuthorText, 1, 0x55C4), "Zoë");
  EXPECT_EQ(property32(md, aut, kQTMetaDataItemPropertyID_DataType), UInt32(kQTMetaDataTypeUTF8));
  EXPECT_EQ(property32(md, aut, kQTMetaDataItemPropertyID_Locale), 0x55C4u);

  // Added through user data: a metadata item whose locale is the region code.
  HandleHolder copyright("(c) 2026", 8);
  ASSERT_EQ(AddUserDataText(ud, copyright, 0xA9637079, 1, 2), noErr);
  HandleHolder raw("\x01\x02", 2);
  ASSERT_EQ(AddUserData(ud, raw, "LOOP"_4cc), noErr);
  auto items = walk(md, kUdta);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0], name);
  EXPECT_EQ(value(md, items[2]), "(c) 2026");
  EXPECT_EQ(property32(md, items[2], kQTMetaDataItemPropertyID_DataType), UInt32(kQTMetaDataTypeMacEncodedText));
  EXPECT_EQ(property32(md, items[2], kQTMetaDataItemPropertyID_Locale), 2u);
  EXPECT_EQ(value(md, items[3]), "\x01\x02");
  EXPECT_EQ(property32(md, items[3], kQTMetaDataItemPropertyID_DataType), UInt32(kQTMetaDataTypeBinary));

  // Text set through metadata replaces the first record and keeps the others.
  ASSERT_EQ(AddUserDataText(ud, copyright, kNameText, 1, 1), noErr);
  const char clip2[] = "Clip 2";
  ASSERT_EQ(QTMetaDataSetItem(md, name, reinterpret_cast<const UInt8*>(clip2), 6, kQTMetaDataTypeMacEncodedText),
            noErr);
  EXPECT_EQ(userText(ud, kNameText, 1, 0), "Clip 2");
  EXPECT_EQ(userText(ud, kNameText, 1, 1), "(c) 2026");

  // Removed on either side, gone on both; identifiers of the others hold.
  ASSERT_EQ(RemoveUserData(ud, kNameText, 1), noErr);
  EXPECT_EQ(QTMetaDataGetItemValue(md, name, nullptr, 0, nullptr), kQTMetaDataInvalidItemErr);
  ASSERT_EQ(QTMetaDataRemoveItem(md, items[3]), noErr);
  EXPECT_EQ(CountUserDataType(ud, "LOOP"_4cc), 0);
  EXPECT_EQ(walk(md, kUdta), (std::vector<QTMetaDataItem>{aut, items[2]}));
}

TEST(MetaData, CommonKeysFindEveryStorageAndAddUnderTheNativeKey) {
  MovieHolder movie;
  MetaHolder md(movie);
  QTMetaDataItem q = add(md, kMdta, kQTMetaDataKeyFormatQuickTime, text("com.apple.quicktime.author"), "Q");
  QTMetaDataItem u = add(md, kUdta, kQTMetaDataKeyFormatUserData, code(kAuthorText), "U",
                         kQTMetaDataTypeMacEncodedText);
  add(md, kMdta, kQTMetaDataKeyFormatQuickTime, text("com.apple.quicktime.artist"), "not the author");
  QTMetaDataItem c = add(md, kItms, kQTMetaDataKeyFormatiTunesShortForm, code("cprt"_4cc), "C");

  Bytes auth = code(kQTMetaDataCommonKeyAuthor);
  EXPECT_EQ(walk(md, 0, kQTMetaDataKeyFormatCommon, &auth), (std::vector<QTMetaDataItem>{q, u}));
  EXPECT_EQ(count(md, kUdta, kQTMetaDataKeyFormatCommon, &auth), 1u);
  Bytes cprt = code(kQTMetaDataCommonKeyCopyright);
  EXPECT_EQ(walk(md, 0, kQTMetaDataKeyFormatCommon, &cprt), std::vector<QTMetaDataItem>{c});
  EXPECT_EQ(count(md, 0, kQTMetaDataKeyFormatCommon), 4u);  // every item with a common meaning

  // Adding with a common key stores the storage format's own key.
  Bytes name = code(kQTMetaDataCommonKeyDisplayName);
  QTMetaDataItem title = add(md, kMdta, kQTMetaDataKeyFormatCommon, name, "Title");
  EXPECT_EQ(property(md, title, kQTMetaDataItemPropertyID_Key), text("com.apple.quicktime.displayname"));
  EXPECT_EQ(property32(md, title, kQTMetaDataItemPropertyID_KeyFormat), UInt32(kQTMetaDataKeyFormatQuickTime));
  QTMetaDataItem udName = add(md, kUdta, kQTMetaDataKeyFormatCommon, name, "Name", kQTMetaDataTypeMacEncodedText);
  EXPECT_EQ(property(md, udName, kQTMetaDataItemPropertyID_Key), code(kNameText));
  EXPECT_EQ(userText(GetMovieUserData(movie), kNameText, 1, 0), "Name");

  // A meaning the storage format has no key for, or no meaning at all.
  Bytes chap = code(kQTMetaDataCommonKeyChapterName), bogus = code("zzzz"_4cc);
  for (const Bytes* k : {&chap, &bogus})
    EXPECT_EQ(QTMetaDataAddItem(md, kMdta, kQTMetaDataKeyFormatCommon, k->data(), 4, nullptr, 0, 1, nullptr),
              kQTMetaDataInvalidKeyFormatErr);

  ASSERT_EQ(QTMetaDataRemoveItemsWithKey(md, 0, kQTMetaDataKeyFormatCommon, auth.data(), 4), noErr);
  EXPECT_EQ(count(md, 0, kQTMetaDataKeyFormatCommon, &auth), 0u);
  EXPECT_EQ(count(md, 0, 0), 4u);
}

TEST(MetaData, ItemPropertiesReadAndWriteInNativeOrder) {
  MovieHolder movie;
  MetaHolder md(movie);
  QTMetaDataItem item = add(md, kUdta, kQTMetaDataKeyFormatUserData, code(kNameText), "T",
                            kQTMetaDataTypeMacEncodedText);
  EXPECT_EQ(property32(md, item, kQTMetaDataItemPropertyID_StorageFormat), UInt32(kUdta));
  EXPECT_EQ(property32(md, item, kQTMetaDataItemPropertyID_Key), kNameText);

  QTMetaDataItem n = add(md, kMdta, kQTMetaDataKeyFormatQuickTime, text("com.example.count"), std::string("\x00\x07", 2),
                         kQTMetaDataTypeUnsignedIntegerBE);
  UInt32 locale = 0x00550000 | 0x15C7, f32 = kQTMetaDataTypeFloat32BE;
  auto set = [&](QTPropertyID id, const void* p, ByteCount size) {
    return QTMetaDataSetItemProperty(md, n, kPropertyClass_MetaDataItem, id, size, p);
  };
  EXPECT_EQ(set(kQTMetaDataItemPropertyID_Locale, &locale, 4), noErr);
  EXPECT_EQ(property32(md, n, kQTMetaDataItemPropertyID_Locale), locale);
  EXPECT_EQ(set(kQTMetaDataItemPropertyID_DataType, &f32, 4), paramErr);  // a float32 needs 4 bytes
  EXPECT_EQ(property32(md, n, kQTMetaDataItemPropertyID_DataType), UInt32(kQTMetaDataTypeUnsignedIntegerBE));
  EXPECT_EQ(set(kQTMetaDataItemPropertyID_Key, "com.example.total", 17), noErr);
  EXPECT_EQ(property(md, n, kQTMetaDataItemPropertyID_Key), text("com.example.total"));
  EXPECT_EQ(set(kQTMetaDataItemPropertyID_StorageFormat, &kItms, 4), kQTPropertyReadOnlyErr);
  EXPECT_EQ(set(kQTMetaDataItemPropertyID_Locale, &locale, 2), kQTPropertyBadValueSizeErr);
  EXPECT_EQ(set("what"_4cc, &locale, 4), kQTPropertyNotSupportedErr);
  EXPECT_EQ(QTMetaDataSetItemProperty(md, n, kPropertyClass_MetaData, kQTMetaDataItemPropertyID_Locale, 4, &locale),
            kQTPropertyNotSupportedErr);

  // A buffer too small takes nothing; an empty value needs no buffer.
  UInt8 small[1] = {0xEE};
  EXPECT_EQ(QTMetaDataGetItemValue(md, n, small, 1, nullptr), kQTPropertyBadValueSizeErr);
  EXPECT_EQ(small[0], 0xEE);
  EXPECT_EQ(QTMetaDataGetItemValue(md, n, nullptr, 0, nullptr), paramErr);
  QTMetaDataItem empty = add(md, kMdta, kQTMetaDataKeyFormatQuickTime, text("com.example.empty"), "");
  ByteCount used = 9;
  EXPECT_EQ(QTMetaDataGetItemProperty(md, empty, kPropertyClass_MetaDataItem, kQTMetaDataItemPropertyID_Value, 0,
                                      nullptr, &used), noErr);
  EXPECT_EQ(used, 0u);

  // Container properties say where the container lives and cannot be set.
  OSType ownerType = 0;
  EXPECT_EQ(QTMetaDataGetProperty(md, kPropertyClass_MetaData, kQTMetaDataPropertyID_OwnerType, 4, &ownerType,
                                  nullptr), noErr);
  EXPECT_EQ(ownerType, OSType(kQTMetaDataOwnerTypeMovie));
  Movie owner = nullptr;
  EXPECT_EQ(QTMetaDataGetProperty(md, kPropertyClass_MetaData, kQTMetaDataPropertyID_Owner, sizeof owner, &owner,
                                  nullptr), noErr);
  EXPECT_EQ(owner, movie.movie);
  OSType formats[3] = {};
  EXPECT_EQ(QTMetaDataGetProperty(md, kPropertyClass_MetaData, kQTMetaDataPropertyID_StorageFormats, 8, formats,
                                  nullptr), kQTPropertyBadValueSizeErr);
  EXPECT_EQ(QTMetaDataGetProperty(md, kPropertyClass_MetaData, kQTMetaDataPropertyID_StorageFormats, 12, formats,
                                  nullptr), noErr);
  EXPECT_EQ(formats[2], OSType(kUdta));
  EXPECT_EQ(QTMetaDataSetProperty(md, kPropertyClass_MetaData, kQTMetaDataPropertyID_OwnerType, 4, &ownerType),
            kQTPropertyReadOnlyErr);
  EXPECT_EQ(QTMetaDataGetPropertyInfo(md, kPropertyClass_MetaData, "what"_4cc, nullptr, nullptr, nullptr),
            kQTPropertyNotSupportedErr);
}

TEST(MetaData, BadInputIsRefusedAndChangesNothing) {
  MovieHolder movie;
  MetaHolder md(movie);
  QTMetaDataItem text1 = add(md, kUdta, kQTMetaDataKeyFormatUserData, code(kNameText), "T",
                             kQTMetaDataTypeMacEncodedText);
  struct Case {
    const char* what;
    OSType storage, keyFormat;
    Bytes key;
    Bytes value;
    UInt32 type;
    OSStatus expected;
  };
  const Bytes four = code(kAuthorText);
  const Case cases[] = {
      {"wildcard storage", 0, kQTMetaDataKeyFormatQuickTime, text("k"), {}, 1, kQTMetaDataInvalidStorageFormatErr},
      {"unknown storage", "xxxx"_4cc, kQTMetaDataKeyFormatQuickTime, text("k"), {}, 1,
       kQTMetaDataInvalidStorageFormatErr},
      {"wildcard key format", kMdta, 0, text("k"), {}, 1, kQTMetaDataInvalidKeyFormatErr},
      {"iTunes key in QuickTime", kMdta, kQTMetaDataKeyFormatiTunesShortForm, four, {}, 1,
       kQTMetaDataInvalidKeyFormatErr},
      {"reverse-DNS key in user data", kUdta, kQTMetaDataKeyFormatQuickTime, text("com.x"), {}, 1,
       kQTMetaDataInvalidKeyFormatErr},
      {"empty key", kMdta, kQTMetaDataKeyFormatQuickTime, {}, {}, 1, paramErr},
      {"short four-character key", kItms, kQTMetaDataKeyFormatiTunesShortForm, text("abc"), {}, 1, paramErr},
      {"long-form type as short key", kItms, kQTMetaDataKeyFormatiTunesShortForm, code("----"_4cc), {}, 1,
       kQTMetaDataInvalidKeyFormatErr},
      {"3-byte float", kMdta, kQTMetaDataKeyFormatQuickTime, text("k"), {1, 2, 3}, kQTMetaDataTypeFloat32BE,
       paramErr},
      {"5-byte integer", kMdta, kQTMetaDataKeyFormatQuickTime, text("k"), {1, 2, 3, 4, 5},
       kQTMetaDataTypeSignedIntegerBE, paramErr},
      {"type beyond 24 bits", kItms, kQTMetaDataKeyFormatiTunesLongForm, text("k"), {}, 0x1000000, paramErr},
      {"binary user-data text", kUdta, kQTMetaDataKeyFormatUserData, four, {1}, kQTMetaDataTypeBinary,
       kQTCannotCoerceValueErr},
  };
  for (const Case& c : cases) {
    QTMetaDataItem item = 0;
    EXPECT_EQ(QTMetaDataAddItem(md, c.storage, c.keyFormat, c.key.empty() ? nullptr : c.key.data(),
                                ByteCount(c.key.size()), c.value.data(), ByteCount(c.value.size()), c.type, &item),
              c.expected)
        << c.what;
    EXPECT_EQ(item, 0u) << c.what;
  }
  EXPECT_EQ(walk(md), std::vector<QTMetaDataItem>{text1});

  QTMetaDataItem out = 0;
  EXPECT_EQ(QTMetaDataGetNextItem(md, "xxxx"_4cc, 0, 0, nullptr, 0, &out), kQTMetaDataInvalidStorageFormatErr);
  EXPECT_EQ(QTMetaDataGetNextItem(md, 0, 0, "xxxx"_4cc, nullptr, 0, &out), kQTMetaDataInvalidKeyFormatErr);
  EXPECT_EQ(QTMetaDataGetNextItem(md, 0, 0, 0, nullptr, 4, &out), paramErr);
  EXPECT_EQ(QTMetaDataRemoveItemsWithKey(md, "xxxx"_4cc, 0, nullptr, 0), kQTMetaDataInvalidStorageFormatErr);

  // User-data text only holds text; a key cannot turn text into bare bytes.
  EXPECT_EQ(QTMetaDataSetItem(md, text1, four.data(), 4, kQTMetaDataTypeJPEGImage), kQTCannotCoerceValueErr);
  OSType loop = "LOOP"_4cc;
  EXPECT_EQ(QTMetaDataSetItemProperty(md, text1, kPropertyClass_MetaDataItem, kQTMetaDataItemPropertyID_Key, 4, &loop),
            kQTCannotCoerceValueErr);
  UInt32 tooWide = 0x10000;
  EXPECT_EQ(QTMetaDataSetItemProperty(md, text1, kPropertyClass_MetaDataItem, kQTMetaDataItemPropertyID_Locale, 4,
                                      &tooWide), paramErr);
  EXPECT_EQ(value(md, text1), "T");
  EXPECT_EQ(property32(md, text1, kQTMetaDataItemPropertyID_Locale), 0u);
}

TEST(MetaData, CallsAreLoggedWithKeyBytesAndAnswerInjectedResults) {
  MovieHolder movie;
  MetaHolder md(movie);
  QTEngineHookReset();
  QTEngineHookSetLogging(true);
  ItemCount n = 7;
  Bytes key = code("auth"_4cc);
  QTMetaDataGetItemCountWithKey(md, kMdta, kQTMetaDataKeyFormatCommon, key.data(), 4, &n);
  QTMetaDataGetItemCountWithKey(md, 0, 0, nullptr, 0, &n);
  ASSERT_EQ(QTEngineHookCallLogCount(), 2);
  std::string first = QTEngineHookCallLogEntry(0);
  EXPECT_NE(first.find("keyFormat='comn'"), std::string::npos) << first;
  EXPECT_NE(first.find("key=" + std::string(key[0] == 'a' ? "61757468" : "68747561")), std::string::npos) << first;
  EXPECT_NE(std::string(QTEngineHookCallLogEntry(1)).find("key=NULL"), std::string::npos);

  QTEngineHookInjectResult("QTMetaDataGetNextItem", kQTMetaDataNoMoreItemsErr, 1);
  add(md, kMdta, kQTMetaDataKeyFormatQuickTime, text("k"), "v");
  QTMetaDataItem item = 0;
  EXPECT_EQ(QTMetaDataGetNextItem(md, 0, 0, 0, nullptr, 0, &item), kQTMetaDataNoMoreItemsErr);
  EXPECT_EQ(GetMoviesError(), kQTMetaDataNoMoreItemsErr);
  EXPECT_EQ(QTMetaDataGetNextItem(md, 0, 0, 0, nullptr, 0, &item), noErr);
  QTEngineHookReset();
}

}  // namespace

// --- The file form of the QuickTime and iTunes items ---------------------------

#include "../../platform/quicktime/src/metadata_store.h"

#include <memory>
#include <random>

namespace {

Bytes atom(const char* type, const Bytes& payload) {
  Bytes b(8);
  put32(b, 0, uint32_t(8 + payload.size()));
  std::memcpy(b.data() + 4, type, 4);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}
Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}
Bytes withoutLastByte(Bytes b) {
  b.pop_back();
  return b;
}
Bytes be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

const Bytes kMdtaHandler = atom("hdlr", cat({be32(0), be32(0), text("mdta"), be32(0), be32(0), be32(0), {0}}));

TEST(MetaDataAtoms, QuickTimeItemsWriteAsKeysAndIlstAndReadBack) {
  MovieHolder movie;
  MetaHolder md(movie);
  add(md, kMdta, kQTMetaDataKeyFormatQuickTime, text("title"), "Meta Title");
  QTMetaDataItem gone = add(md, kMdta, kQTMetaDataKeyFormatQuickTime, text("com.example.gone"), "x");
  QTMetaDataItem n = add(md, kMdta, kQTMetaDataKeyFormatUserData, code("LOOP"_4cc), std::string("\x01", 1),
                         kQTMetaDataTypeUnsignedIntegerBE);
  UInt32 locale = 0x00010002;
  ASSERT_EQ(QTMetaDataSetItemProperty(md, n, kPropertyClass_MetaDataItem, kQTMetaDataItemPropertyID_Locale, 4,
                                      &locale), noErr);
  add(md, kMdta, kQTMetaDataKeyFormatQuickTime, text("title"), "Second");
  ASSERT_EQ(QTMetaDataRemoveItem(md, gone), noErr);  // its key leaves the list; later keys move up

  const qte::QuickTimeMetaData& store = qte::MetaStore::find(md.ref)->quickTime();
  Bytes written = qte::writeQuickTimeMetaAtom(store);
  Bytes expected = atom("meta", cat({
      kMdtaHandler,
      atom("keys", cat({be32(0), be32(2),              //
                        be32(13), text("mdta"), text("title"),  // key 1
                        be32(12), text("udta"), text("LOOP")})),  // key 2: a big-endian code
      atom("ilst", cat({atom("\0\0\0\1", atom("data", cat({be32(1), be32(0), text("Meta Title")}))),
                        atom("\0\0\0\2", atom("data", cat({be32(22), be32(0x00010002), {1}}))),
                        atom("\0\0\0\1", atom("data", cat({be32(1), be32(0), text("Second")})))})),
  }));
  EXPECT_EQ(written, expected);

  qte::QuickTimeMetaData back;
  ASSERT_EQ(qte::readQuickTimeMetaAtom(written.data(), written.size(), back), noErr);
  EXPECT_EQ(back.keys, store.keys);
  ASSERT_EQ(back.items.size(), store.items.size());
  for (size_t i = 0; i < back.items.size(); ++i) {
    EXPECT_EQ(back.items[i].keyIndex, store.items[i].keyIndex);
    EXPECT_EQ(back.items[i].data.value, store.items[i].data.value);
    EXPECT_EQ(back.items[i].data.dataType, store.items[i].data.dataType);
    EXPECT_EQ(back.items[i].data.locale, store.items[i].data.locale);
  }
}

TEST(MetaDataAtoms, ReaderToleratesWhatWritersDoAndRefusesBrokenAtoms) {
  Bytes keys = atom("keys", cat({be32(0), be32(2), be32(9), text("mdta"), text("a"), be32(9), text("mdta"), text("b")}));
  Bytes item = atom("\0\0\0\2", cat({atom("data", cat({be32(1), be32(0), text("B")})),
                                     atom("data", cat({be32(1), be32(0x10), text("b")}))}));
  Bytes ilst = atom("ilst", item);
  struct Case {
    const char* what;
    Bytes bytes;
    OSErr expected;
  };
  const Case cases[] = {
      {"plain", atom("meta", cat({kMdtaHandler, keys, ilst})), noErr},
      {"version/flags first", atom("meta", cat({be32(0), kMdtaHandler, keys, ilst})), noErr},
      {"trailing zero word and free space", atom("meta", cat({kMdtaHandler, keys, ilst, atom("free", {0, 0}), be32(0)})),
       noErr},
      {"truncated", withoutLastByte(atom("meta", cat({kMdtaHandler, keys, ilst}))), badPublicMovieAtom},
      {"iTunes handler", atom("meta", cat({atom("hdlr", cat({be32(0), be32(0), text("mdir"), Bytes(13)})), keys, ilst})),
       badPublicMovieAtom},
      {"key count beyond the atom",
       atom("meta", cat({kMdtaHandler, atom("keys", cat({be32(0), be32(0x40000000)})), ilst})), badPublicMovieAtom},
      {"key larger than the list",
       atom("meta", cat({kMdtaHandler, atom("keys", cat({be32(0), be32(1), be32(99), text("mdta")})), ilst})),
       badPublicMovieAtom},
      {"item of a missing key", atom("meta", cat({kMdtaHandler, ilst})), badPublicMovieAtom},
      {"data shorter than its header",
       atom("meta", cat({kMdtaHandler, keys, atom("ilst", atom("\0\0\0\1", atom("data", {0, 0, 0, 1})))})),
       badPublicMovieAtom},
      {"child larger than parent", atom("meta", cat({kMdtaHandler, keys, be32(200), text("ilst")})),
       badPublicMovieAtom},
  };
  for (const Case& c : cases) {
    qte::QuickTimeMetaData md;
    md.keys.push_back({kMdta, text("untouched")});
    EXPECT_EQ(qte::readQuickTimeMetaAtom(c.bytes.data(), c.bytes.size(), md), c.expected) << c.what;
    if (c.expected != noErr) {
      EXPECT_EQ(md.keys.size(), 1u) << c.what;  // a failed read leaves the target alone
      continue;
    }
    // Two values of key 2 become two items; the unused key 1 is dropped.
    ASSERT_EQ(md.keys.size(), 1u) << c.what;
    EXPECT_EQ(md.keys[0].key, text("b"));
    ASSERT_EQ(md.items.size(), 2u) << c.what;
    EXPECT_EQ(md.items[1].data.locale, 0x10u);
    EXPECT_LT(md.items[0].id, md.items[1].id);
  }
}

// Damaged copies of valid atoms: each read either fails cleanly or gives items that
// write and read back unchanged.
TEST(MetaDataAtoms, DamagedAtomsNeverReadPastTheirBytes) {
  Bytes keys = atom("keys", cat({be32(0), be32(2), be32(9), text("mdta"), text("a"), be32(12), text("udta"),
                                 text("LOOP")}));
  Bytes quickTime = atom("meta", cat({kMdtaHandler, keys,
                                      atom("ilst", cat({atom("\0\0\0\1", atom("data", cat({be32(1), be32(0), text("A")}))),
                                                        atom("\0\0\0\2", atom("data", cat({be32(21), be32(0), {7}})))}))}));
  Bytes iTunes = atom("meta", cat({be32(0), atom("hdlr", cat({be32(0), be32(0), text("mdir"), Bytes(13)})),
                                   atom("ilst", cat({atom("----", cat({atom("mean", cat({be32(0), text("m")})),
                                                                       atom("name", cat({be32(0), text("n")})),
                                                                       atom("data", cat({be32(1), be32(0), text("v")}))})),
                                                     atom("cprt", atom("data", cat({be32(1), be32(0), text("c")})))}))}));
  std::mt19937 random(1234);
  int accepted = 0;
  for (int round = 0; round < 4000; ++round) {
    bool qt = round % 2 == 0;
    Bytes b = qt ? quickTime : iTunes;
    if (random() % 4 == 0) b.resize(random() % b.size());
    for (int k = int(random() % 3) + 1; k > 0 && !b.empty(); --k) b[random() % b.size()] = uint8_t(random());
    // A copy of exactly the damaged length, so reading past it is caught.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[b.size() + 1]);
    if (!b.empty()) std::memcpy(exact.get(), b.data(), b.size());
    if (qt) {
      qte::QuickTimeMetaData md;
      OSErr err = qte::readQuickTimeMetaAtom(exact.get(), b.size(), md);
      ASSERT_TRUE(err == noErr || err == badPublicMovieAtom) << round;
      if (err != noErr) continue;
      ++accepted;
      Bytes again = qte::writeQuickTimeMetaAtom(md);
      qte::QuickTimeMetaData back;
      ASSERT_EQ(qte::readQuickTimeMetaAtom(again.data(), again.size(), back), noErr) << round;
      EXPECT_EQ(qte::writeQuickTimeMetaAtom(back), again) << round;
    } else {
      std::vector<qte::ITunesItem> items;
      OSErr err = qte::readITunesMetaAtom(exact.get(), b.size(), items);
      ASSERT_TRUE(err == noErr || err == badPublicMovieAtom) << round;
      if (err != noErr) continue;
      ++accepted;
      Bytes again = qte::writeITunesMetaAtom(items);
      std::vector<qte::ITunesItem> back;
      ASSERT_EQ(qte::readITunesMetaAtom(again.data(), again.size(), back), noErr) << round;
      EXPECT_EQ(qte::writeITunesMetaAtom(back), again) << round;
    }
  }
  EXPECT_GT(accepted, 0);  // damage to values alone still reads
}

TEST(MetaDataAtoms, ITunesItemsKeepShortAndLongKeys) {
  MovieHolder movie;
  MetaHolder md(movie);
  add(md, kItms, kQTMetaDataKeyFormatiTunesShortForm, code(0xA96E616D), "Song");
  add(md, kItms, kQTMetaDataKeyFormatiTunesLongForm, text("iTunSMPB"), " 00000000");
  auto& items = qte::MetaStore::find(md.ref)->iTunes();
  Bytes written = qte::writeITunesMetaAtom(items);
  Bytes expected = atom("meta", cat({
      be32(0),
      atom("hdlr", cat({be32(0), be32(0), text("mdir"), text("appl"), be32(0), be32(0), {0}})),
      atom("ilst", cat({atom("\xA9nam", atom("data", cat({be32(1), be32(0), text("Song")}))),
                        atom("----", cat({atom("mean", cat({be32(0), text("com.apple.iTunes")})),
                                          atom("name", cat({be32(0), text("iTunSMPB")})),
                                          atom("data", cat({be32(1), be32(0), text(" 00000000")}))}))})),
  }));
  EXPECT_EQ(written, expected);

  std::vector<qte::ITunesItem> back;
  ASSERT_EQ(qte::readITunesMetaAtom(written.data(), written.size(), back), noErr);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].type, 0xA96E616Du);
  EXPECT_EQ(back[1].mean, "com.apple.iTunes");
  EXPECT_EQ(back[1].name, text("iTunSMPB"));
  EXPECT_EQ(back[1].data.value, text(" 00000000"));
}

}  // namespace
