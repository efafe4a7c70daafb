// Construction of the model's objects and the sample copying that segment edits need.
#include "model.h"
#include "hooks.h"
#include "text_media.h"
#include "timecode.h"

#include <Aliases.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace qte {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kBulk = size_t(1) << 20;
}  // namespace

void* bulkAllocate(size_t bytes) {
  // Tests make the tables' memory run out here to see calls fail cleanly.
  if (hooks::injected("bulkAllocate")) throw std::bad_alloc();
  if (bytes < kBulk) return ::operator new(bytes);
  size_t whole = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  void* p = nullptr;
  if (::posix_memalign(&p, kHugePage, whole) != 0) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  ::madvise(p, whole, MADV_HUGEPAGE);  // a hint: where the kernel declines, nothing changes
#endif
  return p;
}

void bulkFree(void* p, size_t bytes) {
  if (bytes < kBulk) ::operator delete(p);
  else ::free(p);
}

namespace {

constexpr uint32_t kMacEpochOffset = 2082844800u;  // 1904-01-01 to 1970-01-01

void setIdentity(MatrixRecord& m) {
  std::memset(&m, 0, sizeof m);
  m.matrix[0][0] = kFixedOne;
  m.matrix[1][1] = kFixedOne;
  m.matrix[2][2] = 0x40000000;
}

uint16_t be16(const Bytes& b, size_t at) { return uint16_t((b[at] << 8) | b[at + 1]); }

bool sameDataRef(const DataRef& a, const DataRef& b) {
  return a.type == b.type && a.data == b.data && a.attributes == b.attributes;
}

// The file a data reference names, or an empty string.
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

}  // namespace

uint32_t nowMacTime() { return static_cast<uint32_t>(std::time(nullptr)) + kMacEpochOffset; }

bool hasCharacteristic(OSType mediaType, OSType characteristic) {
  static constexpr OSType kVisual[] = {"vide"_4cc, "text"_4cc, "sbtl"_4cc, "clcp"_4cc, "sprt"_4cc,
                                       "qd3d"_4cc, "flsh"_4cc, "MPEG"_4cc, "skin"_4cc};
  static constexpr OSType kAudio[] = {"soun"_4cc, "musi"_4cc, "MPEG"_4cc};
  auto in = [&](const auto& list) { return std::find(std::begin(list), std::end(list), mediaType) != std::end(list); };
  if (characteristic == VisualMediaCharacteristic) return in(kVisual);
  if (characteristic == AudioMediaCharacteristic) return in(kAudio);
  if (characteristic == kCharacteristicCanStep) return mediaType == VideoMediaType;
  return false;
}

std::unique_ptr<MediaHandlerObject> makeHandler(Media* media) {
  if (media->type == SoundMediaType || media->type == MusicMediaType) return std::make_unique<SoundHandler>(media);
  if (media->type == TextMediaType) return makeTextHandler(media);
  if (media->type == TimeCodeMediaType) return makeTimeCodeHandler(media);
  return std::make_unique<VisualHandler>(media);
}

Media::Media(Track* t, OSType mediaType, TimeScale timeScale)
    : Object(kKind),
      track(t),
      type(mediaType),
      scale(timeScale),
      creationTime(nowMacTime()),
      modificationTime(creationTime),
      store(std::make_shared<SampleStore>()),
      userData(std::make_unique<UserDataList>(true)) {
  handler = makeHandler(this);
}

Media::~Media() {
  for (const OpenFile& f : openFiles_) ::close(f.fd);
}

int Media::openData(const DataRef& ref) const {
  for (const OpenFile& f : openFiles_)
    if (sameDataRef(f.ref, ref)) return f.fd;
  std::string path = pathOf(ref);
  if (path.empty()) return -1;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  // A media rarely reads through more than one or two references; keep a few.
  constexpr size_t kKept = 4;
  if (openFiles_.size() == kKept) {
    ::close(openFiles_.front().fd);
    openFiles_.erase(openFiles_.begin());
  }
  openFiles_.push_back({ref, fd});
  return fd;
}

SampleStore& Media::mutableSamples() {
  if (store.use_count() > 1) store = std::make_shared<SampleStore>(*store);
  return *store;
}

Track::Track(Movie* m, uint32_t trackID)
    : Object(kKind),
      movie(m),
      id(trackID),
      creationTime(nowMacTime()),
      modificationTime(creationTime),
      userData(std::make_unique<UserDataList>(true)) {
  setIdentity(matrix);
}

Track::~Track() {
  // The media goes first: its handler may still point at it.
  media.reset();
}

Scales Track::scales() const { return {movie->scale, media ? media->scale : movie->scale}; }

void Track::touch() { modificationTime = nowMacTime(); }

Movie::Movie()
    : Object(kKind),
      userData(std::make_unique<UserDataList>(true)),
      creationTime(nowMacTime()),
      modificationTime(creationTime) {
  setIdentity(matrix);
}

Movie::~Movie() { tracks.clear(); }

int64_t Movie::duration() const {
  int64_t d = 0;
  for (const auto& t : tracks) d = std::max(d, t->edits.duration());
  return d;
}

Track* Movie::trackByID(uint32_t id) const {
  for (const auto& t : tracks)
    if (t->id == id) return t.get();
  return nullptr;
}

long Movie::indexOf(const Track* t) const {
  for (size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].get() == t) return static_cast<long>(i);
  return -1;
}

OSErr readSampleBytes(const Media& media, uint32_t first, uint32_t n, uint8_t* out) {
  const SampleStore& s = media.samples();
  const SampleTable& t = s.table;
  const Chunk& chunk = t.chunkOf(first);
  uint64_t offset = t.offsetOf(first);
  uint64_t size = 0;
  for (uint32_t k = 0; k < n; ++k) size += t.sizeOf(first + k);
  if (chunk.inMemory()) {
    if (offset + size > s.memory.size()) return invalidSampleTable;
    std::memcpy(out, s.memory.data() + offset, size);
    return noErr;
  }
  const Bytes& desc = s.descriptions[t.descIndexOf(first) - 1];
  uint16_t refIndex = be16(desc, 14);
  if (refIndex == 0 || refIndex > media.dataRefs.size()) return badDataRefIndex;
  int fd = media.openData(media.dataRefs[refIndex - 1]);
  if (fd < 0) return couldNotResolveDataRef;
  size_t done = 0;
  while (done < size) {
    ssize_t got = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return endOfDataReached;
    done += size_t(got);
  }
  return noErr;
}

OSErr copyMediaRange(const Media& src, Media& dst, int64_t from, int64_t to, int64_t* dstFrom) {
  // Hold the source store: copy-on-write of dst must not free what is read.
  std::shared_ptr<SampleStore> keep = src.store;
  const SampleStore& ss = *keep;
  const SampleTable& st = ss.table;
  SampleStore& ds = dst.mutableSamples();
  *dstFrom = ds.table.duration();
  if (from >= to || st.count() == 0) return noErr;
  uint32_t first = st.sampleAt(from);
  uint32_t last = st.sampleAt(std::min(to, st.duration()) - 1);

  std::vector<uint32_t> descMap(ss.descriptions.size() + 1, 0);
  for (uint32_t k = first; k <= last; ++k) {
    const Chunk& chunk = st.chunkOf(k);
    uint32_t srcDesc = st.descIndexOf(k);
    if (!descMap[srcDesc]) {
      Bytes desc = ss.descriptions[srcDesc - 1];
      if (!chunk.inMemory()) {
        // File-backed samples stay where they are: the copy names the same file.
        uint16_t refIndex = be16(desc, 14);
        if (refIndex == 0 || refIndex > src.dataRefs.size()) return badDataRefIndex;
        const DataRef& ref = src.dataRefs[refIndex - 1];
        auto it = std::find_if(dst.dataRefs.begin(), dst.dataRefs.end(),
                               [&](const DataRef& r) { return sameDataRef(r, ref); });
        if (it == dst.dataRefs.end()) it = dst.dataRefs.insert(dst.dataRefs.end(), ref);
        uint16_t newIndex = static_cast<uint16_t>(it - dst.dataRefs.begin() + 1);
        desc[14] = uint8_t(newIndex >> 8);
        desc[15] = uint8_t(newIndex);
      }
      auto it = std::find(ds.descriptions.begin(), ds.descriptions.end(), desc);
      if (it == ds.descriptions.end()) it = ds.descriptions.insert(ds.descriptions.end(), std::move(desc));
      descMap[srcDesc] = static_cast<uint32_t>(it - ds.descriptions.begin() + 1);
    }
    uint32_t size = st.sizeOf(k);
    int64_t d = st.durationOf(k);
    if (dst.scale != src.scale) d = std::max<int64_t>(1, rescale(d, dst.scale, src.scale));
    if (d > UINT32_MAX) return invalidDuration;
    uint64_t offset = st.offsetOf(k);
    if (chunk.inMemory()) {
      if (offset + size > ss.memory.size()) return invalidSampleTable;
      uint64_t at = ds.memory.size();
      ds.memory.insert(ds.memory.end(), ss.memory.begin() + static_cast<long>(offset),
                       ss.memory.begin() + static_cast<long>(offset + size));
      offset = at;
    }
    ds.table.append(1, static_cast<uint32_t>(d), size, descMap[srcDesc], st.isSync(k), chunk.inMemory(), offset);
  }
  *dstFrom += rescale(from - st.startOf(first), dst.scale, src.scale);
  dst.modificationTime = nowMacTime();
  return noErr;
}

}  // namespace qte
