// QTTimeCodeZQK and QTTimeCodeCreationParametersZQK as user code sees them.
#include "plugin_test.h"

#include <string>
#include <utility>
#include <vector>

namespace {

using rt::Value;

class TimeCodeValueTest : public PluginTest {
 protected:
  std::string Text(const Value& v) { return v.isNil() ? std::string() : runtime().utf8(v); }
};

TEST_F(TimeCodeValueTest, NewTimeCodeIsAllZeroAndCountsAsTimeCode) {
  rt::Runtime& rt = Load();
  Value tc = rt.newObject("QTTimeCodeZQK");
  EXPECT_TRUE(rt.get(tc, "UseTimeCode").asBoolean());
  for (const char* name : {"DropFrames", "IsNeg", "Use24Hours"}) EXPECT_FALSE(rt.get(tc, name).asBoolean()) << name;
  for (const char* name : {"NumberOfFrames", "Flags", "TimeScale", "FrameDuration", "Counter", "Hours", "Minutes",
                           "Seconds", "Frames", "FrameNumber"})
    EXPECT_EQ(rt.get(tc, name).asInteger(), 0) << name;
  EXPECT_TRUE(rt.get(tc, "SourceName").isNil());
}

// Each Boolean is one bit of the flags word and leaves the other bits alone.
TEST_F(TimeCodeValueTest, BooleansAreSingleBitsOfTheFlags) {
  rt::Runtime& rt = Load();
  Value tc = rt.newObject("QTTimeCodeZQK");
  rt.set(tc, "DropFrames", Value::boolean(true));
  EXPECT_EQ(rt.get(tc, "Flags").asInteger(), 1);
  rt.set(tc, "UseTimeCode", Value::boolean(false));
  EXPECT_EQ(rt.get(tc, "Flags").asInteger(), 9);
  EXPECT_FALSE(rt.get(tc, "UseTimeCode").asBoolean());
  rt.set(tc, "IsNeg", Value::boolean(true));
  rt.set(tc, "Use24Hours", Value::boolean(true));
  EXPECT_EQ(rt.get(tc, "Flags").asInteger(), 15);
  rt.set(tc, "DropFrames", Value::boolean(false));
  rt.set(tc, "UseTimeCode", Value::boolean(true));
  EXPECT_EQ(rt.get(tc, "Flags").asInteger(), 6);

  rt.set(tc, "Flags", Value::integer(-16));  // every bit above the four
  rt.set(tc, "DropFrames", Value::boolean(true));
  EXPECT_EQ(rt.get(tc, "Flags").asInteger(), -15);
  EXPECT_TRUE(rt.get(tc, "UseTimeCode").asBoolean());
  rt.set(tc, "Flags", Value::integer(0xF));
  for (const char* name : {"DropFrames", "IsNeg", "Use24Hours"}) EXPECT_TRUE(rt.get(tc, name).asBoolean()) << name;
  EXPECT_FALSE(rt.get(tc, "UseTimeCode").asBoolean());
}

// The definition's words keep 32 bits, numFrames and the time code bytes 8; the
// counter and the four bytes are one storage seen two ways.
TEST_F(TimeCodeValueTest, FieldsKeepQuickTimesWidthsAndCounterAliasesTheBytes) {
  rt::Runtime& rt = Load();
  Value tc = rt.newObject("QTTimeCodeZQK");

  rt.set(tc, "Hours", Value::integer(300));
  EXPECT_EQ(rt.get(tc, "Hours").asInteger(), 44);
  rt.set(tc, "NumberOfFrames", Value::integer(256 + 30));
  EXPECT_EQ(rt.get(tc, "NumberOfFrames").asInteger(), 30);
  rt.set(tc, "TimeScale", Value::integer((int64_t{1} << 32) + 2997));
  EXPECT_EQ(rt.get(tc, "TimeScale").asInteger(), 2997);
  rt.set(tc, "FrameDuration", Value::integer(-100));
  EXPECT_EQ(rt.get(tc, "FrameDuration").asInteger(), -100);
  EXPECT_EQ(rt.get(tc, "NumberOfFrames").asInteger(), 30);  // neighbours untouched
  EXPECT_EQ(rt.get(tc, "TimeScale").asInteger(), 2997);

  rt.set(tc, "Counter", Value::integer(1));
  EXPECT_EQ(rt.get(tc, "Hours").asInteger(), 1);  // the counter is in host byte order
  for (const char* name : {"Minutes", "Seconds", "Frames"}) EXPECT_EQ(rt.get(tc, name).asInteger(), 0) << name;
  rt.set(tc, "Minutes", Value::integer(0x85));  // minute 5 of a negative time code
  rt.set(tc, "Seconds", Value::integer(0x12));
  rt.set(tc, "Frames", Value::integer(0x80));
  EXPECT_EQ(rt.get(tc, "Minutes").asInteger(), 0x85);
  EXPECT_EQ(rt.get(tc, "Counter").asInteger(), static_cast<int32_t>(0x80128501));
  rt.set(tc, "Counter", Value::integer(-1));
  EXPECT_EQ(rt.get(tc, "Counter").asInteger(), -1);
  EXPECT_EQ(rt.get(tc, "Frames").asInteger(), 255);

  // None of it reaches the definition or the frame number.
  EXPECT_EQ(rt.get(tc, "Flags").asInteger(), 0);
  EXPECT_EQ(rt.get(tc, "FrameNumber").asInteger(), 0);
  rt.set(tc, "FrameNumber", Value::integer(-7));
  EXPECT_EQ(rt.get(tc, "FrameNumber").asInteger(), -7);
  EXPECT_EQ(rt.get(tc, "Counter").asInteger(), -1);
}

TEST_F(TimeCodeValueTest, CloseReleasesTheSourceNameOnce) {
  rt::Runtime& rt = Load();
  Value tc = rt.newObject("QTTimeCodeZQK");
  rt.set(tc, "SourceName", rt.string("Camera A"));
  EXPECT_EQ(Text(rt.get(tc, "SourceName")), "Camera A");
  rt.call(tc, "Close");
  EXPECT_TRUE(rt.get(tc, "SourceName").isNil());
  EXPECT_EQ(rt.accounting().liveStrings, 0);
  rt.call(tc, "Close");
  rt.set(tc, "SourceName", rt.string("Camera B"));  // usable after Close
  tc = Value();
  EXPECT_EQ(rt.accounting().overReleases, 0);
}

TEST_F(TimeCodeValueTest, NewParametersDescribeDropFrame2997InMonaco) {
  rt::Runtime& rt = Load();
  Value p = rt.newObject("QTTimeCodeCreationParametersZQK");
  const std::vector<std::pair<const char*, int64_t>> integers = {
      {"Height", 20},   {"FrameDuration", 100}, {"NumberOfFrames", 30}, {"Hours", 0},     {"Minutes", 0},
      {"Seconds", 0},   {"TimeScale", 2997},    {"Frames", 0},          {"CounterStartValue", 0},
      {"FontFace", -1}, {"FontSize", -1},
  };
  for (const auto& [name, v] : integers) EXPECT_EQ(rt.get(p, name).asInteger(), v) << name;
  for (const char* name : {"DropFrames", "UseTimeCode", "Use24Hours", "DisplayBelowVideo"})
    EXPECT_TRUE(rt.get(p, name).asBoolean()) << name;
  for (const char* name : {"IsNeg", "DisplayTimeCode"}) EXPECT_FALSE(rt.get(p, name).asBoolean()) << name;
  EXPECT_EQ(rt.get(p, "FontForeColor").asColor(), 0x000000u);
  EXPECT_EQ(rt.get(p, "FontBackColor").asColor(), 0xFFFFFFu);

  Value source = rt.get(p, "SourceName");
  EXPECT_EQ(rt.bytes(source), "ZQK REALbasic Plugin");
  EXPECT_EQ(rt.encoding(source), kREALEncodingASCII);
  Value font = rt.get(p, "FontName");
  EXPECT_EQ(rt.bytes(font), "Monaco");
  EXPECT_EQ(rt.encoding(font), kREALEncodingASCII);
}

TEST_F(TimeCodeValueTest, ParameterFieldsKeepTheirOwnValues) {
  rt::Runtime& rt = Load();
  Value p = rt.newObject("QTTimeCodeCreationParametersZQK");
  const std::vector<std::pair<const char*, int64_t>> integers = {
      {"Height", 31},    {"FrameDuration", 1001}, {"NumberOfFrames", 24}, {"Hours", 23},
      {"Minutes", 59},   {"Seconds", 58},         {"TimeScale", 24000},   {"Frames", 23},
      {"CounterStartValue", -5}, {"FontFace", 1}, {"FontSize", 14},
  };
  const std::vector<const char*> flipped = {"DropFrames", "UseTimeCode", "Use24Hours", "DisplayBelowVideo",
                                            "IsNeg", "DisplayTimeCode"};
  std::vector<bool> before;
  for (const char* name : flipped) before.push_back(rt.get(p, name).asBoolean());

  for (const auto& [name, v] : integers) rt.set(p, name, Value::integer(v));
  for (size_t i = 0; i < flipped.size(); ++i) rt.set(p, flipped[i], Value::boolean(!before[i]));
  rt.set(p, "FontForeColor", Value::color(0x00FF00));
  rt.set(p, "FontBackColor", Value::color(0x000080));
  rt.set(p, "SourceName", rt.string("Tape 7"));
  rt.set(p, "FontName", Value());

  for (const auto& [name, v] : integers) EXPECT_EQ(rt.get(p, name).asInteger(), v) << name;
  for (size_t i = 0; i < flipped.size(); ++i) EXPECT_EQ(rt.get(p, flipped[i]).asBoolean(), !before[i]) << flipped[i];
  EXPECT_EQ(rt.get(p, "FontForeColor").asColor(), 0x00FF00u);
  EXPECT_EQ(rt.get(p, "FontBackColor").asColor(), 0x000080u);
  EXPECT_EQ(Text(rt.get(p, "SourceName")), "Tape 7");
  EXPECT_TRUE(rt.get(p, "FontName").isNil());
}

// The two default strings belong to the object: Close gives both back, a second
// Close and the object's end give back nothing more.
TEST_F(TimeCodeValueTest, ParametersCloseReleasesBothStringsOnce) {
  rt::Runtime& rt = Load();
  Value p = rt.newObject("QTTimeCodeCreationParametersZQK");
  EXPECT_EQ(rt.accounting().liveStrings, 2);
  rt.call(p, "Close");
  EXPECT_EQ(rt.accounting().liveStrings, 0);
  EXPECT_TRUE(rt.get(p, "SourceName").isNil());
  EXPECT_TRUE(rt.get(p, "FontName").isNil());
  rt.call(p, "Close");
  p = Value();
  EXPECT_EQ(rt.accounting().overReleases, 0);
}

}  // namespace
