// Fuzz target for the movie-file reader: any bytes either open as a movie or give
// an error; a movie that opens has its samples read and its movie atom written
// again (the save is planned, not carried out, to keep each run off the disk).
#include <QuickTime/QuickTime.h>

#include "../../platform/quicktime/src/file/movie_saving.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_scratch.h"

namespace {

const std::string& scratchPath() { return fuzzScratchPath("qte-fuzz"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = scratchPath();
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return 0;
  if (::write(fd, data, size) != ssize_t(size)) {
    ::close(fd);
    return 0;
  }
  FSSpec fsSpec{};
  std::snprintf(fsSpec.path, sizeof fsSpec.path, "%s", path.c_str());
  short ref = 0;
  Movie movie = nullptr;
  if (OpenMovieFile(&fsSpec, &ref, fsRdPerm) == noErr &&
      NewMovieFromFile(&movie, ref, nullptr, nullptr, newMovieActive, nullptr) == noErr) {
    for (SInt32 i = 1; i <= GetMovieTrackCount(movie); ++i) {
      Media media = GetTrackMedia(GetMovieIndTrack(movie, i));
      Handle sample = NewHandle(0);
      SInt32 got = 0;
      GetMediaSample(media, sample, 1 << 20, &got, 0, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr);
      DisposeHandle(sample);
    }
    auto* model = reinterpret_cast<qte::Movie*>(movie);
    std::vector<qte::file::TopAtom> top;
    qte::file::Failure fail;
    if (qte::file::scanTopLevel(fd, size, top, fail) == noErr) {
      std::vector<qte::file::WriteStep> plan;
      qte::file::WrittenAtom moov;
      uint64_t at = 0;
      std::vector<qte::file::PlacedTable> placed;
      (void)qte::file::planUpdate(*model, path, top, size, plan, moov, at, placed,
                                  fail);
    }
    DisposeMovie(movie);
  }
  if (ref) CloseMovieFile(ref);
  ::close(fd);
  return 0;
}
