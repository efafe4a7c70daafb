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

}  // namespace
}  // namespace tooltest
