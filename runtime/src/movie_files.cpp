// Movie files, as the host's folder items offer them to user code: open a movie
// file (read-only or editable), create one, save a movie into its own file and
// save it as a new self-contained file. A movie object made from a file keeps the
// file open; when the object dies its movie is disposed of and the file closed.
#include <QuickTime/MovieFiles.h>
#include <QuickTime/QuickTime.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "internal.h"

namespace rt {

struct MovieFile {
  std::string path;
  short refNum = 0;
  bool editable = false;
  bool holdsMovie = false;  // false until a new file's first save adds its movie
};

namespace {

constexpr OSType kCreator = "TVOD"_4cc;  // the player's creator code, as the host gives new movie files

[[noreturn]] void raiseIOException(OSErr err) {
  throw HostException("IOException", QTEngineLastFileErrorMessage(), err);
}

const std::string& pathOf(Impl& impl, const Value& folderItem, const char* what) {
  if (folderItem.isNil()) throw HostException("NilObjectException", std::string(what) + " needs a folder item", 0);
  ObjectRecord* r = folderItem.kind() == Value::Kind::Object ? impl.recordOf(folderItem.asObject()) : nullptr;
  if (!r || !r->alive || r->cls->builtin != Builtin::FolderItem)
    throw UsageError(std::string(what) + " takes a folder item");
  if (r->path.empty()) throw HostException("IOException", std::string(what) + ": the folder item names no file", 0);
  return r->path;
}

FSSpec fsSpecOf(const std::string& path) {
  FSSpec fsSpec{};
  if (path.size() >= sizeof fsSpec.path) throw HostException("IOException", path + ": the path is too long", bdNamErr);
  std::memcpy(fsSpec.path, path.c_str(), path.size() + 1);
  return fsSpec;
}

ObjectRecord& movieRecord(Impl& impl, const Value& movie, const char* what) {
  if (movie.isNil()) throw HostException("NilObjectException", std::string(what) + " needs a movie", 0);
  ObjectRecord* r = movie.kind() == Value::Kind::Object ? impl.recordOf(movie.asObject()) : nullptr;
  if (!r || !r->alive || r->cls->builtin != Builtin::Movie) throw UsageError(std::string(what) + " takes a movie");
  if (!r->movie) throw HostException("NilObjectException", std::string(what) + ": the movie has no QuickTime movie", 0);
  return *r;
}

// A movie object standing for `movie`, read from or created as the file open as `refNum`.
Value fileMovie(Runtime& runtime, Movie movie, std::string path, short refNum, bool editable, bool holdsMovie) {
  Impl& impl = runtime.impl();
  REALobject o = impl.newMovie(movie, false);
  auto file = std::make_shared<MovieFile>();
  file->path = std::move(path);
  file->refNum = refNum;
  file->editable = editable;
  file->holdsMovie = holdsMovie;
  impl.recordOf(o)->movieFile = std::move(file);
  ++impl.liveMovieFiles;
  return Value::adoptObject(runtime, o);
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

void closeMovieFile(Impl& impl, ObjectRecord& r) {
  if (!r.movieFile) return;
  if (r.movie) DisposeMovie(static_cast<Movie>(r.movie));
  r.movie = nullptr;
  CloseMovieFile(r.movieFile->refNum);
  r.movieFile.reset();
  --impl.liveMovieFiles;
}

std::string moviePathOf(const ObjectRecord& r) { return r.movieFile ? r.movieFile->path : std::string(); }

Value getMovieDuration(Impl&, ObjectRecord& r) {
  if (!r.movie) return Value::real(0);
  Movie m = static_cast<Movie>(r.movie);
  TimeScale scale = GetMovieTimeScale(m);
  return Value::real(scale > 0 ? static_cast<double>(GetMovieDuration(m)) / scale : 0.0);
}

Value getMovieTimeScale(Impl&, ObjectRecord& r) {
  return Value::integer(r.movie ? GetMovieTimeScale(static_cast<Movie>(r.movie)) : 0);
}

Value Runtime::openMovie(const Value& folderItem, bool editable) {
  const std::string path = pathOf(*impl_, folderItem, "openMovie");
  FSSpec fsSpec = fsSpecOf(path);
  short refNum = 0;
  const Config& config = impl_->config;
  const auto giveUp = std::chrono::steady_clock::now() + config.editLockWait;
  for (bool told = false;; told = true) {
    OSErr err = OpenMovieFile(&fsSpec, &refNum, editable ? fsRdWrPerm : fsRdPerm);
    if (err == noErr) break;
    if (err != opWrErr) raiseIOException(err);
    if (std::chrono::steady_clock::now() >= giveUp)
      throw HostException("IOException", path + " is being edited by another program; try again when it has finished",
                          err);
    if (!told && config.waitingForEditLock) config.waitingForEditLock(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Movie movie = nullptr;
  if (OSErr err = NewMovieFromFile(&movie, refNum, nullptr, nullptr, newMovieActive, nullptr)) {
    HostException e("IOException", QTEngineLastFileErrorMessage(), err);
    CloseMovieFile(refNum);
    throw e;
  }
  return fileMovie(*this, movie, path, refNum, editable, true);
}

Value Runtime::createMovie(const Value& folderItem) {
  const std::string path = pathOf(*impl_, folderItem, "createMovie");
  FSSpec fsSpec = fsSpecOf(path);
  short refNum = 0;
  Movie movie = nullptr;
  if (OSErr err = CreateMovieFile(&fsSpec, kCreator, 0, createMovieFileDeleteCurFile | createMovieFileDontCreateResFile,
                                  &refNum, &movie))
    raiseIOException(err);
  return fileMovie(*this, movie, path, refNum, true, false);
}

void Runtime::saveMovie(const Value& movie) {
  ObjectRecord& r = movieRecord(*impl_, movie, "saveMovie");
  MovieFile* file = r.movieFile.get();
  if (!file) throw HostException("IOException", "the movie has no file of its own: save it with saveMovieAs", paramErr);
  Movie m = static_cast<Movie>(r.movie);
  short resId = movieInDataForkResID;
  OSErr err = file->holdsMovie ? UpdateMovieResource(m, file->refNum, resId, nullptr)
                               : AddMovieResource(m, file->refNum, &resId, nullptr);
  if (err) raiseIOException(err);
  file->holdsMovie = true;
}

void Runtime::saveMovieAs(const Value& movie, const Value& folderItem, bool fastStart) {
  ObjectRecord& r = movieRecord(*impl_, movie, "saveMovieAs");
  const std::string path = pathOf(*impl_, folderItem, "saveMovieAs");
  // The new file replaces the old one by name, which would leave this movie's
  // open file unlinked and its later saves going nowhere.
  if (r.movieFile && sameFile(path, r.movieFile->path))
    throw HostException("IOException", path + ": this is the movie's own file: save it with saveMovie", dupFNErr);
  FSSpec fsSpec = fsSpecOf(path);
  SInt32 flags = flattenAddMovieToDataFork | (fastStart ? flattenForceMovieResourceBeforeMovieData : 0);
  Movie copy = FlattenMovieData(static_cast<Movie>(r.movie), flags, &fsSpec, kCreator, 0,
                                createMovieFileDeleteCurFile | createMovieFileDontCreateResFile);
  if (!copy) raiseIOException(GetMoviesError());
  // The movie object stays with its own file; the copy read back is not wanted.
  DisposeMovie(copy);
}

}  // namespace rt
