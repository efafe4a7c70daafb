// What a movie keeps from its file travels with it: a track cloned into another
// movie still saves the per-sample atoms its file held, and an edit of metadata
// leaves every other atom of the file as it was, where it was.
#include "file_support.h"

#include <QuickTime/MovieFiles.h>

using namespace enginetest;

namespace {

// An H.264 movie with B-frames, whose composition offsets only 'ctts' holds;
// empty when ffmpeg cannot make one.
std::string movieWithBFrames(const ScratchDir& dir) {
  if (!haveTool("ffmpeg") || !haveTool("ffprobe")) return "";
  const std::string encoders = run("ffmpeg -hide_banner -encoders 2>/dev/null");
  const std::string codec = encoders.find("libx264") != std::string::npos ? "-c:v libx264 -bf 3" : "-c:v mpeg4 -bf 2";
  const std::string path = dir / "bframes.mov";
  run("ffmpeg -v error -y -f lavfi -i testsrc=d=2:s=160x120:r=25 " + codec + " '" + path + "'");
  return access(path.c_str(), R_OK) == 0 ? path : "";
}

}  // namespace

TEST(RoundTrip, ClonedTrackKeepsItsCompositionOffsets) {
  ScratchDir dir;
  const std::string source = movieWithBFrames(dir);
  if (source.empty()) GTEST_SKIP() << "ffmpeg/ffprobe are not installed or make no B-frames";
  const std::string original = packets(source);
  ASSERT_NE(original.find("\n"), std::string::npos);

  OpenedMovie m(source, fsRdPerm);
  ASSERT_EQ(m.err, noErr) << m.message;
  MovieHolder copy(GetMovieTimeScale(m));
  Track clone = nullptr;
  ASSERT_EQ(AddClonedTrackToMovie(GetMovieIndTrack(m, 1), copy, kQTCloneShareSamples, &clone), noErr);

  // Saved as a reference movie (samples left in the source, which ffprobe does
  // not follow), read again and flattened; and flattened straight away.
  const std::string saved = dir / "clone.mov", again = dir / "again.mov", flat = dir / "flat.mov";
  auto flatten = [](Movie movie, const std::string& path) {
    FSSpec spec = fsSpecOf(path);
    Movie made = FlattenMovieData(movie, flattenAddMovieToDataFork, &spec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile);
    ASSERT_NE(made, nullptr) << QTEngineLastFileErrorMessage();
    DisposeMovie(made);
  };
  FSSpec savedSpec = fsSpecOf(saved);
  short ref = 0;
  ASSERT_EQ(CreateMovieFile(&savedSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile, &ref, nullptr), noErr);
  ASSERT_EQ(AddMovieResource(copy, ref, nullptr, nullptr), noErr) << QTEngineLastFileErrorMessage();
  CloseMovieFile(ref);
  {
    OpenedMovie reread(saved, fsRdPerm);
    ASSERT_EQ(reread.err, noErr) << reread.message;
    flatten(reread, again);
  }
  flatten(copy, flat);
  EXPECT_EQ(packets(again), original);
  EXPECT_EQ(packets(flat), original);
}
