// The movie-atom writer that the atom families share: each family's file
// defines the writing of its atoms, next to their reading.
#pragma once

#include "../movie_writer.h"
#include "../../channel_layout.h"
#include "../../metadata_store.h"
#include "../../timecode.h"

#include <algorithm>

namespace qte::file {

inline constexpr uint64_t k32 = UINT32_MAX;

inline void putMatrix(Bytes& b, const MatrixRecord& m) {
  for (const auto& row : m.matrix)
    for (Fixed v : row) put32(b, static_cast<uint32_t>(v));
}

inline void putPascal(Bytes& b, const char* s) {
  size_t n = std::char_traits<char>::length(s);
  put8(b, uint8_t(n));
  b.insert(b.end(), s, s + n);
}

// The times a movie or media header holds, 64-bit in version 1: creation,
// modification, time scale and duration.
inline void putHeaderTimes(Bytes& b, uint8_t version, uint32_t created, uint32_t modified, TimeScale scale,
                           uint64_t duration) {
  auto time = [&](uint64_t v) { version ? put64(b, v) : put32(b, uint32_t(v)); };
  time(created);
  time(modified);
  put32(b, uint32_t(scale));
  time(duration);
}

// Renders the model as a movie atom; each family's file defines the writing of its atoms.
class Writer {

 public:
  Writer(const Movie& movie, const WriteTarget& target, bool summary, std::vector<PlacedTable>* placed)
      : movie_(movie), origin_(movie.origin.get()), target_(target), summary_(summary), placed_(placed) {}
  WrittenAtom written();
  Bytes movie();

 private:
  void movieHeader(Bytes& b);
  bool written(uint32_t trackID) const;
  static const Layout& layoutOf(const Layout* l);
  static void clip(Bytes& b, const Bytes& region, const Layout* kept);
  static void quickTimeMeta(Bytes& b, const MetaStore* meta);
  static void putTime(Bytes& b, uint8_t version, uint64_t v);
  void userData(Bytes& b, const UserDataList& list, const MetaStore* meta);
  void track(Bytes& b, const Track& t);
  void aperture(Bytes& b, const Track& t, const TrackOrigin* o);
  void references(Bytes& b, const Track& t);
  void trackHeader(Bytes& b, const Track& t, const TrackOrigin* o);
  void editList(Bytes& b, const Track& t, const TrackOrigin* o);
  static void editEntries(Bytes& b, const Track& t);
  void mediaAtom(Bytes& b, const Media& m, const TrackOrigin* o);
  void mediaHeader(Bytes& b, const Media& m);
  void mediaHandler(Bytes& b, const Media& m, const TrackOrigin* o);
  void mediaInfo(Bytes& b, const Media& m, const TrackOrigin* o);
  void mediaInfoHeader(Bytes& b, const Media& m, const TrackOrigin* o);
  static void dataHandler(Bytes& b, const TrackOrigin* o);
  void dataInfo(Bytes& b, const Media& m, const TrackOrigin* o);
  void baseHeader(Bytes& b, const Media& m, const TrackOrigin* o);
  static void baseInfo(Bytes& b, const VisualHandler* v);
  static void textInfo(Bytes& b);
  static void timeCodeInfo(Bytes& b, const TimeCodeHandler& tc, const TrackOrigin* o);
  void sampleTable(Bytes& b, const Media& m);
  void writeSampleTable(Bytes& b, const Media& m);
  void descriptions(Bytes& b, const Media& m);
  static void durations(Bytes& b, const SampleTable& t);
  static void syncSamples(Bytes& b, const SampleTable& t);
  static void chunkRuns(Bytes& b, const SampleTable& t);
  static void sizes(Bytes& b, const SampleTable& t);
  void chunkOffsets(Bytes& b, const Media& m);

  const Movie& movie_;
  const MovieOrigin* origin_;
  const WriteTarget& target_;
  const bool summary_;
  std::vector<PlacedTable>* placed_;
  std::vector<WrittenAtom::Borrowed> borrowed_;
  size_t elsewhere_ = 0;  // bytes of borrowed_
};

}  // namespace qte::file
