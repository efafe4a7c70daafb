// --output stopped by SIGTERM or SIGINT while the file is being written leaves
// no file behind, neither the output nor a temporary one.
#include "tool_support.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <set>

namespace tooltest {
namespace {

using enginetest::namesIn;

// Whether process `pid` has a file open in the folder `dir`.
bool writesIn(pid_t pid, const std::string& dir) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  bool found = false;
  if (DIR* d = ::opendir(fds.c_str())) {
    while (dirent* e = ::readdir(d)) {
      char to[PATH_MAX];
      ssize_t n = ::readlink((fds + "/" + e->d_name).c_str(), to, sizeof to);
      if (n > 0 && std::string(to, size_t(n)).rfind(dir + "/", 0) == 0) found = true;
    }
    ::closedir(d);
  }
  return found;
}

class OutputTest : public ToolTest {
 protected:
  // 40 MB of video samples: the output takes a while to write and sync.
  std::string LargeMovie() {
    enginetest::MovieHolder movie(600);
    Track t = NewMovieTrack(movie, 320 << 16, 240 << 16, 0);
    Media m = NewTrackMedia(t, VideoMediaType, 600, nullptr, 0);
    BeginMediaEdits(m);
    enginetest::addSamples(m, enginetest::imageDescription(320, 240), 160, 24, 256 << 10);
    EndMediaEdits(m);
    InsertMediaIntoTrack(t, 0, 0, GetMediaDuration(m), fixed1);
    const std::string path = dir_ / "large.mov";
    FSSpec fsSpec = enginetest::fsSpecOf(path);
    Movie flat = FlattenMovieData(movie, flattenAddMovieToDataFork, &fsSpec, "TVOD"_4cc, 0, 0);
    EXPECT_NE(flat, nullptr) << QTEngineLastFileErrorMessage();
    if (flat) DisposeMovie(flat);
    return path;
  }
};

TEST_F(OutputTest, StoppedWhileWritingLeavesNothingBehind) {
  const std::string movie = LargeMovie();
  const std::string outDir = dir_ / "out";
  ASSERT_EQ(::mkdir(outDir.c_str(), 0700), 0);
  for (int sig : {SIGTERM, SIGINT}) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::freopen("/dev/null", "w", stdout);
      ::freopen("/dev/null", "w", stderr);
      ::execl(PELORIN_TOOL_PATH, "pelorin", "userdata", movie.c_str(), "set", "test", "x", "--output",
              (outDir + "/edited.mov").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Stopped as soon as it has the output open: the copying takes far longer.
    int status = 0;
    bool caught = false;
    while (::waitpid(pid, &status, WNOHANG) == 0)
      if (!caught && writesIn(pid, outDir)) caught = ::kill(pid, sig) == 0;
    EXPECT_TRUE(caught) << "the tool finished before it could be stopped";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
    EXPECT_EQ(namesIn(outDir), std::set<std::string>{}) << "after signal " << sig;
  }
}

// Written into a pipe, the movie is all that goes down it: what the tool did is said on stderr.
TEST_F(ToolTest, OutputIntoAPipeCarriesOnlyTheMovie) {
  const std::string movie = SampleMovie("piped.mov"), received = dir_ / "received.mov", said = dir_ / "said";
  const std::string command = std::string(PELORIN_TOOL_PATH) + " userdata " + quoted(movie) +
                              " set test x --output /dev/stdout --fast-start 2>" + quoted(said) + " | cat >" +
                              quoted(received);
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(readFile(said), "set test in /dev/stdout\n");
  EXPECT_EQ(Pelorin({"userdata", received}).out, "test  x\n");
}

}  // namespace
}  // namespace tooltest
