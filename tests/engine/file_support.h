// Movie-file test helpers: a scratch folder, whole-file bytes, opening and saving
// through the public calls, and the outside tools when they are installed.
#pragma once

#include "engine_support.h"

#include <QuickTime/MovieFiles.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace enginetest {

struct ScratchDir {
  std::string path;
  ScratchDir() {
    char t[] = "/tmp/qte-file-XXXXXX";
    path = mkdtemp(t);
  }
  ~ScratchDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline FSSpec fsSpecOf(const std::string& path) {
  FSSpec s{};
  std::snprintf(s.path, sizeof s.path, "%s", path.c_str());
  return s;
}

// A self-contained copy of `movie` at `path`, replacing what is there; null on failure.
inline Movie flatten(Movie movie, const std::string& path) {
  FSSpec fsSpec = fsSpecOf(path);
  return FlattenMovieData(movie, flattenAddMovieToDataFork, &fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile);
}

// The names in a folder, without "." and "..".
inline std::set<std::string> namesIn(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
  return names;
}

inline std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// A movie read from a file, with the file kept open (read-write) for saving.
struct OpenedMovie {
  short ref = 0;
  Movie movie = nullptr;
  OSErr err = noErr;
  std::string message;
  explicit OpenedMovie(const std::string& path, SInt8 perm = fsRdWrPerm) {
    FSSpec fsSpec = fsSpecOf(path);
    err = OpenMovieFile(&fsSpec, &ref, perm);
    if (err == noErr) err = NewMovieFromFile(&movie, ref, nullptr, nullptr, newMovieActive, nullptr);
    message = QTEngineLastFileErrorMessage();
  }
  ~OpenedMovie() {
    if (movie) DisposeMovie(movie);
    if (ref) CloseMovieFile(ref);
  }
  OSErr save() { return UpdateMovieResource(movie, ref, movieInDataForkResID, nullptr); }
  operator Movie() const { return movie; }
};

inline bool haveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string run(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// The bytes and timing of every packet as ffprobe sees them, one line each.
inline std::string packets(const std::string& path) {
  return run("ffprobe -v error -show_entries packet=stream_index,pts,dts,duration,size,flags,data_hash "
             "-show_data_hash crc32 -of csv '" + path + "'");
}

}  // namespace enginetest
