// The tool's commands on movie files the engine writes.
#include "tool_support.h"

namespace {

using enginetest::fileBytes;
using tooltest::Json;
using tooltest::Outcome;
using tooltest::ToolTest;
using tooltest::readFile;

TEST_F(ToolTest, InfoDescribesTheMovieAndItsJsonSaysTheSame) {
  const std::string movie = SampleMovie("info.mov");
  Outcome text = Pelorin({"info", movie});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("track 1: vide, enabled, 00:00:04.000, 320 x 240, 100 samples"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("chapters: none"), std::string::npos) << text.out;

  Json info = JsonOf({"info", movie, "--json"});
  EXPECT_EQ(info["timeScale"].number, 600);
  EXPECT_EQ(info["durationSeconds"].number, 4);
  ASSERT_EQ(info["tracks"].items.size(), 2u);
  const Json& video = info["tracks"][0];
  EXPECT_EQ(video["type"].text, "vide");
  EXPECT_EQ(video["samples"].number, 100);
  EXPECT_EQ(video["sampleDescriptions"][0]["format"].text, "jpeg");
  EXPECT_EQ(video["sampleDescriptions"][0]["width"].number, 320);
  const Json& sound = info["tracks"][1];
  EXPECT_EQ(sound["type"].text, "soun");
  EXPECT_EQ(sound["sampleDescriptions"][0]["channels"].number, 1);
  EXPECT_EQ(sound["sampleDescriptions"][0]["sampleRate"].number, 44100);
  EXPECT_TRUE(info["timeCode"].isNull());
  EXPECT_TRUE(info["chapters"].items.empty());
}

TEST_F(ToolTest, ChapterListsRoundTrip) {
  const std::string movie = SampleMovie("chapters.mov");
  // A byte-order mark, CRLF line ends, a blank line, and a first chapter after 0.
  const std::string list = ListFile("list.txt",
                                    "\xEF\xBB\xBF" "00:00:00.250 Intro\r\n\n"
                                    "00:00:01.5 Caf\u00e9 \u2014 Z\u00fcrich\r\n"
                                    "00:00:03 \u65e5\u672c\u8a9e \"quoted\" \\ title\n");
  Outcome added = Pelorin({"chapters", "add", movie, "--from", list});
  ASSERT_EQ(added.status, 0) << added.err;
  Outcome listed = Pelorin({"chapters", movie});
  EXPECT_EQ(listed.out,
            "00:00:00.250 Intro\n"
            "00:00:01.500 Caf\u00e9 \u2014 Z\u00fcrich\n"
            "00:00:03.000 \u65e5\u672c\u8a9e \"quoted\" \\ title\n");
  // What the listing prints is a chapter list again.
  Outcome again = Pelorin({"chapters", "add", movie, "--from", ListFile("listed.txt", listed.out), "--replace"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(Pelorin({"chapters", movie}).out, listed.out);

  Json chapters = JsonOf({"chapters", movie, "--json"});
  ASSERT_EQ(chapters["chapters"].items.size(), 3u);
  EXPECT_EQ(chapters["chapters"][0]["start"].number, 150);  // 0.25 s at 600 a second
  EXPECT_EQ(chapters["chapters"][2]["title"].text, "\u65e5\u672c\u8a9e \"quoted\" \\ title");

  Json info = JsonOf({"info", movie, "--json"});
  ASSERT_EQ(info["tracks"].items.size(), 3u);
  EXPECT_TRUE(info["tracks"][2]["chapterTrack"].flag);

  // Adding over chapters needs --replace, also over a 'chpl' list another writer
  // left beside the track, which goes with the chapters; removing twice removes once.
  ASSERT_EQ(Pelorin({"userdata", movie, "set", "chpl", "stale list"}).status, 0);
  Outcome twice = Refused({"chapters", "add", movie, "--from", list}, movie);
  EXPECT_NE(twice.err.find("--replace"), std::string::npos) << twice.err;
  ASSERT_EQ(Pelorin({"chapters", "remove", movie}).status, 0);
  EXPECT_EQ(Pelorin({"chapters", movie}).out, "");
  EXPECT_EQ(Pelorin({"userdata", movie}).out.find("chpl"), std::string::npos);
  const std::vector<uint8_t> removed = fileBytes(movie);
  Outcome none = Pelorin({"chapters", "remove", movie});
  EXPECT_EQ(none.status, 0);
  EXPECT_NE(none.out.find("no chapters"), std::string::npos);
  EXPECT_EQ(fileBytes(movie), removed);
}

TEST_F(ToolTest, BadChapterListsNameTheLineAndChangeNothing) {
  const std::string movie = SampleMovie("bad.mov");
  struct Case {
    const char* list;
    const char* message;
  } cases[] = {
      {"00:00:01 One\n00:00:01 Two\n", "line 2: 00:00:01.000 does not come after 00:00:01.000"},
      {"0:0:1 One\n", "line 1: '0:0:1' is not a start time"},
      {"00:00:61 One\n", "line 1"},
      {"00:00:01 \xFF\xFE\n", "line 1: the title is not UTF-8"},
      {"00:00:00 One\n00:00:04 After the end\n", "not before the movie ends at 00:00:04.000"},
      {"\n\n", "holds no chapters"},
  };
  for (const Case& c : cases) {
    const std::string list = ListFile("bad.txt", c.list);
    Outcome r = Refused({"chapters", "add", movie, "--from", list}, movie);
    EXPECT_NE(r.err.find(list), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.list << " gave " << r.err;
  }
  Outcome missing = Refused({"chapters", "add", movie, "--from", dir_ / "none.txt"}, movie);
  EXPECT_NE(missing.err.find(dir_ / "none.txt"), std::string::npos) << missing.err;
}

TEST_F(ToolTest, TimeCodesAddShowAndRemove) {
  const std::string movie = SampleMovie("tc.mov");
  // The video's rate (25) is the default; drop frame does not exist at 25.
  Outcome drop = Refused({"timecode", "add", movie, "--start", "01:00:00;00"}, movie);
  EXPECT_NE(drop.err.find("29.97 or 59.94"), std::string::npos) << drop.err;
  Refused({"timecode", "add", movie, "--start", "01:00:00:25"}, movie);
  Refused({"timecode", "add", movie, "--start", "01:00:00:00", "--rate", "31"}, movie);

  ASSERT_EQ(Pelorin({"timecode", "add", movie, "--start", "10:00:00:00", "--show"}).status, 0);
  Json tc = JsonOf({"timecode", movie, "--json"});
  EXPECT_EQ(tc["timeCode"]["start"].text, "10:00:00:00");
  EXPECT_EQ(tc["timeCode"]["framesPerSecond"].number, 25);
  EXPECT_FALSE(tc["timeCode"]["dropFrame"].flag);
  EXPECT_TRUE(tc["timeCode"]["shown"].flag);
  Refused({"timecode", "add", movie, "--start", "00:00:00:00"}, movie);

  ASSERT_EQ(Pelorin({"timecode", "remove", movie}).status, 0);
  EXPECT_TRUE(JsonOf({"timecode", movie, "--json"})["timeCode"].isNull());

  ASSERT_EQ(Pelorin({"timecode", "add", movie, "--start", "00:59:59;28", "--rate", "29.97"}).status, 0);
  tc = JsonOf({"info", movie, "--json"});
  EXPECT_EQ(tc["timeCode"]["start"].text, "00:59:59;28");
  EXPECT_TRUE(tc["timeCode"]["dropFrame"].flag);
  EXPECT_FALSE(tc["timeCode"]["shown"].flag);
}

TEST_F(ToolTest, UserDataSetListAndRemove) {
  const std::string movie = SampleMovie("ud.mov");
  ASSERT_EQ(Pelorin({"userdata", movie, "set", "\u00a9nam", "Caf\u00e9 at dawn"}).status, 0);
  ASSERT_EQ(Pelorin({"userdata", movie, "set", "\u00a9cmt", "\u65e5\u672c\u8a9e"}).status, 0);  // no Mac Roman form
  ASSERT_EQ(Pelorin({"userdata", movie, "set", "\u00a9nam", "Caf\u00e9 at dusk"}).status, 0);   // replaces
  ASSERT_EQ(Pelorin({"userdata", movie, "set", "test", "plain data"}).status, 0);
  Outcome listed = Pelorin({"userdata", movie});
  EXPECT_NE(listed.out.find("\u00a9nam  Caf\u00e9 at dusk\n"), std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.find("dawn"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("\u00a9cmt  \u65e5\u672c\u8a9e\n"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("test  plain data\n"), std::string::npos) << listed.out;

  Json ud = JsonOf({"userdata", movie, "--json"});
  ASSERT_EQ(ud["userData"].items.size(), 3u);
  ASSERT_EQ(Pelorin({"userdata", movie, "remove", "\u00a9nam"}).status, 0);
  EXPECT_EQ(Pelorin({"userdata", movie}).out.find("\u00a9nam"), std::string::npos);

  Outcome badType = Refused({"userdata", movie, "set", "name!", "x"}, movie);
  EXPECT_NE(badType.err.find("four characters"), std::string::npos) << badType.err;
  Refused({"userdata", movie, "rename", "\u00a9nam"}, movie);
}

TEST_F(ToolTest, MetadataSetListAndRemove) {
  const std::string movie = SampleMovie("meta.mov");
  ASSERT_EQ(Pelorin({"meta", movie, "set", "displayname", "Harbour \u2014 Zo\u00eb"}).status, 0);
  ASSERT_EQ(Pelorin({"meta", movie, "set", "com.example.take", "3"}).status, 0);
  ASSERT_EQ(Pelorin({"meta", movie, "set", "com.example.take", "4"}).status, 0);  // replaces
  Outcome listed = Pelorin({"meta", movie});
  EXPECT_EQ(listed.out,
            "mdta  com.apple.quicktime.displayname  Harbour \u2014 Zo\u00eb\n"
            "mdta  com.example.take  4\n");

  Json info = JsonOf({"info", movie, "--json"});
  ASSERT_EQ(info["metadata"].items.size(), 2u);
  EXPECT_EQ(info["metadata"][1]["key"].text, "com.example.take");
  EXPECT_EQ(info["metadata"][1]["dataType"].number, 1);

  ASSERT_EQ(Pelorin({"meta", movie, "remove", "com.example.take"}).status, 0);
  EXPECT_EQ(JsonOf({"meta", movie, "--json"})["metadata"].items.size(), 1u);
  const std::vector<uint8_t> once = fileBytes(movie);
  Outcome none = Pelorin({"meta", movie, "remove", "com.example.take"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(fileBytes(movie), once);
  Refused({"meta", movie, "set", "", "x"}, movie);

  if (enginetest::haveTool("ffprobe")) {
    const std::string tags = enginetest::run("ffprobe -v error -show_entries format_tags -of compact '" + movie + "'");
    EXPECT_NE(tags.find("com.apple.quicktime.displayname=Harbour \u2014 Zo\u00eb"), std::string::npos) << tags;
  }
}

TEST_F(ToolTest, OutputFlattensAndLeavesTheInputAlone) {
  const std::string movie = SampleMovie("in.mov");
  const std::vector<uint8_t> input = fileBytes(movie);
  const std::string list = ListFile("list.txt", "00:00:00 One\n00:00:02 Two\n");
  for (bool fastStart : {false, true}) {
    const std::string out = dir_ / (fastStart ? "fast.mov" : "out.mov");
    std::vector<std::string> args = {"chapters", "add", movie, "--from", list, "--output", out};
    if (fastStart) args.push_back("--fast-start");
    Outcome r = Pelorin(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fileBytes(movie), input);
    EXPECT_EQ(Pelorin({"chapters", out}).out, "00:00:00.000 One\n00:00:02.000 Two\n");
    const std::string head = readFile(out).substr(0, 64);
    EXPECT_EQ(head.find("moov") != std::string::npos, fastStart);
  }
  // The input itself as output would pull the file from under the movie.
  Outcome self = Refused({"chapters", "add", movie, "--from", list, "--output", movie}, movie);
  EXPECT_NE(self.err.find("--output names the input file"), std::string::npos) << self.err;
  Refused({"chapters", "add", movie, "--from", list, "--output", dir_ / "no/such/dir.mov"}, movie);
}

TEST_F(ToolTest, ErrorsNameTheFileAndHelpIsEverywhere) {
  Outcome missing = Pelorin({"info", dir_ / "none.mov"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(dir_ / "none.mov"), std::string::npos) << missing.err;

  const std::string movie = SampleMovie("cut.mov");
  std::vector<uint8_t> bytes = fileBytes(movie);
  bytes.resize(bytes.size() - 10);  // the movie atom is last: cut its end
  enginetest::writeBytes(movie, bytes);
  Outcome malformed = Refused({"userdata", movie, "set", "\u00a9nam", "x"}, movie);
  EXPECT_NE(malformed.err.find(movie), std::string::npos) << malformed.err;
  EXPECT_NE(malformed.err.find("moov"), std::string::npos) << malformed.err;
  EXPECT_EQ(malformed.err.find("Exception"), std::string::npos) << malformed.err;

  EXPECT_NE(Pelorin({"info", movie, "--colour"}).err.find("pelorin info --help"), std::string::npos);
  EXPECT_NE(Pelorin({"info"}).status, 0);
  for (const char* command : {"info", "chapters", "timecode", "meta", "userdata", "demo", "api"}) {
    Outcome help = Pelorin({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: pelorin ") + command, 0), 0u) << help.out;
  }
}

TEST_F(ToolTest, OutsideReadersSeeWhatWasWritten) {
  if (!enginetest::haveTool("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
  const std::string movie = SampleMovie("outside.mov");
  // ffprobe's packet lines of the first two streams, the ones the sample has.
  auto streams01 = [](const std::string& csv) {
    std::string kept, line;
    std::istringstream in(csv);
    while (std::getline(in, line))
      if (line.rfind("packet,0,", 0) == 0 || line.rfind("packet,1,", 0) == 0) kept += line + '\n';
    return kept;
  };
  const std::string packets = streams01(enginetest::packets(movie));
  ASSERT_FALSE(packets.empty());
  ASSERT_EQ(Pelorin({"chapters", "add", movie, "--from",
                     ListFile("list.txt", "00:00:00 Intro\n00:00:02.5 Caf\u00e9\n")})
                .status,
            0);
  ASSERT_EQ(Pelorin({"timecode", "add", movie, "--start", "01:02:03:04"}).status, 0);
  const std::string chapters =
      enginetest::run("ffprobe -v error -show_chapters -of compact=p=0 '" + movie + "'");
  EXPECT_NE(chapters.find("start_time=2.500000|end=2400|end_time=4.000000|tag:title=Caf\u00e9"), std::string::npos)
      << chapters;
  const std::string tags = enginetest::run("ffprobe -v error -show_entries stream_tags=timecode -of compact '" + movie + "'");
  EXPECT_NE(tags.find("timecode=01:02:03:04"), std::string::npos) << tags;
  // The sample bytes and their timing of the video and sound did not change.
  EXPECT_EQ(streams01(enginetest::packets(movie)), packets);
}

}  // namespace
