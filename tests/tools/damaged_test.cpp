// Unusual and damaged movie files through the tool: listing them never dies, and
// an edit leaves them as readable as they were.
#include "tool_support.h"

using namespace tooltest;

namespace {

// A chapter track whose edit is a dwell (rate 0) shows its first chapter for the
// whole movie; the listing says so and the chapters can still be replaced.
TEST_F(ToolTest, ChapterTrackWithADwellEdit) {
  const std::string movie = dir_ / "dwell.mov";
  ASSERT_EQ(Pelorin({"chapters", "add", SampleMovie("sample.mov"), "--from",
                     ListFile("two.txt", "00:00:00 One\n00:00:02 Two\n"), "--output", movie})
                .status,
            0);
  // The chapter track is written last; its one edit's rate is 20 bytes past the type.
  std::vector<uint8_t> b = fileBytes(movie);
  std::fill_n(b.begin() + long(std::string(b.begin(), b.end()).rfind("elst") + 20), 4, 0);
  enginetest::writeBytes(movie, b);
  for (const char* command : {"info", "chapters"}) {
    Outcome r = Pelorin({command, movie});
    EXPECT_EQ(r.status, 0) << command << ": " << r.err;
    EXPECT_NE(r.out.find("00:00:00.000 One"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Two"), std::string::npos) << r.out;
  }
  Outcome r = Pelorin({"chapters", "add", movie, "--replace", "--from", ListFile("new.txt", "00:00:01 New\n")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Pelorin({"chapters", movie}).out, "00:00:01.000 New\n");
}

}  // namespace
