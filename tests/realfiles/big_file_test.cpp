// A movie over 4 GiB that ffmpeg wrote ('co64' chunk offsets): its samples past
// 4 GiB read back, and an edit saved in place (a new time code whose sample lands
// past 4 GiB too) leaves every frame where and as it was.
#include "realfiles.h"

using namespace realfiles;
using rt::Value;

namespace {

class BigFileTest : public EngineMovieTest {};

TEST_F(BigFileTest, SamplesPastFourGigabytesReadAndSurviveASave) {
  const std::string path = std::string(REALFILES_BIG_DIR) + "/big-co64.mov";
  if (!haveTool("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
  if (access(path.c_str(), R_OK) != 0)
    GTEST_SKIP() << "no " << path << ": make_files.sh --big made none (no ffmpeg, or too little disk space)";
  const std::map<int, std::string> before = packetsByStream(path);
  const std::string lastPacket = run("ffprobe -v error -show_entries packet=pos -of csv=p=0 " + quoted(path) +
                                     " | tail -1");
  const uint64_t lastPos = std::stoull(lastPacket);
  // Each packet line ends in its data hash.
  const std::string& list = before.at(0);
  const std::string firstLine = list.substr(0, list.find('\n'));
  const std::string lastLine = list.substr(list.rfind('\n', list.size() - 2) + 1);
  EXPECT_EQ(lastLine.substr(lastLine.rfind(',')), firstLine.substr(firstLine.rfind(',')) + "\n")
      << "ffprobe sees frames that differ";
  ASSERT_GT(lastPos, uint64_t(1) << 32) << "the file is too small to need 'co64'";

  rt::Runtime& rt = Load();
  {
    OpenedMovie m(path);
    ASSERT_EQ(m.err, noErr) << m.message;
    Track video = GetMovieIndTrack(m, 1);
    Media media = GetTrackMedia(video);
    ASSERT_EQ(GetMediaSampleCount(media), 180);
    // Every frame is the same 3840 × 2160 pixels of one blue: the first frame, from
    // below 4 GiB, and the last, from past it, read the same.
    auto frame = [&](TimeValue t) {
      HandleHolder data;
      SInt32 size = 0;
      EXPECT_EQ(GetMediaSample(media, data, 0, &size, t, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr), noErr);
      return data.bytes();
    };
    const std::vector<uint8_t> first = frame(0), last = frame(GetMediaDuration(media) - 1);
    ASSERT_EQ(last.size(), size_t(3840 * 2160 * 3));
    EXPECT_TRUE(last == first) << "the last frame differs from the first";
    EXPECT_GT(last[2], last[0]) << "not the blue ffmpeg was asked for";
    EXPECT_TRUE(std::equal(last.begin() + 3, last.end(), last.begin())) << "the frame is not one colour";
    Value movie = rt.newMovie(m.movie);
    Value ud = rt.call(movie, "UserDataZQK");
    rt.call(ud, "AddText", {rt.string("\xA9nam", kREALEncodingMacRoman), Value::integer(1), Value::integer(0),
                            rt.string("Big")});
    Value p = rt.newObject("QTTimeCodeCreationParametersZQK");
    rt.set(p, "Hours", Value::integer(2));
    ASSERT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
  }

  EXPECT_EQ(packetsByStream(path).at(0), before.at(0)) << "frames or their timing changed";
  const std::vector<Record> s = streams(path);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[1].count("tag:timecode") ? s[1].at("tag:timecode") : "", "02:00:00;00");
  EXPECT_EQ(formatTags(path)["tag:title"], "Big");

  OpenedMovie again(path, fsRdPerm);
  ASSERT_EQ(again.err, noErr) << again.message;
  Value movie = rt.newMovie(again.movie);
  // The time code's one sample lies past 4 GiB as well.
  EXPECT_EQ(Text(rt.call(movie, "CurrentTimeCodeStringZQK")), "02:00:00;00");
}

}  // namespace
