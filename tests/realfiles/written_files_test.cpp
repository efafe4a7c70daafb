// Files the engine writes, read by ffprobe, exiftool and MediaInfo as what was
// written: tracks, time scales and durations, chapters with non-ASCII titles, the
// time code, metadata keys and values, and user-data text — saved as new files
// with the movie atom last and first.
#include "realfiles.h"

using namespace realfiles;
using rt::Value;

namespace {

const std::string kUnicodeTitle = "Caf\xC3\xA9 \xE2\x80\x94 \xE6\x9D\xB1\xE4\xBA\xAC";
const std::string kDisplayName = "Anzeigename \xC3\xBC";

class WrittenFileTest : public RealFileTest {
 protected:
  // A 4 s video track in a movie of time scale 1000, its chapters, a drop-frame
  // time code from 01:00:00;00, a title and a comment in user data and two 'mdta'
  // items, made by user code and saved as a new file twice: movie atom last, and
  // first ("fast start").
  std::vector<std::string> WrittenFiles(const ScratchDir& dir) {
    rt::Runtime& rt = Load();
    Movie qtMovie = NewEngineMovie(1000);
    AddVideoTrack(qtMovie);
    Value movie = rt.newMovie(qtMovie);
    std::vector<Value> list;
    for (auto [text, duration] : {std::pair{std::string("Intro"), 1000}, {kUnicodeTitle, 2000}, {"End", 1000}}) {
      Value c = rt.newObject("QTChapterDataZQK");
      rt.set(c, "Text", S(text));
      rt.set(c, "FrameDuration", I(duration));
      list.push_back(c);
    }
    EXPECT_FALSE(rt.call(movie, "AddTextTrackZQK", {rt.newObjectArray(list), S("vide"), Value::boolean(true)}).isNil());
    Value p = rt.newObject("QTTimeCodeCreationParametersZQK");
    rt.set(p, "Hours", I(1));
    EXPECT_EQ(rt.call(movie, "AddTimeCodeToMovieZQK", {p}).asInteger(), 0);
    Value ud = rt.call(movie, "UserDataZQK");
    rt.call(ud, "AddText", {FullNameType(), I(1), I(0), S("Harbour Lights")});
    // Mac Roman text in the English record: 0x8E is "é".
    rt.call(ud, "AddText", {S("\xA9" "cmt", kREALEncodingMacRoman), I(1), I(0), S("Caf\x8E", kREALEncodingMacRoman)});
    SetMetadata(movie, "mdta", "com.apple.quicktime.displayname", kDisplayName);
    SetMetadata(movie, "mdta", "com.example.key", "Value");
    std::vector<std::string> paths = {dir / "saved.mov", dir / "fast.mov"};
    rt.saveMovieAs(movie, rt.newFolderItem(paths[0]), false);
    rt.saveMovieAs(movie, rt.newFolderItem(paths[1]), true);
    return paths;
  }
};

TEST_F(WrittenFileTest, FfprobeReadsTracksChaptersTimeCodeAndMetadata) {
  ScratchDir dir;
  for (const std::string& path : WrittenFiles(dir)) {
    SCOPED_TRACE(path);
    const std::vector<Record> s = streams(path);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].at("codec_type"), "video");
    EXPECT_EQ(s[0].at("time_base"), "1/600");
    EXPECT_EQ(s[0].at("duration_ts"), "2400");
    EXPECT_EQ(s[0].at("nb_frames"), "4");
    EXPECT_EQ(s[0].at("width"), "320");
    EXPECT_EQ(s[0].at("tag:timecode"), "01:00:00;00");
    EXPECT_EQ(s[1].at("codec_tag_string"), "text");
    EXPECT_EQ(s[1].at("nb_frames"), "3");
    EXPECT_EQ(s[2].at("codec_tag_string"), "tmcd");
    EXPECT_NEAR(std::stod(s[2].at("duration_ts")) / denominator(s[2].at("time_base")), 4.0, 0.001);
    EXPECT_EQ(s[2].at("tag:timecode"), "01:00:00;00");

    const std::vector<Record> c = chapters(path);
    ASSERT_EQ(c.size(), 3u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"0.000000", "Intro"}, {"1.000000", kUnicodeTitle}, {"3.000000", "End"}};
    for (size_t i = 0; i < c.size(); ++i) {
      EXPECT_EQ(c[i].at("start_time"), expected[i].first) << i;
      EXPECT_EQ(c[i].at("tag:title"), expected[i].second) << i;
    }
    EXPECT_EQ(c[2].at("end_time"), "4.000000");

    const Record tags = formatTags(path);
    EXPECT_EQ(tags.at("tag:title"), "Harbour Lights");
    EXPECT_EQ(tags.at("tag:comment"), "Caf\xC3\xA9");
    EXPECT_EQ(tags.at("tag:com.apple.quicktime.displayname"), kDisplayName);
    EXPECT_EQ(tags.at("tag:com.example.key"), "Value");
    EXPECT_NEAR(std::stod(run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + quoted(path))), 4.0,
                0.001);
  }
}

TEST_F(WrittenFileTest, ExiftoolAndMediaInfoReadTheSame) {
  if (!haveTool("exiftool") && !haveTool("mediainfo")) GTEST_SKIP() << "exiftool and MediaInfo are not installed";
  ScratchDir dir;
  for (const std::string& path : WrittenFiles(dir)) {
    SCOPED_TRACE(path);
    if (haveTool("exiftool")) {
      const std::string exif = run("exiftool -j -G1 -a " + quoted(path));
      for (const std::string& want :
           {std::string("\"UserData:Title\": \"Harbour Lights\""), std::string("\"UserData:Comment\": \"Caf\xC3\xA9\""),
            "\"Keys:DisplayName\": \"" + kDisplayName + "\"", std::string("\"Keys:ExampleKey\": \"Value\""),
            std::string("\"Track1:TimeCode\": 3"), std::string("\"Track1:ChapterListTrackID\": 2"),
            std::string("\"Track1:MediaTimeScale\": 600"), std::string("\"Track3:OtherFormat\": \"tmcd\""),
            std::string("\"QuickTime:TimeScale\": 1000"), std::string("\"QuickTime:Duration\": \"4.00 s\"")})
        EXPECT_NE(exif.find(want), std::string::npos) << want << "\n" << exif;
    }
    if (haveTool("mediainfo")) {
      // MediaInfo names the movie after its 'mdta' display name, and shows the
      // chapter track delayed by the start time code.
      const std::string info = run("mediainfo --Output=JSON " + quoted(path));
      for (const std::string& want :
           {"\"Title\": \"" + kDisplayName + "\"", std::string("\"com_example_key\": \"Value\""),
            std::string("\"VideoCount\": \"1\""), std::string("\"MenuCount\": \"1\""),
            std::string("\"Duration\": \"4.000\""), std::string("\"FrameCount\": \"4\""),
            std::string("\"TimeCode_FirstFrame\": \"01:00:00;00\""), std::string("\"Delay\": \"3600.000\"")})
        EXPECT_NE(info.find(want), std::string::npos) << want << "\n" << info;
    }
  }
}

}  // namespace
