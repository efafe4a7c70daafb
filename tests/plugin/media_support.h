// Tracks whose media hold the sample descriptions a test writes byte by byte, in
// the big-endian form a movie file stores, as user code would find them in a file.
#pragma once

#include "track_movies.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// A host that still has QuickTime: the movie members are gated from 2014.0 on.
inline rt::Config QuickTimeHost() {
  rt::Config config;
  config.hostVersion = 2013.04;
  return config;
}

namespace mediatest {

// An stsd entry under construction: the 16-byte header, then fields put at their
// offsets; the size word follows the bytes.
struct Entry {
  std::vector<uint8_t> bytes;
  Entry(OSType format, size_t size) : bytes(size, 0) {
    u32(4, format);
    u16(14, 1);
    u32(0, static_cast<uint32_t>(size));
  }
  Entry& u16(size_t at, uint16_t v) {
    bytes.at(at) = uint8_t(v >> 8);
    bytes.at(at + 1) = uint8_t(v);
    return *this;
  }
  Entry& u32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = uint8_t(v >> (24 - 8 * i));
    return *this;
  }
  Entry& u64(size_t at, uint64_t v) { return u32(at, uint32_t(v >> 32)).u32(at + 4, uint32_t(v)); }
  Entry& text(size_t at, const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) bytes.at(at + i) = uint8_t(s[i]);
    return *this;
  }
};

// A track of `type` in `movie` with one 4-byte sample per entry, each described
// by its entry (in order), the last `unsynced` samples not sync samples.
inline Track AddDescribedTrack(Movie movie, OSType type, std::initializer_list<Entry> entries, int unsynced = 0) {
  Track track = NewMovieTrack(movie, 320 << 16, 240 << 16, type == SoundMediaType ? 0x100 : 0);
  Media media = NewTrackMedia(track, type, 600, nullptr, 0);
  BeginMediaEdits(media);
  int left = static_cast<int>(entries.size());
  uint8_t fill = 1;
  for (const Entry& e : entries) {
    Handle data = NewHandle(4);
    std::memset(*data, fill++, 4);
    Handle desc = nullptr;
    PtrToHand(e.bytes.data(), &desc, static_cast<Size>(e.bytes.size()));
    AddMediaSample(media, data, 0, 4, 100, reinterpret_cast<SampleDescriptionHandle>(desc), 1,
                   left-- <= unsynced ? mediaSampleNotSync : 0, nullptr);
    DisposeHandle(data);
    DisposeHandle(desc);
  }
  EndMediaEdits(media);
  InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
  return track;
}

}  // namespace mediatest
