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

// A track's 'stbl' as the file holds it: in the movie atom as read, or in the
// part of a later save's atom that the writer made.
struct TableBytes {
  std::shared_ptr<const void> holder;  // keeps `data` alive
  const uint8_t* data = nullptr;
  size_t size = 0;
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
  std::vector<Bytes> trak, edts, mdia, minf, gmhd, stbl, dinf;  // children kept verbatim
  // Why no save may rewrite this track (empty: it may): the file holds something
  // here that the model cannot represent, named by atom path and offset.
  std::string unsavable;
  // The 'stbl' the file holds for `store` (empty: none), and what it was written
  // with. While the media holds that store, its chunks lie where they are and
  // these still hold, a save writes those bytes again rather than hundreds of
  // thousands of entries.
  TableBytes table;
};

// A movie atom's bytes as read from the file, in memory not zeroed first: it is
// megabytes for a long movie.
class AtomBytes {
 public:
  explicit AtomBytes(size_t n);  // room for `n` bytes, to be filled
  AtomBytes(const AtomBytes&) = delete;
  AtomBytes& operator=(const AtomBytes&) = delete;
  ~AtomBytes();

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t* data_;  // from bulkAllocate
  size_t size_;
};

struct MovieOrigin {
  std::string path;
  Bytes ftyp;
  uint64_t moovOffset = 0;
  std::shared_ptr<const AtomBytes> moov;  // the movie atom as read
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
