// QTMetaDataZQK as user code sees it: containers handed out by movies and tracks,
// walks and their cursor, counts and removals by key, container properties, Close,
// and the class's constants and shared methods.
#include "metadata_support.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using rt::Value;

class MetaDataTest : public MetaDataTestBase {
 protected:
  // The values of the items a walk from FirstItem hands out, in order.
  std::vector<std::string> Walk(const Value& md) {
    std::vector<std::string> values;
    for (Value item = runtime().call(md, "FirstItem"); !item.isNil(); item = runtime().call(md, "NextItem"))
      values.push_back(Bytes(runtime().call(item, "GetString")));
    return values;
  }
};

TEST_F(MetaDataTest, MoviesAndTracksHandOutContainersOfTheirOwn) {
  rt::Runtime& rt = runtime();
  StartLog();
  Value md = Container();
  ASSERT_FALSE(md.isNil());
  EXPECT_NE(rt.get(md, "Handle").asInteger(), 0);
  EXPECT_EQ(LastErrorOf(md), 0);
  AddQuickTimeItem(md, "com.example.title", "Title");

  // A second object on the same movie holds a reference of its own.
  Value again = Container();
  rt.call(md, "Close");
  EXPECT_EQ(Walk(again), std::vector<std::string>{"Title"});

  Value track = rt.call(movie_, "GetTrackIndexZQK", {I(1)});
  Value trackMd = rt.call(track, "MetaData");
  ASSERT_FALSE(trackMd.isNil());
  EXPECT_EQ(LastError(track), 0);
  EXPECT_EQ(rt.call(trackMd, "CountItems").asInteger(), 0);

  // A track object without a track: QuickTime is asked anyway, and says no.
  Value empty = rt.newObject("QTTrackZQK");
  EXPECT_TRUE(rt.call(empty, "MetaData").isNil());
  EXPECT_EQ(LastError(empty), invalidTrack);
  EXPECT_EQ(Logged("QTCopyTrackMetaData").back(), "(track=NULL)");

  // Every reference taken is given back.
  md = again = trackMd = Value();
  EXPECT_EQ(Logged("QTMetaDataRelease").size(),
            Logged("QTCopyMovieMetaData").size() + 1 + Logged("QTMetaDataRetain").size());
}

TEST_F(MetaDataTest, ContainersAreRefusedWithoutQuickTimeOrAnObjectToHoldThem) {
  movie_ = Value();  // each case loads a runtime of its own
  {
    rt::Config newer = QuickTimeHost();
    newer.hostVersion = 2014.0;
    rt::Runtime& rt = Load(newer);
    Value movie = rt.newMovie(qtMovie_);
    ExpectRaises([&] { rt.call(movie, "MetaDataZQK"); }, "UnsupportedOperationException",
                 "QuickTime not available in Xojo 2014.");
  }
  {
    // The reference QuickTime handed out goes back when no object can hold it.
    rt::Config refusing = QuickTimeHost();
    refusing.refusedInstanceClasses = {"QTMetaDataZQK"};
    rt::Runtime& rt = Load(refusing);
    Value movie = rt.newMovie(qtMovie_);
    StartLog();
    EXPECT_TRUE(rt.call(movie, "MetaDataZQK").isNil());
    EXPECT_EQ(Logged("QTCopyMovieMetaData").size(), 1u);
    EXPECT_EQ(Logged("QTMetaDataRelease").size(), 1u);
  }
}

// The cursor moves one item per NextItem; removing the item it stands on starts
// the walk again; the end is QuickTime's no-more-items result.
TEST_F(MetaDataTest, WalksFollowTheCursor) {
  rt::Runtime& rt = runtime();
  Value md = Container();
  Value item = rt.call(md, "FirstItem");
  EXPECT_TRUE(item.isNil());
  EXPECT_EQ(LastErrorOf(md), kQTMetaDataNoMoreItemsErr);

  for (const char* name : {"A", "B", "C"}) AddQuickTimeItem(md, std::string("com.example.") + name, name);
  // Without FirstItem the cursor stands before the first item.
  Value fresh = Container();
  EXPECT_EQ(Bytes(rt.call(rt.call(fresh, "NextItem"), "GetString")), "A");

  rt.call(md, "FirstItem");
  EXPECT_EQ(LastErrorOf(md), 0);
  Value b = rt.call(md, "NextItem");
  EXPECT_EQ(Bytes(rt.call(b, "GetString")), "B");
  rt.call(md, "RemoveItem", {b});
  EXPECT_EQ(LastErrorOf(md), 0);
  EXPECT_EQ(Bytes(rt.call(rt.call(md, "NextItem"), "GetString")), "A");
  EXPECT_EQ(Bytes(rt.call(rt.call(md, "NextItem"), "GetString")), "C");
  EXPECT_TRUE(rt.call(md, "NextItem").isNil());
  EXPECT_EQ(LastErrorOf(md), kQTMetaDataNoMoreItemsErr);
  EXPECT_TRUE(rt.call(md, "NextItem").isNil());

  // Removing another item, here one found through another container object,
  // leaves the cursor where it is.
  rt.call(md, "FirstItem");
  rt.call(fresh, "FirstItem");
  rt.call(md, "RemoveItem", {rt.call(fresh, "NextItem")});
  EXPECT_EQ(LastErrorOf(md), 0);
  EXPECT_TRUE(rt.call(md, "NextItem").isNil());
  EXPECT_EQ(Walk(md), std::vector<std::string>{"A"});

  // An item removed already is one QuickTime no longer knows.
  rt.call(md, "RemoveItem", {b});
  EXPECT_EQ(LastErrorOf(md), kQTMetaDataInvalidItemErr);
  StartLog();
  rt.call(md, "RemoveItem", {Value()});
  EXPECT_EQ(LastErrorOf(md), -1);
  EXPECT_TRUE(Logged("QTMetaDataRemoveItem").empty());
}

TEST_F(MetaDataTest, CountsAndRemovalsByKey) {
  rt::Runtime& rt = runtime();
  Value md = Container();
  AddQuickTimeItem(md, "com.example.take", "1");
  AddQuickTimeItem(md, "com.example.take", "2");
  AddQuickTimeItem(md, "com.apple.quicktime.displayname", "Title");
  rt.call(md, "AddItemCode", {S("udta"), S("udta"), TextType("nam"), S("Name"), I(kQTMetaDataTypeMacEncodedText)});
  rt.call(md, "AddItemCode", {S("itms"), S("itsk"), TextType("ART"), S("Band"), I(kQTMetaDataTypeUTF8)});
  EXPECT_EQ(rt.call(md, "CountItems").asInteger(), 5);

  auto count = [&](const char* method, Value storage, Value keyFormat, Value key) {
    return rt.call(md, method, {storage, keyFormat, key}).asInteger();
  };
  EXPECT_EQ(count("CountItemsWithKey", S("mdta"), S("mdta"), S("com.example.take")), 2);
  EXPECT_EQ(count("CountItemsWithKey", S("mdta"), S("mdta"), Value()), 3);
  EXPECT_EQ(count("CountItemsWithKeyCode", S("udta"), S("udta"), TextType("nam")), 1);
  EXPECT_EQ(count("CountItemsWithKeyCode", Value(), Value(), Value()), 5);
  // The common key finds the display name in every storage format.
  EXPECT_EQ(count("CountItemsWithKeyCode", Value(), S("comn"), S("name")), 2);
  EXPECT_EQ(LastErrorOf(md), 0);

  // A nil key: no key for the counts and the string removal, four zero bytes for
  // the code removal, which therefore removes nothing.
  StartLog();
  count("CountItemsWithKey", S("mdta"), S("mdta"), Value());
  count("CountItemsWithKeyCode", S("mdta"), S("mdta"), Value());
  rt.call(md, "RemoveItemsWithKeyCode", {S("udta"), S("udta"), Value()});
  EXPECT_EQ(LastErrorOf(md), 0);
  const std::vector<std::string> counts = Logged("QTMetaDataGetItemCountWithKey");
  ASSERT_EQ(counts.size(), 2u);
  for (const std::string& c : counts) EXPECT_NE(c.find("key=NULL, keySize=0"), std::string::npos) << c;
  ASSERT_EQ(Logged("QTMetaDataRemoveItemsWithKey").size(), 1u);
  EXPECT_NE(Logged("QTMetaDataRemoveItemsWithKey")[0].find("key=00000000, keySize=4"), std::string::npos);
  EXPECT_EQ(rt.call(md, "CountItems").asInteger(), 5);

  rt.call(md, "RemoveItemsWithKey", {S("mdta"), S("mdta"), S("com.example.take")});
  EXPECT_EQ(LastErrorOf(md), 0);
  rt.call(md, "RemoveItemsWithKeyCode", {Value(), S("comn"), S("name")});
  EXPECT_EQ(LastErrorOf(md), 0);
  EXPECT_EQ(rt.call(md, "CountItems").asInteger(), 1);
  EXPECT_EQ(CountUserDataType(GetMovieUserData(qtMovie_), 0xA96E616D), 0);  // gone from the user data too
  rt.call(md, "RemoveItemsWithKey", {Value(), Value(), Value()});
  EXPECT_EQ(rt.call(md, "CountItems").asInteger(), 0);
}

TEST_F(MetaDataTest, ContainerPropertiesReadAsBytes) {
  rt::Runtime& rt = runtime();
  Value md = Container();
  const OSType formats[] = {kQTMetaDataStorageFormatQuickTime, kQTMetaDataStorageFormatiTunes,
                            kQTMetaDataStorageFormatUserData};
  EXPECT_EQ(Bytes(rt.call(md, "GetPropertyMemory", {S("fmts")})),
            std::string(reinterpret_cast<const char*>(formats), sizeof formats));
  const OSType movieOwner = kQTMetaDataOwnerTypeMovie;
  Value owner = rt.call(md, "GetPropertyString", {S("ownt")});
  EXPECT_EQ(Bytes(owner), std::string(reinterpret_cast<const char*>(&movieOwner), 4));
  EXPECT_EQ(LastErrorOf(md), 0);

  EXPECT_TRUE(rt.call(md, "GetPropertyString", {S("what")}).isNil());
  EXPECT_EQ(LastErrorOf(md), kQTPropertyNotSupportedErr);
  rt.call(md, "SetPropertyString", {S("ownt"), S("trak")});
  EXPECT_EQ(LastErrorOf(md), kQTPropertyReadOnlyErr);
  // Bytes outside the block are not read.
  for (auto [offset, size] : {std::pair{3, 4}, {-1, 2}, {0, -1}, {7, 0}}) {
    rt.call(md, "SetPropertyMemory", {S("ownt"), rt.newMemoryBlock("..trak"), I(offset), I(size)});
    EXPECT_EQ(LastErrorOf(md), paramErr) << offset << "+" << size;
  }
  EXPECT_EQ(Bytes(rt.call(md, "GetPropertyString", {S("ownt")})), Bytes(owner));
}

// Close gives the reference back once; afterwards, as for an object made with
// new, only the walk, count and item removal still ask QuickTime.
TEST_F(MetaDataTest, CloseReleasesOnceAndLeavesNoContainer) {
  rt::Runtime& rt = runtime();
  StartLog();
  Value md = Container();
  rt.call(md, "Close");
  rt.call(md, "Close");
  EXPECT_EQ(Logged("QTMetaDataRelease").size(), 1u);
  EXPECT_EQ(rt.get(md, "Handle").asInteger(), 0);

  Value made = rt.newObject("QTMetaDataZQK");
  for (const Value& closed : {md, made}) {
    EXPECT_EQ(rt.call(closed, "CountItems").asInteger(), 0);
    EXPECT_EQ(LastErrorOf(closed), kQTMetaDataInvalidMetaDataErr);
    EXPECT_TRUE(rt.call(closed, "FirstItem").isNil());
    EXPECT_EQ(LastErrorOf(closed), kQTMetaDataInvalidMetaDataErr);

    QTEngineHookClearCallLog();
    EXPECT_TRUE(AddQuickTimeItem(closed, "com.example.k", "v").isNil());
    EXPECT_EQ(LastErrorOf(closed), -1);
    EXPECT_TRUE(rt.call(closed, "GetPropertyMemory", {S("fmts")}).isNil());
    EXPECT_EQ(rt.call(closed, "CountItemsWithKey", {S("mdta"), S("mdta"), S("k")}).asInteger(), 0);
    rt.call(closed, "RemoveItemsWithKeyCode", {S("mdta"), S("mdta"), S("k")});
    EXPECT_EQ(LastErrorOf(closed), -1);
    EXPECT_EQ(QTEngineHookCallLogCount(), 0);

    // A nil block is refused before anything else is looked at.
    ExpectRaises([&] { rt.call(closed, "SetPropertyMemory", {S("fmts"), Value(), I(0), I(0)}); },
                 "NilObjectException", "value memoryblock is nil");
    EXPECT_EQ(LastErrorOf(closed), -1);
  }
}

TEST_F(MetaDataTest, ConstantsAndSharedMethodsAsUserCodeSeesThem) {
  rt::Runtime& rt = runtime();
  EXPECT_EQ(rt.constant("QTMetaDataZQK", "kQTMetaDataTypeUTF8").asInteger(), 1);
  EXPECT_EQ(rt.constant("QTMetaDataZQK", "kQTMetaDataNoMoreItemsErr").asInteger(), -2177);
  EXPECT_EQ(rt.bytes(rt.constant("QTMetaDataZQK", "kUserDataMovieControllerType")), "ctyp");
  EXPECT_EQ(rt.bytes(rt.constant("QTMetaDataZQK", "kQTMetaDataItemPropertyID_Key")), "key ");
  EXPECT_EQ(rt.bytes(rt.constant("QTMetaDataZQK", "kQTMetaDataItemPropertyID_Locale")), "loc ");

  Value album = rt.callShared("QTMetaDataZQK", "kUserDataTextAlbum");
  EXPECT_EQ(rt.bytes(album), "\xA9" "alb");
  EXPECT_EQ(rt.encoding(album), kREALEncodingMacRoman);
  EXPECT_EQ(rt.utf8(album), "\u00A9alb");
  EXPECT_EQ(rt.bytes(rt.callShared("QTMetaDataZQK", "kUserDataTextEditDate1")), "\xA9" "ed1");

  // Every shared method, called by the name it was registered under, gives a
  // distinct four-byte text type.
  const rt::Registration* reg = nullptr;
  for (const rt::Registration& r : rt.registrations())
    if (r.name == "QTMetaDataZQK") reg = &r;
  ASSERT_NE(reg, nullptr);
  const auto* record = static_cast<const REALclassDefinition*>(reg->record);
  std::set<std::string> types;
  for (size_t i = 0; i < record->sharedMethodCount; ++i) {
    std::string declaration = record->sharedMethods[i].declaration;
    Value type = rt.callShared("QTMetaDataZQK", declaration.substr(0, declaration.find(' ')));
    ASSERT_EQ(rt.bytes(type).size(), 4u) << declaration;
    EXPECT_EQ(rt.bytes(type)[0], '\xA9') << declaration;
    types.insert(rt.bytes(type));
  }
  EXPECT_EQ(types.size(), 33u);
  EXPECT_TRUE(rt.diagnostics().empty()) << rt.diagnostics().front();
}

}  // namespace
