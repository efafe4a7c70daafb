// The engine's model: movies own tracks; a track owns its edit list, references,
// user data and one media; a media owns (possibly shared with its clones) a sample
// store in the shape of a movie file's sample tables, plus data references and a
// media handler. Everything is kept in the forms the file format uses so that
// reading and writing files can map rather than translate.
#pragma once

#include <QuickTime/Movies.h>
#include <QuickTime/QuickTimeComponents.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qte {

using Bytes = std::vector<uint8_t>;

// What movies, tracks and sample stores keep from the file they were read from
// (file/movie_origin.h).
namespace file {
struct MovieOrigin;
struct TrackOrigin;
struct StoreOrigin;
}  // namespace file

constexpr Fixed kFixedOne = 0x10000;

// Memory for tables that may run to megabytes: from a megabyte up, whole aligned
// huge pages where the kernel offers them (reading a long movie touches megabytes
// once, and on 4 KiB pages the faults cost more than the work); below, the
// ordinary heap. Elements made
// without a value are left unset (resize, then fill), as the tables are
// written whole right after.
void* bulkAllocate(size_t bytes);
void bulkFree(void* p, size_t bytes);

template <class T>
struct BulkAllocator {
  using value_type = T;
  BulkAllocator() = default;
  template <class U>
  BulkAllocator(const BulkAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(bulkAllocate(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { bulkFree(p, n * sizeof(T)); }
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const BulkAllocator<U>&) const { return true; }
  template <class U>
  bool operator!=(const BulkAllocator<U>&) const { return false; }
};

template <class T>
using BulkVector = std::vector<T, BulkAllocator<T>>;

// --- Live-object registry -------------------------------------------------
// Every handle the engine gives out is checked against this registry, so a
// foreign or disposed reference is answered with an error, never followed.

enum class Kind : uint8_t { Movie, Track, Media, Handler, UserData };

struct Object {
  explicit Object(Kind k);
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  const Kind kind;
  const int32_t serial;  // from 1 per kind, for the call log
};

Object* findLive(const void* handle, Kind kind);
int32_t serialOf(const void* handle);

template <class T>
T* live(const void* handle) {
  return static_cast<T*>(findLive(handle, T::kKind));
}
template <class H>
H handleOf(Object* o) {
  return reinterpret_cast<H>(o);
}

// --- User data (a udta atom's payload) ------------------------------------

struct UserDataItem {
  OSType type;
  Bytes data;  // the item atom's payload
  uint64_t metaId = 0;  // identifier as an item of the owner's metadata; 0 until given
};

struct UserDataList : Object {
  static constexpr Kind kKind = Kind::UserData;
  explicit UserDataList(bool ownedByModel) : Object(kKind), owned(ownedByModel) {}

  int count(OSType type) const;
  // Item `index` (from 1) of that type, or null.
  UserDataItem* find(OSType type, long index);
  // Position in `items` of item `index` of that type, or -1.
  long position(OSType type, long index) const;
  Bytes flatten() const;
  // Parses item atoms; tolerates an enclosing 'udta' atom and a trailing zero word.
  static OSErr parse(const uint8_t* p, size_t n, std::vector<UserDataItem>& out);

  std::vector<UserDataItem> items;
  const bool owned;  // part of a movie, track or media: not for DisposeUserData
};

// --- Samples (stts / stsz / stsc+stco / stss, in memory) -------------------

// 'stts' run: `count` samples of `delta` each. firstSample/firstTime make lookups
// by time or number a binary search.
struct TimeToSampleRun {
  uint32_t count;
  uint32_t delta;
  uint32_t firstSample;  // 0-based
  int64_t firstTime;
};

// A chunk: consecutive samples of one description stored back to back, at
// `offset()` in the file named by the description's data reference, or at
// `offset()` in the store's memory when the samples were added since the last
// save. Sixteen bytes: a long movie has hundreds of thousands.
struct Chunk {
  static constexpr uint64_t kInMemory = uint64_t(1) << 63;
  static constexpr uint64_t kMaxOffset = kInMemory - 1;

  uint32_t firstSample;
  uint32_t count;
  uint64_t place;  // the offset, with kInMemory set for the store's memory

  bool inMemory() const { return place & kInMemory; }
  uint64_t offset() const { return place & kMaxOffset; }
};

// Sample-description runs: where the description index changes (the media's
// "media edits" for interesting-time searches).
struct DescriptionRun {
  uint32_t firstSample;
  uint32_t descIndex;
};

class SampleTable {
 public:
  static constexpr uint32_t npos = UINT32_MAX;

  uint32_t count() const { return count_; }
  int64_t duration() const { return duration_; }
  // Changes with every change of the samples, so that what describes them as
  // they were can tell it no longer does.
  uint64_t revision() const { return revision_; }

  // Sample containing media time t (0 <= t < duration()).
  uint32_t sampleAt(int64_t t) const;
  int64_t startOf(uint32_t i) const;
  uint32_t durationOf(uint32_t i) const;
  uint32_t sizeOf(uint32_t i) const { return varySizes_ ? sizes_[i] : constantSize_; }
  bool isSync(uint32_t i) const;
  uint32_t descIndexOf(uint32_t i) const;  // 1-based
  const Chunk& chunkOf(uint32_t i) const;
  uint64_t offsetOf(uint32_t i) const;  // within its chunk's storage
  // Bytes of samples [first, first+n), back to back or not.
  uint64_t bytesOf(uint32_t first, uint32_t n) const { return bytesBefore(first + n) - bytesBefore(first); }

  // First sync sample >= i / last sync sample <= i, or npos.
  uint32_t nextSync(uint32_t i) const;
  uint32_t prevSync(uint32_t i) const;
  // First sample >= i / last <= i where a description run begins, or npos.
  uint32_t nextDescStart(uint32_t i) const;
  uint32_t prevDescStart(uint32_t i) const;

  // Appends n samples of equal duration and size, stored back to back. Memory
  // running out (std::bad_alloc) leaves the table as it was.
  void append(uint32_t n, uint32_t delta, uint32_t size, uint32_t descIndex, bool sync, bool inMemory,
              uint64_t offset);

  // A whole table at once, as a file's reader builds it entry by entry rather
  // than sample by sample. The parts must agree (the reader checks the file):
  // runs and chunks cover the same samples, chunks hold at most
  // kMaxSamplesPerChunk, sizes has one entry a sample unless every sample is
  // `constantSize` bytes, and no `sync` list means every sample is a sync sample.
  struct Parts {
    std::vector<TimeToSampleRun> runs;
    uint32_t constantSize = 0;
    BulkVector<uint32_t> sizes;  // empty: constantSize
    BulkVector<Chunk> chunks;
    bool allSync = true;
    std::vector<uint32_t> sync;
    std::vector<DescriptionRun> descRuns;
  };
  static constexpr uint32_t kMaxSamplesPerChunk = 4096;
  void assign(Parts&& parts);

  const std::vector<TimeToSampleRun>& timeRuns() const { return stts_; }
  const BulkVector<Chunk>& chunks() const { return chunks_; }
  bool allSync() const { return allSync_; }
  const std::vector<uint32_t>& syncSamples() const { return sync_; }

 private:
  const TimeToSampleRun& runOf(uint32_t i) const;
  // Bytes of all samples before sample i (i <= count()).
  uint64_t bytesBefore(uint32_t i) const;
  // Every kMarkEvery samples, the bytes before: with sizes varying, a sample's
  // place is a mark plus fewer than kMarkEvery sizes, however long its chunk.
  static constexpr uint32_t kMarkShift = 6;
  static constexpr uint32_t kMarkEvery = 1u << kMarkShift;

  std::vector<TimeToSampleRun> stts_;
  uint32_t constantSize_ = 0;
  bool varySizes_ = false;
  BulkVector<uint32_t> sizes_;  // only while sizes vary
  BulkVector<uint64_t> marks_;  // only while sizes vary: marks_[j] is bytesBefore(j * kMarkEvery)
  uint64_t bytes_ = 0;          // bytesBefore(count_)
  BulkVector<Chunk> chunks_;
  bool allSync_ = true;          // 'stss' absent
  std::vector<uint32_t> sync_;   // 0-based sample numbers, ascending
  std::vector<DescriptionRun> descRuns_;
  uint64_t lastChunkEnd_ = 0;  // where the last chunk's bytes end, to extend it cheaply
  uint32_t count_ = 0;
  int64_t duration_ = 0;
  uint64_t revision_ = 0;
};

// What clones share: the sample table, the descriptions and in-memory bytes.
struct SampleStore {
  SampleTable table;
  std::vector<Bytes> descriptions;  // big-endian stsd entries
  Bytes memory;                     // bytes of samples added since the last save
  std::shared_ptr<const file::StoreOrigin> origin;  // what its file held for the samples; see asRead
};

struct DataRef {
  OSType type;
  Bytes data;
  int32_t attributes;
};

// Files opened through data references (data_handler.cpp), closed with their owner.
class OpenDataFiles {
 public:
  OpenDataFiles() = default;
  OpenDataFiles(const OpenDataFiles&) = delete;
  OpenDataFiles& operator=(const OpenDataFiles&) = delete;
  ~OpenDataFiles();
  // The descriptor of the file `ref` names, or -1 when it cannot be opened.
  int open(const DataRef& ref);

 private:
  struct Entry {
    DataRef ref;
    int fd;
  };
  std::vector<Entry> files_;  // the last few references read through
};

// A file chunk's bytes as last read, with what they were read for: the store
// and its revision (what the chunk table said), the reference and the place.
struct ChunkCache {
  const SampleStore* store = nullptr;
  uint64_t revision = 0;
  DataRef ref;
  uint64_t at = 0;
  Bytes bytes;
};

struct Media;
struct Track;
struct Movie;
class MetaStore;  // metadata_store.h

// --- Media handlers ---------------------------------------------------------

struct MediaHandlerObject : Object {
  static constexpr Kind kKind = Kind::Handler;
  enum class Family { Sound, Visual };
  MediaHandlerObject(Media* m, Family f) : Object(kKind), media(m), family(f) {}

  Media* media;
  const Family family;
};

struct SoundHandler : MediaHandlerObject {
  explicit SoundHandler(Media* m) : MediaHandlerObject(m, Family::Sound) {}
  int16_t balance = 0;
  int16_t bass = 0;
  int16_t treble = 0;
  std::vector<UnsignedFixed> bands;
  bool metering = false;
  Component output = nullptr;  // null: the default output
};

struct VisualHandler : MediaHandlerObject {
  explicit VisualHandler(Media* m) : MediaHandlerObject(m, Family::Visual) {}
  int32_t graphicsMode = ditherCopy;
  RGBColor opColor{0x8000, 0x8000, 0x8000};
};

std::unique_ptr<MediaHandlerObject> makeHandler(Media* media);
bool hasCharacteristic(OSType mediaType, OSType characteristic);

// --- Media ------------------------------------------------------------------

struct Media : Object {
  static constexpr Kind kKind = Kind::Media;
  Media(Track* t, OSType mediaType, TimeScale timeScale);
  ~Media() override;

  const SampleStore& samples() const { return *store; }
  // Writable store; a store shared with clones is copied first.
  SampleStore& mutableSamples();

  Track* track;
  OSType type;
  TimeScale scale;
  uint32_t creationTime;
  uint32_t modificationTime;
  int16_t language = 0;
  int16_t quality = 0;
  std::shared_ptr<SampleStore> store;
  std::vector<DataRef> dataRefs;
  std::unique_ptr<MediaHandlerObject> handler;
  std::unique_ptr<UserDataList> userData;
  bool editing = false;
  // A channel layout set through the track's 'tlay' property, as a 'chan' atom holds
  // it (big-endian, after version and flags). Saving puts it into every sound
  // description; until then the descriptions keep what they were read or added with.
  Bytes channelLayout;

  // The files its data references name, opened on first read and kept open for
  // the media's life, as a data handler keeps them.
  mutable OpenDataFiles dataFiles;
  // The last small chunk read whole from a file (data_handler.cpp): reading
  // sample after sample then costs one read a chunk, not one a sample.
  mutable ChunkCache lastChunk;
};

// --- Edits ------------------------------------------------------------------

struct Edit {
  int64_t duration;   // movie time scale
  int64_t mediaTime;  // media time scale; -1 for an empty edit
  Fixed rate;
  bool empty() const { return mediaTime < 0; }
};

// Scales needed to move between track (movie) time and media time.
struct Scales {
  TimeScale movie;
  TimeScale media;
};

class EditList {
 public:
  const std::vector<Edit>& edits() const { return edits_; }
  size_t size() const { return edits_.size(); }
  int64_t duration() const { return starts_.back(); }
  int64_t startOf(size_t i) const { return starts_[i]; }
  // Edit containing track time t, or size() when t is outside the list.
  size_t find(int64_t t) const;

  // The piece [in, in+duration) as edits (parts past the end come back empty).
  std::vector<Edit> extract(int64_t in, int64_t duration, Scales s) const;
  // Inserts edits at `at`, padding with empty time when `at` is past the end.
  void insert(int64_t at, const std::vector<Edit>& pieces, Scales s);
  void erase(int64_t in, int64_t duration, Scales s);
  // Stretches [in, in+oldDuration) to newDuration; false when a rate would overflow.
  bool scale(int64_t in, int64_t oldDuration, int64_t newDuration, Scales s);
  // Rescales every duration to a new movie time scale.
  void changeScale(TimeScale from, TimeScale to);
  void clear();
  void assign(std::vector<Edit> e);

 private:
  // Ensures an edit boundary at t (0 <= t <= duration); returns the index of the edit starting there.
  size_t splitAt(int64_t t, Scales s);
  void normalize(Scales s);
  void rebuild();

  std::vector<Edit> edits_;
  std::vector<int64_t> starts_{0};  // starts_[i] is edit i's track time; back() is the duration
};

// Media time at track time `offset` into an edit (floor).
int64_t mediaOffset(int64_t trackOffset, Fixed rate, Scales s);
// First track offset whose media offset reaches `mediaDelta` (ceil).
int64_t trackOffsetCeil(int64_t mediaDelta, Fixed rate, Scales s);
// Movie-scale duration of a media-scale duration played at `rate`, rounded.
int64_t trackDurationOf(int64_t mediaDuration, Fixed rate, Scales s);
// value * num / den rounded half away from zero (64-bit intermediate is too small,
// so 128-bit is used).
int64_t rescale(int64_t value, int64_t num, int64_t den);

// --- Tracks and movies ------------------------------------------------------

struct TrackReference {
  OSType type;
  std::vector<uint32_t> trackIDs;  // index i+1 is trackIDs[i]
};

// 'tapt': clean, production and encoded-pixels dimensions.
struct ApertureDimensions {
  bool present = false;
  FixedPoint clean{0, 0};
  FixedPoint production{0, 0};
  FixedPoint encoded{0, 0};
};

struct Track : Object {
  static constexpr Kind kKind = Kind::Track;
  Track(Movie* m, uint32_t trackID);
  ~Track() override;

  Scales scales() const;
  void touch();  // modification time := now

  Movie* movie;
  const uint32_t id;
  bool enabled = true;
  int16_t layer = 0;
  int16_t alternateGroup = 0;
  int16_t volume = 0;
  Fixed width = 0;
  Fixed height = 0;
  MatrixRecord matrix;
  uint32_t creationTime;
  uint32_t modificationTime;
  EditList edits;
  std::vector<TrackReference> references;
  std::unique_ptr<UserDataList> userData;
  std::shared_ptr<MetaStore> metaData;  // made by the first QTCopy...MetaData
  std::unique_ptr<Media> media;
  ApertureDimensions aperture;
  Bytes clip;  // the clip region as a 'crgn' atom holds it; empty: none
  std::shared_ptr<file::TrackOrigin> origin;  // what its file held that the model does not; null: none
};

struct Movie : Object {
  static constexpr Kind kKind = Kind::Movie;
  Movie();
  ~Movie() override;

  int64_t duration() const;
  Track* trackByID(uint32_t id) const;
  long indexOf(const Track* t) const;  // from 0, or -1

  TimeScale scale = 600;
  int64_t currentTime = 0;
  std::vector<std::unique_ptr<Track>> tracks;
  // The movie header's next track ID: past every track's, or 0xFFFFFFFF for "unknown".
  uint32_t nextTrackID = 1;
  // An ID for a new track that no track has and a file can hold (0xFFFFFFFF
  // cannot be): the next track ID, else one past the largest, else the lowest
  // unused. The next track ID moves past it, or becomes "unknown".
  uint32_t takeTrackID() {
    uint32_t maxID = 0;
    for (const auto& t : tracks) maxID = std::max(maxID, t->id);
    uint32_t id = nextTrackID > maxID && nextTrackID < UINT32_MAX ? nextTrackID : maxID + 1;
    if (maxID >= UINT32_MAX - 1) {
      std::vector<uint32_t> used;
      for (const auto& t : tracks) used.push_back(t->id);
      std::sort(used.begin(), used.end());
      id = 1;
      for (uint32_t u : used) id += u == id;
    }
    nextTrackID = id > maxID ? id + 1 : UINT32_MAX;
    return id;
  }
  std::unique_ptr<UserDataList> userData;
  std::shared_ptr<MetaStore> metaData;  // made by the first QTCopy...MetaData
  int16_t volume = 0x100;
  MatrixRecord matrix;
  Fixed preferredRate = kFixedOne;
  bool ratePreservesPitch = false;
  Float32 pitch = 0;
  OSType apertureMode = kQTApertureMode_Classic;
  Bytes clip;  // as Track::clip
  uint32_t creationTime;
  uint32_t modificationTime;
  std::shared_ptr<file::MovieOrigin> origin;  // the file it was read from or saved to; null: none
};

// Seconds since 1904-01-01, QuickTime's epoch.
uint32_t nowMacTime();

// Reads the bytes of n samples stored back to back from sample `first`
// (data_handler.cpp).
OSErr readSampleBytes(const Media& media, uint32_t first, uint32_t n, uint8_t* out);

}  // namespace qte
