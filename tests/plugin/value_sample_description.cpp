// The sample-description classes as user code sees them. Track members fill
// these objects from a media; here user code makes them itself, which gives the
// zero-filled state those members start from.
#include "plugin_test.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

using rt::Value;

constexpr const char* kSubclasses[] = {
    "QTVideoSampleDescriptionZQK", "QTSoundSampleDescriptionZQK",    "QTSpriteSampleDescriptionZQK",
    "QTMusicSampleDescriptionZQK", "QTThreeDeeSampleDescriptionZQK", "QTFlashSampleDescriptionZQK",
    "QTTextSampleDescriptionZQK",
};

class SampleDescriptionTest : public PluginTest {
 protected:
  std::string Text(const Value& v) { return v.isNil() ? std::string() : runtime().utf8(v); }

  // Gives every property of `names` a value of its own, then reads them all back.
  void ExpectIntegersKept(const Value& d, const std::vector<const char*>& names) {
    for (size_t i = 0; i < names.size(); ++i) runtime().set(d, names[i], Value::integer(-1000 - int64_t(i)));
    for (size_t i = 0; i < names.size(); ++i)
      EXPECT_EQ(runtime().get(d, names[i]).asInteger(), -1000 - int64_t(i)) << names[i];
  }
};

TEST_F(SampleDescriptionTest, SubclassesShareTheBaseAndStartEmpty) {
  rt::Runtime& rt = Load();
  std::vector<std::string> order;
  for (const rt::Registration& r : rt.registrations()) order.push_back(r.name);
  auto position = [&](const std::string& name) { return std::find(order.begin(), order.end(), name) - order.begin(); };

  for (const char* cls : kSubclasses) {
    EXPECT_LT(position("QTSampleDescriptionZQK"), position(cls)) << cls;
    Value d = rt.newObject(cls);
    EXPECT_TRUE(rt.isA(d, "QTSampleDescriptionZQK")) << cls;
    EXPECT_TRUE(rt.get(d, "CodecType").isNil()) << cls;
    rt.set(d, "CodecType", rt.string("tmcd"));
    EXPECT_EQ(Text(rt.get(d, "CodecType")), "tmcd") << cls;
  }
  Value plain = rt.newObject("QTSampleDescriptionZQK");
  EXPECT_TRUE(rt.get(plain, "CodecType").isNil());
}

TEST_F(SampleDescriptionTest, VideoPropertiesKeepTheirValues) {
  rt::Runtime& rt = Load();
  Value video = rt.newObject("QTVideoSampleDescriptionZQK");
  for (const char* name : {"TemporalQuality", "SpatialQuality", "Width", "Height", "Size", "FrameCount", "Depth"})
    EXPECT_EQ(rt.get(video, name).asInteger(), 0) << name;
  EXPECT_EQ(rt.get(video, "HorizontalResolution").asDouble(), 0.0);

  ExpectIntegersKept(video, {"TemporalQuality", "SpatialQuality", "Width", "Height", "Size", "FrameCount", "Depth"});
  rt.set(video, "HorizontalResolution", Value::real(72.0));
  rt.set(video, "VerticalResolution", Value::real(300.5));
  rt.set(video, "CodecVendor", rt.string("appl"));
  rt.set(video, "CodecName", rt.string("Photo - JPEG"));
  EXPECT_EQ(rt.get(video, "HorizontalResolution").asDouble(), 72.0);
  EXPECT_EQ(rt.get(video, "VerticalResolution").asDouble(), 300.5);
  EXPECT_EQ(Text(rt.get(video, "CodecVendor")), "appl");
  EXPECT_EQ(Text(rt.get(video, "CodecName")), "Photo - JPEG");
  EXPECT_EQ(rt.get(video, "Depth").asInteger(), -1006);
}

TEST_F(SampleDescriptionTest, SoundPropertiesKeepTheirValues) {
  rt::Runtime& rt = Load();
  Value sound = rt.newObject("QTSoundSampleDescriptionZQK");
  ExpectIntegersKept(sound, {"ChannelCount", "SampleSize", "Version"});
  rt.set(sound, "SampleRate", Value::real(44100.0));
  rt.set(sound, "CodecVendor", rt.string("\xA9xyz", kREALEncodingMacRoman));
  EXPECT_EQ(rt.get(sound, "SampleRate").asDouble(), 44100.0);
  EXPECT_EQ(rt.bytes(rt.get(sound, "CodecVendor")), "\xA9xyz");
  EXPECT_EQ(rt.get(sound, "Version").asInteger(), -1002);
}

TEST_F(SampleDescriptionTest, TextPropertiesKeepTheirValues) {
  rt::Runtime& rt = Load();
  Value text = rt.newObject("QTTextSampleDescriptionZQK");
  ExpectIntegersKept(text, {"DisplayFlags", "TextJustification", "Left", "Top", "Width", "Height", "TextHeight",
                            "TextAscent", "TextFontID", "TextSize", "TextFace"});
  rt.set(text, "BackgroundColor", Value::color(0xFF8000));
  rt.set(text, "TextColor", Value::color(0x0080FF));
  EXPECT_EQ(rt.get(text, "BackgroundColor").asColor(), 0xFF8000u);
  EXPECT_EQ(rt.get(text, "TextColor").asColor(), 0x0080FFu);

  const std::vector<const char*> styles = {"Bold", "Italic", "Underline", "Outline", "Shadow", "Condense", "Extend"};
  for (const char* on : styles) {
    rt.set(text, on, Value::boolean(true));
    for (const char* name : styles) EXPECT_EQ(rt.get(text, name).asBoolean(), name == on) << on << " " << name;
    rt.set(text, on, Value::boolean(false));
  }
  rt.set(text, "DefaultFontName", rt.string("Geneva"));
  EXPECT_EQ(Text(rt.get(text, "DefaultFontName")), "Geneva");
  EXPECT_EQ(rt.get(text, "TextFace").asInteger(), -1010);
}

TEST_F(SampleDescriptionTest, DecompressorAndRendererTypesKeepTheirValues) {
  rt::Runtime& rt = Load();
  for (const char* cls : {"QTSpriteSampleDescriptionZQK", "QTFlashSampleDescriptionZQK",
                          "QTThreeDeeSampleDescriptionZQK"}) {
    Value d = rt.newObject(cls);
    EXPECT_TRUE(rt.get(d, "DecompressorType").isNil()) << cls;
    rt.set(d, "DecompressorType", rt.string("flsh"));
    EXPECT_EQ(Text(rt.get(d, "DecompressorType")), "flsh") << cls;
  }
  Value three = rt.newObject("QTThreeDeeSampleDescriptionZQK");
  rt.set(three, "RendererType", rt.string("ogl "));
  rt.set(three, "DecompressorType", rt.string("3dmf"));
  EXPECT_EQ(Text(rt.get(three, "RendererType")), "ogl ");
  EXPECT_EQ(Text(rt.get(three, "DecompressorType")), "3dmf");
}

// String accessors: a getter hands out a reference of the caller's own, a setter
// lets the old string go, nil clears, assigning a field its own value keeps it
// alive, and the destructor gives back every string field.
TEST_F(SampleDescriptionTest, StringAccessorsOwnTheirStrings) {
  rt::Runtime& rt = Load();
  Value video = rt.newObject("QTVideoSampleDescriptionZQK");
  {
    Value vendor = rt.string("appl");
    rt.set(video, "CodecVendor", vendor);
    EXPECT_EQ(rt.locks(vendor), 2);
    {
      Value read = rt.get(video, "CodecVendor");
      EXPECT_EQ(rt.locks(vendor), 3);
    }
    EXPECT_EQ(rt.locks(vendor), 2);
    rt.set(video, "CodecVendor", rt.string("FFMP"));
    EXPECT_EQ(rt.locks(vendor), 1);
  }
  {
    Value same = rt.get(video, "CodecVendor");
    rt.set(video, "CodecVendor", same);
  }
  EXPECT_EQ(Text(rt.get(video, "CodecVendor")), "FFMP");
  rt.set(video, "CodecVendor", Value());
  EXPECT_TRUE(rt.get(video, "CodecVendor").isNil());
  rt.set(video, "CodecVendor", Value());
  EXPECT_EQ(rt.accounting().liveStrings, 0);

  rt.set(video, "CodecType", rt.string("jpeg"));
  rt.set(video, "CodecVendor", rt.string("appl"));
  rt.set(video, "CodecName", rt.string("Photo - JPEG"));
  Value text = rt.newObject("QTTextSampleDescriptionZQK");
  rt.set(text, "DefaultFontName", rt.string("Geneva"));
  Value three = rt.newObject("QTThreeDeeSampleDescriptionZQK");
  rt.set(three, "RendererType", rt.string("ogl "));
  rt.set(three, "DecompressorType", rt.string("3dmf"));
  EXPECT_EQ(rt.accounting().liveStrings, 6);
  video = Value();
  text = Value();
  three = Value();
  EXPECT_EQ(rt.accounting().liveStrings, 0);
}

}  // namespace
