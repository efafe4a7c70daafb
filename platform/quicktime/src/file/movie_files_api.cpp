// The movie-file calls: open, read, create, save in place and flatten.
#include "../api_using.h"
#include "movie_reader.h"
#include "movie_files.h"
#include "movie_saving.h"

#include <QuickTime/MovieFiles.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

using qte::file::Atom;
using qte::file::Failure;
using qte::file::MovieOrigin;
using qte::file::TopAtom;
using qte::file::fail;
using qte::file::succeed;
using qte::file::errnoResult;
using qte::file::pathOfFsSpec;
using qte::file::readAll;
using qte::file::writeAll;
using qte::file::sizeOfFile;
using qte::file::loadMovie;

namespace qte::file {

namespace {

// The largest movie atom read into memory; real ones are a few megabytes.
constexpr uint64_t kMaxMovieAtom = uint64_t(1) << 30;

thread_local std::string lastMessage;

}  // namespace

const char* lastFileMessage() { return lastMessage.c_str(); }

OSErr fail(OSErr err, const std::string& message) {
  lastMessage = message;
  return done(err);
}

OSErr succeed() {
  lastMessage.clear();
  return done(noErr);
}

OSErr errnoResult(int e) {
  switch (e) {
    case ENOENT: return fnfErr;
    case EACCES:
    case EPERM:
    case EROFS: return permErr;
    case EEXIST: return dupFNErr;
    default: return ioErr;
  }
}

std::string pathOfFsSpec(const FSSpec* fsSpec) {
  if (!fsSpec) return std::string();
  size_t n = strnlen(fsSpec->path, sizeof fsSpec->path);
  return n == sizeof fsSpec->path ? std::string() : std::string(fsSpec->path, n);
}

bool readAll(int fd, uint64_t at, uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t got = ::pread(fd, p, n, off_t(at));
    if (got <= 0) {
      if (got < 0 && errno == EINTR) continue;
      return false;
    }
    p += got;
    n -= size_t(got);
    at += uint64_t(got);
  }
  return true;
}

bool writeAll(int fd, uint64_t at, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t put = ::pwrite(fd, p, n, off_t(at));
    if (put <= 0) {
      if (put < 0 && errno == EINTR) continue;
      return false;
    }
    p += put;
    n -= size_t(put);
    at += uint64_t(put);
  }
  return true;
}

uint64_t sizeOfFile(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 ? uint64_t(st.st_size) : 0;
}

}  // namespace qte::file

namespace {

struct OpenFile {
  std::string path;
  int fd;
  bool writable;
};

std::mutex filesLock;
std::map<short, OpenFile>& openFiles() {
  static auto* files = new std::map<short, OpenFile>();
  return *files;
}

bool findFile(short refNum, OpenFile& out) {
  std::lock_guard<std::mutex> hold(filesLock);
  auto it = openFiles().find(refNum);
  if (it == openFiles().end()) return false;
  out = it->second;
  return true;
}

short registerFile(const std::string& path, int fd, bool writable) {
  std::lock_guard<std::mutex> hold(filesLock);
  auto& files = openFiles();
  short refNum = 1;
  while (files.count(refNum)) ++refNum;
  files[refNum] = {path, fd, writable};
  return refNum;
}

// The movie written into the file at `path` with every chunk where it lies.
qte::file::WriteTarget inPlace(const std::string& path) {
  qte::file::WriteTarget target;
  target.path = path;
  target.offsetsAsStored = true;
  target.chunkOffset = [](const qte::Track& t, size_t i) { return t.media->samples().table.chunks()[i].offset(); };
  return target;
}

}  // namespace

namespace qte::file {

// Reads the movie of the file open on `fd`. On failure nothing is left behind.
OSErr loadMovie(int fd, const std::string& path, qte::Movie*& out, Failure& f) {
  uint64_t fileSize = sizeOfFile(fd);
  std::vector<TopAtom> top;
  if (OSErr err = qte::file::scanTopLevel(fd, fileSize, top, f)) return err;
  const TopAtom* moov = nullptr;
  const TopAtom* ftyp = nullptr;
  for (const TopAtom& a : top) {
    if (a.type == "moov"_4cc && !moov) moov = &a;
    if (a.type == "ftyp"_4cc && !ftyp) ftyp = &a;
  }
  if (!moov) {
    f = {noMovieFound, "no movie atom ('moov') in the file"};
    return f.err;
  }
  if (moov->size > kMaxMovieAtom) {
    f = {badPublicMovieAtom, "moov at offset " + std::to_string(moov->offset) + ": movie atom of " +
                                 std::to_string(moov->size) + " bytes is too large"};
    return f.err;
  }
  auto origin = std::make_shared<MovieOrigin>();
  origin->path = path;
  origin->moovOffset = moov->offset;
  auto held = std::make_shared<qte::file::AtomBytes>(size_t(moov->size));
  origin->moov = held;
  if (!readAll(fd, moov->offset, held->data(), held->size())) {
    f = {ioErr, "reading the movie atom failed"};
    return f.err;
  }
  if (ftyp && ftyp->size <= 4096) {
    origin->ftyp.resize(size_t(ftyp->size));
    if (!readAll(fd, ftyp->offset, origin->ftyp.data(), origin->ftyp.size())) origin->ftyp.clear();
  }
  Atom a;
  a.type = "moov"_4cc;
  a.offset = moov->offset;
  a.start = held->data();
  a.size = held->size();
  a.header = qte::file::get32(held->data()) == 1 ? 16 : 8;
  auto movie = std::make_unique<qte::Movie>();
  if (OSErr err = qte::file::readMovie(a, path, fileSize, *movie, *origin, f)) return err;

  // What the writer makes of the movie as read: a save that renders the same is a no-op.
  origin->baseline = qte::file::summarizeMovie(*movie, origin.get(), inPlace(path));
  qte::file::setOrigin(*movie, origin);
  out = movie.release();
  return noErr;
}

}  // namespace qte::file

extern "C" {

const char* QTEngineLastFileErrorMessage(void) { return qte::file::lastFileMessage(); }

OSErr OpenMovieFile(const FSSpec* fileSpec, short* resRefNum, SInt8 permission) {
  QTE_ENTER_ERR("OpenMovieFile", a_("path", fileSpec ? fileSpec->path : "NULL")("permission", permission));
  std::string path = pathOfFsSpec(fileSpec);
  if (path.empty() || !resRefNum) return fail(paramErr, "OpenMovieFile needs a file and a place for its reference");
  bool writable = permission == fsWrPerm || permission == fsRdWrPerm;
  int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return fail(errnoResult(errno), path + ": " + std::strerror(errno));
  *resRefNum = registerFile(path, fd, writable);
  return succeed();
}

OSErr CloseMovieFile(short resRefNum) {
  QTE_ENTER_ERR("CloseMovieFile", a_("resRefNum", resRefNum));
  int fd;
  {
    std::lock_guard<std::mutex> hold(filesLock);
    auto it = openFiles().find(resRefNum);
    if (it == openFiles().end()) return fail(paramErr, "no movie file is open as " + std::to_string(resRefNum));
    fd = it->second.fd;
    openFiles().erase(it);
  }
  ::close(fd);
  return succeed();
}

OSErr NewMovieFromFile(Movie* theMovie, short resRefNum, short* resId, StringPtr resName, short newMovieFlags,
                       Boolean* dataRefWasChanged) {
  QTE_ENTER_ERR("NewMovieFromFile", a_("resRefNum", resRefNum)("flags", newMovieFlags));
  (void)resName;
  if (!theMovie) return fail(paramErr, "NewMovieFromFile needs a place for the movie");
  *theMovie = nullptr;
  if (dataRefWasChanged) *dataRefWasChanged = false;
  OpenFile file;
  if (!findFile(resRefNum, file)) return fail(paramErr, "no movie file is open as " + std::to_string(resRefNum));
  qte::Movie* movie = nullptr;
  Failure f;
  if (OSErr err = loadMovie(file.fd, file.path, movie, f)) return fail(err, file.path + ": " + f.message);
  if (resId) *resId = movieInDataForkResID;
  *theMovie = qte::handleOf<Movie>(movie);
  return succeed();
}

OSErr CreateMovieFile(const FSSpec* fileSpec, OSType creator, ScriptCode scriptTag, SInt32 createMovieFileFlags,
                      short* resRefNum, Movie* newmovie) {
  QTE_ENTER_ERR("CreateMovieFile", a_("path", fileSpec ? fileSpec->path : "NULL")("creator", Tag{creator})(
                                       "script", scriptTag)("flags", createMovieFileFlags));
  std::string path = pathOfFsSpec(fileSpec);
  if (path.empty()) return fail(paramErr, "CreateMovieFile needs a file");
  if (newmovie) *newmovie = nullptr;
  if (resRefNum) *resRefNum = 0;
  int flags = O_RDWR | O_CREAT | O_CLOEXEC | ((createMovieFileFlags & createMovieFileDeleteCurFile) ? O_TRUNC : O_EXCL);
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) return fail(errno == EEXIST ? OSErr(dupFNErr) : errnoResult(errno), path + ": " + std::strerror(errno));
  Bytes ftyp;
  {
    qte::file::AtomScope a(ftyp, "ftyp"_4cc);
    qte::file::put32(ftyp, "qt  "_4cc);
    qte::file::put32(ftyp, 0x200);
    qte::file::put32(ftyp, "qt  "_4cc);
  }
  if (!writeAll(fd, 0, ftyp.data(), ftyp.size()) || ::fsync(fd) != 0) {
    int e = errno;
    ::close(fd);
    return fail(errnoResult(e), path + ": " + std::strerror(e));
  }
  if (newmovie && !(createMovieFileFlags & createMovieFileDontCreateMovie)) {
    auto* movie = new qte::Movie();
    auto origin = std::make_shared<MovieOrigin>();
    origin->path = path;
    origin->ftyp = ftyp;
    qte::file::setOrigin(*movie, origin);
    *newmovie = qte::handleOf<Movie>(movie);
  }
  if (createMovieFileFlags & createMovieFileDontOpenFile || !resRefNum) {
    ::close(fd);
  } else {
    *resRefNum = registerFile(path, fd, true);
  }
  return succeed();
}

}  // extern "C"

namespace {

// After a save the movie's samples are those of the file: reading the movie atom
// back gives each media its table of file chunks (the in-memory copies go) and
// the origin for the next save. It also checks what was written.
OSErr adoptSaved(qte::Movie& live, int fd, const std::string& path, Failure& f) {
  qte::Movie* saved = nullptr;
  if (OSErr err = loadMovie(fd, path, saved, f)) return err;
  std::unique_ptr<qte::Movie> hold(saved);
  std::shared_ptr<MovieOrigin> origin = qte::file::originOf(*saved);
  size_t k = 0;
  for (const auto& t : live.tracks) {
    if (!t->media) continue;
    if (k >= saved->tracks.size()) break;
    qte::Track& s = *saved->tracks[k++];
    t->media->store = s.media->store;
    t->media->dataRefs = s.media->dataRefs;
    auto node = origin->tracks.extract(s.serial);
    if (!node.empty()) {
      node.key() = t->serial;
      origin->tracks.insert(std::move(node));
    }
  }
  origin->baseline = qte::file::summarizeMovie(live, origin.get(), inPlace(path));
  qte::file::setOrigin(*saved, nullptr);
  qte::file::setOrigin(live, origin);
  return noErr;
}

// Whether any sample of the movie is still in memory, added since the last save.
bool hasNewSamples(const qte::Movie& movie) {
  for (const auto& t : movie.tracks)
    if (t->media)
      for (const qte::Chunk& c : t->media->samples().table.chunks())
        if (c.inMemory()) return true;
  return false;
}

OSErr saveInPlace(Movie theMovie, short resRefNum) {
  auto* movie = live<qte::Movie>(theMovie);
  if (!movie) return fail(invalidMovie, "not a movie");
  OpenFile file;
  if (!findFile(resRefNum, file)) return fail(paramErr, "no movie file is open as " + std::to_string(resRefNum));
  if (!file.writable) return fail(permErr, file.path + ": the movie file is open for reading only");
  std::shared_ptr<MovieOrigin> origin = qte::file::originOf(*movie);
  Failure f;
  uint64_t fileSize = sizeOfFile(file.fd);
  std::vector<TopAtom> top;
  if (OSErr err = qte::file::scanTopLevel(file.fd, fileSize, top, f)) return fail(err, file.path + ": " + f.message);
  std::vector<qte::file::WriteStep> plan;
  qte::file::WrittenAtom moov;
  uint64_t moovAt = 0;
  std::vector<qte::file::PlacedTable> placed;
  if (OSErr err =
          qte::file::planUpdate(*movie, origin.get(), file.path, top, fileSize, plan, moov, moovAt, placed, f))
    return fail(err, file.path + ": " + f.message);
  if (plan.empty()) return succeed();
  const bool newSamples = hasNewSamples(*movie);
  for (const qte::file::WriteStep& s : plan) {
    uint64_t at = s.offset;
    auto write = [&](const uint8_t* p, size_t n) {
      bool ok = writeAll(file.fd, at, p, n);
      at += n;
      return ok;
    };
    if (!s.forEach(moov, write) || ::fdatasync(file.fd) != 0) {
      int e = errno;
      return fail(errnoResult(e), file.path + ": saving the movie failed at offset " + std::to_string(s.offset) +
                                      ": " + std::strerror(e) + " (the file still holds the previous movie)");
    }
  }
  if (!newSamples && origin && origin->path == file.path) {
    // Only the movie atom changed: every sample is where the model has it, and
    // the atom written is the writer's rendering of the model, so reading it back
    // would give the same. Skipping that keeps an edit's cost to the atom's writing.
    origin->moovOffset = moovAt;
    // Sample tables made anew now lie in the file as this atom's own bytes hold them.
    if (!placed.empty()) {
      auto held = std::make_shared<const Bytes>(std::move(moov.own));
      for (qte::file::PlacedTable& p : placed) {
        auto it = origin->tracks.find(p.serial);
        if (it != origin->tracks.end())
          it->second.table = {held, held->data() + p.at, p.size, std::move(p.channelLayout), p.dataRefs};
      }
    }
    origin->baseline = qte::file::summarizeMovie(*movie, origin.get(), inPlace(file.path));
    return succeed();
  }
  if (OSErr err = adoptSaved(*movie, file.fd, file.path, f))
    return fail(err, file.path + ": the saved movie does not read back: " + f.message);
  return succeed();
}

}  // namespace

extern "C" {

OSErr UpdateMovieResource(Movie theMovie, short resRefNum, short resId, ConstStr255Param resName) {
  QTE_ENTER_ERR("UpdateMovieResource", a_.object("movie", theMovie)("resRefNum", resRefNum)("resId", resId));
  (void)resName;
  return saveInPlace(theMovie, resRefNum);
}

OSErr AddMovieResource(Movie theMovie, short resRefNum, short* resId, ConstStr255Param resName) {
  QTE_ENTER_ERR("AddMovieResource", a_.object("movie", theMovie)("resRefNum", resRefNum));
  (void)resName;
  OSErr err = saveInPlace(theMovie, resRefNum);
  if (err == noErr && resId) *resId = movieInDataForkResID;
  return err;
}

}  // extern "C"

