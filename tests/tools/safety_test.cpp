// What keeps a person's files safe: edits of one file take turns, readers never
// wait, and only regular files are opened.
#include "tool_support.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>

namespace {

using enginetest::fileBytes;
using enginetest::haveTool;
using enginetest::run;
using tooltest::Outcome;
using tooltest::quoted;
using tooltest::readFile;

class Safety : public tooltest::ToolTest {
 protected:
  // Starts the tool in the background; its output goes to files named after `tag`.
  pid_t Start(const std::vector<std::string>& args, const std::string& tag, const std::string& env = "") {
    std::string command = env + " " + PELORIN_TOOL_PATH;
    for (const std::string& a : args) command += " " + quoted(a);
    command += " >" + dir_ / (tag + ".out") + " 2>" + dir_ / (tag + ".err") + " </dev/null";
    pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }
  Outcome Finish(pid_t pid, const std::string& tag) {
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(dir_ / (tag + ".out")),
            readFile(dir_ / (tag + ".err"))};
  }
};

// Two different edits started together both land, every time, and leave a file
// that reads.
TEST_F(Safety, ConcurrentEditsOfOneFileBothLand) {
  const std::string original = SampleMovie("original.mov"), movie = dir_ / "movie.mov";
  const bool probe = haveTool("ffprobe");
  for (int i = 0; i < 50; ++i) {
    SCOPED_TRACE(i);
    std::filesystem::copy_file(original, movie, std::filesystem::copy_options::overwrite_existing);
    const std::string title = "Title " + std::to_string(i);
    pid_t a = Start({"userdata", movie, "set", "\u00a9nam", title}, "a");
    pid_t b = Start({"timecode", "add", movie, "--start", "01:00:00:00"}, "b");
    Outcome ra = Finish(a, "a"), rb = Finish(b, "b");
    ASSERT_EQ(ra.status, 0) << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.err;
    Outcome info = Pelorin({"info", movie});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find(title + "\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("time code: 01:00:00:00"), std::string::npos) << info.out;
    if (probe) {
      ASSERT_EQ(run("ffprobe -v error -show_entries format=nb_streams -of csv=p=0 '" + movie + "' 2>/dev/null"), "3\n");
    }
  }
}

// While another program holds a file's edit lock, an edit waits (saying so once)
// and then gives up clearly, changing nothing, or goes on when the lock is freed;
// reading the file, also to write another, never waits.
TEST_F(Safety, EditsWaitForTheEditLockAndReadersDoNot) {
  const std::string movie = SampleMovie("locked.mov");
  int held = open(movie.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);

  EXPECT_EQ(Pelorin({"info", movie}).status, 0);
  Outcome copy = Pelorin({"userdata", movie, "set", "\u00a9nam", "Copy", "--output", dir_ / "copy.mov"});
  EXPECT_EQ(copy.status, 0) << copy.err;
  const std::vector<uint8_t> before = fileBytes(movie);
  // Replacing it while it is edited would lose that edit.
  Outcome over = Pelorin({"userdata", dir_ / "copy.mov", "set", "\u00a9nam", "Over", "--output", movie});
  EXPECT_NE(over.err.find("another program is editing the file"), std::string::npos) << over.err;
  Outcome late = Finish(Start({"userdata", movie, "set", "\u00a9nam", "Late"}, "late", "PELORIN_EDIT_WAIT=0.3"), "late");
  EXPECT_EQ(late.status, 1);
  EXPECT_EQ(late.err, "pelorin: " + movie + " is being edited by another program; waiting for it to finish...\n"
                      "pelorin userdata: " + movie + " is being edited by another program; try again when it has "
                      "finished\n");
  EXPECT_EQ(fileBytes(movie), before);

  pid_t waiting = Start({"userdata", movie, "set", "\u00a9nam", "Patient"}, "patient");
  for (int k = 0; k < 1000 && readFile(dir_ / "patient.err").empty(); ++k) usleep(10000);
  close(held);
  Outcome patient = Finish(waiting, "patient");
  EXPECT_EQ(patient.status, 0) << patient.err;
  EXPECT_NE(patient.err.find("waiting"), std::string::npos) << patient.err;
  EXPECT_NE(Pelorin({"info", movie}).out.find("Patient"), std::string::npos);
}

// A folder, or a pipe nobody writes to, is refused in plain words (the pipe at
// once, rather than waiting for a writer); a link to a movie is the movie.
TEST_F(Safety, OnlyRegularFilesOpen) {
  const std::string fifo = dir_ / "pipe.mov", link = dir_ / "link.mov";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ASSERT_EQ(symlink(SampleMovie("target.mov").c_str(), link.c_str()), 0);
  Outcome folder = Pelorin({"info", dir_.path});
  EXPECT_EQ(folder.err, "pelorin info: " + dir_.path + ": it is a folder, not a movie file\n");
  for (const char* command : {"info", "chapters"}) {
    const std::string err = run("timeout 20 " + std::string(PELORIN_TOOL_PATH) + " " + command + " " + fifo + " 2>&1");
    EXPECT_NE(err.find(fifo + ": it is not a regular file"), std::string::npos) << err;
  }
  Outcome edit = Pelorin({"userdata", link, "set", "\u00a9nam", "Linked"});
  EXPECT_EQ(edit.status, 0) << edit.err;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_NE(Pelorin({"info", link}).out.find("Linked"), std::string::npos);
}

}  // namespace
