// What the engine remembers about the file a movie was read from: where its movie
// atom lies, the atoms the model has no place for (kept byte for byte) and the
// movie atom as the writer rendered it right after reading, so that an unedited
// movie is recognised and its original bytes stay untouched.
#pragma once

#include "atoms.h"

#include <map>
#include <memory>
#include <string>

namespace qte::file {

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
  // The 'stbl' the writer last made of `store` with its chunks where they lie, and
  // what else went into it: while all still hold, a save copies these bytes rather
  // than write hundreds of thousands of entries again.
  mutable Bytes stblWritten;
  mutable Bytes stblChannelLayout;
  mutable size_t stblDataRefs = 0;
};

struct MovieOrigin {
  std::string path;
  Bytes ftyp;
  uint64_t moovOffset = 0;
  Bytes moov;      // the movie atom as read
  Bytes baseline;  // the writer's rendering of the movie just after reading
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
