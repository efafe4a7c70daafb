// Movie-file costs on the files bench/make_bench_files.sh makes (the folder named by
// PELORIN_BENCH_FILES); bench/run_file_bench.py runs these beside the other tools.
//   SaveEdit             save a title edit of hour.mov in place (the file open, the movie read)
//   OpenEditSave         the same edit as a user makes it: open, read, change, save, close
//   RewriteMovieAtom     the floor for that: read hour.mov's movie atom and write
//                        the same bytes back where they lie, synced
//   ReadMovie/<file>     open a file and read its movie (what `pelorin info` starts with)
#include <QuickTime/MovieFiles.h>
#include <QuickTime/QuickTime.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string benchFile(const char* name) {
  const char* dir = std::getenv("PELORIN_BENCH_FILES");
  return std::string(dir ? dir : ".") + "/" + name;
}

FSSpec fsSpecOf(const std::string& path) {
  FSSpec s{};
  std::snprintf(s.path, sizeof s.path, "%s", path.c_str());
  return s;
}

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// Opens hour.mov for saving and changes its title: titles of two lengths, so that
// saves alternate between fitting where the old movie atom was and not.
Movie openAndEdit(benchmark::State& state, const std::string& path, short& ref, int n) {
  FSSpec fsSpec = fsSpecOf(path);
  Movie movie = nullptr;
  if (OpenMovieFile(&fsSpec, &ref, fsRdWrPerm) != noErr ||
      NewMovieFromFile(&movie, ref, nullptr, nullptr, newMovieActive, nullptr) != noErr) {
    state.SkipWithError((path + ": " + QTEngineLastFileErrorMessage()).c_str());
    return nullptr;
  }
  std::string title = n % 2 ? "Edited" : "Edited again";
  Handle h = nullptr;
  PtrToHand(title.data(), &h, Size(title.size()));
  UserData ud = GetMovieUserData(movie);
  RemoveUserData(ud, 0xA96E616D, 1);
  AddUserDataText(ud, h, 0xA96E616D, 1, 0);
  DisposeHandle(h);
  return movie;
}

// The save of an edit alone: the file is open and the movie read.
void SaveEdit(benchmark::State& state) {
  const std::string path = benchFile("hour.mov");
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    short ref = 0;
    Movie movie = openAndEdit(state, path, ref, ++n);
    if (!movie) break;
    state.ResumeTiming();
    OSErr err = UpdateMovieResource(movie, ref, movieInDataForkResID, nullptr);
    state.PauseTiming();
    DisposeMovie(movie);
    CloseMovieFile(ref);
    state.ResumeTiming();
    if (err != noErr) {
      state.SkipWithError(QTEngineLastFileErrorMessage());
      break;
    }
  }
}

// An edit as a user makes it: open, read the movie, change it, save, close.
void OpenEditSave(benchmark::State& state) {
  const std::string path = benchFile("hour.mov");
  int n = 0;
  for (auto _ : state) {
    short ref = 0;
    Movie movie = openAndEdit(state, path, ref, ++n);
    if (!movie) break;
    OSErr err = UpdateMovieResource(movie, ref, movieInDataForkResID, nullptr);
    DisposeMovie(movie);
    CloseMovieFile(ref);
    if (err != noErr) {
      state.SkipWithError(QTEngineLastFileErrorMessage());
      break;
    }
  }
}

// Finds the first movie atom by walking the top level, reads it and writes it back.
void RewriteMovieAtom(benchmark::State& state) {
  const std::string path = benchFile("hour.mov");
  std::vector<uint8_t> moov;
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) {
      state.SkipWithError((path + ": cannot open").c_str());
      break;
    }
    off_t at = 0, end = ::lseek(fd, 0, SEEK_END);
    uint64_t size = 0;
    while (at < end) {
      uint8_t h[16];
      if (::pread(fd, h, 16, at) < 8) break;
      size = be32(h);
      if (size == 1) size = uint64_t(be32(h + 8)) << 32 | be32(h + 12);
      if (be32(h + 4) == 0x6D6F6F76) break;  // 'moov'
      if (size < 8) break;
      at += off_t(size);
    }
    moov.resize(size);
    bool ok = ::pread(fd, moov.data(), moov.size(), at) == ssize_t(moov.size()) &&
              ::pwrite(fd, moov.data(), moov.size(), at) == ssize_t(moov.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
      state.SkipWithError("reading or writing the movie atom failed");
      break;
    }
  }
  state.counters["moov_bytes"] = double(moov.size());
}

void ReadMovie(benchmark::State& state, const char* name) {
  const std::string path = benchFile(name);
  FSSpec fsSpec = fsSpecOf(path);
  for (auto _ : state) {
    short ref = 0;
    Movie movie = nullptr;
    if (OpenMovieFile(&fsSpec, &ref, fsRdPerm) != noErr ||
        NewMovieFromFile(&movie, ref, nullptr, nullptr, newMovieActive, nullptr) != noErr) {
      state.SkipWithError((path + ": " + QTEngineLastFileErrorMessage()).c_str());
      break;
    }
    benchmark::DoNotOptimize(GetMovieDuration(movie));
    DisposeMovie(movie);
    CloseMovieFile(ref);
  }
}

BENCHMARK(SaveEdit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(OpenEditSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(RewriteMovieAtom)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK_CAPTURE(ReadMovie, hour, "hour.mov")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadMovie, million, "million.mov")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadMovie, chapters10k, "chapters10k.mov")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
