// Builders shared by the engine tests: movies that dispose of themselves,
// descriptions in their file form and media filled with samples.
#pragma once

#include <FixMath.h>
#include <QuickTime/EngineHooks.h>
#include <QuickTime/QuickTime.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace enginetest {

struct MovieHolder {
  Movie movie = NewMovie(0);
  MovieHolder() = default;
  explicit MovieHolder(TimeScale scale) { SetMovieTimeScale(movie, scale); }
  ~MovieHolder() { DisposeMovie(movie); }
  operator Movie() const { return movie; }
};

struct HandleHolder {
  Handle h;
  explicit HandleHolder(Size n = 0) : h(NewHandleClear(n)) {}
  HandleHolder(const void* p, Size n) : h(nullptr) { PtrToHand(p, &h, n); }
  ~HandleHolder() { DisposeHandle(h); }
  operator Handle() const { return h; }
  Size size() const { return GetHandleSize(h); }
  std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(*h, *h + size()); }
};

inline void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v >> 8);
  b[at + 1] = uint8_t(v);
}
inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

// An stsd entry: size, format, reserved, data reference index 1, then `extra` zero bytes.
inline std::vector<uint8_t> description(OSType format, size_t extra = 0) {
  std::vector<uint8_t> b(16 + extra, 0);
  put32(b, 0, uint32_t(b.size()));
  put32(b, 4, format);
  put16(b, 14, 1);
  return b;
}

// An ImageDescription of the given size (86 bytes, no extensions).
inline std::vector<uint8_t> imageDescription(uint16_t width, uint16_t height) {
  auto b = description("jpeg"_4cc, 70);
  put16(b, 32, width);
  put16(b, 34, height);
  return b;
}

// A version-0 SoundDescription.
inline std::vector<uint8_t> soundDescription(uint16_t channels) {
  auto b = description("twos"_4cc, 20);
  put16(b, 24, channels);
  put16(b, 26, 16);
  put32(b, 32, 44100u << 16);
  return b;
}

// Adds `count` samples of `size` bytes each lasting `duration`; byte k of sample
// i holds (first + i + k) & 0xFF so reads can be checked.
inline OSErr addSamples(Media media, const std::vector<uint8_t>& desc, SInt32 count, TimeValue duration,
                        UInt32 size, bool sync = true, uint8_t first = 0) {
  std::vector<uint8_t> data(size_t(count) * size);
  for (size_t i = 0; i < size_t(count); ++i)
    for (size_t k = 0; k < size; ++k) data[i * size + k] = uint8_t(first + i + k);
  HandleHolder d(data.data(), Size(data.size()));
  HandleHolder s(desc.data(), Size(desc.size()));
  return AddMediaSample(media, d, 0, UInt32(data.size()), duration, reinterpret_cast<SampleDescriptionHandle>(s.h),
                        count, sync ? 0 : mediaSampleNotSync, nullptr);
}

// A track whose media holds `count` samples of `duration` each, shown once from time 0.
inline Track videoTrack(Movie movie, TimeScale mediaScale, SInt32 count, TimeValue duration) {
  Track t = NewMovieTrack(movie, 320 << 16, 240 << 16, 0);
  Media m = NewTrackMedia(t, VideoMediaType, mediaScale, nullptr, 0);
  BeginMediaEdits(m);
  addSamples(m, imageDescription(320, 240), count, duration, 4);
  EndMediaEdits(m);
  InsertMediaIntoTrack(t, 0, 0, GetMediaDuration(m), fixed1);
  return t;
}

struct Interesting {
  TimeValue time;
  TimeValue duration;
  bool operator==(const Interesting&) const = default;
};
inline std::ostream& operator<<(std::ostream& o, const Interesting& i) {
  return o << "{" << i.time << ", " << i.duration << "}";
}

inline Interesting next(Track t, short flags, TimeValue time, Fixed rate = fixed1) {
  Interesting r{-99, -99};
  GetTrackNextInterestingTime(t, flags, time, rate, &r.time, &r.duration);
  return r;
}

}  // namespace enginetest
