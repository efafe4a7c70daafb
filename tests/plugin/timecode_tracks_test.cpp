// Time code tracks as user code adds, reads, shows and deletes them, and the
// track's time code conversions.
#include "chapter_movies.h"

#include <FontTable.h>
#include <QuickTime/TimeCodeMedia.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using rt::Value;

Value I(int64_t v) { return Value::integer(v); }
Value B(bool v) { return Value::boolean(v); }

class TimeCodeTest : public EngineMovieTest {
 protected:
  // A movie in `scale` with a 320 × 240 video track lasting `seconds`.
  Value LoadWithVideo(TimeScale scale = 600, int seconds = 4) {
    Load();
    qtMovie_ = NewEngineMovie(scale);
    video_ = AddVideoTrack(qtMovie_, 1, 600 * seconds);
    return runtime().newMovie(qtMovie_);
  }
  Value Parameters() { return runtime().newObject("QTTimeCodeCreationParametersZQK"); }
  Track TimeCodeTrack(SInt32 index = 1) {
    return GetMovieIndTrackType(qtMovie_, index, TimeCodeMediaType, movieTrackMediaType);
  }
  // The start frame number the track's one sample holds.
  int32_t StartFrame(Track track) { return static_cast<int32_t>(Be32(SampleBytes(track, 0), 0)); }

  Movie qtMovie_ = nullptr;
  Track video_ = nullptr;
};

// Defaults: 29.97 drop-frame, 24-hour, named source, linked from the video,
// hidden; the time code follows the movie's current time.
TEST_F(TimeCodeTest, DefaultTrackStartsAtItsTimeCodeAndFollowsCurrentTime) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value p = Parameters();
  rt.set(p, "Hours", I(1));
  EXPECT_FALSE(rt.call(movie, "HasTimeCodeTrackZQK").asBoolean());
  EXPECT_TRUE(rt.call(movie, "CurrentTimeCodeStringZQK").isNil());
  ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);

  EXPECT_TRUE(rt.call(movie, "HasTimeCodeTrackZQK").asBoolean());
  Track tc = TimeCodeTrack();
  ASSERT_NE(tc, nullptr);
  EXPECT_EQ(GetTrackReference(video_, kTrackReferenceTimeCode, 1), tc);
  EXPECT_EQ(GetTrackDuration(tc), GetMovieDuration(qtMovie_));
  const std::vector<uint8_t> desc = DescriptionBytes(tc);
  ASSERT_GE(desc.size(), 34u);
  EXPECT_EQ(Be32(desc, 4), TimeCodeMediaType);
  EXPECT_EQ(Be32(desc, 20), uint32_t(tcDropFrame | tc24HourMax));
  EXPECT_EQ(Be32(desc, 24), 2997u);
  EXPECT_EQ(Be32(desc, 28), 100u);
  EXPECT_EQ(desc[32], 30);
  EXPECT_EQ(StartFrame(tc), 107892);  // 01:00:00;00

  EXPECT_FALSE(GetTrackEnabled(tc));
  EXPECT_FALSE(rt.get(movie, "TimeCodeDisplayedZQK").asBoolean());
  MatrixRecord m;
  GetTrackMatrix(tc, &m);
  EXPECT_EQ(m.matrix[2][1], 240 << 16);  // below the video
  Fixed width = 0, height = 0;
  GetTrackDimensions(tc, &width, &height);
  EXPECT_EQ(width, 320 << 16);

  EXPECT_EQ(Text(rt.call(movie, "CurrentTimeCodeStringZQK")), "01:00:00;00");
  SetMovieTimeValue(qtMovie_, 600);  // 1 s: 29.97 frames
  EXPECT_EQ(Text(rt.call(movie, "CurrentTimeCodeStringZQK")), "01:00:00;29");
  SetMovieTimeValue(qtMovie_, 1200);
  EXPECT_EQ(Text(rt.call(movie, "CurrentTimeCodeStringZQK")), "01:00:01;29");

  Value track = rt.call(movie, "GetTrackIndexZQK", {I(2)});
  Value now = rt.call(track, "CurrentTimeCode");
  ASSERT_FALSE(now.isNil());
  EXPECT_EQ(rt.get(now, "FrameNumber").asInteger(), 107892 + 59);
  EXPECT_EQ(Text(rt.get(now, "SourceName")), "ZQK REALbasic Plugin");
  EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), 0);
}

// The definition and start time code in the modes user code can ask for.
TEST_F(TimeCodeTest, CounterAndNegativeStarts) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value counter = Parameters();
  rt.set(counter, "UseTimeCode", B(false));
  rt.set(counter, "CounterStartValue", I(500));
  rt.set(counter, "SourceName", rt.string(""));
  ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {counter}).asInteger(), 0);
  Value track = rt.call(movie, "GetTrackIndexZQK", {I(2)});
  Value start = rt.call(track, "TimeCodeAtTime", {I(0)});
  ASSERT_FALSE(start.isNil());
  EXPECT_EQ(rt.get(start, "Flags").asInteger(), tcCounter);
  EXPECT_EQ(rt.get(start, "Counter").asInteger(), 500);
  EXPECT_EQ(Text(rt.call(track, "TimeCodeToString", {start})), "500");
  EXPECT_TRUE(rt.get(start, "SourceName").isNil());
  rt.call(movie, "DeleteTimeCodeTracksZQK");

  Value negative = Parameters();
  rt.set(negative, "IsNeg", B(true));
  rt.set(negative, "Minutes", I(5));
  rt.set(negative, "DropFrames", B(false));  // 00:05:00;00 is a label drop-frame skips
  ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {negative}).asInteger(), 0);
  track = rt.call(movie, "GetTrackIndexZQK", {I(2)});
  start = rt.call(track, "TimeCodeAtTime", {I(0)});
  ASSERT_FALSE(start.isNil());
  EXPECT_EQ(rt.get(start, "Flags").asInteger(), tc24HourMax | tcNegTimesOK);
  EXPECT_EQ(rt.get(start, "Minutes").asInteger(), 0x85);
  EXPECT_EQ(rt.get(start, "FrameNumber").asInteger(), -9000);
  EXPECT_EQ(Text(rt.call(track, "TimeCodeToString", {start})), "-00:05:00:00");

  // Past the media's end the handler reports and nothing comes back.
  EXPECT_TRUE(rt.call(track, "TimeCodeAtTime", {I(GetMovieDuration(qtMovie_))}).isNil());
  EXPECT_NE(rt.get(track, "Lasterror").asInteger(), 0);
  EXPECT_NE(rt.get(track, "Lasterror").asInteger(), -1);
}

TEST_F(TimeCodeTest, RefusalsAddNothing) {
  Load();
  rt::Runtime& rt = runtime();
  qtMovie_ = NewEngineMovie(600);
  Value noVideo = rt.newMovie(qtMovie_);
  Value p = Parameters();
  EXPECT_EQ(rt.call(noVideo, "AddTimeCodeToMovieZQK", {p}).asInteger(), trackNotInMovie);
  EXPECT_EQ(GetMovieTrackCount(qtMovie_), 0);
  EXPECT_EQ(rt.call(noVideo, "AddTimeCodeToMovieZQK", {Value()}).asInteger(), paramErr);
  EXPECT_EQ(GetMovieTrackCount(qtMovie_), 0);

  Value unavailable = rt.newMovie(nullptr);
  EXPECT_EQ(rt.call(unavailable, "AddTimeCodeToMovieZQK", {p}).asInteger(), -1);
}

// Showing the time code is the handler's flag and the track's enabled state.
TEST_F(TimeCodeTest, DisplayedFlagAndEnabledStateMoveTogether) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value p = Parameters();
  rt.set(p, "DisplayBelowVideo", B(false));
  rt.set(p, "DisplayTimeCode", B(true));
  ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);
  Track tc = TimeCodeTrack();
  MatrixRecord m;
  GetTrackMatrix(tc, &m);
  EXPECT_EQ(m.matrix[2][1], 0);  // over the top of the video
  EXPECT_TRUE(GetTrackEnabled(tc));
  EXPECT_TRUE(rt.get(movie, "TimeCodeDisplayedZQK").asBoolean());

  rt.set(movie, "TimeCodeDisplayedZQK", B(false));
  EXPECT_FALSE(rt.get(movie, "TimeCodeDisplayedZQK").asBoolean());
  EXPECT_FALSE(GetTrackEnabled(tc));
  rt.set(movie, "TimeCodeDisplayedZQK", B(true));
  EXPECT_TRUE(rt.get(movie, "TimeCodeDisplayedZQK").asBoolean());
  EXPECT_TRUE(GetTrackEnabled(tc));
}

// The track is one line of its text high, whatever Height says; Height comes
// back raised to that line when it was less. The handler draws in the font, face,
// size and colours asked for.
TEST_F(TimeCodeTest, OneLineHighInTheDisplayOptionsAskedFor) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  auto added = [&](int64_t height, int64_t fontSize, int64_t heightAfter) {
    Value p = Parameters();
    rt.set(p, "Height", I(height));
    rt.set(p, "FontSize", I(fontSize));
    EXPECT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);
    Fixed width = 0, trackHeight = 0;
    GetTrackDimensions(GetMovieIndTrack(qtMovie_, GetMovieTrackCount(qtMovie_)), &width, &trackHeight);
    EXPECT_EQ(rt.get(p, "Height").asInteger(), heightAfter < 0 ? trackHeight >> 16 : heightAfter);
    EXPECT_EQ(trackHeight & 0xFFFF, 0);
    return trackHeight >> 16;
  };
  const Fixed line12 = added(0, 12, -1);
  EXPECT_GT(line12, 12);
  EXPECT_LT(line12, 30);
  EXPECT_EQ(added(100, 12, 100), line12);
  EXPECT_EQ(added(line12 - 1, 12, -1), line12);
  EXPECT_GT(added(20, 48, -1), 48);

  Value p = Parameters();
  rt.set(p, "FontName", rt.string("Geneva"));
  rt.set(p, "FontFace", I(1));  // bold
  rt.set(p, "FontSize", I(18));
  rt.set(p, "FontForeColor", Value::color(0x123456));
  rt.set(p, "FontBackColor", Value::color(0xABCDEF));
  ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);
  TCTextOptions options{};
  TCGetDisplayOptions(GetMediaHandler(GetTrackMedia(GetMovieIndTrack(qtMovie_, GetMovieTrackCount(qtMovie_)))),
                      &options);
  EXPECT_EQ(options.txFont, CarbonFindFontByName("Geneva", 6)->familyID);
  EXPECT_EQ(options.txFace, 1);
  EXPECT_EQ(options.txSize, 18);
  EXPECT_EQ(options.foreColor.red, 0x1212);
  EXPECT_EQ(options.foreColor.green, 0x3434);
  EXPECT_EQ(options.foreColor.blue, 0x5656);
  EXPECT_EQ(options.backColor.red, 0xABAB);
  EXPECT_EQ(options.backColor.blue, 0xEFEF);
}

// Both tracks go, with the video's references to them; a disposal QuickTime
// refuses ends the loop instead of spinning.
TEST_F(TimeCodeTest, DeletingRemovesEveryTrackAndReference) {
  Value movie = LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value p = Parameters();
  ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);
  ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);
  ASSERT_EQ(TracksOfType(qtMovie_, TimeCodeMediaType), 2);
  ASSERT_EQ(GetTrackReferenceCount(video_, kTrackReferenceTimeCode), 2);

  QTEngineHookInjectResult("DisposeMovieTrack", 0, 0);
  StartLog();
  rt.call(movie, "DeleteTimeCodeTracksZQK");
  EXPECT_EQ(DisposeCalls(), 1);
  QTEngineHookClearInjections();

  rt.call(movie, "DeleteTimeCodeTracksZQK");
  EXPECT_EQ(TracksOfType(qtMovie_, TimeCodeMediaType), 0);
  EXPECT_EQ(GetTrackReferenceCount(video_, kTrackReferenceTimeCode), 0);
  EXPECT_EQ(GetMovieTrackCount(qtMovie_), 1);
  EXPECT_FALSE(rt.call(movie, "HasTimeCodeTrackZQK").asBoolean());
  EXPECT_TRUE(rt.call(movie, "CurrentTimeCodeStringZQK").isNil());
}

// Frame numbers, time codes and text agree with each other and with the track
// across minute and ten-minute boundaries, dropping frames and not.
TEST_F(TimeCodeTest, ConversionsAgreeOverASweep) {
  // Movie time in 2997, so that 100 units are one frame of the time code.
  Value movie = LoadWithVideo(2997, 700);
  rt::Runtime& rt = runtime();
  for (bool drop : {true, false}) {
    Value p = Parameters();
    rt.set(p, "DropFrames", B(drop));
    ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);
  }
  const Value tracks[2] = {rt.call(movie, "GetTrackIndexZQK", {I(2)}), rt.call(movie, "GetTrackIndexZQK", {I(3)})};

  for (int k = 0; k < 2; ++k) {
    const bool drop = k == 0;
    SCOPED_TRACE(drop);
    const Value& track = tracks[k];
    for (int64_t n : {0, 1, 2, 1797, 1798, 1799, 1800, 1801, 1802, 17980, 17981, 17982, 17983, 17984, 19797, 19798,
                      19799, 19800, 20000}) {
      SCOPED_TRACE(n);
      Value atTime = rt.call(track, "TimeCodeAtTime", {I(n * 100)});
      ASSERT_FALSE(atTime.isNil());
      EXPECT_EQ(rt.get(atTime, "FrameNumber").asInteger(), n);

      Value tc = rt.newObject("QTTimeCodeZQK");
      rt.set(tc, "Flags", I(drop ? tcDropFrame | tc24HourMax : tc24HourMax));
      rt.set(tc, "TimeScale", I(2997));
      rt.set(tc, "FrameDuration", I(100));
      rt.set(tc, "NumberOfFrames", I(30));
      rt.set(tc, "FrameNumber", I(n));
      rt.call(track, "FrameNumberToTimeCode", {tc});
      EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), 0);
      for (const char* field : {"Hours", "Minutes", "Seconds", "Frames"})
        EXPECT_EQ(rt.get(tc, field).asInteger(), rt.get(atTime, field).asInteger()) << field;

      char expected[32];
      std::snprintf(expected, sizeof expected, "%02d:%02d:%02d%c%02d", int(rt.get(tc, "Hours").asInteger()),
                    int(rt.get(tc, "Minutes").asInteger()), int(rt.get(tc, "Seconds").asInteger()), drop ? ';' : ':',
                    int(rt.get(tc, "Frames").asInteger()));
      const std::string text = Text(rt.call(track, "TimeCodeToString", {tc}));
      EXPECT_EQ(text, expected);
      EXPECT_EQ(Text(rt.call(track, "TimeCodeToString", {atTime})), text);
      EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), -1);
      if (drop && n == 1800) {
        EXPECT_EQ(text, "00:01:00;02");
      }
      if (drop && n == 17982) {
        EXPECT_EQ(text, "00:10:00;00");
      }
      if (!drop && n == 1800) {
        EXPECT_EQ(text, "00:01:00:00");
      }

      rt.set(tc, "FrameNumber", I(-7));
      rt.call(track, "TimeCodeToFrameNumber", {tc});
      EXPECT_EQ(rt.get(tc, "FrameNumber").asInteger(), n);
      EXPECT_EQ(rt.get(track, "Lasterror").asInteger(), -1);
    }
  }

  // No time code object, or no handler: nothing is asked.
  rt.call(tracks[0], "TimeCodeToFrameNumber", {Value()});
  EXPECT_EQ(rt.get(tracks[0], "Lasterror").asInteger(), -1);
  EXPECT_TRUE(rt.call(tracks[0], "TimeCodeToString", {Value()}).isNil());
  Value bare = rt.newObject("QTTrackZQK");
  EXPECT_TRUE(rt.call(bare, "TimeCodeAtTime", {I(0)}).isNil());
  EXPECT_TRUE(rt.call(bare, "CurrentTimeCode").isNil());
  EXPECT_EQ(rt.get(bare, "Lasterror").asInteger(), -1);
}

}  // namespace
