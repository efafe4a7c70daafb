// Data-handler I/O: data reference paths, the files a media keeps open, whole
// reads and writes.
#include "data_handler.h"

#include "file/atoms.h"

#include <Aliases.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qte {

bool sameDataRef(const DataRef& a, const DataRef& b) {
  return a.type == b.type && a.data == b.data && a.attributes == b.attributes;
}

std::string pathOf(const DataRef& ref) {
  if (ref.type == AliasDataHandlerSubType) {
    if (ref.data.empty() || (ref.attributes & dataRefSelfReference)) return std::string();
    Handle h = nullptr;
    if (PtrToHand(ref.data.data(), &h, static_cast<long>(ref.data.size())) != noErr) return std::string();
    char path[kFSRefPathCapacity];
    OSErr err = AliasGetPath(reinterpret_cast<AliasHandle>(h), path, sizeof path);
    DisposeHandle(h);
    return err == noErr ? std::string(path) : std::string();
  }
  if (ref.type == URLDataHandlerSubType) {
    std::string url(ref.data.begin(), std::find(ref.data.begin(), ref.data.end(), uint8_t(0)));
    static constexpr char kFileScheme[] = "file://";
    if (url.rfind(kFileScheme, 0) == 0) return url.substr(sizeof kFileScheme - 1);
  }
  return std::string();
}

namespace {

// Calls `io(p, n, at)` until all `n` bytes are done; `at` stays put for
// descriptors without positions (a negative start).
template <class Io, class Byte>
bool whole(Io&& io, Byte* p, size_t n, int64_t at) {
  while (n > 0) {
    ssize_t k = io(p, n, at);
    if (k <= 0) {
      if (k < 0 && errno == EINTR) continue;
      if (k == 0) errno = EIO;
      return false;
    }
    p += k;
    n -= size_t(k);
    if (at >= 0) at += k;
  }
  return true;
}

}  // namespace

bool readAll(int fd, uint64_t at, uint8_t* p, size_t n) {
  return whole([fd](uint8_t* q, size_t k, int64_t o) { return ::pread(fd, q, k, off_t(o)); }, p, n, int64_t(at));
}

bool writeAll(int fd, uint64_t at, const uint8_t* p, size_t n) {
  return whole([fd](const uint8_t* q, size_t k, int64_t o) { return ::pwrite(fd, q, k, off_t(o)); }, p, n,
               int64_t(at));
}

bool writeOn(int fd, const uint8_t* p, size_t n) {
  return whole([fd](const uint8_t* q, size_t k, int64_t) { return ::write(fd, q, k); }, p, n, -1);
}

OpenDataFiles::~OpenDataFiles() {
  for (const Entry& f : files_) ::close(f.fd);
}

int OpenDataFiles::open(const DataRef& ref) {
  for (const Entry& f : files_)
    if (sameDataRef(f.ref, ref)) return f.fd;
  std::string path = pathOf(ref);
  if (path.empty()) return -1;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  // A media rarely reads through more than one or two references; keep a few.
  constexpr size_t kKept = 4;
  if (files_.size() == kKept) {
    ::close(files_.front().fd);
    files_.erase(files_.begin());
  }
  files_.push_back({ref, fd});
  return fd;
}

// An stsd entry: size, format, six reserved bytes, then the index.
constexpr size_t kDataRefIndexAt = 14;

uint16_t dataRefIndexOf(const Bytes& description) {
  return description.size() < kDataRefIndexAt + 2 ? 0 : file::get16(description.data() + kDataRefIndexAt);
}

Bytes withDataRefIndex(const Bytes& description, uint16_t index) {
  Bytes field;
  file::put16(field, index);
  Bytes out = description;
  std::copy(field.begin(), field.end(), out.begin() + kDataRefIndexAt);
  return out;
}

namespace {

// Chunks up to this size are read whole when only some of their samples are
// asked for; larger ones (video) are read as asked.
constexpr uint64_t kChunkReadWhole = uint64_t(1) << 20;

}  // namespace

OSErr readSampleBytes(const Media& media, uint32_t first, uint32_t n, uint8_t* out) {
  const SampleStore& s = media.samples();
  const SampleTable& t = s.table;
  const Chunk& chunk = t.chunkOf(first);
  const uint64_t offset = t.offsetOf(first);
  const uint64_t size = t.bytesOf(first, n);
  if (chunk.inMemory()) {
    if (offset + size > s.memory.size()) return invalidSampleTable;
    std::memcpy(out, s.memory.data() + offset, size);
    return noErr;
  }
  uint16_t refIndex = dataRefIndexOf(s.descriptions[t.descIndexOf(first) - 1]);
  if (refIndex == 0 || refIndex > media.dataRefs.size()) return badDataRefIndex;
  const DataRef& ref = media.dataRefs[refIndex - 1];

  const uint64_t chunkBytes = t.bytesOf(chunk.firstSample, chunk.count);
  if (size < chunkBytes && chunkBytes <= kChunkReadWhole) {
    ChunkCache& c = media.lastChunk;
    if (c.store != &s || c.revision != t.revision() || c.at != chunk.offset() || c.bytes.size() != chunkBytes ||
        !sameDataRef(c.ref, ref)) {
      c.store = nullptr;  // until the read succeeds
      int fd = media.dataFiles.open(ref);
      if (fd < 0) return couldNotResolveDataRef;
      c.bytes.resize(chunkBytes);
      if (!readAll(fd, chunk.offset(), c.bytes.data(), chunkBytes)) return endOfDataReached;
      c.ref = ref;
      c.at = chunk.offset();
      c.revision = t.revision();
      c.store = &s;
    }
    std::memcpy(out, c.bytes.data() + (offset - c.at), size);
    return noErr;
  }
  int fd = media.dataFiles.open(ref);
  if (fd < 0) return couldNotResolveDataRef;
  return readAll(fd, offset, out, size) ? OSErr(noErr) : OSErr(endOfDataReached);
}

}  // namespace qte
