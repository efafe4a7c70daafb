// Chapter tracks as user code builds, finds, reads and removes them.
#include "chapter_movies.h"

#include <QuickTime/TextMedia.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using rt::Value;

Value I(int64_t v) { return Value::integer(v); }

class ChapterTest : public EngineMovieTest {
 protected:
  // A movie in time scale 1000 whose video track (media in 600) lasts 4 s.
  Value LoadWithVideo() {
    Load();
    qtMovie_ = NewEngineMovie(1000);
    video_ = AddVideoTrack(qtMovie_);
    return runtime().newMovie(qtMovie_);
  }

  Value Chapter(const std::string& text, int64_t duration) {
    rt::Runtime& rt = runtime();
    Value c = rt.newObject("QTChapterDataZQK");
    rt.set(c, "Text", rt.string(text));
    rt.set(c, "FrameDuration", I(duration));
    return c;
  }

  // Chapters of 1 s, 2 s and 1 s of movie time.
  Value AddThreeChapters(const Value& movie, bool isChapterTrack = true) {
    rt::Runtime& rt = runtime();
    Value chapters = rt.newObjectArray({Chapter("Intro", 1000), Chapter(kUnicodeTitle, 2000), Chapter("End", 1000)});
    return rt.call(movie, "AddTextTrackZQK", {chapters, rt.string("vide"), Value::boolean(isChapterTrack)});
  }

  static constexpr const char* kUnicodeTitle = "Caf\u00e9 \u2014 \u6771\u4eac \U0001F3AC";
  Movie qtMovie_ = nullptr;
  Track video_ = nullptr;
};

// Records in, the same count, times (in movie time) and text out, ASCII or not;
// every way of finding the chapter track agrees on which track it is.
TEST_F(ChapterTest, ChaptersRoundTripAndEveryLookupAgrees) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value track = AddThreeChapters(movie);
  ASSERT_FALSE(track.isNil());
  EXPECT_EQ(rt.className(track), "QTChapterTrackZQK");

  EXPECT_EQ(rt.call(track, "ChapterCount").asInteger(), 3);
  const std::vector<int64_t> times = {0, 1000, 3000};
  for (size_t i = 0; i < times.size(); ++i)
    EXPECT_EQ(rt.call(track, "GetChapterTime", {I(int64_t(i) + 1)}).asInteger(), times[i]) << i;
  EXPECT_EQ(rt.call(track, "GetChapterTime", {I(0)}).asInteger(), -1);
  EXPECT_EQ(rt.call(track, "GetChapterTime", {I(4)}).asInteger(), -1);

  EXPECT_EQ(rt.call(track, "GetFirstChapterTime").asInteger(), 0);
  EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), 0);
  EXPECT_EQ(rt.call(track, "GetNextChapterTime", {I(0)}).asInteger(), 1000);
  EXPECT_EQ(rt.call(track, "GetNextChapterTime", {I(3000)}).asInteger(), -1);

  EXPECT_EQ(Text(rt.call(track, "ChapterText", {I(0)})), "Intro");
  EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), 0);
  EXPECT_EQ(Text(rt.call(track, "ChapterText", {I(2999)})), kUnicodeTitle);
  EXPECT_EQ(Text(rt.call(track, "ChapterText", {I(3000)})), "End");
  EXPECT_TRUE(rt.call(track, "ChapterText", {I(4000)}).isNil());
  EXPECT_NE(rt.get(track, "Lasterror").asInteger(), 0);

  Track textTrack = HandleOf(track);
  EXPECT_TRUE(rt.call(track, "IsChapterTrack").asBoolean());
  EXPECT_FALSE(rt.call(track, "HasChapterTrack").asBoolean());
  Value videoObject = rt.call(movie, "GetVideoTrackZQK", {I(1)});
  EXPECT_FALSE(rt.call(videoObject, "IsChapterTrack").asBoolean());
  EXPECT_TRUE(rt.call(videoObject, "HasChapterTrack").asBoolean());
  Value viaVideo = rt.call(videoObject, "ChapterTrack");
  EXPECT_EQ(rt.className(viaVideo), "QTChapterTrackZQK");
  EXPECT_EQ(HandleOf(viaVideo), textTrack);
  Value viaMovie = rt.call(movie, "ChapterTrackZQK");
  EXPECT_EQ(HandleOf(viaMovie), textTrack);
  EXPECT_TRUE(rt.call(movie, "HasQTChapterTrackZQK").asBoolean());

  // As wide as the video, 20 high, enabled, moved down by the video's height.
  EXPECT_EQ(rt.call(track, "Width").asInteger(), 320);
  EXPECT_EQ(rt.call(track, "Height").asInteger(), 20);
  EXPECT_TRUE(rt.get(track, "TrackEnabled").asBoolean());
  MatrixRecord m;
  GetTrackMatrix(textTrack, &m);
  EXPECT_EQ(m.matrix[2][1], 240 << 16);

  // Only an enabled main track counts for the movie's lookups.
  SetTrackEnabled(video_, false);
  EXPECT_TRUE(rt.call(movie, "ChapterTrackZQK").isNil());
  EXPECT_FALSE(rt.call(movie, "HasQTChapterTrackZQK").asBoolean());
}

// "Intro" is stored as UTF-16 with its mark, after the 16-bit length, then the
// modifier atoms: the encoding, and a text box that is the video's whole frame.
TEST_F(ChapterTest, IntroSampleIsLengthMarkAndBigEndianText) {
  Value movie = LoadWithVideo();
  Value track = AddThreeChapters(movie);
  const std::vector<uint8_t> sample = SampleBytes(HandleOf(track), 0);
  const std::vector<uint8_t> text = {0x00, 0x0C, 0xFE, 0xFF, 0x00, 0x49, 0x00, 0x6E,
                                     0x00, 0x74, 0x00, 0x72, 0x00, 0x6F};
  ASSERT_GT(sample.size(), text.size());
  EXPECT_EQ(std::vector<uint8_t>(sample.begin(), sample.begin() + 14), text);

  bool sawEncoding = false, sawBox = false;
  for (size_t at = 14; at + 8 <= sample.size();) {
    const uint32_t size = Be32(sample, at);
    ASSERT_GE(size, 8u);
    ASSERT_LE(at + size, sample.size());
    if (Be32(sample, at + 4) == kTextEncoding) {
      sawEncoding = true;
      EXPECT_EQ(Be32(sample, at + 8), 0x100u);
    }
    if (Be32(sample, at + 4) == kTextTextBox) {
      sawBox = true;
      EXPECT_EQ(std::vector<uint8_t>(sample.begin() + at + 8, sample.begin() + at + 16),
                (std::vector<uint8_t>{0, 0, 0, 0, 0, 240, 1, 64}));  // top, left, bottom, right
    }
    at += size;
  }
  EXPECT_TRUE(sawEncoding);
  EXPECT_TRUE(sawBox);
}

// Text samples written by other programs: plain bytes are read as ASCII; a
// length that claims more than the sample holds reads only what is there, not
// the next sample of the same size; the mark right after the length makes the
// text UTF-16 even where the length leaves it none (nil).
TEST_F(ChapterTest, SamplesWithoutMarkAndWithOverlongLength) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Track text = NewMovieTrack(qtMovie_, 320 << 16, 20 << 16, 0);
  Media media = NewTrackMedia(text, TextMediaType, 600, nullptr, 0);
  BeginMediaEdits(media);
  char plain[] = "Plain";
  TextMediaAddTextSample(GetMediaHandler(media), plain, 5, 0, 12, 0, nullptr, nullptr, teCenter, nullptr,
                         dfClipToTextBox, 0, 0, 0, nullptr, 600, nullptr);
  Handle desc = NewHandle(0);
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  const uint8_t samples[2][4] = {{0x01, 0x00, 'a', 'b'}, {0x00, 0x01, 0xFE, 0xFF}};
  for (const uint8_t* sample : samples) {
    Handle data = nullptr;
    PtrToHand(sample, &data, 4);
    AddMediaSample(media, data, 0, 4, 600, reinterpret_cast<SampleDescriptionHandle>(desc), 1, 0, nullptr);
    DisposeHandle(data);
  }
  EndMediaEdits(media);
  DisposeHandle(desc);
  InsertMediaIntoTrack(text, 0, 0, GetMediaDuration(media), fixed1);

  Value track = rt.call(movie, "GetTextTrackZQK", {I(1)});
  EXPECT_EQ(rt.call(track, "ChapterCount").asInteger(), 3);
  EXPECT_EQ(Text(rt.call(track, "ChapterText", {I(0)})), "Plain");
  EXPECT_EQ(Text(rt.call(track, "ChapterText", {I(1000)})), "ab");
  EXPECT_TRUE(rt.call(track, "ChapterText", {I(2000)}).isNil());
  EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), 0);
  EXPECT_FALSE(rt.call(track, "IsChapterTrack").asBoolean());
}

// Each chapter's style bits reach its text sample, and of its colours only those
// it says it has.
TEST_F(ChapterTest, StyleBitsAndColoursReachEachSample) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value some = Chapter("Some", 1000), others = Chapter("Others", 1000);
  for (const char* name : {"bold", "outline", "condense", "HasBackColor", "HasHighLightColor"})
    rt.set(some, name, Value::boolean(true));
  for (const char* name : {"italic", "underline", "shadow", "extend", "HasTextColor"})
    rt.set(others, name, Value::boolean(true));
  for (const Value& c : {some, others}) {
    rt.set(c, "TextColor", Value::color(0xFF8000));
    rt.set(c, "BackColor", Value::color(0x0000FF));
    rt.set(c, "HighLightColor", Value::color(0x123456));
  }
  StartLog();
  rt.call(movie, "AddTextTrackZQK", {rt.newObjectArray({some, others}), rt.string("vide"), Value::boolean(true)});
  const std::vector<std::string> added = Logged("TextMediaAddTextSample");
  ASSERT_EQ(added.size(), 2u);
  const std::vector<std::vector<const char*>> expected = {
      {"face=41", "textColor=NULL", "backColor={red=0,green=0,blue=65535}",
       "hiliteColor={red=4626,green=13364,blue=22102}"},
      {"face=86", "textColor={red=65535,green=32896,blue=0}", "backColor=NULL", "hiliteColor=NULL"}};
  for (size_t i = 0; i < 2; ++i)
    for (const char* part : expected[i]) EXPECT_NE(added[i].find(part), std::string::npos) << part << " in " << added[i];
}

// What AddTextTrackZQK refuses, and what it still builds.
TEST_F(ChapterTest, MissingMainTrackEmptyArrayAndZeroDurations) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value one = rt.newObjectArray({Chapter("A", 1000)});
  EXPECT_TRUE(rt.call(movie, "AddTextTrackZQK", {one, rt.string("soun"), Value::boolean(true)}).isNil());
  EXPECT_TRUE(rt.call(movie, "AddTextTrackZQK", {Value(), rt.string("vide"), Value::boolean(true)}).isNil());
  EXPECT_EQ(GetMovieTrackCount(qtMovie_), 1);

  Value empty = rt.call(movie, "AddTextTrackZQK", {rt.newObjectArray({}), rt.string("vide"), Value::boolean(false)});
  ASSERT_FALSE(empty.isNil());
  EXPECT_EQ(rt.call(empty, "ChapterCount").asInteger(), 0);
  EXPECT_TRUE(rt.get(empty, "TrackEnabled").asBoolean());
  EXPECT_EQ(rt.call(empty, "GetFirstChapterTime").asInteger(), -1);

  // A chapter without duration adds no sample; nil elements are skipped.
  Value mixed = rt.newObjectArray({Chapter("none", 0), Value(), Chapter("kept", 500)});
  Value track = rt.call(movie, "AddTextTrackZQK", {mixed, rt.string("vide"), Value::boolean(false)});
  EXPECT_EQ(rt.call(track, "ChapterCount").asInteger(), 1);
  EXPECT_EQ(Text(rt.call(track, "ChapterText", {I(0)})), "kept");
  EXPECT_EQ(GetTrackReferenceCount(video_, kTrackReferenceChapterList), 0);
}

TEST_F(ChapterTest, LinkingAndUnlinkingAChapterTrack) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value track = AddThreeChapters(movie, false);
  EXPECT_FALSE(rt.call(track, "IsChapterTrack").asBoolean());

  rt.call(track, "SetTextTrackAsChapterTrack", {rt.string("vide"), Value::boolean(true)});
  EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), 0);
  EXPECT_EQ(GetTrackReference(video_, kTrackReferenceChapterList, 1), HandleOf(track));
  EXPECT_TRUE(rt.call(track, "IsChapterTrack").asBoolean());
  rt.call(track, "SetTextTrackAsChapterTrack", {rt.string("vide"), Value::boolean(false)});
  EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), 0);
  EXPECT_FALSE(rt.call(track, "IsChapterTrack").asBoolean());

  rt.call(track, "SetTextTrackAsChapterTrack", {rt.string("soun"), Value::boolean(true)});
  EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), paramErr);

  // A track object of nobody's: nothing is asked, nothing found.
  Value bare = rt.newObject("QTChapterTrackZQK");
  rt.call(bare, "SetTextTrackAsChapterTrack", {rt.string("vide"), Value::boolean(true)});
  EXPECT_EQ(rt.get(bare, "Lasterror").asInteger(), -1);
  EXPECT_EQ(rt.call(bare, "ChapterCount").asInteger(), 0);
  EXPECT_TRUE(rt.call(bare, "ChapterText", {I(0)}).isNil());
}

// Removing text tracks takes every reference to them along; index 0 (and
// 65536, the same in 16 bits) removes them all.
TEST_F(ChapterTest, RemovingTextTracksRemovesTheirReferences) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  for (int64_t all : {0, 65536}) {
    SCOPED_TRACE(all);
    AddThreeChapters(movie);
    AddThreeChapters(movie);
    ASSERT_EQ(GetTrackReferenceCount(video_, kTrackReferenceChapterList), 2);
    EXPECT_EQ(rt.call(movie, "RemoveTextTrackZQK", {I(all)}).asInteger(), 0);
    EXPECT_EQ(TracksOfType(qtMovie_, TextMediaType), 0);
    EXPECT_EQ(GetTrackReferenceCount(video_, kTrackReferenceChapterList), 0);
    EXPECT_EQ(rt.call(movie, "RemoveTextTrackZQK", {I(all)}).asInteger(), badTrackIndex);
  }

  Value first = AddThreeChapters(movie);
  Value second = AddThreeChapters(movie);
  EXPECT_EQ(rt.call(movie, "RemoveTextTrackZQK", {I(2)}).asInteger(), 0);
  EXPECT_EQ(GetMovieIndTrackType(qtMovie_, 1, TextMediaType, movieTrackMediaType), HandleOf(first));
  EXPECT_EQ(GetTrackReferenceCount(video_, kTrackReferenceChapterList), 1);
  EXPECT_EQ(GetTrackReference(video_, kTrackReferenceChapterList, 1), HandleOf(first));
  EXPECT_EQ(rt.call(movie, "RemoveTextTrackZQK", {I(2)}).asInteger(), badTrackIndex);

  Value unavailable = rt.newMovie(nullptr);
  EXPECT_EQ(rt.call(unavailable, "RemoveTextTrackZQK", {I(0)}).asInteger(), -1);
}

// Loops that rely on QuickTime making progress still end when it makes none.
TEST_F(ChapterTest, WalksEndWhenQuickTimeMakesNoProgress) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value track = AddThreeChapters(movie);
  AddThreeChapters(movie);

  QTEngineHookInjectResult("DisposeMovieTrack", 0, 0);
  StartLog();
  EXPECT_EQ(rt.call(movie, "RemoveTextTrackZQK", {I(0)}).asInteger(), 0);
  EXPECT_EQ(DisposeCalls(), 1);
  EXPECT_EQ(TracksOfType(qtMovie_, TextMediaType), 2);

  // A search that answers nothing: no chapter to count or find, but the first
  // chapter time reads its preset 0.
  QTEngineHookInjectResult("GetTrackNextInterestingTime", 0, 0);
  EXPECT_EQ(rt.call(track, "ChapterCount").asInteger(), 0);
  EXPECT_EQ(rt.call(track, "GetChapterTime", {I(1)}).asInteger(), -1);
  EXPECT_EQ(rt.call(track, "GetFirstChapterTime").asInteger(), 0);
}

// On hosts without QuickTime every chapter and time code member of `movie`
// raises before QuickTime is asked anything.
TEST_F(ChapterTest, MovieMembersAreGatedOnNewerHosts) {
  Load(2014.0);
  rt::Runtime& rt = runtime();
  qtMovie_ = NewEngineMovie(600);
  AddVideoTrack(qtMovie_);
  Value movie = rt.newMovie(qtMovie_);
  Value chapters = rt.newObjectArray({Chapter("A", 10)});
  Value parameters = rt.newObject("QTTimeCodeCreationParametersZQK");
  StartLog();
  const std::vector<std::pair<const char*, std::vector<Value>>> calls = {
      {"AddTextTrackZQK", {chapters, rt.string("vide"), Value::boolean(true)}},
      {"RemoveTextTrackZQK", {I(0)}},
      {"ChapterTrackZQK", {}},
      {"HasQTChapterTrackZQK", {}},
      {"DeleteTimeCodeTracksZQK", {}},
      {"HasTimeCodeTrackZQK", {}},
      {"CurrentTimeCodeStringZQK", {}},
      {"AddTimeCodeToMovieZQK", {parameters}},
      {"TimeCodeDisplayedZQK", {}},
  };
  for (const auto& [name, args] : calls) {
    try {
      rt.call(movie, name, args);
      ADD_FAILURE() << name << " did not raise";
    } catch (const rt::HostException& e) {
      EXPECT_EQ(e.className(), "UnsupportedOperationException") << name;
    }
  }
  EXPECT_THROW(rt.set(movie, "TimeCodeDisplayedZQK", Value::boolean(true)), rt::HostException);
  EXPECT_EQ(QTEngineHookCallLogCount(), 0);
  EXPECT_EQ(GetMovieTrackCount(qtMovie_), 1);
}

}  // namespace
