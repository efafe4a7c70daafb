// Flattening: a movie and every sample it uses written to a new self-contained file.
#include "../api_using.h"
#include "movie_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

using qte::file::errnoResult;
using qte::file::fail;
using qte::file::Failure;
using qte::file::MovieOrigin;
using qte::file::pathOfFsSpec;
using qte::file::succeed;
using qte::file::writeAll;

namespace {

// Sample bytes are copied through a buffer of about this size.
constexpr size_t kCopyBuffer = size_t(4) << 20;

struct ChunkPlace {
  const qte::Track* track;
  size_t index;
  uint64_t size;
};

// Writes `path` anew: ftyp, and the movie atom before or after one 'mdat' with
// every chunk of every track, in track order. The file is made under a temporary
// name and renamed into place, so a failure or a crash leaves no half file and
// the source may be the destination.
OSErr flattenTo(const qte::Movie& movie, const std::string& path, bool fastStart, bool activeOnly, std::string& why) {
  std::vector<ChunkPlace> chunks;
  uint64_t data = 0;
  for (const auto& t : movie.tracks) {
    if (!t->media || (activeOnly && !t->enabled)) continue;
    const qte::SampleTable& table = t->media->samples().table;
    for (size_t i = 0; i < table.chunks().size(); ++i) {
      const qte::Chunk& c = table.chunks()[i];
      uint64_t size = 0;
      for (uint32_t k = 0; k < c.count; ++k) size += table.sizeOf(c.firstSample + k);
      chunks.push_back({t.get(), i, size});
      data += size;
    }
  }
  std::map<std::pair<const qte::Track*, size_t>, uint64_t> at;
  uint64_t rel = 0;
  for (const ChunkPlace& c : chunks) {
    at[{c.track, c.index}] = rel;
    rel += c.size;
  }

  Bytes ftyp;
  {
    qte::file::AtomScope a(ftyp, "ftyp"_4cc);
    qte::file::put32(ftyp, "qt  "_4cc);
    qte::file::put32(ftyp, 0x200);
    qte::file::put32(ftyp, "qt  "_4cc);
  }
  const bool large = data + 8 > UINT32_MAX;
  const uint64_t mdatHeader = large ? 16 : 8;
  // Before a 32-bit 'mdat' a 'wide' atom leaves room to make its header 64-bit later.
  const uint64_t wide = fastStart || large ? 0 : 8;

  qte::file::WriteTarget target;
  target.path = path;
  target.allSelf = true;
  target.enabledOnly = activeOnly;
  uint64_t dataAt = 0;
  target.chunkOffset = [&](const qte::Track& t, size_t i) {
    auto it = at.find({&t, i});
    return it == at.end() ? 0 : dataAt + it->second;
  };
  std::shared_ptr<MovieOrigin> origin = qte::file::originOf(movie);
  Bytes moov;
  if (fastStart) {
    // The movie atom's size depends on the offsets (stco or co64): settle it.
    uint64_t guess = 0;
    for (int round = 0; round < 4; ++round) {
      dataAt = ftyp.size() + guess + mdatHeader;
      moov = qte::file::writeMovie(movie, origin.get(), target).flat();
      if (moov.size() == guess) break;
      guess = moov.size();
    }
  } else {
    dataAt = ftyp.size() + wide + mdatHeader;
    moov = qte::file::writeMovie(movie, origin.get(), target).flat();
  }

  std::string temp = path + ".flattening-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    why = path + ": cannot create a file beside it: " + std::strerror(errno);
    return errnoResult(errno);
  }
  auto abandon = [&](OSErr err, const std::string& what) {
    ::close(fd);
    ::unlink(temp.c_str());
    why = path + ": " + what;
    return err;
  };
  uint64_t pos = 0;
  Bytes buffer;
  buffer.reserve(kCopyBuffer);
  auto flush = [&]() {
    bool ok = writeAll(fd, pos, buffer.data(), buffer.size());
    pos += buffer.size();
    buffer.clear();
    return ok;
  };
  auto put = [&](const Bytes& b) {
    buffer.insert(buffer.end(), b.begin(), b.end());
    return buffer.size() < kCopyBuffer || flush();
  };
  Bytes head;
  if (wide) {
    qte::file::put32(head, 8);
    qte::file::put32(head, "wide"_4cc);
  }
  if (large) {
    qte::file::put32(head, 1);
    qte::file::put32(head, "mdat"_4cc);
    qte::file::put64(head, data + 16);
  } else {
    qte::file::put32(head, uint32_t(data + 8));
    qte::file::put32(head, "mdat"_4cc);
  }
  bool ok = put(ftyp) && (!fastStart || put(moov)) && put(head);
  if (!ok) return abandon(ioErr, std::string("writing failed: ") + std::strerror(errno));
  for (const ChunkPlace& c : chunks) {
    const qte::Chunk& chunk = c.track->media->samples().table.chunks()[c.index];
    size_t from = buffer.size();
    buffer.resize(from + size_t(c.size));
    if (OSErr err = qte::readSampleBytes(*c.track->media, chunk.firstSample, chunk.count, buffer.data() + from))
      return abandon(err, "the samples of track " + std::to_string(c.track->id) + " cannot be read");
    if (buffer.size() >= kCopyBuffer && !flush())
      return abandon(ioErr, std::string("writing failed: ") + std::strerror(errno));
  }
  if ((!fastStart && !put(moov)) || !flush() || ::fsync(fd) != 0)
    return abandon(errnoResult(errno), std::string("writing failed: ") + std::strerror(errno));
  ::close(fd);
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    why = path + ": " + std::strerror(e);
    return errnoResult(e);
  }
  std::string dir = path.substr(0, std::max<size_t>(1, path.find_last_of('/')));
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return noErr;
}

}  // namespace

extern "C" {

Movie FlattenMovieData(Movie theMovie, SInt32 movieFlattenFlags, const FSSpec* theFile, OSType creator,
                       ScriptCode scriptTag, SInt32 createMovieFileFlags) {
  QTE_ENTER("FlattenMovieData", nullptr, a_.object("movie", theMovie)("flags", movieFlattenFlags)(
                                             "path", theFile ? theFile->path : "NULL")("creator", Tag{creator})(
                                             "script", scriptTag)("createFlags", createMovieFileFlags));
  auto* movie = live<qte::Movie>(theMovie);
  if (!movie) return fail(invalidMovie, "not a movie"), nullptr;
  std::string path = pathOfFsSpec(theFile);
  if (path.empty() || (movieFlattenFlags & flattenFSSpecPtrIsDataRefRecordPtr))
    return fail(paramErr, "FlattenMovieData needs a file"), nullptr;
  struct stat st;
  if (!(createMovieFileFlags & createMovieFileDeleteCurFile) && ::stat(path.c_str(), &st) == 0)
    return fail(dupFNErr, path + ": the file exists (createMovieFileDeleteCurFile replaces it)"), nullptr;
  std::string why;
  if (OSErr err = flattenTo(*movie, path, movieFlattenFlags & flattenForceMovieResourceBeforeMovieData,
                            movieFlattenFlags & flattenActiveTracksOnly, why))
    return fail(err, why), nullptr;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(errnoResult(errno), path + ": " + std::strerror(errno)), nullptr;
  qte::Movie* flat = nullptr;
  Failure f;
  OSErr err = loadMovie(fd, path, flat, f);
  ::close(fd);
  if (err) return fail(err, path + ": the flattened movie does not read back: " + f.message), nullptr;
  succeed();
  return qte::handleOf<Movie>(flat);
}

}  // extern "C"
