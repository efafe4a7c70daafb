// QTChapterDataZQK as user code sees it: defaults, constants, the direct fields
// and the font name served by the Font Manager bundle.
#include "plugin_test.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

using rt::Value;

class ChapterDataTest : public PluginTest {
 protected:
  std::string Text(const Value& v) { return v.isNil() ? std::string() : runtime().utf8(v); }
};

TEST_F(ChapterDataTest, NewChapterIsCentredAndClippedWithEverythingElseEmpty) {
  rt::Runtime& rt = Load();
  Value chapter = rt.newObject("QTChapterDataZQK");

  EXPECT_EQ(rt.get(chapter, "TextJustification").asInteger(), rt.constant("QTChapterDataZQK", "teCenter").asInteger());
  EXPECT_EQ(rt.get(chapter, "DisplayFlags").asInteger(), rt.constant("QTChapterDataZQK", "dfClipToTextBox").asInteger());
  EXPECT_TRUE(rt.get(chapter, "Text").isNil());
  for (const char* name : {"FrameDuration", "FontNumber", "FontSize", "ScrollDelay", "HighLightStart", "HighLightEnd",
                           "Left", "Top", "Width", "Height"})
    EXPECT_EQ(rt.get(chapter, name).asInteger(), 0) << name;
  for (const char* name : {"bold", "italic", "underline", "outline", "shadow", "condense", "extend", "HasBackColor",
                           "HasTextColor", "HasHighLightColor"})
    EXPECT_FALSE(rt.get(chapter, name).asBoolean()) << name;
  for (const char* name : {"TextColor", "BackColor", "HighLightColor"})
    EXPECT_EQ(rt.get(chapter, name).asColor(), 0u) << name;
}

TEST_F(ChapterDataTest, ConstantsCarryQuickTimesJustificationsAndDisplayFlags) {
  rt::Runtime& rt = Load();
  const std::vector<std::pair<const char*, int64_t>> expected = {
      {"teFlushDefault", 0},         {"teCenter", 1},
      {"teFlushRight", -1},          {"teFlushLeft", -2},
      {"dfDontDisplay", 0x1},        {"dfDontAutoScale", 0x2},
      {"dfClipToTextBox", 0x4},      {"dfUseMovieBGColor", 0x8},
      {"dfShrinkTextBoxToFit", 0x10}, {"dfScrollIn", 0x20},
      {"dfScrollOut", 0x40},         {"dfHorizScroll", 0x80},
      {"dfReverseScroll", 0x100},    {"dfContinuousScroll", 0x200},
      {"dfFlowHoriz", 0x400},        {"dfContinuousKaraoke", 0x800},
      {"dfDropShadow", 0x1000},      {"dfAntiAlias", 0x2000},
      {"dfKeyedText", 0x4000},       {"dfInverseHilite", 0x8000},
      {"dfTextColorHilite", 0x10000},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(rt.constant("QTChapterDataZQK", name).asInteger(), value) << name;

  // The class and every property carry the flags the host expects of this class.
  const auto& registered = rt.registrations();
  auto r = std::find_if(registered.begin(), registered.end(), [](auto& r) { return r.name == "QTChapterDataZQK"; });
  ASSERT_NE(r, registered.end());
  const auto* record = static_cast<const REALclassDefinition*>(r->record);
  EXPECT_EQ(record->flags, 4u);
  EXPECT_EQ(record->constantCount, expected.size());
  for (uintptr_t i = 0; i < record->propertyCount; ++i) EXPECT_EQ(record->properties[i].flags, 6u) << i;
}

// Every field gets a value of its own; reading them all back afterwards shows
// that no two properties share storage and none is cut short.
TEST_F(ChapterDataTest, DirectFieldsKeepTheirOwnValues) {
  rt::Runtime& rt = Load();
  Value chapter = rt.newObject("QTChapterDataZQK");
  const std::vector<std::pair<const char*, int64_t>> integers = {
      {"FrameDuration", 600},     {"FontNumber", -3},     {"FontSize", 18},  {"TextJustification", -2},
      {"DisplayFlags", 0x10004},  {"ScrollDelay", 7},     {"HighLightStart", 2}, {"HighLightEnd", 0x7FFFFFFF},
      {"Left", -20},              {"Top", 30},            {"Width", 640},    {"Height", -2147483647 - 1},
  };
  const std::vector<std::pair<const char*, uint32_t>> colors = {
      {"TextColor", 0xFF8000}, {"BackColor", 0x0000FF}, {"HighLightColor", 0x123456}};
  const std::vector<const char*> onBooleans = {"bold", "outline", "condense", "HasBackColor", "HasHighLightColor"};
  const std::vector<const char*> offBooleans = {"italic", "underline", "shadow", "extend", "HasTextColor"};

  for (const auto& [name, v] : integers) rt.set(chapter, name, Value::integer(v));
  for (const auto& [name, v] : colors) rt.set(chapter, name, Value::color(v));
  for (const char* name : offBooleans) rt.set(chapter, name, Value::boolean(true));
  for (const char* name : onBooleans) rt.set(chapter, name, Value::boolean(true));
  for (const char* name : offBooleans) rt.set(chapter, name, Value::boolean(false));
  rt.set(chapter, "Text", rt.string("Intro"));

  for (const auto& [name, v] : integers) EXPECT_EQ(rt.get(chapter, name).asInteger(), v) << name;
  for (const auto& [name, v] : colors) EXPECT_EQ(rt.get(chapter, name).asColor(), v) << name;
  for (const char* name : onBooleans) EXPECT_TRUE(rt.get(chapter, name).asBoolean()) << name;
  for (const char* name : offBooleans) EXPECT_FALSE(rt.get(chapter, name).asBoolean()) << name;
  EXPECT_EQ(Text(rt.get(chapter, "Text")), "Intro");
}

// The chapter owns its text: replacing it lets the old string go, clearing it
// leaves nil, and the object's end releases whatever it still holds.
TEST_F(ChapterDataTest, TextIsOwnedAcrossReplacementAndDestruction) {
  rt::Runtime& rt = Load();
  Value chapter = rt.newObject("QTChapterDataZQK");
  {
    Value first = rt.string("Opening titles");
    rt.set(chapter, "Text", first);
    EXPECT_EQ(rt.locks(first), 2);  // ours and the chapter's
    rt.set(chapter, "Text", rt.string("Act I"));
    EXPECT_EQ(rt.locks(first), 1);
  }
  EXPECT_EQ(Text(rt.get(chapter, "Text")), "Act I");
  rt.set(chapter, "Text", Value());
  EXPECT_TRUE(rt.get(chapter, "Text").isNil());
  rt.set(chapter, "Text", rt.string("Credits"));
  chapter = Value();
  EXPECT_EQ(rt.accounting().liveStrings, 0);
}

TEST_F(ChapterDataTest, FontNameGoesThroughTheFontManager) {
  rt::Runtime& rt = Load();
  Value chapter = rt.newObject("QTChapterDataZQK");

  rt.set(chapter, "FontName", rt.string("Monaco"));
  EXPECT_EQ(rt.get(chapter, "FontNumber").asInteger(), 4);
  rt.set(chapter, "FontNumber", Value::integer(20));
  EXPECT_EQ(Text(rt.get(chapter, "FontName")), "Times");
  rt.set(chapter, "FontNumber", Value::integer(4));
  EXPECT_EQ(Text(rt.get(chapter, "FontName")), "Monaco");
  // The Font Manager takes a 16-bit family number.
  rt.set(chapter, "FontNumber", Value::integer(0x10000 + 4));
  EXPECT_EQ(Text(rt.get(chapter, "FontName")), "Monaco");

  rt.set(chapter, "FontName", rt.string("No Such Font"));
  EXPECT_EQ(rt.get(chapter, "FontNumber").asInteger(), 0);
  rt.set(chapter, "FontNumber", Value::integer(4));
  rt.set(chapter, "FontName", Value());
  EXPECT_EQ(rt.get(chapter, "FontNumber").asInteger(), 0);
  rt.set(chapter, "FontNumber", Value::integer(12345));
  EXPECT_EQ(Text(rt.get(chapter, "FontName")), "");
}

TEST_F(ChapterDataTest, WithoutFrameworksTheFontNameIsEmptyAndTheNumberZero) {
  rt::Config config;
  config.frameworksFolder = "";
  rt::Runtime& rt = Load(config);
  Value chapter = rt.newObject("QTChapterDataZQK");

  rt.set(chapter, "FontNumber", Value::integer(4));
  EXPECT_EQ(Text(rt.get(chapter, "FontName")), "");
  rt.set(chapter, "FontName", rt.string("Monaco"));
  EXPECT_EQ(rt.get(chapter, "FontNumber").asInteger(), 0);
}

// Hosts before 2012 read narrowed copies of the records; the fields, accessors
// and constants must come through them unchanged.
TEST_F(ChapterDataTest, OlderHostsSeeTheSameClass) {
  rt::Config config;
  config.hostVersion = 2011.4;
  rt::Runtime& rt = Load(config);
  Value chapter = rt.newObject("QTChapterDataZQK");
  EXPECT_EQ(rt.get(chapter, "DisplayFlags").asInteger(), 4);
  rt.set(chapter, "Height", Value::integer(-9));
  rt.set(chapter, "FontName", rt.string("Geneva"));
  rt.set(chapter, "Text", rt.string("Intro"));
  EXPECT_EQ(rt.get(chapter, "Height").asInteger(), -9);
  EXPECT_EQ(rt.get(chapter, "FontNumber").asInteger(), 3);
  EXPECT_EQ(Text(rt.get(chapter, "Text")), "Intro");
  EXPECT_EQ(rt.constant("QTChapterDataZQK", "dfTextColorHilite").asInteger(), 0x10000);
}

}  // namespace
