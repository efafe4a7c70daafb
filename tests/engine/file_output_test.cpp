// Flattening onto what is already there, as cp copies: through symbolic links,
// into pipes and devices without replacing them, with the modes cp gives.
#include "file_support.h"

#include <fcntl.h>

#include <set>
#include <thread>

using namespace enginetest;

namespace {

// Flattens and answers the track count of the movie that comes back (-1: none).
long flattenedTracks(Movie movie, const std::string& path) {
  Movie flat = flatten(movie, path);
  if (!flat) return ADD_FAILURE() << QTEngineLastFileErrorMessage(), -1;
  long n = GetMovieTrackCount(flat);
  DisposeMovie(flat);
  return n;
}

mode_t modeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

}  // namespace

TEST(FileOutput, NewFilesTakeTheUmaskReplacedOnesKeepTheirModeAndLinksLeadToTheirTargets) {
  ScratchDir dir;
  MovieHolder movie(600);
  videoTrack(movie, 600, 10, 60);
  const std::string file = dir / "movie.mov";
  const mode_t umaskWas = ::umask(027);
  EXPECT_EQ(flattenedTracks(movie, file), 1);
  EXPECT_EQ(modeOf(file) & 07777, 0640u);
  ::chmod(file.c_str(), 0604);
  ::umask(077);
  EXPECT_EQ(flattenedTracks(movie, file), 1);
  ::umask(umaskWas);
  EXPECT_EQ(modeOf(file) & 07777, 0604u) << "the replaced file's mode is not kept";

  // One link to the movie, one to a file not there yet: both stay links.
  ASSERT_EQ(::symlink("movie.mov", (dir / "link.mov").c_str()), 0);
  ASSERT_EQ(::symlink("made.mov", (dir / "dangling.mov").c_str()), 0);
  for (const char* link : {"link.mov", "dangling.mov"}) {
    EXPECT_EQ(flattenedTracks(movie, dir / link), 1) << link;
    EXPECT_TRUE(S_ISLNK(modeOf(dir / link))) << link << " was replaced";
  }
  EXPECT_TRUE(S_ISREG(modeOf(dir / "made.mov")));
  EXPECT_EQ(namesIn(dir.path), (std::set<std::string>{"dangling.mov", "link.mov", "made.mov", "movie.mov"}));
  if (haveTool("ffprobe")) {
    EXPECT_NE(packets(dir / "made.mov"), "");
    EXPECT_EQ(packets(dir / "made.mov"), packets(file));
  }
}

TEST(FileOutput, PipesAreWrittenIntoNotReplaced) {
  ScratchDir dir;
  MovieHolder movie(600);
  videoTrack(movie, 600, 10, 60);
  Track sound = NewMovieTrack(movie, 0, 0, 0x100);
  Media media = NewTrackMedia(sound, SoundMediaType, 44100, nullptr, 0);
  BeginMediaEdits(media);
  addSamples(media, soundDescription(1), 44100, 1, 2);
  EndMediaEdits(media);
  InsertMediaIntoTrack(sound, 0, 0, GetMediaDuration(media), fixed1);
  ASSERT_EQ(flattenedTracks(movie, dir / "plain.mov"), 2);

  // A named pipe, and the other end of one reached through /proc as /dev/stdout is.
  const std::string fifo = dir / "pipe", spare = dir / "same pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::link(fifo.c_str(), spare.c_str()), 0);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  for (const std::string& into : {fifo, "/proc/self/fd/" + std::to_string(ends[1])}) {
    std::vector<uint8_t> got;
    std::thread reader([&] {
      if (into == fifo) return void(got = fileBytes(fifo));
      uint8_t b[65536];
      for (ssize_t n; (n = ::read(ends[0], b, sizeof b)) > 0;) got.insert(got.end(), b, b + n);
    });
    Movie flat = flatten(movie, into);
    // Readers still waiting (the pipe failed or was replaced) are let go.
    ::close(::open(spare.c_str(), O_WRONLY | O_NONBLOCK));
    if (into != fifo) ::close(ends[1]);
    reader.join();
    ASSERT_NE(flat, nullptr) << QTEngineLastFileErrorMessage();
    EXPECT_EQ(GetMovieTrackCount(flat), 2);
    EXPECT_EQ(GetMovieDuration(flat), GetMovieDuration(movie));
    DisposeMovie(flat);
    EXPECT_EQ(got, fileBytes(dir / "plain.mov")) << into;
  }
  ::close(ends[0]);
  EXPECT_TRUE(S_ISFIFO(modeOf(fifo))) << "the pipe was replaced";
}
