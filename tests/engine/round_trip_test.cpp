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
    Movie made = enginetest::flatten(movie, path);
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

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t be32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

Bytes atom(const std::string& type, const Bytes& payload) {
  Bytes b(8);
  put32(b, 0, uint32_t(8 + payload.size()));
  std::copy(type.begin(), type.end(), b.begin() + 4);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

std::string typeAt(const Bytes& b, size_t at) { return std::string(b.begin() + long(at) + 4, b.begin() + long(at) + 8); }

bool isContainer(const std::string& t) {
  for (const char* c : {"moov", "trak", "edts", "mdia", "minf", "dinf", "stbl", "gmhd", "udta", "tapt", "clip"})
    if (t == c) return true;
  return false;
}

// The movie atom's payload with an unknown atom after the first child of every
// container, and at the end of each track a 'tapt' and a 'clip' holding one too.
Bytes withUnknownAtoms(const Bytes& b, size_t from, size_t to, const std::string& path) {
  Bytes out;
  bool first = true;
  for (size_t at = from; at + 8 <= to;) {
    const size_t size = be32(b, at);
    const std::string type = typeAt(b, at);
    if (isContainer(type) && type != "udta") {
      Bytes inner = withUnknownAtoms(b, at + 8, at + size, path + "/" + type);
      Bytes whole = atom(type, inner);
      out.insert(out.end(), whole.begin(), whole.end());
    } else {
      out.insert(out.end(), b.begin() + long(at), b.begin() + long(at + size));
    }
    if (first) {
      Bytes z = atom("zzzz", Bytes(path.begin(), path.end()));
      out.insert(out.end(), z.begin(), z.end());
    }
    first = false;
    at += size;
  }
  if (path == "/moov/trak") {
    // Last, where a new file would have them near the start: they must stay last.
    Bytes dims(12, 0), tapt;
    for (const char* t : {"clef", "zzzz", "prof", "enof"}) {
      Bytes a = atom(t, dims);
      tapt.insert(tapt.end(), a.begin(), a.end());
    }
    for (const Bytes& a : {atom("tapt", tapt), atom("clip", atom("zzzz", {}))}) out.insert(out.end(), a.begin(), a.end());
  }
  return out;
}

// Every atom below the top level, one line each in file order: its path, and
// for atoms that are not containers a hash of its bytes. Metadata is left out.
void describe(const Bytes& b, size_t from, size_t to, const std::string& path, std::vector<std::string>& out) {
  for (size_t at = from; at + 8 <= to;) {
    const size_t size = be32(b, at);
    const std::string type = typeAt(b, at), here = path + "/" + type;
    if (type == "meta" || type == "pelo") {
    } else if (isContainer(type)) {
      out.push_back(here);
      describe(b, at + 8, at + size, here, out);
    } else {
      out.push_back(here + " " + std::to_string(std::hash<std::string>()(std::string(b.begin() + long(at), b.begin() + long(at + size)))));
    }
    at += size;
  }
}

// The file's top-level atoms other than the movie and free space, and the movie's atoms.
std::string layoutOf(const Bytes& b) {
  std::vector<std::string> out;
  bool seenMovie = false;
  for (size_t at = 0; at + 8 <= b.size(); at += be32(b, at)) {
    const std::string type = typeAt(b, at);
    if (type == "moov" && !seenMovie) describe(b, at + 8, at + be32(b, at), "moov", out);
    else if (type != "moov" && type != "free") out.push_back(type);
    seenMovie = seenMovie || type == "moov";
  }
  std::string text;
  for (const std::string& line : out) text += line + "\n";
  return text;
}

}  // namespace

// Atoms the engine does not know, at every level, stay byte for byte where they
// were when only metadata changes, and so does every atom the edit did not touch.
TEST(RoundTrip, AMetadataEditLeavesEveryOtherAtomInItsPlace) {
  if (!haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  ScratchDir dir;
  const std::string path = dir / "unknown.mov", meta = dir / "chapters.txt";
  {
    std::ofstream o(meta);
    o << ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=Intro\n";
  }
  run("ffmpeg -v error -y -f lavfi -i testsrc=d=1:s=160x120:r=25 -f lavfi -i sine=d=1 -i '" + meta +
      "' -map 0 -map 1 -map_chapters 2 -c:v mjpeg -c:a pcm_s16le -timecode 01:00:00:00 '" + path + "'");
  Bytes file = fileBytes(path);
  ASSERT_GT(file.size(), 8u) << "ffmpeg made no file";
  // The movie atom is last (nothing moves when it grows); an unknown atom goes before it.
  size_t moovAt = 0;
  while (moovAt + 8 <= file.size() && typeAt(file, moovAt) != "moov") moovAt += be32(file, moovAt);
  ASSERT_EQ(moovAt + be32(file, moovAt), file.size());
  Bytes moov = atom("moov", withUnknownAtoms(file, moovAt + 8, file.size(), "/moov"));
  file.resize(moovAt);
  for (const Bytes& a : {atom("zzzz", Bytes{'t', 'o', 'p'}), moov}) file.insert(file.end(), a.begin(), a.end());
  writeBytes(path, file);
  const auto before = layoutOf(file);
  size_t unknown = 0;
  for (size_t at = before.find("/zzzz"); at != std::string::npos; at = before.find("/zzzz", at + 1)) ++unknown;
  ASSERT_GT(unknown, 20u);

  {
    OpenedMovie m(path);
    ASSERT_EQ(m.err, noErr) << m.message;
    HandleHolder item("x", 1);
    ASSERT_EQ(AddUserData(GetMovieUserData(m), item, "pelo"_4cc), noErr);
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
  }
  const Bytes saved = fileBytes(path);
  EXPECT_NE(saved, file);
  EXPECT_EQ(layoutOf(saved), before);
}
