// Flattening: a movie and every sample it uses written to a new self-contained file.
#include "../api_using.h"
#include "movie_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <random>

using qte::file::errnoResult;
using qte::file::fail;
using qte::file::Failure;
using qte::writeOn;
using qte::file::pathOfFsSpec;
using qte::file::succeed;

namespace {

// Sample bytes are copied through a buffer of about this size.
constexpr size_t kCopyBuffer = size_t(4) << 20;

struct ChunkPlace {
  const qte::Track* track;
  size_t index;
  uint64_t size;
};

// A flattened movie before it is written: what goes before the samples, the
// chunks in file order and the movie atom, and where that atom lands.
struct Rendering {
  Bytes ftyp, head, moov;  // head: the optional 'wide' and the 'mdat' header
  qte::file::WrittenAtom written;  // the movie atom as the writer made it
  std::vector<ChunkPlace> chunks;
  bool fastStart = false;
  uint64_t moovOffset = 0, fileSize = 0;
};

// ftyp, and the movie atom before or after one 'mdat' with every chunk of every
// track, in track order.
Rendering render(const qte::Movie& movie, const std::string& path, bool fastStart, bool activeOnly) {
  Rendering r;
  r.fastStart = fastStart;
  uint64_t data = 0;
  for (const auto& t : movie.tracks) {
    if (!t->media || (activeOnly && !t->enabled)) continue;
    const qte::SampleTable& table = t->media->samples().table;
    for (size_t i = 0; i < table.chunks().size(); ++i) {
      const qte::Chunk& c = table.chunks()[i];
      uint64_t size = 0;
      for (uint32_t k = 0; k < c.count; ++k) size += table.sizeOf(c.firstSample + k);
      r.chunks.push_back({t.get(), i, size});
      data += size;
    }
  }
  std::map<std::pair<const qte::Track*, size_t>, uint64_t> at;
  uint64_t rel = 0;
  for (const ChunkPlace& c : r.chunks) {
    at[{c.track, c.index}] = rel;
    rel += c.size;
  }

  r.ftyp = qte::file::quickTimeFileType();
  const bool large = data + 8 > UINT32_MAX;
  // Before a 32-bit 'mdat' a 'wide' atom leaves room to make its header 64-bit later.
  if (!fastStart && !large) {
    qte::file::put32(r.head, 8);
    qte::file::put32(r.head, "wide"_4cc);
  }
  if (large) {
    qte::file::put32(r.head, 1);
    qte::file::put32(r.head, "mdat"_4cc);
    qte::file::put64(r.head, data + 16);
  } else {
    qte::file::put32(r.head, uint32_t(data + 8));
    qte::file::put32(r.head, "mdat"_4cc);
  }

  qte::file::WriteTarget target;
  target.path = path;
  target.allSelf = true;
  target.enabledOnly = activeOnly;
  uint64_t dataAt = 0;
  target.chunkOffset = [&](const qte::Track& t, size_t i) {
    auto it = at.find({&t, i});
    return it == at.end() ? 0 : dataAt + it->second;
  };
  if (fastStart) {
    // The movie atom's size depends on the offsets (stco or co64): settle it.
    uint64_t guess = 0;
    for (int round = 0; round < 4; ++round) {
      dataAt = r.ftyp.size() + guess + r.head.size();
      r.written = qte::file::writeMovie(movie, target);
      if (r.written.size() == guess) break;
      guess = r.written.size();
    }
    r.moovOffset = r.ftyp.size();
  } else {
    dataAt = r.ftyp.size() + r.head.size();
    r.written = qte::file::writeMovie(movie, target);
    r.moovOffset = dataAt + data;
  }
  r.moov = r.written.flat();
  r.fileSize = r.ftyp.size() + r.head.size() + data + r.moov.size();
  return r;
}

OSErr writeRendering(const Rendering& r, int fd, std::string& why) {
  Bytes buffer;
  buffer.reserve(kCopyBuffer);
  auto flush = [&]() {
    bool ok = writeOn(fd, buffer.data(), buffer.size());
    buffer.clear();
    return ok;
  };
  auto put = [&](const Bytes& b) {
    buffer.insert(buffer.end(), b.begin(), b.end());
    return buffer.size() < kCopyBuffer || flush();
  };
  auto writeFailed = [&]() {
    int e = errno;
    why = std::string("writing failed: ") + std::strerror(e);
    return errnoResult(e);
  };
  if (!put(r.ftyp) || (r.fastStart && !put(r.moov)) || !put(r.head)) return writeFailed();
  for (const ChunkPlace& c : r.chunks) {
    const qte::Chunk& chunk = c.track->media->samples().table.chunks()[c.index];
    size_t from = buffer.size();
    buffer.resize(from + size_t(c.size));
    if (OSErr err = qte::readSampleBytes(*c.track->media, chunk.firstSample, chunk.count, buffer.data() + from)) {
      why = "the samples of track " + std::to_string(c.track->id) + " cannot be read";
      return err;
    }
    if (buffer.size() >= kCopyBuffer && !flush()) return writeFailed();
  }
  if ((!r.fastStart && !put(r.moov)) || !flush()) return writeFailed();
  return noErr;
}

// The name a flatten's file has in the file system before it is complete, if
// any, for QTEngineRemoveUnfinishedFile to unlink from a signal handler. It
// changes only while this thread blocks the signals such handlers serve.
char unfinishedName[PATH_MAX];
std::atomic<bool> haveUnfinished{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read from signal handlers");

// Holds off the signals that ask a program to end, for as long as it lives.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t s;
    sigemptyset(&s);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&s, sig);
    pthread_sigmask(SIG_BLOCK, &s, &old_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_;
};

void setUnfinished(const std::string& name) {  // with signals held
  std::memcpy(unfinishedName, name.c_str(), name.size() + 1);
  haveUnfinished = true;
}

void clearUnfinished() {
  SignalsHeld held;
  haveUnfinished = false;
}

// A free name beside `target` for a file on its way to replacing it.
std::string tempName(const std::string& target) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string name = target + ".flattening-";
  for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

// Follows symbolic links from `path` to the file they lead to, which need not
// exist: output written through a link, even a dangling one, goes to its target.
bool followLinks(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    char to[PATH_MAX];
    ssize_t n = ::readlink(path.c_str(), to, sizeof to);
    if (n < 0) return false;
    if (size_t(n) == sizeof to) return errno = ENAMETOOLONG, false;
    std::string next(to, size_t(n));
    size_t slash = path.find_last_of('/');
    path = next[0] == '/' || slash == std::string::npos ? next : path.substr(0, slash + 1) + next;
  }
  errno = ELOOP;
  return false;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Into an existing file that is not a regular one (a device, a pipe) the movie
// is streamed as it is, as cp does: renaming over it would replace the node.
// What went out cannot be read back: the movie answered is the rendering's, as checked.
OSErr flattenInto(int fd, const Rendering& r, const std::string& path, std::unique_ptr<qte::Movie>& checked,
                  qte::Movie*& out, std::string& why) {
  OSErr err = writeRendering(r, fd, why);
  if (::close(fd) != 0 && !err) {
    why = std::string("writing failed: ") + std::strerror(errno);
    err = errnoResult(errno);
  }
  if (err) return why = path + ": " + why, err;
  out = checked.release();
  return noErr;
}

// Opens a file for `target`'s new contents in `folder`: one without a name
// where the file system allows (a kill leaves nothing), else one under a
// temporary name (in `temp`) registered as unfinished. `fd` stays -1 with errno
// set when neither can be made; false when a temporary name would be too long.
bool createUnfinished(const std::string& target, const std::string& folder, mode_t mode, int& fd,
                      std::string& temp) {
  fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return true;
  for (int tries = 0; fd < 0 && tries < 100; ++tries) {
    std::string name = tempName(target);
    if (name.size() >= sizeof unfinishedName) return false;
    SignalsHeld held;
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) setUnfinished(temp = name);
    else if (errno != EEXIST) break;
  }
  return true;
}

// A replaced file's owner and mode go to its replacement where they can.
void keepOwnerAndMode(int fd, const struct stat& existing) {
  bool owned = existing.st_uid == ::geteuid() && existing.st_gid == ::getegid();
  if (!owned) owned = ::fchown(fd, existing.st_uid, existing.st_gid) == 0;
  // Set-id bits stay only with the owner they were given by.
  ::fchmod(fd, existing.st_mode & (owned ? 07777 : 0777));
}

// Names the finished file (if it has no name yet) and puts it in place of
// `target`, with the signals held, so that a kill cannot come between the two
// and leave the name behind. Answers 0 or the errno of the failure.
int nameAndReplace(int fd, const std::string& target, std::string& temp) {
  int e = 0;
  SignalsHeld held;
  if (temp.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int tries = 0; temp.empty() && tries < 100; ++tries) {
      std::string name = tempName(target);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)
        setUnfinished(temp = name);
      else if (errno != EEXIST)
        break;
    }
    if (temp.empty()) e = errno;
  }
  if (!e && ::rename(temp.c_str(), target.c_str()) != 0) {
    e = errno;
    ::unlink(temp.c_str());
  }
  haveUnfinished = false;
  return e;
}

// A regular file is written whole before it takes the name: made without a
// name where the file system allows (a kill leaves nothing), else under a
// temporary one removed on failure and by QTEngineRemoveUnfinishedFile. It
// replaces `target` by rename, so the source may be the destination. A new
// file gets the mode the umask leaves of 0666; a replaced one keeps its own.
OSErr flattenToFile(const Rendering& r, const std::string& path, const std::string& target,
                    const struct stat* existing, qte::Movie*& out, std::string& why) {
  // A file being edited in place keeps its edit lock until the edit is saved:
  // replacing it before then would lose that edit, or this file.
  int held = -1;
  if (existing) {
    held = ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      ::close(held);
      why = path + ": another program is editing the file; try again when it has finished";
      return opWrErr;
    }
  }
  struct Unlock {
    int fd;
    ~Unlock() {
      if (fd >= 0) ::close(fd);
    }
  } unlock{held};
  const std::string folder = folderOf(target);
  std::string temp;  // the file's name while unfinished, if it has one
  int fd = -1;
  if (!createUnfinished(target, folder, existing ? 0600 : 0666, fd, temp))
    return why = target + ": the name is too long", bdNamErr;
  if (fd < 0) {
    int e = errno;
    why = path + ": cannot create a file in " + folder + ": " + std::strerror(e);
    return errnoResult(e);
  }
  auto abandon = [&](OSErr err, const std::string& what) {
    ::close(fd);
    if (!temp.empty()) {
      ::unlink(temp.c_str());
      clearUnfinished();
    }
    why = path + ": " + what;
    return err;
  };
  if (existing) keepOwnerAndMode(fd, *existing);
  if (OSErr err = writeRendering(r, fd, why)) return abandon(err, why);
  if (::fsync(fd) != 0) return abandon(errnoResult(errno), std::string("writing failed: ") + std::strerror(errno));
  qte::Movie* read = nullptr;
  Failure f;
  if (OSErr err = qte::file::loadMovie(fd, path, read, f))
    return abandon(err, "the flattened movie does not read back: " + f.message);
  std::unique_ptr<qte::Movie> flat(read);

  const int e = nameAndReplace(fd, target, temp);
  ::close(fd);
  if (e) return why = path + ": " + std::strerror(e), errnoResult(e);
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  out = flat.release();
  return noErr;
}

OSErr flattenTo(const qte::Movie& movie, const std::string& path, bool fastStart, bool activeOnly, qte::Movie*& out,
                std::string& why) {
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return why = path + ": it is a folder", notAFileErr;
  Rendering r = render(movie, path, fastStart, activeOnly);
  std::unique_ptr<qte::Movie> checked;
  Failure f;
  if (OSErr err = qte::file::checkRendered(movie, r.ftyp, r.written, r.moovOffset, path, r.fileSize, activeOnly,
                                           checked, f))
    return why = path + ": nothing was written: " + f.message, err;
  if (exists && !S_ISREG(st.st_mode)) {
    // Opened by the name given: the kernel follows the links, /dev/stdout's too.
    int into = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (into < 0) return why = path + ": " + std::strerror(errno), errnoResult(errno);
    if (::fstat(into, &st) != 0 || !S_ISREG(st.st_mode)) return flattenInto(into, r, path, checked, out, why);
    ::close(into);  // a regular file by now, replaced as any other
  }
  std::string target = path;
  if (!followLinks(target)) return why = path + ": " + std::strerror(errno), errnoResult(errno);
  return flattenToFile(r, path, target, exists ? &st : nullptr, out, why);
}

}  // namespace

extern "C" {

Movie FlattenMovieData(Movie theMovie, SInt32 movieFlattenFlags, const FSSpec* theFile, OSType creator,
                       ScriptCode scriptTag, SInt32 createMovieFileFlags) {
  QTE_CALL("FlattenMovieData", Movie(nullptr), a_.object("movie", theMovie)("flags", movieFlattenFlags)(
                                             "path", theFile ? theFile->path : "NULL")("creator", Tag{creator})(
                                             "script", scriptTag)("createFlags", createMovieFileFlags)) {
    auto* movie = live<qte::Movie>(theMovie);
    if (!movie) return fail(invalidMovie, "not a movie"), nullptr;
    std::string path = pathOfFsSpec(theFile);
    if (path.empty() || (movieFlattenFlags & flattenFSSpecPtrIsDataRefRecordPtr))
      return fail(paramErr, "FlattenMovieData needs a file"), nullptr;
    struct stat st;
    if (!(createMovieFileFlags & createMovieFileDeleteCurFile) && ::stat(path.c_str(), &st) == 0)
      return fail(dupFNErr, path + ": the file exists (createMovieFileDeleteCurFile replaces it)"), nullptr;
    std::string why;
    qte::Movie* flat = nullptr;
    if (OSErr err = flattenTo(*movie, path, movieFlattenFlags & flattenForceMovieResourceBeforeMovieData,
                              movieFlattenFlags & flattenActiveTracksOnly, flat, why))
      return fail(err, why), nullptr;
    succeed();
    return qte::handleOf<Movie>(flat);
  };
}

// Outside the entry wrapper: a signal handler may only make async-signal-safe calls.
void QTEngineRemoveUnfinishedFile(void) {
  if (haveUnfinished) ::unlink(unfinishedName);
}

}  // extern "C"
