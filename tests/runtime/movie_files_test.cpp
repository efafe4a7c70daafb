// Movie files as user code meets them: opened, edited through the plugin's members,
// saved and reopened; saved as new files; and the engine's failures raised as
// IOExceptions that leave every file as it was.
#include "../engine/file_support.h"
#include "../plugin/chapter_movies.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

using enginetest::fileBytes;
using enginetest::ScratchDir;
using rt::Value;

// The offset of the first top-level atom of `type`, or -1.
long long atomOffset(const std::vector<uint8_t>& file, const char* type) {
  size_t at = 0;
  while (at + 8 <= file.size()) {
    uint64_t size = (uint64_t(file[at]) << 24) | (uint64_t(file[at + 1]) << 16) | (uint64_t(file[at + 2]) << 8) |
                    file[at + 3];
    if (size == 1 && at + 16 <= file.size()) {
      size = 0;
      for (int i = 0; i < 8; ++i) size = (size << 8) | file[at + 8 + i];
    }
    if (std::string(file.begin() + long(at) + 4, file.begin() + long(at) + 8) == type) return (long long)at;
    if (size < 8) return -1;
    at += size;
  }
  return -1;
}

// File descriptors open in the process: a movie object's file must close with it.
long openFiles() {
  long n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

class MovieFilesTest : public EngineMovieTest {
 protected:
  // A movie file of one 4-sample video track, written as user code saves a movie
  // it built: moov last (or first, fast start).
  std::string SampleFile(const std::string& name, bool fastStart = false) {
    Movie m = NewEngineMovie(600);
    AddVideoTrack(m);
    const std::string path = dir_ / name;
    runtime().saveMovieAs(runtime().newMovie(m), runtime().newFolderItem(path), fastStart);
    return path;
  }

  Value Open(const std::string& path, bool editable) { return runtime().openMovie(runtime().newFolderItem(path), editable); }

  Value Chapter(const char* text, int64_t duration) {
    Value c = runtime().newObject("QTChapterDataZQK");
    runtime().set(c, "Text", runtime().string(text));
    runtime().set(c, "FrameDuration", Value::integer(duration));
    return c;
  }

  // The IOException a call raises; fails the test when it raises none.
  template <typename F>
  rt::HostException IOFailure(F&& call) {
    try {
      call();
    } catch (const rt::HostException& e) {
      EXPECT_EQ(e.className(), "IOException");
      return e;
    }
    ADD_FAILURE() << "no exception";
    return rt::HostException("", "", 0);
  }

  ScratchDir dir_;
};

TEST_F(MovieFilesTest, EditsMadeThroughThePluginSurviveSaveAndReopen) {
  rt::Runtime& rt = Load();
  const std::string path = SampleFile("edit.mov");
  const std::vector<uint8_t> before = fileBytes(path);
  const long long oldMoov = atomOffset(before, "moov");
  ASSERT_GT(oldMoov, 0);
  const long filesBefore = openFiles();
  {
    Value movie = Open(path, true);
    EXPECT_EQ(rt.accounting().liveMovieFiles, 1);
    EXPECT_EQ(rt.get(movie, "TimeScale").asInteger(), 600);
    EXPECT_DOUBLE_EQ(rt.get(movie, "Duration").asDouble(), 4.0);
    ASSERT_EQ(rt.call(movie, "TrackCountZQK").asInteger(), 1);
    Value chapters = rt.newObjectArray({Chapter("Intro", 600), Chapter("Caf\u00e9 \u2014 Z\u00fcrich", 1800)});
    EXPECT_FALSE(rt.call(movie, "AddTextTrackZQK", {chapters, rt.string("vide"), Value::boolean(true)}).isNil());
    Value video = rt.call(movie, "GetVideoTrackZQK", {Value::integer(1)});
    rt.set(video, "TrackEnabled", Value::boolean(false));
    Value userData = rt.call(movie, "UserDataZQK");
    rt.call(userData, "AddText", {rt.string("\u00a9nam"), Value::integer(1), Value::integer(0), rt.string("Edited")});
    rt.saveMovie(movie);
    // A second save of an unchanged movie writes nothing.
    const std::vector<uint8_t> saved = fileBytes(path);
    rt.saveMovie(movie);
    EXPECT_EQ(fileBytes(path), saved);
  }
  EXPECT_EQ(rt.accounting().liveMovieFiles, 0);
  EXPECT_EQ(openFiles(), filesBefore);

  // The sample bytes before the old movie atom never move.
  const std::vector<uint8_t> after = fileBytes(path);
  ASSERT_GE(after.size(), size_t(oldMoov));
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + oldMoov, after.begin()));

  Value movie = Open(path, false);
  ASSERT_EQ(rt.call(movie, "TrackCountZQK").asInteger(), 2);
  Value video = rt.call(movie, "GetVideoTrackZQK", {Value::integer(1)});
  EXPECT_FALSE(rt.get(video, "TrackEnabled").asBoolean());
  EXPECT_EQ(rt.call(video, "MediaSampleCount").asInteger(), 4);
  Value track = rt.call(movie, "GetTextTrackZQK", {Value::integer(1)});
  ASSERT_FALSE(track.isNil());
  ASSERT_EQ(rt.call(track, "ChapterCount").asInteger(), 2);
  const int64_t second = rt.call(track, "GetChapterTime", {Value::integer(2)}).asInteger();
  EXPECT_EQ(second, 600);
  EXPECT_EQ(Text(rt.call(track, "ChapterText", {Value::integer(second)})), "Caf\u00e9 \u2014 Z\u00fcrich");
  Value userData = rt.call(movie, "UserDataZQK");
  EXPECT_EQ(Text(rt.call(userData, "GetText", {rt.string("\u00a9nam"), Value::integer(1), Value::integer(0)})),
            "Edited");
}

TEST_F(MovieFilesTest, NewFilesAndSavedCopies) {
  rt::Runtime& rt = Load();
  // A new file holds no movie until its first save, and a second save updates it.
  const std::string made = dir_ / "new.mov";
  {
    Value movie = rt.createMovie(rt.newFolderItem(made));
    EXPECT_EQ(rt.call(movie, "TrackCountZQK").asInteger(), 0);
    rt.saveMovie(movie);
    EXPECT_EQ(rt.call(Open(made, false), "TrackCountZQK").asInteger(), 0);
    rt.saveMovie(movie);
  }
  EXPECT_EQ(rt.call(Open(made, false), "TrackCountZQK").asInteger(), 0);

  // Save as: a self-contained copy, the movie atom first only for fast start; the
  // movie stays with its own file, which is not touched.
  const std::string path = SampleFile("source.mov");
  const std::vector<uint8_t> source = fileBytes(path);
  Value movie = Open(path, true);
  rt.call(movie, "AddTextTrackZQK", {rt.newObjectArray({Chapter("One", 2400)}), rt.string("vide"), Value::boolean(true)});
  for (bool fastStart : {false, true}) {
    const std::string copy = dir_ / (fastStart ? "fast.mov" : "slow.mov");
    rt.saveMovieAs(movie, rt.newFolderItem(copy), fastStart);
    const std::vector<uint8_t> bytes = fileBytes(copy);
    EXPECT_EQ(atomOffset(bytes, "moov") < atomOffset(bytes, "mdat"), fastStart);
    EXPECT_EQ(rt.call(Open(copy, false), "TrackCountZQK").asInteger(), 2);
  }
  EXPECT_EQ(fileBytes(path), source);
  rt.saveMovie(movie);
  EXPECT_EQ(rt.call(Open(path, false), "TrackCountZQK").asInteger(), 2);
}

TEST_F(MovieFilesTest, FailuresRaiseIOExceptionsAndChangeNoFile) {
  rt::Runtime& rt = Load();
  const std::string path = SampleFile("keep.mov");
  const std::vector<uint8_t> original = fileBytes(path);

  // A missing file and a malformed one: the message names the file, and for the
  // malformed one the atom and its offset.
  rt::HostException missing = IOFailure([&] { Open(dir_ / "none.mov", false); });
  EXPECT_NE(missing.message().find(dir_ / "none.mov"), std::string::npos) << missing.message();
  EXPECT_NE(missing.errorNumber(), 0);

  std::vector<uint8_t> cut = original;
  const long long moov = atomOffset(cut, "moov");
  cut.erase(cut.begin() + moov + 40, cut.end());
  const std::string broken = dir_ / "broken.mov";
  enginetest::writeBytes(broken, cut);
  rt::HostException malformed = IOFailure([&] { Open(broken, true); });
  EXPECT_NE(malformed.message().find(broken), std::string::npos) << malformed.message();
  EXPECT_NE(malformed.message().find("moov"), std::string::npos) << malformed.message();
  EXPECT_NE(malformed.message().find(std::to_string(moov)), std::string::npos) << malformed.message();
  EXPECT_EQ(fileBytes(broken), cut);
  EXPECT_EQ(rt.accounting().liveMovieFiles, 0);

  // A read-only movie can be edited but not saved.
  {
    Value movie = Open(path, false);
    rt.call(movie, "InsertEmptyMovieSegmentZQK", {Value::integer(0), Value::integer(600)});
    IOFailure([&] { rt.saveMovie(movie); });
    // Its own file cannot be the target of save as: that would unlink the file under it.
    IOFailure([&] { rt.saveMovieAs(movie, rt.newFolderItem(path), false); });
    // A folder that does not exist leaves nothing behind.
    IOFailure([&] { rt.saveMovieAs(movie, rt.newFolderItem(dir_ / "no/such/dir.mov"), false); });
  }
  EXPECT_EQ(fileBytes(path), original);

  // A movie without a file has nothing to save into.
  Movie loose = NewEngineMovie(600);
  IOFailure([&] { rt.saveMovie(rt.newMovie(loose)); });
  try {
    rt.openMovie(Value(), false);
    ADD_FAILURE() << "a nil folder item opened";
  } catch (const rt::HostException& e) {
    EXPECT_EQ(e.className(), "NilObjectException");
  }
}

}  // namespace
