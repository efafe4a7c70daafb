// Host values made from QuickTime's forms and back: strings in their encodings,
// memory blocks, four-character codes, Pascal strings, handles, and the Mac Roman
// and UTF-16 forms of host strings. Each runs on the host generations whose string
// paths differ: older hosts (string records, REALConvertString), 2012 to 2015
// (PluginGetStringData) and 2016 on (LenB).
#include <cstring>
#include <string>
#include <vector>

#include "plugin_test.h"

namespace {

std::string Utf32(std::initializer_list<uint32_t> units) {
  std::string bytes(units.size() * 4, '\0');
  size_t i = 0;
  for (uint32_t u : units) std::memcpy(&bytes[4 * i++], &u, 4);
  return bytes;
}

std::string Utf16(std::initializer_list<uint16_t> units) {
  std::string bytes(units.size() * 2, '\0');
  size_t i = 0;
  for (uint16_t u : units) std::memcpy(&bytes[2 * i++], &u, 2);
  return bytes;
}

std::vector<uint16_t> Units(const std::string& bytes) {
  std::vector<uint16_t> units(bytes.size() / 2);
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  return units;
}

class ValuesTest : public PluginTest, public ::testing::WithParamInterface<double> {
 protected:
  void SetUp() override {
    rt::Config config;
    config.hostVersion = GetParam();
    Load(std::move(config), kProbePlugin);
  }

  rt::Value Shared(const char* member, const std::vector<rt::Value>& args = {}) {
    return runtime().callShared("FrameProbe", member, args);
  }

  rt::Value Build(const std::string& bytes, uint32_t encoding) {
    rt::Runtime& r = runtime();
    return Shared("BuildUnicodeString", {r.newMemoryBlock(bytes), rt::Value::integer(static_cast<int64_t>(bytes.size())),
                                         rt::Value::integer(encoding)});
  }

  bool olderHost() const { return GetParam() < 2012.0; }
};

TEST_P(ValuesTest, StringsTakeTheEncodingTheirBytesNeed) {
  rt::Runtime& r = runtime();
  rt::Value ascii = Build("moov", kREALEncodingMacRoman);
  EXPECT_EQ(r.bytes(ascii), "moov");
  EXPECT_EQ(r.encoding(ascii), kREALEncodingASCII);
  EXPECT_EQ(r.encoding(Build("abc", kREALEncodingUnknown)), kREALEncodingASCII);

  rt::Value roman = Build("caf\x8E", kREALEncodingMacRoman);
  EXPECT_EQ(r.encoding(roman), kREALEncodingMacRoman);
  EXPECT_EQ(r.utf8(roman), "caf\xC3\xA9");
  EXPECT_EQ(r.encoding(Build("caf\xE9", kREALEncodingWindowsLatin1)), kREALEncodingWindowsLatin1);
  EXPECT_EQ(r.encoding(Build("caf\xC3\xA9", kREALEncodingUTF8)), kREALEncodingUTF8);

  rt::Value fromUtf16 = Build(Utf16({'c', 0xE9}), kREALEncodingUTF16);
  EXPECT_EQ(r.encoding(fromUtf16), kREALEncodingUTF8);
  EXPECT_EQ(r.bytes(fromUtf16), "c\xC3\xA9");
}

TEST_P(ValuesTest, Utf32BecomesUtf8AndOlderHostsKeepOnlyTheLow16Bits) {
  rt::Runtime& r = runtime();
  rt::Value two = Build(Utf32({'A', 0x1F600}), kREALEncodingUTF32);
  EXPECT_EQ(r.encoding(two), kREALEncodingUTF8);
  EXPECT_EQ(r.utf8(two), olderHost() ? "A\xEF\x98\x80" /* U+F600 */ : "A\xF0\x9F\x98\x80");

  // Past the fixed buffer's 799 bytes the units go through the heap.
  std::string longText(300, 'q');
  std::string longUtf32;
  for (char c : longText) longUtf32 += Utf32({static_cast<uint32_t>(c)});
  EXPECT_EQ(r.utf8(Build(longUtf32, kREALEncodingUTF32)), longText);
  // Older hosts drop a trailing partial unit.
  if (olderHost()) {
    EXPECT_EQ(r.utf8(Build(Utf32({'o', 'k'}) + "\x01", kREALEncodingUTF32)), "ok");
  }
}

TEST_P(ValuesTest, NothingToBuildGivesNilWithoutAskingTheHost) {
  rt::Runtime& r = runtime();
  const long built = r.entryCalls("REALBuildString") + r.entryCalls("REALBuildStringWithEncoding");
  EXPECT_TRUE(Shared("BuildUnicodeString", {r.newMemoryBlock("abc"), rt::Value::integer(0), rt::Value::integer(0)}).isNil());
  EXPECT_TRUE(Shared("BuildUnicodeString", {r.newMemoryBlock("abc"), rt::Value::integer(-3), rt::Value::integer(0)}).isNil());
  EXPECT_TRUE(Shared("BuildUnicodeString", {rt::Value(), rt::Value::integer(3), rt::Value::integer(0)}).isNil());
  EXPECT_TRUE(Shared("BuildUnicodeString", {r.newMemoryBlock("abc"), rt::Value::integer(int64_t{1} << 31),
                                            rt::Value::integer(0)})
                  .isNil());
  EXPECT_EQ(r.entryCalls("REALBuildString") + r.entryCalls("REALBuildStringWithEncoding"), built);
}

TEST_P(ValuesTest, MemoryBlocksCopyTheBytesOrSayWhyNot) {
  rt::Runtime& r = runtime();
  EXPECT_EQ(r.bytes(Shared("BuildMemoryBlock", {r.newMemoryBlock(std::string("a\0b", 3)), rt::Value::integer(3)})), std::string("a\0b", 3));
  EXPECT_TRUE(Shared("BuildMemoryBlock", {r.newMemoryBlock("abc"), rt::Value::integer(0)}).isNil());
  EXPECT_TRUE(Shared("BuildMemoryBlock", {rt::Value(), rt::Value::integer(3)}).isNil());

  r.config().failMemoryBlocks = true;
  const std::string hundred(100, 'x');
  try {
    Shared("BuildMemoryBlock", {r.newMemoryBlock(hundred), rt::Value::integer(100)});
    ADD_FAILURE() << "no exception";
  } catch (const rt::HostException& e) {
    EXPECT_EQ(e.className(), "OutOfMemoryException");
    EXPECT_EQ(e.message(), "Failed to allocate a memoryblock with 100 bytes in size.");
  }
}

// The host running out of memory while building the string: an exception the user
// can catch, and nothing half-built left alive.
TEST_P(ValuesTest, AStringTheHostCannotBuildRaisesOutOfMemory) {
  rt::Runtime& r = runtime();
  for (const auto& [bytes, encoding] : {std::pair<std::string, uint32_t>{"moov", kREALEncodingASCII},
                                        {"caf\x8E", kREALEncodingMacRoman},
                                        {Utf16({'c', 0xE9}), kREALEncodingUTF16}}) {
    SCOPED_TRACE(encoding);
    r.config().failingStringBuilds = 1;
    try {
      Build(bytes, encoding);
      ADD_FAILURE() << "no exception";
    } catch (const rt::HostException& e) {
      EXPECT_EQ(e.className(), "OutOfMemoryException");
      EXPECT_EQ(e.message(), "Failed to allocate memory for a string.");
    }
    EXPECT_EQ(r.config().failingStringBuilds, 0);
    EXPECT_EQ(r.utf8(Build(bytes, encoding)).empty(), false);  // and the next one is made
  }
}

TEST_P(ValuesTest, FourCharacterCodesFromText) {
  rt::Runtime& r = runtime();
  auto code = [&](const rt::Value& s) { return Shared("StringToOSType", {s}).asInteger(); };
  EXPECT_EQ(code(r.string("moov")), 0x6D6F6F76);
  EXPECT_EQ(code(r.string("abc")), 0x61626320);
  EXPECT_EQ(code(r.string("abcdef")), 0x61626364);
  EXPECT_EQ(code(r.string("")), 0x20202020);
  EXPECT_EQ(code(rt::Value()), 0x20202020);
  // The code is made of Mac Roman bytes whatever the string's encoding.
  EXPECT_EQ(code(r.string("\xC2\xA9" "day")), 0xA9646179);
  EXPECT_EQ(code(r.string("caf\xE9", kREALEncodingWindowsLatin1)), 0x6361668E);
}

TEST_P(ValuesTest, PascalStringsStopAt255Bytes) {
  rt::Runtime& r = runtime();
  const std::string text(300, 'p');
  const std::string pascal = r.bytes(Shared("SystemString", {r.string(text)}));
  ASSERT_EQ(pascal.size(), 256u);
  EXPECT_EQ(static_cast<uint8_t>(pascal[0]), 255);
  EXPECT_EQ(pascal.substr(1), text.substr(0, 255));

  EXPECT_EQ(r.bytes(Shared("SystemString", {r.string("\xC3\xA9t\xC3\xA9")})), "\x03\x8Et\x8E");
  EXPECT_EQ(r.bytes(Shared("SystemString", {rt::Value()})), std::string(1, '\0'));
}

TEST_P(ValuesTest, HandlesHoldCopiesOfStringsAndBlocks) {
  rt::Runtime& r = runtime();
  EXPECT_EQ(r.bytes(Shared("HandleFromString", {r.string("caf\xC3\xA9")})), "caf\xC3\xA9");
  EXPECT_TRUE(Shared("HandleFromString", {r.string("")}).isNil());
  EXPECT_TRUE(Shared("HandleFromString", {rt::Value()}).isNil());
  EXPECT_EQ(r.bytes(Shared("HandleFromMemory", {r.newMemoryBlock(std::string("x\0y", 3))})), std::string("x\0y", 3));
  EXPECT_TRUE(Shared("HandleFromMemory", {r.newMemoryBlock("")}).isNil());
  EXPECT_TRUE(Shared("HandleFromMemory", {rt::Value()}).isNil());
}

TEST_P(ValuesTest, MacRomanFormIsTerminatedAndConvertedOnlyWhenNeeded) {
  rt::Runtime& r = runtime();
  EXPECT_EQ(r.bytes(Shared("MacRomanForm", {r.string("\xC3\xA9t\xC3\xA9")})), std::string("\x8Et\x8E\0", 4));
  EXPECT_EQ(r.bytes(Shared("MacRomanForm", {r.string("")})), std::string(1, '\0'));

  // A nil string and bytes of unknown encoding that are plain ASCII need no
  // conversion at all.
  const long conversions = r.entryCalls("PluginGetStringData") + r.entryCalls("REALConvertString");
  EXPECT_EQ(r.bytes(Shared("MacRomanForm", {rt::Value()})), std::string(1, '\0'));
  EXPECT_EQ(r.bytes(Shared("MacRomanForm", {r.string("plain", kREALEncodingUnknown)})), std::string("plain\0", 6));
  EXPECT_EQ(r.entryCalls("PluginGetStringData") + r.entryCalls("REALConvertString"), conversions);

  // Unknown bytes with the top bit set are read as Mac Roman.
  EXPECT_EQ(r.bytes(Shared("MacRomanForm", {r.string("\x8E", kREALEncodingUnknown)})), std::string("\x8E\0", 2));
}

TEST_P(ValuesTest, Utf16FormDropsByteOrderMarks) {
  rt::Runtime& r = runtime();
  auto utf16 = [&](const rt::Value& s) { return Units(r.bytes(Shared("UTF16Form", {s}))); };
  EXPECT_EQ(utf16(r.string("c\xC3\xA9")), (std::vector<uint16_t>{'c', 0xE9, 0}));
  EXPECT_EQ(utf16(rt::Value()), (std::vector<uint16_t>{0}));
  // U+FEFF first: the mark goes.
  EXPECT_EQ(utf16(r.string("\xEF\xBB\xBF" "AB")), (std::vector<uint16_t>{'A', 'B', 0}));
  // U+FFFE first: text of the other byte order, swapped back and without the mark.
  EXPECT_EQ(utf16(r.string("\xEF\xBF\xBE" "\xE4\x84\x80" "\xE4\x88\x80")), (std::vector<uint16_t>{'A', 'B', 0}));
  // Bytes of unknown encoding go through Mac Roman.
  EXPECT_EQ(utf16(r.string("ok\x8E", kREALEncodingUnknown)), (std::vector<uint16_t>{'o', 'k', 0xE9, 0}));
  EXPECT_EQ(utf16(r.string("ok", kREALEncodingUnknown)), (std::vector<uint16_t>{'o', 'k', 0}));
}

INSTANTIATE_TEST_SUITE_P(HostGenerations, ValuesTest, ::testing::Values(2011.4, 2013.04, 2019.0),
                         [](const ::testing::TestParamInfo<double>& info) {
                           return info.param < 2012.0 ? "OlderHost" : info.param < 2016.0 ? "Host2013" : "Host2019";
                         });

}  // namespace
