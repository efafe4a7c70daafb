// Sample descriptions fetched through a track, from records written as a movie
// file holds them: typed objects, dispatch by media type, raw bytes, and records
// too short for what they claim.
#include "media_support.h"

#include <bit>
#include <string>
#include <vector>

namespace {

using mediatest::Entry;
using rt::Value;

Value I(int64_t v) { return Value::integer(v); }

class DescriptionFetchTest : public TrackTest {
 protected:
  // A track of `type` whose media holds `entry`, as user code gets it.
  Value TrackWith(OSType type, const Entry& entry) {
    if (!loaded_) Load(QuickTimeHost());
    loaded_ = true;
    Movie m = NewEngineMovie();
    mediatest::AddDescribedTrack(m, type, {entry});
    movieObjects_.push_back(runtime().newMovie(m));
    return runtime().call(movieObjects_.back(), "GetTrackIndexZQK", {I(1)});
  }
  void TearDown() override {
    movieObjects_.clear();
    TrackTest::TearDown();
  }
  Value Fetch(const Value& track, const char* member, int64_t index = 1) {
    return runtime().call(track, member, {I(index)});
  }
  Value Get(const Value& d, const char* property) { return runtime().get(d, property); }
  int64_t Int(const Value& d, const char* property) { return Get(d, property).asInteger(); }
  std::string Text(const Value& d, const char* property) {
    Value v = Get(d, property);
    return v.isNil() ? std::string("<nil>") : runtime().utf8(v);
  }

  bool loaded_ = false;
  std::vector<Value> movieObjects_;
};

TEST_F(DescriptionFetchTest, VideoRecordFillsEveryField) {
  Entry e("avc1"_4cc, 86);
  e.u32(20, "appl"_4cc).u32(24, 512).u32(28, 1024).u16(32, 640).u16(34, 0xFFF0);
  e.u32(36, 72u << 16).u32(40, 0xFFFF8000u).u32(44, 1234).u16(48, 1).u16(82, 24);
  e.text(50, "\x05Photo");
  Value track = TrackWith(VideoMediaType, e);
  Value d = Fetch(track, "MediaVideoSampleDescription");
  ASSERT_TRUE(runtime().isA(d, "QTVideoSampleDescriptionZQK"));
  EXPECT_EQ(Text(d, "CodecType"), "avc1");
  EXPECT_EQ(Text(d, "CodecVendor"), "appl");
  EXPECT_EQ(Int(d, "TemporalQuality"), 512);
  EXPECT_EQ(Int(d, "SpatialQuality"), 1024);
  EXPECT_EQ(Int(d, "Width"), 640);
  EXPECT_EQ(Int(d, "Height"), -16);  // 16-bit fields are signed
  EXPECT_EQ(Get(d, "HorizontalResolution").asDouble(), 72.0);
  EXPECT_EQ(Get(d, "VerticalResolution").asDouble(), -0.5);
  EXPECT_EQ(Int(d, "Size"), 1234);
  EXPECT_EQ(Int(d, "FrameCount"), 1);
  EXPECT_EQ(Text(d, "CodecName"), "Photo");
  EXPECT_EQ(Int(d, "Depth"), 24);
  EXPECT_EQ(LastError(track), 0);

  // The object is a copy: changing it leaves the media alone.
  runtime().set(d, "CodecVendor", runtime().string("mine"));
  EXPECT_EQ(Text(d, "CodecVendor"), "mine");
  EXPECT_EQ(Text(Fetch(track, "MediaSampleDescription"), "CodecVendor"), "appl");
  EXPECT_EQ(runtime().bytes(Fetch(track, "MediaSampleDescriptionRaw")),
            std::string(e.bytes.begin(), e.bytes.end()));
}

TEST_F(DescriptionFetchTest, SoundVersionsAndRates) {
  Value v0 = Fetch(TrackWith(SoundMediaType, Entry("twos"_4cc, 36).u16(24, 2).u16(26, 16).u32(32, 44100u << 16)),
                   "MediaSoundSampleDescription");
  EXPECT_EQ(Int(v0, "Version"), 0);
  EXPECT_EQ(Int(v0, "ChannelCount"), 2);
  EXPECT_EQ(Int(v0, "SampleSize"), 16);
  EXPECT_EQ(Get(v0, "SampleRate").asDouble(), 44100.0);  // above the signed 16.16 range

  Entry e2("lpcm"_4cc, 72);
  e2.u16(16, 2).u32(20, 0xA9616263).u16(24, 3).u16(26, 16).u64(40, std::bit_cast<uint64_t>(96000.5));
  e2.u32(48, 6).u32(56, 24);
  Value v2 = Fetch(TrackWith(SoundMediaType, e2), "MediaSampleDescription");
  ASSERT_TRUE(runtime().isA(v2, "QTSoundSampleDescriptionZQK"));
  EXPECT_EQ(Int(v2, "Version"), 2);
  EXPECT_EQ(Int(v2, "ChannelCount"), 6);
  EXPECT_EQ(Int(v2, "SampleSize"), 24);
  EXPECT_EQ(Get(v2, "SampleRate").asDouble(), 96000.5);
  // A code with a byte of 0x80 or above is Mac Roman text; four letters are ASCII.
  EXPECT_EQ(runtime().encoding(Get(v2, "CodecVendor")), uint32_t(kREALEncodingMacRoman));
  EXPECT_EQ(Text(v2, "CodecVendor"), "\xC2\xA9" "abc");
  EXPECT_EQ(runtime().encoding(Get(v2, "CodecType")), uint32_t(kREALEncodingASCII));

  // A version the class cannot show gives nil, after the fetch was made.
  Value track = TrackWith(SoundMediaType, Entry("twos"_4cc, 36).u16(16, 3));
  EXPECT_TRUE(Fetch(track, "MediaSoundSampleDescription").isNil());
  EXPECT_EQ(LastError(track), 0);
}

TEST_F(DescriptionFetchTest, TextRecordColoursBoxAndStyle) {
  Entry e("text"_4cc, 58 + 1 + 7);
  e.u32(16, 0x2004).u32(20, 0xFFFFFFFF).u16(24, 0xFFFF).u16(26, 0x8000).u16(28, 0);
  e.u16(30, 10).u16(32, 20).u16(34, 110).u16(36, 220);
  e.u16(42, 14).u16(44, 11).u16(46, 3).u16(50, 12).u16(52, 0x1234).u16(54, 0xABCD).u16(56, 0xFF00);
  e.bytes[48] = 0x05;
  e.text(58, "\x07Palat\x94n");
  Value d = Fetch(TrackWith(TextMediaType, e), "MediaTextSampleDescription");
  ASSERT_TRUE(runtime().isA(d, "QTTextSampleDescriptionZQK"));
  EXPECT_EQ(Int(d, "DisplayFlags"), 0x2004);
  EXPECT_EQ(Int(d, "TextJustification"), -1);
  EXPECT_EQ(Get(d, "BackgroundColor").asColor(), 0xFF8000u);
  EXPECT_EQ(Get(d, "TextColor").asColor(), 0x12ABFFu);
  EXPECT_EQ(Int(d, "Top"), 10);
  EXPECT_EQ(Int(d, "Left"), 20);
  EXPECT_EQ(Int(d, "Height"), 100);
  EXPECT_EQ(Int(d, "Width"), 200);
  EXPECT_EQ(Int(d, "TextHeight"), 14);
  EXPECT_EQ(Int(d, "TextAscent"), 11);
  EXPECT_EQ(Int(d, "TextFontID"), 3);
  EXPECT_EQ(Int(d, "TextSize"), 12);
  EXPECT_EQ(Int(d, "TextFace"), 0);
  for (const char* style : {"Bold", "Underline"}) EXPECT_TRUE(Get(d, style).asBoolean()) << style;
  for (const char* style : {"Italic", "Outline", "Shadow", "Condense", "Extend"})
    EXPECT_FALSE(Get(d, style).asBoolean()) << style;
  EXPECT_EQ(Text(d, "DefaultFontName"), "Palat\xC3\xAEn");  // Mac Roman 0x94
}

TEST_F(DescriptionFetchTest, OtherTypesAndDispatch) {
  Value sprite = TrackWith(SpriteMediaType, Entry("sprt"_4cc, 28).u32(20, "rle "_4cc));
  EXPECT_EQ(Text(Fetch(sprite, "MediaSpriteSampleDescription"), "DecompressorType"), "rle ");
  Value flash = TrackWith(FlashMediaType, Entry("flsh"_4cc, 28).u32(20, "swf "_4cc));
  EXPECT_EQ(Text(Fetch(flash, "MediaSampleDescription"), "DecompressorType"), "swf ");
  Value three = Fetch(TrackWith(ThreeDeeMediaType, Entry("qd3d"_4cc, 28).u32(20, "ren1"_4cc).u32(24, "dec1"_4cc)),
                      "MediaThreeDeeSampleDescription");
  EXPECT_EQ(Text(three, "RendererType"), "ren1");
  EXPECT_EQ(Text(three, "DecompressorType"), "dec1");
  Value music = TrackWith(MusicMediaType, Entry("musi"_4cc, 24));
  EXPECT_TRUE(runtime().isA(Fetch(music, "MediaMusicSampleDescription"), "QTMusicSampleDescriptionZQK"));
  EXPECT_TRUE(runtime().isA(Fetch(music, "MediaSampleDescription"), "QTMusicSampleDescriptionZQK"));

  Value tmcd = Fetch(TrackWith(TimeCodeMediaType, Entry("tmcd"_4cc, 34)), "MediaSampleDescription");
  EXPECT_EQ(runtime().className(tmcd), "QTSampleDescriptionZQK");
  EXPECT_EQ(Text(tmcd, "CodecType"), "tmcd");

  // The wrong media type is refused before anything is fetched; a bad index after.
  EXPECT_TRUE(Fetch(music, "MediaSoundSampleDescription").isNil());
  EXPECT_EQ(LastError(music), -1);
  EXPECT_TRUE(Fetch(music, "MediaSampleDescription", 2).isNil());
  EXPECT_EQ(LastError(music), invalidSampleDescIndex);
  EXPECT_TRUE(Fetch(music, "MediaSampleDescriptionRaw", 0).isNil());
  EXPECT_EQ(LastError(music), invalidSampleDescIndex);

  Value empty = runtime().newObject("QTTrackZQK");
  for (const char* member : {"MediaVideoSampleDescription", "MediaSampleDescription", "MediaSampleDescriptionRaw"}) {
    EXPECT_TRUE(Fetch(empty, member).isNil()) << member;
    EXPECT_EQ(LastError(empty), -1) << member;
  }
}

// Records end where their bytes end: fields past the end stay zero, and names
// are cut to the room their field and the record have.
TEST_F(DescriptionFetchTest, ShortRecordsAndOverlongNamesStayInside) {
  Value header = Fetch(TrackWith(VideoMediaType, Entry("jpeg"_4cc, 16)), "MediaVideoSampleDescription");
  EXPECT_EQ(Text(header, "CodecType"), "jpeg");
  EXPECT_EQ(Text(header, "CodecVendor"), "<nil>");
  EXPECT_EQ(Int(header, "Width"), 0);

  Value video = Fetch(TrackWith(VideoMediaType, Entry("jpeg"_4cc, 39).u16(32, 64).u16(34, 48).u16(36, 72)),
                      "MediaVideoSampleDescription");
  EXPECT_EQ(Int(video, "Height"), 48);
  EXPECT_EQ(Get(video, "HorizontalResolution").asDouble(), 0.0);  // one byte short
  EXPECT_EQ(Text(video, "CodecName"), "<nil>");

  Entry longName("jpeg"_4cc, 86);
  longName.bytes[50] = 200;
  for (size_t i = 51; i < 82; ++i) longName.bytes[i] = 'a';
  longName.u16(82, 0x4142);  // depth bytes must not join the name
  EXPECT_EQ(Text(Fetch(TrackWith(VideoMediaType, longName), "MediaSampleDescription"), "CodecName"),
            std::string(31, 'a'));

  Entry textName("text"_4cc, 62);
  textName.text(58, "\xFFRom");
  EXPECT_EQ(Text(Fetch(TrackWith(TextMediaType, textName), "MediaSampleDescription"), "DefaultFontName"), "Rom");
  Entry emptyName("text"_4cc, 59);
  EXPECT_EQ(Text(Fetch(TrackWith(TextMediaType, emptyName), "MediaSampleDescription"), "DefaultFontName"),
            "<nil>");

  Value sound = Fetch(TrackWith(SoundMediaType, Entry("twos"_4cc, 30).u16(24, 1).u16(26, 8)),
                      "MediaSoundSampleDescription");
  EXPECT_EQ(Int(sound, "ChannelCount"), 1);
  EXPECT_EQ(Get(sound, "SampleRate").asDouble(), 0.0);
  Value v2 = Fetch(TrackWith(SoundMediaType, Entry("lpcm"_4cc, 52).u16(16, 2).u32(48, 6)),
                   "MediaSoundSampleDescription");
  EXPECT_EQ(Int(v2, "ChannelCount"), 6);
  EXPECT_EQ(Int(v2, "SampleSize"), 0);
}

}  // namespace
