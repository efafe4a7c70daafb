// What the chapter and time code tests share: engine movies with a video track
// built through QuickTime's own calls, handed to the runtime's `movie` class, and
// a few readers of what the engine holds.
#pragma once

#include "track_movies.h"

#include <FixMath.h>
#include <QuickTime/EngineHooks.h>
#include <QuickTime/QuickTime.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class EngineMovieTest : public TrackTest {
 protected:
  // The newest host that still has QuickTime; its `movie` members arrive as
  // module methods.
  rt::Runtime& Load(double hostVersion = 2013.04) {
    rt::Config config;
    config.hostVersion = hostVersion;
    return PluginTest::Load(std::move(config));
  }

  // A 320 × 240 video track (media time scale 600) of `count` samples, each
  // lasting `duration`, shown once from time 0.
  static Track AddVideoTrack(Movie movie, SInt32 count = 4, TimeValue duration = 600) {
    return AddTrack(movie, VideoMediaType, 320 << 16, 240 << 16, count, duration);
  }

  // The bytes of the media sample at `mediaTime`, or empty.
  static std::vector<uint8_t> SampleBytes(Track track, TimeValue mediaTime) {
    Handle h = NewHandle(0);
    SInt32 size = 0;
    std::vector<uint8_t> bytes;
    if (GetMediaSample(GetTrackMedia(track), h, 0, &size, mediaTime, nullptr, nullptr, nullptr, nullptr, 1, nullptr,
                       nullptr) == noErr)
      bytes.assign(reinterpret_cast<uint8_t*>(*h), reinterpret_cast<uint8_t*>(*h) + size);
    DisposeHandle(h);
    return bytes;
  }

  // The description of the media's first sample, as its stsd entry bytes.
  static std::vector<uint8_t> DescriptionBytes(Track track) {
    Handle h = NewHandle(0);
    GetMediaSampleDescription(GetTrackMedia(track), 1, reinterpret_cast<SampleDescriptionHandle>(h));
    std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(*h), reinterpret_cast<uint8_t*>(*h) + GetHandleSize(h));
    DisposeHandle(h);
    return bytes;
  }

  static uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b.at(at)) << 24) | (uint32_t(b.at(at + 1)) << 16) | (uint32_t(b.at(at + 2)) << 8) | b.at(at + 3);
  }

  static SInt32 TracksOfType(Movie movie, OSType type) {
    SInt32 n = 0;
    while (GetMovieIndTrackType(movie, n + 1, type, movieTrackMediaType)) ++n;
    return n;
  }

  static SInt32 DisposeCalls() {
    SInt32 n = 0;
    for (SInt32 i = 0; i < QTEngineHookCallLogCount(); ++i)
      if (std::string(QTEngineHookCallLogEntry(i)).rfind("DisposeMovieTrack(", 0) == 0) ++n;
    return n;
  }

  Track HandleOf(const rt::Value& track) {
    return reinterpret_cast<Track>(runtime().get(track, "TrackHandle").asInteger());
  }
  std::string Text(const rt::Value& s) { return s.isNil() ? "(nil)" : runtime().utf8(s); }
};
