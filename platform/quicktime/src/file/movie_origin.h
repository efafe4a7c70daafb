// What the engine remembers about the file a movie was read from: where its movie
// atom lies, the atoms the model has no place for (kept byte for byte) and a
// summary of the writer's rendering right after reading, so that an unedited
// movie is recognised and its original bytes stay untouched. Each record hangs
// off what it describes: the movie, the track, or the sample store, so that it
// goes wherever that goes (a cloned track shares its store, and with it what the
// file held for those samples).
#pragma once

#include "layout.h"

#include <memory>
#include <string>

namespace qte::file {

// A track's 'stbl' as the file holds it: in the movie atom as read, or in the
// part of a later save's atom that the writer made.
struct TableBytes {
  std::shared_ptr<const void> holder;  // keeps `data` alive: the movie atom it lies in
  const uint8_t* data = nullptr;
  size_t size = 0;
  Bytes channelLayout;  // the sound descriptions' layout it was written with
  size_t dataRefs = 0;  // how many data references its descriptions could name
};

// What a sample store's file held for its samples. While the store's table is
// as read (no sample added since), per-sample atoms the model does not keep
// ('ctts', 'sdtp', 'stps', 'cslg') still describe them, and the chunks lie where
// the file's 'stbl' says: a save writes those bytes again rather than hundreds
// of thousands of entries.
struct StoreOrigin {
  uint64_t revision = 0;  // the table's when read
  Layout stbl;
  TableBytes table;
};

// The store's origin while its samples are those it describes, else null.
inline const StoreOrigin* asRead(const SampleStore& s) {
  return s.origin && s.origin->revision == s.table.revision() ? s.origin.get() : nullptr;
}

struct TrackOrigin {
  uint32_t usage = 0xE;    // 'tkhd' flags other than enabled: in movie, preview, poster
  Bytes mediaHandler;      // mdia/hdlr as read: keeps its name
  Bytes dataHandler;       // minf/hdlr as read (absent in ISO files)
  std::vector<OSType> selfRefTypes;  // per data reference: its type when it named this file, else 0
  Bytes timeCodeFontName;  // tcmi font name (Pascal string)
  Layout trak, edts, tapt, clip, mdia, minf, dinf, gmhd;
  // Why no save may rewrite this track (empty: it may): the file holds something
  // here that the model cannot represent, named by atom path and offset.
  std::string unsavable;
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
  Bytes baseline;  // the writer's summary of the movie just after reading or saving
  uint32_t previewTime = 0, previewDuration = 0, posterTime = 0, selectionTime = 0, selectionDuration = 0;
  Layout moov, clip;
};

// The 'url ' data reference standing for the file at `path` (self references are
// resolved to it on reading so that samples can be fetched).
DataRef fileDataRef(const std::string& path);
bool namesFile(const DataRef& ref, const std::string& path);

}  // namespace qte::file
