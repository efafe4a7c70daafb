// The edit commands' refusals and dry runs: bad spans and files are refused in
// plain words naming the file, which stays as it was; --dry-run writes nothing.
#include "tool_support.h"

namespace tooltest {
namespace {

TEST_F(ToolTest, EditsRefuseBadSpansAndFilesNamingThemAndChangeNothing) {
  const std::string movie = SampleMovie("movie.mov"), other = SampleMovie("other.mov");
  const std::string junk = ListFile("junk.mov", "not a movie");
  const struct {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"cut", movie, "--from", "3", "--to", "1"}, "movie.mov: --to 1 comes before --from 3"},
      {{"cut", movie, "--from", "1", "--to", "00:00:09"}, "movie.mov: --to 00:00:09 is past the end"},
      {{"cut", movie, "--from", "f0", "--to", "4"}, "nothing would be left"},
      {{"cut", movie, "--from", "f3", "--to", "0.13"}, "holds no frame"},
      {{"trim", movie, "--start", "f100"}, "the movie has only 100 frames"},
      {{"trim", movie, "--start", "1,5"}, "--start wants HH:MM:SS.mmm, seconds (12.5) or a frame number"},
      {{"insert", movie, "--at", "1", "--from", junk}, "junk.mov"},
      {{"join", movie, other, "--output", other}, "--output names the input"},
      {{"speed", movie, "--factor", "0"}, "--factor wants a number"},
      {{"tracks", movie, "disable", "9"}, "has no track with ID '9'"},
  };
  for (const auto& c : cases) {
    Outcome r = Refused(c.args, movie);
    EXPECT_EQ(r.status, 1) << c.args[0];
    EXPECT_NE(r.err.find(c.said), std::string::npos) << c.args[0] << ": " << r.err;
  }
}

TEST_F(ToolTest, DryRunPrintsTheEditListsAndWritesNothing) {
  const std::string movie = SampleMovie("movie.mov");
  const std::vector<uint8_t> before = fileBytes(movie);
  Json plan = JsonOf({"cut", movie, "--from", "1.01", "--to", "f75", "--dry-run", "--json"});
  EXPECT_EQ(fileBytes(movie), before);
  EXPECT_FALSE(plan["written"].flag);
  EXPECT_EQ(plan["durationBefore"].number, 2400);
  EXPECT_EQ(plan["duration"].number, 1200);  // 1.01 s is in the frame from 1 s; f75 starts at 3 s
  const Json& video = plan["tracks"][0]["edits"];
  ASSERT_EQ(video.items.size(), 2u);
  EXPECT_EQ(video[1]["start"].number, 600);
  EXPECT_EQ(video[1]["mediaTime"].number, 1800);
  EXPECT_EQ(plan["tracks"][1]["duration"].number, 1200);  // the sound follows
}

// A chapter inside the cut span goes, one cut through (D, showing at the cut's
// end) starts at the cut, later ones move, and one cut within (X) stays one;
// a join appends the second movie's chapters at its start. ffprobe reads them from the track and MediaInfo from
// the 'chpl' list, each chapter once. The time code follows a trim.
TEST_F(ToolTest, ChaptersAndTimeCodeFollowEdits) {
  const std::string movie = SampleMovie("movie.mov"), other = SampleMovie("other.mov"), joined = dir_ / "joined.mov";
  ASSERT_EQ(Pelorin({"chapters", "add", movie, "--from",
                     ListFile("a.txt", "00:00:00 A\n00:00:01 B\n00:00:01.5 C\n00:00:01.8 D caf\u00e9\n00:00:03 E\n")})
                .status, 0);
  ASSERT_EQ(Pelorin({"timecode", "add", movie, "--start", "01:00:00:00", "--rate", "25"}).status, 0);
  ASSERT_EQ(Pelorin({"chapters", "add", other, "--from", ListFile("x.txt", "00:00:00 X\n00:00:02 Y\n")}).status, 0);
  ASSERT_EQ(Pelorin({"cut", movie, "--from", "1.4", "--to", "f50"}).status, 0);
  ASSERT_EQ(Pelorin({"cut", other, "--from", "f12", "--to", "f25"}).status, 0);
  const std::string cut = "00:00:00.000 A\n00:00:01.000 B\n00:00:01.400 D caf\u00e9\n00:00:02.400 E\n";
  EXPECT_EQ(Pelorin({"chapters", movie}).out, cut);
  ASSERT_EQ(Pelorin({"join", movie, other, "--output", joined}).status, 0);
  EXPECT_EQ(Pelorin({"chapters", joined}).out, cut + "00:00:03.400 X\n00:00:04.880 Y\n");
  if (enginetest::haveTool("ffprobe")) {
    EXPECT_EQ(enginetest::run("ffprobe -v quiet -show_entries chapter=start_time:chapter_tags=title -of csv=p=0 '" +
                              joined + "'"),
              "0.000000,A\n1.000000,B\n1.400000,D caf\u00e9\n2.400000,E\n3.400000,X\n4.880000,Y\n");
  }
  if (enginetest::haveTool("mediainfo")) {
    const std::string info = enginetest::run("mediainfo '" + joined + "'");
    for (const char* line : {"00:00:01.400                             : D caf\u00e9\n",
                             "00:00:04.880                             : Y\n"})
      EXPECT_NE(info.find(line), std::string::npos) << info;
  }
  // The time code shown first is that of the first frame kept.
  ASSERT_EQ(Pelorin({"trim", joined, "--start", "f10"}).status, 0);
  EXPECT_EQ(JsonOf({"timecode", joined, "--json"})["timeCode"]["start"].text, "01:00:00:10");
}

}  // namespace
}  // namespace tooltest
