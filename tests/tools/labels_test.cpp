// Chapter titles, user-data text and time-code labels at the format's limits,
// and chapter references that name no chapter track.
#include "tool_support.h"

#include <cstring>

namespace {

using enginetest::fileBytes;
using tooltest::Outcome;
using tooltest::ToolTest;

class LabelsTest : public ToolTest {
 protected:
  // Overwrites the 4 bytes after the last `tag` in the file (the saved movie
  // atom is the file's last).
  void Patch(const std::string& movie, const std::string& tag, const std::string& bytes) {
    std::vector<uint8_t> b = fileBytes(movie);
    const std::string text(b.begin(), b.end());
    const size_t at = text.rfind(tag);
    ASSERT_NE(at, std::string::npos) << tag;
    std::memcpy(&b[at + tag.size()], bytes.data(), 4);
    enginetest::writeBytes(movie, b);
  }

  std::string FfprobeTitles(const std::string& movie) {
    return enginetest::run("ffprobe -v quiet -show_entries chapter_tags=title -of csv=p=0 '" + movie + "'");
  }
};

TEST_F(LabelsTest, LongestTitlesAndTextsFitAndLongerOnesAreRefused) {
  const std::string movie = SampleMovie("long.mov");
  const std::string mid(20000, 'a'), longest(32766, 'b');
  const std::string list = "00:00:00 " + mid + "\n00:00:02 " + longest + "\n";
  ASSERT_EQ(Pelorin({"chapters", "add", movie, "--from", ListFile("ok.txt", list)}).status, 0);
  EXPECT_EQ(Pelorin({"chapters", movie}).out, "00:00:00.000 " + mid + "\n00:00:02.000 " + longest + "\n");
  if (enginetest::haveTool("ffprobe")) {
    EXPECT_EQ(FfprobeTitles(movie), mid + "\n" + longest + "\n");
  }

  // One unit more: a character beyond U+FFFF takes two.
  Outcome title = Refused({"chapters", "add", movie, "--replace", "--from",
                           ListFile("long.txt", "00:00:00 " + std::string(32765, 'c') + "\U0001F3AC\n")},
                          movie);
  EXPECT_NE(title.err.find("line 1: the title is too long: a chapter title holds at most 32,766"), std::string::npos)
      << title.err.substr(0, 200);
  Outcome dir = Refused({"chapters", "add", movie, "--replace", "--from", dir_.path}, movie);
  EXPECT_NE(dir.err.find("is a directory"), std::string::npos) << dir.err;

  ASSERT_EQ(Pelorin({"userdata", movie, "set", "\u00a9nam", std::string(65535, 'd')}).status, 0);
  EXPECT_NE(Pelorin({"userdata", movie}).out.find("\u00a9nam  " + std::string(65535, 'd') + "\n"), std::string::npos);
  Outcome text = Refused({"userdata", movie, "set", "\u00a9cmt", std::string(65533, 'e') + "\u65e5"}, movie);
  EXPECT_NE(text.err.find("at most 65,535 bytes; this one has 65536"), std::string::npos) << text.err;

  // Text beyond ASCII is written so that other readers decode it.
  const std::string accented = "caf\u00e9 \u00fcn\u00efcode \u65e5";
  ASSERT_EQ(Pelorin({"userdata", movie, "set", "\u00a9cmt", accented}).status, 0);
  EXPECT_NE(Pelorin({"userdata", movie}).out.find("\u00a9cmt  " + accented + "\n"), std::string::npos);
  for (const char* reader : {"mediainfo", "exiftool"}) {
    if (!enginetest::haveTool(reader)) continue;
    const std::string shown = enginetest::run(std::string(reader) + " '" + movie + "'");
    EXPECT_NE(shown.find(": " + accented + "\n"), std::string::npos) << reader << ":\n" << shown;
  }
}

TEST_F(LabelsTest, DropFrameLabelsThatAreSkippedAreRefused) {
  const std::string movie = SampleMovie("df.mov");
  for (const char* rate : {"29.97", "59.94"}) {
    Outcome r = Refused({"timecode", "add", movie, "--start", "00:01:00;01", "--rate", rate}, movie);
    EXPECT_NE(r.err.find("does not exist in drop frame"), std::string::npos) << r.err;
  }
  Refused({"timecode", "add", movie, "--start", "01:59:00;03", "--rate", "59.94"}, movie);
  for (const char* start : {"00:10:00;00", "00:01:00;02"}) {
    ASSERT_EQ(Pelorin({"timecode", "add", movie, "--start", start, "--rate", "29.97"}).status, 0) << start;
    EXPECT_EQ(JsonOf({"timecode", movie, "--json"})["timeCode"]["start"].text, start);
    ASSERT_EQ(Pelorin({"timecode", "remove", movie}).status, 0);
  }
}

// Chapters count in the video's media time scale: one too coarse for them is refused.
TEST_F(LabelsTest, ChaptersShorterThanTheVideosTimeUnitAreRefused) {
  enginetest::MovieHolder movie(600);
  enginetest::videoTrack(movie, 1, 4, 1);  // one unit a second
  const std::string path = dir_ / "coarse.mov";
  FSSpec fsSpec = enginetest::fsSpecOf(path);
  DisposeMovie(FlattenMovieData(movie, flattenAddMovieToDataFork, &fsSpec, "TVOD"_4cc, 0, 0));
  Outcome r = Refused({"chapters", "add", path, "--from", ListFile("short.txt", "00:00:00 A\n00:00:00.25 B\n")}, path);
  EXPECT_NE(r.err.find("only 1 of the 2 chapters fit"), std::string::npos) << r.err;
  ASSERT_EQ(Pelorin({"chapters", "add", path, "--from", ListFile("whole.txt", "00:00:00 A\n00:00:02 B\n")}).status, 0);
  EXPECT_EQ(Pelorin({"chapters", path}).out, "00:00:00.000 A\n00:00:02.000 B\n");
}

// References naming a missing track, track 0, the naming track itself, the
// sound track, or a track whose handler is not text hold no chapters and would
// hide new ones: adding is refused, the file as it was.
TEST_F(LabelsTest, ChapterReferencesThatNameNoChapterTrackRefuseNewChapters) {
  const std::string old = ListFile("old.txt", "00:00:00 Old\n");
  const std::string list = ListFile("new.txt", "00:00:00 Alpha\n00:00:01 Beta\n");
  struct Case {
    const char* name;
    const char* tag;
    std::string bytes;
  } cases[] = {
      {"missing", "chap", std::string("\0\0\0\x63", 4)}, {"zero", "chap", std::string(4, '\0')},
      {"self", "chap", std::string("\0\0\0\1", 4)},      {"sound", "chap", std::string("\0\0\0\2", 4)},
      {"handler", "mhlr", "zzzz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string movie = SampleMovie(std::string(c.name) + ".mov");
    ASSERT_EQ(Pelorin({"chapters", "add", movie, "--from", old}).status, 0);
    Patch(movie, c.tag, c.bytes);
    Outcome r = Refused({"chapters", "add", movie, "--replace", "--from", list}, movie);
    EXPECT_NE(r.err.find("names a track that holds no chapters"), std::string::npos) << r.err;
  }
}

}  // namespace
