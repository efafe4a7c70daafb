// The text media handler: sample bytes in the text sample layout, the modifier
// atoms, the 'text' descriptions and the checks on what a caller passes.
#include "engine_support.h"

#include <map>
#include <string>

using namespace enginetest;

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t be32(const Bytes& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}
uint16_t be16(const Bytes& b, size_t at) { return uint16_t((b[at] << 8) | b[at + 1]); }

struct Sample {
  Bytes text;
  std::vector<std::pair<OSType, Bytes>> atoms;  // in order
};

Sample parse(const Bytes& b) {
  Sample s;
  size_t length = be16(b, 0);
  s.text.assign(b.begin() + 2, b.begin() + 2 + long(length));
  for (size_t at = 2 + length; at + 8 <= b.size();) {
    uint32_t size = be32(b, at);
    EXPECT_GE(size, 8u);
    EXPECT_LE(at + size, b.size());
    if (size < 8 || at + size > b.size()) break;
    s.atoms.emplace_back(be32(b, at + 4), Bytes(b.begin() + long(at + 8), b.begin() + long(at + size)));
    at += size;
  }
  return s;
}

std::vector<OSType> typesOf(const Sample& s) {
  std::vector<OSType> t;
  for (auto& a : s.atoms) t.push_back(a.first);
  return t;
}

// A text track 320x40 in a 600 movie, its media in an edit session.
class TextMedia : public ::testing::Test {
 protected:
  void SetUp() override {
    track = NewMovieTrack(movie, 320 << 16, 40 << 16, 0);
    media = NewTrackMedia(track, TextMediaType, 600, nullptr, 0);
    mh = GetMediaHandler(media);
    ASSERT_EQ(BeginMediaEdits(media), noErr);
  }
  void TearDown() override { QTEngineHookReset(); }

  // A plain sample: Monaco 12 bold, black on white, centred, clipped to its box.
  ComponentResult add(const std::string& text, TimeValue duration = 300, SInt32 flags = dfClipToTextBox,
                      Rect* box = nullptr, TimeValue* at = nullptr) {
    return TextMediaAddTextSample(mh, const_cast<char*>(text.data()), UInt32(text.size()), 4, 12, 1, nullptr,
                                  nullptr, teCenter, box, flags, 0, 0, 0, nullptr, duration, at);
  }
  Bytes sampleAt(TimeValue t) {
    HandleHolder h;
    SInt32 size = 0;
    EXPECT_EQ(GetMediaSample(media, h, 0, &size, t, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr), noErr);
    return h.bytes();
  }
  Bytes descriptionAt(SInt32 index) {
    HandleHolder h;
    GetMediaSampleDescription(media, index, reinterpret_cast<SampleDescriptionHandle>(h.h));
    EXPECT_EQ(GetMoviesError(), noErr);
    return h.bytes();
  }

  MovieHolder movie{600};
  Track track = nullptr;
  Media media = nullptr;
  MediaHandler mh = nullptr;
};

TEST_F(TextMedia, ChapterSampleIsLengthTextThenModifierAtoms) {
  const uint8_t intro[] = {0xFE, 0xFF, 0, 'I', 0, 'n', 0, 't', 0, 'r', 0, 'o'};
  UInt32 encoding = 0x100;
  ASSERT_EQ(TextMediaSetTextSampleData(mh, &encoding, kTextEncoding), noErr);
  Rect box{0, 0, 240, 320};
  RGBColor red{0xFFFF, 0, 0}, yellow{0xFFFF, 0xFFFF, 0};
  TimeValue at = -1;
  ASSERT_EQ(TextMediaAddTextSample(mh, reinterpret_cast<Ptr>(const_cast<uint8_t*>(intro)), sizeof intro, 4, 18,
                                   1 | 4, &red, nullptr, teCenter, &box, dfClipToTextBox, 30, 2, 5, &yellow, 600,
                                   &at),
            noErr);
  EXPECT_EQ(at, 0);
  EXPECT_EQ(GetMediaDuration(media), 600);

  Bytes b = sampleAt(0);
  ASSERT_GE(b.size(), 14u);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 14), (Bytes{0, 12, 0xFE, 0xFF, 0, 'I', 0, 'n', 0, 't', 0, 'r', 0, 'o'}));
  Sample s = parse(b);
  ASSERT_EQ(typesOf(s), (std::vector<OSType>{kTextStyle, kTextHilite, kTextHiliteColor, kTextTextBox,
                                             kTextScrollDelay, kTextEncoding}));
  // One style run from 0: Monaco (4) at 18 points is 18 high with ascent 18 and
  // descent 5 (the font table's per-mille metrics), bold and underlined, red.
  EXPECT_EQ(s.atoms[0].second, (Bytes{0, 1, 0, 0, 0, 0, 0, 23, 0, 18, 0, 4, 5, 0, 0, 18, 0xFF, 0xFF, 0, 0, 0, 0}));
  EXPECT_EQ(s.atoms[1].second, (Bytes{0, 0, 0, 2, 0, 0, 0, 5}));
  EXPECT_EQ(s.atoms[2].second, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
  EXPECT_EQ(s.atoms[3].second, (Bytes{0, 0, 0, 0, 0, 240, 1, 64}));
  EXPECT_EQ(s.atoms[4].second, (Bytes{0, 0, 0, 30}));
  EXPECT_EQ(s.atoms[5].second, (Bytes{0, 0, 1, 0}));

  // Data set ahead applies to the next sample only; no highlight, box or delay
  // given means no atoms for them.
  ASSERT_EQ(add("Second", 300), noErr);
  EXPECT_EQ(typesOf(parse(sampleAt(600))), (std::vector<OSType>{kTextStyle}));
  EXPECT_EQ(parse(sampleAt(600)).text, (Bytes{'S', 'e', 'c', 'o', 'n', 'd'}));
}

TEST_F(TextMedia, DescriptionHoldsTheFirstSamplesDefaults) {
  RGBColor blue{0, 0, 0xFFFF}, grey{0x8080, 0x8080, 0x8080};
  ASSERT_EQ(TextMediaAddTextSample(mh, const_cast<char*>("A"), 1, 4, 0, 2, &blue, &grey, teFlushRight, nullptr,
                                   dfClipToTextBox | dfAntiAlias, 0, 0, 0, nullptr, 100, nullptr),
            noErr);
  Bytes d = descriptionAt(1);
  ASSERT_GE(d.size(), 65u);
  EXPECT_EQ(be32(d, 0), d.size());
  EXPECT_EQ(be32(d, 4), TextMediaType);
  EXPECT_EQ(be16(d, 14), 1);  // the media's own data reference
  EXPECT_EQ(be32(d, 16), uint32_t(dfClipToTextBox | dfAntiAlias));
  EXPECT_EQ(int32_t(be32(d, 20)), teFlushRight);
  EXPECT_EQ(Bytes(d.begin() + 24, d.begin() + 30), (Bytes{0x80, 0x80, 0x80, 0x80, 0x80, 0x80}));
  EXPECT_EQ(Bytes(d.begin() + 30, d.begin() + 38), (Bytes{0, 0, 0, 0, 0, 40, 1, 64}));  // the track's bounds
  EXPECT_EQ(be16(d, 46), 4);   // font
  EXPECT_EQ(d[48], 2);         // italic
  EXPECT_EQ(be16(d, 50), 12);  // size 0 means 12 points
  EXPECT_EQ(Bytes(d.begin() + 52, d.begin() + 58), (Bytes{0, 0, 0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(std::string(d.begin() + 59, d.begin() + 59 + d[58]), "Monaco");
  size_t ftab = 59 + d[58];
  EXPECT_EQ(be32(d, ftab + 4), kTextFontTable);
  EXPECT_EQ(be16(d, ftab + 10), 4);

  // Other fonts keep the description; other display flags, justification or
  // background need a description of their own, shared by samples that match it.
  ASSERT_EQ(TextMediaAddTextSample(mh, const_cast<char*>("B"), 1, 22, 9, 0, nullptr, &grey, teFlushRight, nullptr,
                                   dfClipToTextBox | dfAntiAlias, 0, 0, 0, nullptr, 100, nullptr),
            noErr);
  EXPECT_EQ(GetMediaSampleDescriptionCount(media), 1);
  ASSERT_EQ(add("C", 100, dfClipToTextBox), noErr);
  ASSERT_EQ(add("D", 100, dfClipToTextBox), noErr);
  EXPECT_EQ(GetMediaSampleDescriptionCount(media), 2);
  SInt32 index = 0;
  ASSERT_EQ(GetMediaSample(media, nullptr, 0, nullptr, 350, nullptr, nullptr, nullptr, &index, 1, nullptr, nullptr),
            noErr);
  EXPECT_EQ(index, 2);
}

TEST_F(TextMedia, BadArgumentsAddNothing) {
  Rect box{0, 0, 10, 10};
  auto tryAdd = [&](Ptr text, UInt32 size, short hiliteStart, short hiliteEnd, TimeValue delay, TimeValue duration) {
    return TextMediaAddTextSample(mh, text, size, 0, 12, 0, nullptr, nullptr, 0, &box, 0, delay, hiliteStart,
                                  hiliteEnd, nullptr, duration, nullptr);
  };
  char text[] = "abc";
  EXPECT_EQ(tryAdd(text, 3, 3, 1, 0, 100), paramErr);  // highlight ends before it starts
  EXPECT_EQ(tryAdd(text, 3, 0, 0, -1, 100), paramErr);
  EXPECT_EQ(tryAdd(nullptr, 3, 0, 0, 0, 100), paramErr);
  EXPECT_EQ(tryAdd(text, 0x10000, 0, 0, 0, 100), paramErr);  // longer than the 16-bit length
  EXPECT_EQ(tryAdd(text, 3, 0, 0, 0, 0), invalidDuration);
  UInt8 wrap = 2;
  EXPECT_EQ(TextMediaSetTextSampleData(mh, &wrap, kTextWrap), paramErr);
  EXPECT_EQ(TextMediaSetTextSampleData(mh, &wrap, "what"_4cc), paramErr);
  EXPECT_EQ(TextMediaSetTextSampleData(mh, nullptr, kTextEncoding), paramErr);
  EXPECT_EQ(GetMediaSampleCount(media), 0);

  // An empty text is a sample (it clears the display), and a negative start is no highlight.
  EXPECT_EQ(tryAdd(nullptr, 0, -1, 4, 0, 100), noErr);
  EXPECT_EQ(typesOf(parse(sampleAt(0))), (std::vector<OSType>{kTextStyle, kTextTextBox}));

  ASSERT_EQ(EndMediaEdits(media), noErr);
  EXPECT_EQ(add("late"), invalidEditState);
  Track other = NewMovieTrack(movie, 0, 0, 0);
  MediaHandler tc = GetMediaHandler(NewTrackMedia(other, TimeCodeMediaType, 600, nullptr, 0));
  UInt32 encoding = 0x100;
  EXPECT_EQ(TextMediaSetTextSampleData(tc, &encoding, kTextEncoding), badComponentSelector);
  EXPECT_EQ(GetMediaSampleCount(media), 1);
}

TEST_F(TextMedia, CallsAreLoggedWithTheirArguments) {
  QTEngineHookSetLogging(true);
  UInt32 encoding = 0x100;
  ASSERT_EQ(TextMediaSetTextSampleData(mh, &encoding, kTextEncoding), noErr);
  Rect box{1, 2, 3, 4};
  ASSERT_EQ(add("Hi\x01", 300, dfClipToTextBox, &box), noErr);
  std::string serial = std::to_string(QTEngineHookObjectSerial(mh));
  EXPECT_EQ(std::string(QTEngineHookCallLogEntry(0)),
            "TextMediaSetTextSampleData(mh=" + serial + ", type='encd', data=0x100)");
  EXPECT_EQ(std::string(QTEngineHookCallLogEntry(1)),
            "TextMediaAddTextSample(mh=" + serial +
                ", text=\"Hi\\x01\", size=3, font=4, fontSize=12, face=1, textColor=NULL, backColor=NULL, "
                "justification=1, textBox={top=1,left=2,bottom=3,right=4}, displayFlags=4, scrollDelay=0, "
                "hiliteStart=0, hiliteEnd=0, hiliteColor=NULL, duration=300)");
}

}  // namespace
