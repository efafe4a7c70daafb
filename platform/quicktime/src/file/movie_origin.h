// What the engine remembers about the file a movie was read from: where its movie
// atom lies and its bytes, the atoms the model has no place for (kept byte for
// byte) and a summary of the writer's rendering right after reading, so that an
// unedited movie is recognised and its original bytes stay untouched.
#pragma once

#include "atoms.h"

#include <map>
#include <memory>
#include <string>

namespace qte::file {

// A track's 'stbl' inside the origin's movie atom.
struct TableBytes {
  size_t at = 0, size = 0;
  Bytes channelLayout;  // the sound descriptions' layout it was written with
  size_t dataRefs = 0;  // how many data references its descriptions could name
};

struct TrackOrigin {
  // The sample store as read; while the media still holds this very store its
  // samples are unedited, so per-sample atoms the model does not keep ('ctts',
  // 'sdtp', 'stps', 'cslg') still describe them.
  std::shared_ptr<SampleStore> store;
  uint32_t usage = 0xE;    // 'tkhd' flags other than enabled: in movie, preview, poster
  Bytes mediaHandler;      // mdia/hdlr as read: keeps its name
  Bytes dataHandler;       // minf/hdlr as read (absent in ISO files)
  std::vector<OSType> selfRefTypes;  // per data reference: its type when it named this file, else 0
  Bytes timeCodeFontName;  // tcmi font name (Pascal string)
  std::vector<Bytes> trak, mdia, minf, gmhd, stbl, dinf;  // children kept verbatim
  // Where the movie atom in the file holds the 'stbl' of `store` (empty: nowhere),
  // and what it was written with. While the media holds that store, its chunks lie
  // where they are and these still hold, a save copies those bytes rather than
  // write hundreds of thousands of entries again.
  TableBytes table;
};

// A movie atom's bytes: read from the file into memory not zeroed first (it is
// megabytes for a long movie), or taken over from the writer after a save.
class AtomBytes {
 public:
  AtomBytes() = default;
  // Room for `n` bytes, to be filled.
  explicit AtomBytes(size_t n);
  explicit AtomBytes(Bytes&& written) : written_(std::move(written)), size_(written_.size()) {}
  AtomBytes(const AtomBytes&) = delete;
  AtomBytes& operator=(AtomBytes&& o) noexcept;
  ~AtomBytes();

  uint8_t* data() { return raw_ ? raw_ : written_.data(); }
  const uint8_t* data() const { return raw_ ? raw_ : written_.data(); }
  size_t size() const { return size_; }

 private:
  uint8_t* raw_ = nullptr;  // from bulkAllocate
  Bytes written_;
  size_t size_ = 0;
};

struct MovieOrigin {
  std::string path;
  Bytes ftyp;
  uint64_t moovOffset = 0;
  AtomBytes moov;  // the movie atom as read, or as last saved in place
  Bytes baseline;  // the writer's summary of the movie just after reading or saving
  uint32_t previewTime = 0, previewDuration = 0, posterTime = 0, selectionTime = 0, selectionDuration = 0;
  std::vector<Bytes> moovExtras;
  std::map<int32_t, TrackOrigin> tracks;  // by track serial
};

// The file a live movie came from or was last saved to, or null.
std::shared_ptr<MovieOrigin> originOf(const Movie& movie);
void setOrigin(const Movie& movie, std::shared_ptr<MovieOrigin> origin);
const TrackOrigin* trackOrigin(const MovieOrigin* o, const Track& t);

// The 'url ' data reference standing for the file at `path` (self references are
// resolved to it on reading so that samples can be fetched).
DataRef fileDataRef(const std::string& path);
bool namesFile(const DataRef& ref, const std::string& path);

}  // namespace qte::file
