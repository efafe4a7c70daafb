// QTUserDataZQK as user code sees it: lists borrowed from engine movies and
// tracks, lists of the object's own, and whole lists as bytes.
#include "track_movies.h"

#include <string>

namespace {

using rt::Value;

Value I(int64_t v) { return Value::integer(v); }

constexpr OSType kFullName = 0xA96E616D;  // '©nam'

class UserDataTest : public VideoMovieTest {
 protected:
  Value S(std::string_view bytes, uint32_t encoding = kREALEncodingUTF8) { return runtime().string(bytes, encoding); }
  // The text QuickTime holds in `list` under '©nam', read past the plugin.
  static std::string EngineText(UserData list, short region = 0) {
    Handle h = NewHandle(0);
    std::string text;
    if (GetUserDataText(list, h, kFullName, 1, region) == noErr) text.assign(*h, GetHandleSize(h));
    DisposeHandle(h);
    return text;
  }
};

// The movie's list is borrowed: edits land in it, and neither Close nor an
// assignment of nothing disposes of it.
TEST_F(UserDataTest, MovieListIsBorrowed) {
  rt::Runtime& rt = runtime();
  Value ud = rt.call(movie_, "UserDataZQK");
  ASSERT_FALSE(ud.isNil());
  EXPECT_FALSE(rt.get(ud, "Release").asBoolean());
  EXPECT_EQ(rt.get(ud, "Lasterror").asInteger(), 0);
  EXPECT_EQ(rt.get(ud, "Handle").asInteger(), reinterpret_cast<intptr_t>(GetMovieUserData(qtMovie_)));

  rt.call(ud, "AddText", {S("\xA9nam", kREALEncodingMacRoman), I(1), I(0), S("Harbour")});
  EXPECT_EQ(rt.get(ud, "Lasterror").asInteger(), 0);
  EXPECT_EQ(EngineText(GetMovieUserData(qtMovie_)), "Harbour");
  // Region 65536 is region 0 once cut to 16 bits.
  EXPECT_EQ(rt.bytes(rt.call(ud, "GetText", {S("\xA9nam", kREALEncodingMacRoman), I(1), I(65536)})), "Harbour");
  EXPECT_EQ(rt.call(ud, "CountType", {S("\xA9nam", kREALEncodingMacRoman)}).asInteger(), 1);

  // A second object on the same list sees the text, and dropping the list from
  // one of them leaves the movie's list as it was.
  Value other = rt.call(movie_, "UserDataZQK");
  rt.set(other, "BinaryData", S(""));
  EXPECT_EQ(rt.get(other, "Handle").asInteger(), 0);
  EXPECT_EQ(rt.get(other, "Lasterror").asInteger(), -1);
  rt.call(ud, "Close");
  EXPECT_EQ(rt.get(ud, "Handle").asInteger(), 0);
  EXPECT_EQ(EngineText(GetMovieUserData(qtMovie_)), "Harbour");

  // With no list every call is skipped.
  EXPECT_TRUE(rt.call(ud, "GetText", {S("\xA9nam", kREALEncodingMacRoman), I(1), I(0)}).isNil());
  EXPECT_EQ(rt.get(ud, "Lasterror").asInteger(), -1);
  EXPECT_TRUE(rt.get(ud, "BinaryData").isNil());
  EXPECT_EQ(rt.call(ud, "CountType", {S("\xA9nam", kREALEncodingMacRoman)}).asInteger(), 0);
}

// A track's list is borrowed too; the track's Lasterror stays -1 either way.
TEST_F(UserDataTest, TrackListAndTrackWithoutTrack) {
  rt::Runtime& rt = runtime();
  Value empty = rt.newObject("QTTrackZQK");
  EXPECT_TRUE(rt.call(empty, "UserData").isNil());
  EXPECT_EQ(LastError(empty), -1);

  Value track = rt.call(movie_, "GetTrackIndexZQK", {I(1)});
  Value ud = rt.call(track, "UserData");
  ASSERT_FALSE(ud.isNil());
  EXPECT_EQ(LastError(track), -1);
  rt.call(ud, "AddData", {S("name"), S("Pier")});
  EXPECT_EQ(CountUserDataType(GetTrackUserData(qtTrack_), 0x6E616D65), 1);
  EXPECT_EQ(rt.bytes(rt.call(ud, "GetData", {S("name"), I(1)})), "Pier");
  ud = Value();
  EXPECT_EQ(CountUserDataType(GetTrackUserData(qtTrack_), 0x6E616D65), 1);
}

// An object made with new owns the list its first add creates; whole lists
// travel as bytes into new owned lists; Close twice disposes once.
TEST_F(UserDataTest, OwnedListsAndByteRoundTrips) {
  rt::Runtime& rt = runtime();
  StartLog();
  {
    Value ud = rt.newObject("QTUserDataZQK");
    rt.call(ud, "AddData", {S("name"), S("")});  // nothing to add, but a list now
    EXPECT_TRUE(rt.get(ud, "Release").asBoolean());
    EXPECT_EQ(rt.get(ud, "Lasterror").asInteger(), 0);
    EXPECT_NE(rt.get(ud, "Handle").asInteger(), 0);
    rt.call(ud, "AddData", {S("name"), S("")});
    EXPECT_EQ(rt.get(ud, "Lasterror").asInteger(), -1);

    // UTF-8 bytes go in as they are and come back labelled Mac Roman.
    rt.call(ud, "AddText", {S("\xA9nam", kREALEncodingMacRoman), I(1), I(0), S("caf\xC3\xA9")});
    rt.call(ud, "AddData", {S("abcd"), rt.newMemoryBlock(std::string("\0\1\2", 3))});
    Value text = rt.call(ud, "GetText", {S("\xA9nam", kREALEncodingMacRoman), I(1), I(0)});
    EXPECT_EQ(rt.bytes(text), "caf\xC3\xA9");
    EXPECT_EQ(rt.encoding(text), kREALEncodingMacRoman);
    EXPECT_TRUE(rt.call(ud, "GetData", {S("name"), I(5)}).isNil());
    EXPECT_NE(rt.get(ud, "Lasterror").asInteger(), 0);

    Value copy = rt.newObject("QTUserDataZQK");
    rt.set(copy, "BinaryData", rt.get(ud, "BinaryData"));
    EXPECT_TRUE(rt.get(copy, "Release").asBoolean());
    EXPECT_EQ(rt.get(copy, "Lasterror").asInteger(), 0);
    EXPECT_EQ(rt.bytes(rt.call(copy, "GetText", {S("\xA9nam", kREALEncodingMacRoman), I(1), I(0)})), "caf\xC3\xA9");
    Value fromMemory = rt.newObject("QTUserDataZQK");
    rt.set(fromMemory, "Memory", rt.get(copy, "Memory"));
    EXPECT_EQ(rt.bytes(rt.call(fromMemory, "GetData", {S("abcd"), I(1)})), std::string("\0\1\2", 3));
    EXPECT_EQ(rt.bytes(rt.get(fromMemory, "Memory")), rt.bytes(rt.get(ud, "Memory")));

    // Types walk in QuickTime's order; the walk ends in nil; Lasterror is -1.
    int types = 0;
    for (Value t = rt.call(ud, "GetNextType", {Value()}); !t.isNil(); t = rt.call(ud, "GetNextType", {t})) {
      EXPECT_EQ(rt.bytes(t).size(), 4u);
      ++types;
    }
    EXPECT_EQ(types, 2);  // the empty adds stored nothing
    EXPECT_EQ(rt.get(ud, "Lasterror").asInteger(), -1);
    EXPECT_EQ(rt.call(ud, "CountType", {Value()}).asInteger(), 0);

    rt.call(ud, "RemoveText", {S("\xA9nam", kREALEncodingMacRoman), I(1), I(0)});
    EXPECT_EQ(rt.get(ud, "Lasterror").asInteger(), 0);
    EXPECT_EQ(rt.call(ud, "CountType", {S("\xA9nam", kREALEncodingMacRoman)}).asInteger(), 0);
    rt.call(ud, "RemoveData", {S("abcd"), I(1)});
    EXPECT_EQ(rt.call(ud, "CountType", {S("abcd")}).asInteger(), 0);

    rt.call(ud, "Close");
    rt.call(ud, "Close");
    EXPECT_TRUE(rt.get(ud, "Release").asBoolean());
    EXPECT_EQ(Logged("DisposeUserData").size(), 1u);
  }
  // The copies went with their objects.
  EXPECT_EQ(Logged("DisposeUserData").size(), 3u);
}

// RemoveData with a nil type asks QuickTime about four blanks.
TEST_F(UserDataTest, NilTypeIsFourBlanks) {
  rt::Runtime& rt = runtime();
  Value ud = rt.newObject("QTUserDataZQK");
  rt.call(ud, "AddData", {S("    "), S("x")});
  EXPECT_EQ(rt.call(ud, "CountType", {S("    ")}).asInteger(), 1);
  rt.call(ud, "RemoveData", {Value(), I(1)});
  EXPECT_EQ(rt.get(ud, "Lasterror").asInteger(), 0);
  EXPECT_EQ(rt.call(ud, "CountType", {S("    ")}).asInteger(), 0);
}

}  // namespace
