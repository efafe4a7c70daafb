// The movie-file calls: open, read, create, save in place and flatten.
#include "../api_using.h"
#include "movie_reader.h"
#include "movie_files.h"
#include "movie_saving.h"

#include <QuickTime/MovieFiles.h>

#include <fcntl.h>
#include <sys/file.h>
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
using qte::readAll;
using qte::writeAll;
using qte::file::sizeOfFile;
using qte::file::loadMovie;
using qte::file::openRegularFile;

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

int openRegularFile(const std::string& path, int flags, Failure& f) {
  static const char* const kFolder = "it is a folder, not a movie file";
  int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    int e = errno;
    f = e == EISDIR ? Failure{notAFileErr, kFolder} : Failure{errnoResult(e), std::strerror(e)};
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int e = errno;
    ::close(fd);
    f = {errnoResult(e), std::strerror(e)};
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    f = {notAFileErr, S_ISDIR(st.st_mode) ? kFolder : "it is not a regular file (a pipe, device or socket)"};
    return -1;
  }
  // Reads of a regular file never wait anyway; the flag only kept the open from blocking.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

Bytes quickTimeFileType() {
  Bytes ftyp;
  {
    AtomScope a(ftyp, "ftyp"_4cc);
    put32(ftyp, "qt  "_4cc);
    put32(ftyp, 0x200);
    put32(ftyp, "qt  "_4cc);
  }
  return ftyp;
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

// Opens a movie file for editing, holding the edit lock: an exclusive flock on
// the open file, so that no other editor reads the file until this one has
// closed it (and with it, synced its save). A flock belongs to this descriptor
// alone; the media's own descriptors of the file can come and go without
// dropping it. Another editor holding it is opWrErr at once: waiting is the caller's choice.
int openLocked(const std::string& path, int flags, Failure& f) {
  // The path may be renamed over while the lock is awaited; the lock must be on the file it names.
  for (int tries = 0; tries < 8; ++tries) {
    int fd = openRegularFile(path, flags, f);
    if (fd < 0) return fd;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int e = errno;
      ::close(fd);
      f = e == EWOULDBLOCK ? Failure{opWrErr, "another program is editing the file"}
                           : Failure{errnoResult(e), std::string("locking the file for editing failed: ") +
                                                         std::strerror(e)};
      return -1;
    }
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino)
      return fd;
    ::close(fd);
    flags &= ~O_EXCL;
  }
  f = {ioErr, "the file keeps being replaced while it is opened"};
  return -1;
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
  auto held = std::make_shared<qte::file::AtomBytes>(size_t(moov->size));
  if (!readAll(fd, moov->offset, held->data(), held->size())) {
    f = {ioErr, "reading the movie atom failed"};
    return f.err;
  }
  Bytes ftypBytes;
  if (ftyp && ftyp->size <= 4096) {
    ftypBytes.resize(size_t(ftyp->size));
    if (!readAll(fd, ftyp->offset, ftypBytes.data(), ftypBytes.size())) ftypBytes.clear();
  }
  return readMovieAtom(held, moov->offset, path, fileSize, std::move(ftypBytes), out, f);
}

OSErr readMovieAtom(std::shared_ptr<const AtomBytes> held, uint64_t offset, const std::string& path,
                    uint64_t fileSize, Bytes ftyp, qte::Movie*& out, Failure& f, const qte::Movie* known) {
  auto origin = std::make_shared<MovieOrigin>();
  origin->path = path;
  origin->moovOffset = offset;
  origin->ftyp = std::move(ftyp);
  Atom a;
  a.type = "moov"_4cc;
  a.offset = offset;
  a.start = held->data();
  a.size = held->size();
  a.header = qte::file::get32(held->data()) == 1 ? 16 : 8;
  auto movie = std::make_unique<qte::Movie>();
  if (OSErr err = qte::file::readMovie(a, held, path, fileSize, *movie, *origin, f, known)) return err;

  // What the writer makes of the movie as read: a save that renders the same is a no-op.
  movie->origin = std::move(origin);
  movie->origin->baseline = qte::file::summarizeMovie(*movie, inPlace(path));
  out = movie.release();
  return noErr;
}

OSErr checkRendered(const qte::Movie& movie, const Bytes& ftyp, const WrittenAtom& moov, uint64_t moovAt,
                    const std::string& path, uint64_t savedSize, bool enabledOnly, std::unique_ptr<qte::Movie>& out,
                    Failure& f) {
  if (!writable(movie, f)) return f.err;
  auto held = std::make_shared<AtomBytes>(moov.size());
  uint8_t* p = held->data();
  moov.forEach(0, moov.size(), [&](const uint8_t* data, size_t n) {
    std::memcpy(p, data, n);
    p += n;
    return true;
  });
  qte::Movie* read = nullptr;
  // Tables copied from the file as read were read then: only the rest is new.
  if (OSErr err = readMovieAtom(held, moovAt, path, savedSize, ftyp, read, f, &movie)) {
    f.message = "the new movie atom does not read back: " + f.message;
    return err;
  }
  out.reset(read);
  size_t k = 0;
  uint32_t maxID = 0;
  for (const auto& t : movie.tracks) {
    if (!t->media || (enabledOnly && !t->enabled)) continue;
    const qte::Track* r = k < read->tracks.size() ? read->tracks[k++].get() : nullptr;
    if (!r || r->id != t->id || !r->media || r->media->type != t->media->type) {
      f = {badPublicMovieAtom, "track " + std::to_string(t->id) + " does not read back as written"};
      return f.err;
    }
    maxID = std::max(maxID, t->id);
  }
  if (k != read->tracks.size() || (movie.nextTrackID <= maxID && movie.nextTrackID != UINT32_MAX)) {
    f = {badPublicMovieAtom, "its track IDs do not fit together"};
    return f.err;
  }
  return noErr;
}

}  // namespace qte::file

extern "C" {

const char* QTEngineLastFileErrorMessage(void) { return qte::file::lastFileMessage(); }

OSErr OpenMovieFile(const FSSpec* fileSpec, short* resRefNum, SInt8 permission) {
  QTE_CALL_ERR("OpenMovieFile", a_("path", fileSpec ? fileSpec->path : "NULL")("permission", permission)) {
    std::string path = pathOfFsSpec(fileSpec);
    if (path.empty() || !resRefNum) return fail(paramErr, "OpenMovieFile needs a file and a place for its reference");
    bool writable = permission == fsWrPerm || permission == fsRdWrPerm;
    Failure f;
    int fd = writable ? openLocked(path, O_RDWR, f) : openRegularFile(path, O_RDONLY, f);
    if (fd < 0) return fail(f.err, path + ": " + f.message);
    *resRefNum = registerFile(path, fd, writable);
    return succeed();
  };
}

OSErr CloseMovieFile(short resRefNum) {
  QTE_CALL_ERR("CloseMovieFile", a_("resRefNum", resRefNum)) {
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
  };
}

OSErr NewMovieFromFile(Movie* theMovie, short resRefNum, short* resId, StringPtr resName, short newMovieFlags,
                       Boolean* dataRefWasChanged) {
  QTE_CALL_ERR("NewMovieFromFile", a_("resRefNum", resRefNum)("flags", newMovieFlags)) {
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
  };
}

OSErr CreateMovieFile(const FSSpec* fileSpec, OSType creator, ScriptCode scriptTag, SInt32 createMovieFileFlags,
                      short* resRefNum, Movie* newmovie) {
  QTE_CALL_ERR("CreateMovieFile", a_("path", fileSpec ? fileSpec->path : "NULL")("creator", Tag{creator})(
                                       "script", scriptTag)("flags", createMovieFileFlags)) {
    std::string path = pathOfFsSpec(fileSpec);
    if (path.empty()) return fail(paramErr, "CreateMovieFile needs a file");
    if (newmovie) *newmovie = nullptr;
    if (resRefNum) *resRefNum = 0;
    // An existing file is emptied only once no other program is editing it.
    const bool replace = createMovieFileFlags & createMovieFileDeleteCurFile;
    Failure f;
    int fd = openLocked(path, O_RDWR | O_CREAT | (replace ? 0 : O_EXCL), f);
    if (fd < 0) return fail(f.err, path + ": " + f.message);
    if (replace && ::ftruncate(fd, 0) != 0) {
      int e = errno;
      ::close(fd);
      return fail(errnoResult(e), path + ": " + std::strerror(e));
    }
    const Bytes ftyp = qte::file::quickTimeFileType();
    if (!writeAll(fd, 0, ftyp.data(), ftyp.size()) || ::fsync(fd) != 0) {
      int e = errno;
      ::close(fd);
      return fail(errnoResult(e), path + ": " + std::strerror(e));
    }
    if (newmovie && !(createMovieFileFlags & createMovieFileDontCreateMovie)) {
      auto* movie = new qte::Movie();
      movie->origin = std::make_shared<MovieOrigin>();
      movie->origin->path = path;
      movie->origin->ftyp = ftyp;
      *newmovie = qte::handleOf<Movie>(movie);
    }
    if (createMovieFileFlags & createMovieFileDontOpenFile || !resRefNum) {
      ::close(fd);
    } else {
      *resRefNum = registerFile(path, fd, true);
    }
    return succeed();
  };
}

}  // extern "C"

namespace {

// After a save the movie's samples are those of the file: the movie atom as read
// back gives each media its table of file chunks (the in-memory copies go) and
// the origin for the next save.
void adoptSaved(qte::Movie& live, std::unique_ptr<qte::Movie> saved, const std::string& path) {
  size_t k = 0;
  for (const auto& t : live.tracks) {
    if (!t->media) continue;
    if (k >= saved->tracks.size()) break;
    qte::Track& s = *saved->tracks[k++];
    t->media->store = s.media->store;
    t->media->dataRefs = s.media->dataRefs;
    t->origin = std::move(s.origin);
  }
  live.origin = std::move(saved->origin);
  live.origin->baseline = qte::file::summarizeMovie(live, inPlace(path));
}

// Carries out a save's writes, each synced before the next. The bytes a write
// replaces are read first; when any write or sync fails they go back, last
// first and each synced, and the file is cut to its old size: a failed save
// leaves the file as it was, and every moment of the undoing is a moment the
// writes themselves passed through. Answers 0, or the errno of the failure.
int carryOut(int fd, const std::vector<qte::file::WriteStep>& plan, const qte::file::WrittenAtom& moov,
              uint64_t fileSize, std::string& why) {
  struct Replaced {
    uint64_t at;
    Bytes bytes;
  };
  std::vector<Replaced> undo;
  for (const qte::file::WriteStep& s : plan) {
    const uint64_t n = s.size();
    Replaced r{s.offset, Bytes(s.offset < fileSize ? size_t(std::min(n, fileSize - s.offset)) : 0)};
    bool ok = readAll(fd, r.at, r.bytes.data(), r.bytes.size());
    if (ok) undo.push_back(std::move(r));
    uint64_t at = s.offset;
    ok = ok && s.forEach(moov, [&](const uint8_t* p, size_t k) {
      bool put = writeAll(fd, at, p, k);
      at += k;
      return put;
    });
    if (ok && ::fdatasync(fd) == 0) continue;
    const int e = errno;
    why = "saving the movie failed at offset " + std::to_string(s.offset) + ": " + std::strerror(e);
    bool back = true;
    for (auto u = undo.rbegin(); u != undo.rend(); ++u)
      back = back && writeAll(fd, u->at, u->bytes.data(), u->bytes.size()) && ::fdatasync(fd) == 0;
    back = back && ::ftruncate(fd, off_t(fileSize)) == 0 && ::fdatasync(fd) == 0;
    why += back ? " (the file is as it was)"
                : std::string(" (putting the file back failed too: ") + std::strerror(errno) +
                      "; it holds the previous movie or the new one)";
    return e;
  }
  return 0;
}

OSErr saveInPlace(Movie theMovie, short resRefNum) {
  auto* movie = live<qte::Movie>(theMovie);
  if (!movie) return fail(invalidMovie, "not a movie");
  OpenFile file;
  if (!findFile(resRefNum, file)) return fail(paramErr, "no movie file is open as " + std::to_string(resRefNum));
  if (!file.writable) return fail(permErr, file.path + ": the movie file is open for reading only");
  Failure f;
  uint64_t fileSize = sizeOfFile(file.fd);
  std::vector<TopAtom> top;
  if (OSErr err = qte::file::scanTopLevel(file.fd, fileSize, top, f)) return fail(err, file.path + ": " + f.message);
  std::vector<qte::file::WriteStep> plan;
  qte::file::WrittenAtom moov;
  uint64_t moovAt = 0;
  std::vector<qte::file::PlacedTable> placed;
  if (OSErr err =
          qte::file::planUpdate(*movie, file.path, top, fileSize, plan, moov, moovAt, placed, f))
    return fail(err, file.path + ": " + f.message);
  if (plan.empty()) return succeed();
  uint64_t savedSize = fileSize;
  for (const qte::file::WriteStep& s : plan) savedSize = std::max(savedSize, s.offset + s.size());
  std::unique_ptr<qte::Movie> saved;
  const Bytes ftyp = movie->origin ? movie->origin->ftyp : Bytes();
  if (OSErr err = qte::file::checkRendered(*movie, ftyp, moov, moovAt, file.path,
                                           savedSize, false, saved, f))
    return fail(err, file.path + ": the edit was not saved and the file is as it was: " + f.message);
  std::string why;
  if (int e = carryOut(file.fd, plan, moov, fileSize, why)) return fail(errnoResult(e), file.path + ": " + why);
  adoptSaved(*movie, std::move(saved), file.path);
  return succeed();
}

}  // namespace

extern "C" {

OSErr UpdateMovieResource(Movie theMovie, short resRefNum, short resId, ConstStr255Param resName) {
  QTE_CALL_ERR("UpdateMovieResource", a_.object("movie", theMovie)("resRefNum", resRefNum)("resId", resId)) {
    (void)resName;
    return saveInPlace(theMovie, resRefNum);
  };
}

OSErr AddMovieResource(Movie theMovie, short resRefNum, short* resId, ConstStr255Param resName) {
  QTE_CALL_ERR("AddMovieResource", a_.object("movie", theMovie)("resRefNum", resRefNum)) {
    (void)resName;
    OSErr err = saveInPlace(theMovie, resRefNum);
    if (err == noErr && resId) *resId = movieInDataForkResID;
    return err;
  };
}

}  // extern "C"

