// QTMetaDataItemZQK as user code sees it: items added by key and key code, their
// values and properties read and written in every form, their life beside their
// container object, and the user data that 'udta' storage shares with
// QTUserDataZQK.
#include "metadata_support.h"

#include <cstring>
#include <string>

namespace {

using rt::Value;

class MetaDataItemTest : public MetaDataTestBase {
 protected:
  // A property that QuickTime keeps as a native 32-bit number.
  uint32_t Property32(const Value& item, std::string_view what) {
    const std::string bytes = Bytes(runtime().call(item, "GetPropertyMemory", {S(what)}));
    uint32_t v = 0;
    if (bytes.size() == 4) std::memcpy(&v, bytes.data(), 4);
    return v;
  }
  static std::string Native(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
  void ExpectNilBlockRaises(const Value& object, std::string_view method, std::vector<Value> args) {
    ExpectRaises([&] { runtime().call(object, method, args); }, "NilObjectException", "value memoryblock is nil");
    EXPECT_EQ(LastErrorOf(object), -1) << method;
  }
};

// A host that cannot give a block's bytes: the memory setters hand QuickTime no
// address (where null plus the offset would be read), record paramErr and leave
// the value as it was; an empty range is still set.
TEST_F(MetaDataItemTest, MemorySettersWithoutTheBlocksBytes) {
  movie_ = Value();
  rt::Config config = QuickTimeHost();
  config.refusedEntries = {"memoryBlockGetPtr"};
  rt::Runtime& rt = Load(std::move(config));
  movie_ = rt.newMovie(qtMovie_);
  Value md = Container();
  Value item = AddQuickTimeItem(md, "com.example.title", "old");
  rt.call(item, "SetMemory", {rt.newMemoryBlock("abcd"), I(1), I(2), I(kQTMetaDataTypeUTF8)});
  EXPECT_EQ(LastErrorOf(item), paramErr);
  rt.call(md, "SetPropertyMemory", {S("ownt"), rt.newMemoryBlock("abcd"), I(0), I(4)});
  EXPECT_EQ(LastErrorOf(md), paramErr);
  EXPECT_EQ(Bytes(rt.call(item, "GetString")), "old");
  rt.call(item, "SetMemory", {rt.newMemoryBlock("abcd"), I(1), I(0), I(kQTMetaDataTypeUTF8)});
  EXPECT_EQ(LastErrorOf(item), 0);
}

TEST_F(MetaDataItemTest, AddedItemsReadBackInEveryForm) {
  rt::Runtime& rt = runtime();
  Value md = Container();
  Value title = AddQuickTimeItem(md, "com.example.title", "Harbour");
  ASSERT_FALSE(title.isNil());
  EXPECT_EQ(LastErrorOf(md), 0);
  EXPECT_EQ(LastErrorOf(title), 0);
  EXPECT_EQ(Bytes(rt.call(title, "GetString")), "Harbour");
  EXPECT_EQ(Bytes(rt.call(title, "GetMemory")), "Harbour");
  EXPECT_EQ(Bytes(rt.call(title, "GetPropertyString", {S("valu")})), "Harbour");
  Value storage = rt.call(title, "GetPropertyCode", {S("sfmt")});
  EXPECT_EQ(Bytes(storage), "mdta");
  EXPECT_EQ(rt.encoding(storage), kREALEncodingASCII);
  EXPECT_EQ(Bytes(rt.call(title, "GetPropertyCode", {S("keyf")})), "mdta");
  EXPECT_EQ(Bytes(rt.call(title, "GetPropertyString", {S("key ")})), "com.example.title");
  EXPECT_EQ(Property32(title, "dtyp"), uint32_t{kQTMetaDataTypeUTF8});
  // A property that is not four bytes long is no code.
  EXPECT_TRUE(rt.call(title, "GetPropertyCode", {S("key ")}).isNil());
  EXPECT_EQ(LastErrorOf(title), 0);

  // A four-character key with a top bit set comes back as Mac Roman text.
  Value name = rt.call(md, "AddItemCode", {S("udta"), S("udta"), TextType("nam"), S("Pier"),
                                           I(kQTMetaDataTypeMacEncodedText)});
  Value key = rt.call(name, "GetPropertyCode", {S("key ")});
  EXPECT_EQ(Bytes(key), "\xA9nam");
  EXPECT_EQ(rt.encoding(key), kREALEncodingMacRoman);
  EXPECT_EQ(Bytes(rt.call(name, "GetPropertyMemory", {S("key ")})), Native(0xA96E616D));

  // Values come back as bytes whatever their type, labelled by their bytes alone.
  Value wide = AddQuickTimeItem(md, "com.example.wide", std::string("\0H\0i", 4), kQTMetaDataTypeUTF16BE);
  Value bytes = rt.call(wide, "GetString");
  EXPECT_EQ(Bytes(bytes), std::string("\0H\0i", 4));
  EXPECT_EQ(rt.encoding(bytes), kREALEncodingASCII);

  // An empty value reads as nil, with success.
  Value empty = AddQuickTimeItem(md, "com.example.empty", "");
  EXPECT_TRUE(rt.call(empty, "GetString").isNil());
  EXPECT_EQ(LastErrorOf(empty), 0);
  EXPECT_TRUE(rt.call(empty, "GetMemory").isNil());
  EXPECT_EQ(LastErrorOf(empty), 0);
}

TEST_F(MetaDataItemTest, ValuesAndPropertiesAreWritten) {
  rt::Runtime& rt = runtime();
  Value md = Container();
  Value item = AddQuickTimeItem(md, "com.example.count", "x");

  rt.call(item, "SetString", {S("seven"), I(kQTMetaDataTypeUTF8)});
  EXPECT_EQ(LastErrorOf(item), 0);
  EXPECT_EQ(Bytes(rt.call(item, "GetString")), "seven");
  rt.call(item, "SetMemory", {rt.newMemoryBlock(std::string("..\0\0\0\7..", 8)), I(2), I(4),
                              I(kQTMetaDataTypeSignedIntegerBE)});
  EXPECT_EQ(LastErrorOf(item), 0);
  EXPECT_EQ(Bytes(rt.call(item, "GetMemory")), std::string("\0\0\0\7", 4));
  EXPECT_EQ(Property32(item, "dtyp"), uint32_t{kQTMetaDataTypeSignedIntegerBE});
  // Bytes outside the block are not read.
  rt.call(item, "SetMemory", {rt.newMemoryBlock("abcd"), I(2), I(4), I(kQTMetaDataTypeBinary)});
  EXPECT_EQ(LastErrorOf(item), paramErr);
  EXPECT_EQ(Bytes(rt.call(item, "GetMemory")), std::string("\0\0\0\7", 4));

  rt.call(item, "SetPropertyString", {S("key "), S("com.example.total")});
  EXPECT_EQ(LastErrorOf(item), 0);
  EXPECT_EQ(rt.call(md, "CountItemsWithKey", {S("mdta"), S("mdta"), S("com.example.total")}).asInteger(), 1);
  const uint32_t locale = 0x00550000 | 0x15C7;
  rt.call(item, "SetPropertyMemory", {S("loc "), rt.newMemoryBlock("--" + Native(locale)), I(2), I(4)});
  EXPECT_EQ(LastErrorOf(item), 0);
  EXPECT_EQ(Property32(item, "loc "), locale);
  rt.call(item, "SetPropertyMemory", {S("loc "), rt.newMemoryBlock(Native(1)), I(1), I(4)});
  EXPECT_EQ(LastErrorOf(item), paramErr);
  // A nil code is four zero bytes: the binary data type.
  rt.call(item, "SetPropertyCode", {S("dtyp"), Value()});
  EXPECT_EQ(LastErrorOf(item), 0);
  EXPECT_EQ(Bytes(rt.call(item, "GetPropertyMemory", {S("dtyp")})), std::string(4, '\0'));
  EXPECT_EQ(Bytes(rt.call(item, "GetMemory")), std::string("\0\0\0\7", 4));
}

// An item holds its own reference and a lock on its container object: it works
// on after the container's Close, and Close on it gives both back once.
TEST_F(MetaDataItemTest, ItemsOutliveTheirContainerObject) {
  rt::Runtime& rt = runtime();
  Value md = Container();
  AddQuickTimeItem(md, "com.example.title", "Harbour");
  StartLog();
  Value item = rt.call(md, "FirstItem");
  const long locksBefore = rt.locks(md);
  Value second = rt.call(md, "FirstItem");
  EXPECT_EQ(rt.locks(md), locksBefore + 1);
  second = Value();
  EXPECT_EQ(rt.locks(md), locksBefore);

  rt.call(md, "Close");
  EXPECT_EQ(Bytes(rt.call(item, "GetString")), "Harbour");
  rt.call(item, "SetString", {S("Pier"), I(kQTMetaDataTypeUTF8)});
  EXPECT_EQ(LastErrorOf(item), 0);
  md = Value();  // the item keeps the container object alive
  EXPECT_EQ(rt.accounting().liveObjects, 3);  // movie, item, container
  EXPECT_EQ(Bytes(rt.call(item, "GetPropertyCode", {S("sfmt")})), "mdta");

  rt.call(item, "Close");
  EXPECT_EQ(rt.accounting().liveObjects, 2);
  rt.call(item, "Close");
  EXPECT_EQ(Logged("QTMetaDataRetain").size(), 2u);
  EXPECT_EQ(Logged("QTMetaDataRelease").size(), 3u);  // the container's, the second item's, this one's
  EXPECT_TRUE(rt.call(item, "GetString").isNil());
  EXPECT_EQ(LastErrorOf(item), -1);

  // A new container still sees what the item wrote.
  Value again = Container();
  EXPECT_EQ(Bytes(rt.call(rt.call(again, "FirstItem"), "GetString")), "Pier");
}

TEST_F(MetaDataItemTest, RemovedNewAndRefusedItems) {
  rt::Runtime& rt = runtime();
  Value md = Container();
  Value item = AddQuickTimeItem(md, "com.example.title", "Harbour");
  rt.call(md, "RemoveItem", {item});
  EXPECT_TRUE(rt.call(item, "GetString").isNil());
  EXPECT_EQ(LastErrorOf(item), kQTMetaDataInvalidItemErr);
  rt.call(item, "SetString", {S("x"), I(kQTMetaDataTypeUTF8)});
  EXPECT_EQ(LastErrorOf(item), kQTMetaDataInvalidItemErr);

  // QuickTime's refusals leave the container's Lasterror and give no item.
  EXPECT_TRUE(rt.call(md, "AddItem", {S("xxxx"), S("mdta"), S("k"), S("v"), I(1)}).isNil());
  EXPECT_EQ(LastErrorOf(md), kQTMetaDataInvalidStorageFormatErr);
  EXPECT_TRUE(rt.call(md, "AddItem", {S("mdta"), S("mdta"), Value(), S("v"), I(1)}).isNil());
  EXPECT_EQ(LastErrorOf(md), paramErr);
  EXPECT_EQ(rt.call(md, "CountItems").asInteger(), 0);

  // AddItemCode with a nil key passes four zero bytes.
  StartLog();
  Value zero = rt.call(md, "AddItemCode", {S("udta"), S("udta"), Value(), S("v"), I(3)});
  EXPECT_EQ(Bytes(rt.call(zero, "GetPropertyMemory", {S("key ")})), std::string(4, '\0'));
  ASSERT_EQ(Logged("QTMetaDataAddItem").size(), 1u);
  EXPECT_NE(Logged("QTMetaDataAddItem")[0].find("key=00000000, keySize=4"), std::string::npos)
      << Logged("QTMetaDataAddItem")[0];

  // An item made with new has no container: nothing is asked, nil blocks still raise.
  Value made = rt.newObject("QTMetaDataItemZQK");
  QTEngineHookClearCallLog();
  EXPECT_TRUE(rt.call(made, "GetString").isNil());
  EXPECT_TRUE(rt.call(made, "GetPropertyCode", {S("sfmt")}).isNil());
  rt.call(made, "SetPropertyCode", {S("dtyp"), S("abcd")});
  EXPECT_EQ(LastErrorOf(made), -1);
  EXPECT_EQ(QTEngineHookCallLogCount(), 0);
  ExpectNilBlockRaises(made, "SetMemory", {Value(), I(0), I(0), I(0)});
  ExpectNilBlockRaises(made, "SetPropertyMemory", {S("valu"), Value(), I(0), I(0)});
  ExpectNilBlockRaises(item, "SetMemory", {Value(), I(0), I(0), I(0)});
  rt.call(made, "Close");
  EXPECT_EQ(rt.locks(md), 3);  // this Value's, and those of the two items still held
}

// 'udta' storage is the owner's user-data list: what one side adds, the other
// reads, for the movie and for a track.
TEST_F(MetaDataItemTest, UserDataStorageIsSharedWithUserDataObjects) {
  rt::Runtime& rt = runtime();
  Value fullName = rt.callShared("QTMetaDataZQK", "kUserDataTextFullName");
  Value author = rt.callShared("QTMetaDataZQK", "kUserDataTextAuthor");
  Value md = Container();
  Value ud = rt.call(movie_, "UserDataZQK");

  Value name = rt.call(md, "AddItemCode", {S("udta"), S("udta"), fullName, S("Harbour"),
                                           I(kQTMetaDataTypeMacEncodedText)});
  ASSERT_FALSE(name.isNil());
  EXPECT_EQ(Bytes(rt.call(ud, "GetText", {fullName, I(1), I(0)})), "Harbour");
  EXPECT_EQ(Bytes(rt.call(ud, "GetNextType", {Value()})), "\xA9nam");

  rt.call(ud, "AddText", {author, I(1), I(2), S("Ada")});
  EXPECT_EQ(rt.call(md, "CountItemsWithKeyCode", {S("udta"), S("udta"), author}).asInteger(), 1);
  rt.call(md, "FirstItem");
  Value added = rt.call(md, "NextItem");
  EXPECT_EQ(Bytes(rt.call(added, "GetString")), "Ada");
  EXPECT_EQ(Bytes(rt.call(added, "GetPropertyCode", {S("key ")})), "\xA9" "aut");
  EXPECT_EQ(Property32(added, "loc "), 2u);  // the text's region

  // Set through the item, removed through the list.
  rt.call(added, "SetString", {S("Ada L."), I(kQTMetaDataTypeMacEncodedText)});
  EXPECT_EQ(Bytes(rt.call(ud, "GetText", {author, I(1), I(2)})), "Ada L.");
  rt.call(ud, "RemoveText", {fullName, I(1), I(0)});
  EXPECT_TRUE(rt.call(name, "GetString").isNil());
  EXPECT_EQ(LastErrorOf(name), kQTMetaDataInvalidItemErr);

  // A track's container and list share in the same way.
  Value track = rt.call(movie_, "GetTrackIndexZQK", {I(1)});
  Value trackMd = rt.call(track, "MetaData");
  rt.call(trackMd, "AddItemCode", {S("udta"), S("comn"), S("name"), S("Clip"), I(kQTMetaDataTypeMacEncodedText)});
  EXPECT_EQ(LastErrorOf(trackMd), 0);
  Value trackUd = rt.call(track, "UserData");
  EXPECT_EQ(Bytes(rt.call(trackUd, "GetText", {fullName, I(1), I(0)})), "Clip");
  EXPECT_EQ(rt.call(ud, "CountType", {fullName}).asInteger(), 0);  // not the movie's
}

}  // namespace
