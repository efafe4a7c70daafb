// The demo's track section: a movie with a video and a sound track, its tracks
// found by index, ID and type, edited and described through the plugin.
#include "demo.h"

#include <FixMath.h>
#include <MacMemory.h>
#include <QuickTime/QuickTime.h>

#include <cstdio>
#include <iostream>
#include <vector>

namespace tool {
namespace {

using rt::Value;

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  put16(b, at, static_cast<uint16_t>(v >> 16));
  put16(b, at + 2, static_cast<uint16_t>(v));
}

// An stsd entry: size, format, six reserved bytes, data reference 1.
std::vector<uint8_t> descriptionEntry(size_t size, OSType format) {
  std::vector<uint8_t> entry(size, 0);
  put32(entry, 0, static_cast<uint32_t>(size));
  put32(entry, 4, format);
  put16(entry, 14, 1);
  return entry;
}

void addSamples(Track track, OSType type, TimeScale scale, const std::vector<uint8_t>& entry, long count,
                TimeValue durationEach, long sizeEach) {
  Media media = NewTrackMedia(track, type, scale, nullptr, 0);
  Handle desc = nullptr;
  PtrToHand(entry.data(), &desc, static_cast<long>(entry.size()));
  Handle data = NewHandleClear(count * sizeEach);
  BeginMediaEdits(media);
  AddMediaSample(media, data, 0, count * sizeEach, durationEach, reinterpret_cast<SampleDescriptionHandle>(desc),
                 count, 0, nullptr);
  EndMediaEdits(media);
  InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
  DisposeHandle(data);
  DisposeHandle(desc);
}

void describe(rt::Runtime& runtime, const Value& track) {
  std::printf("  track %lld: %s, duration %lld, %lld x %lld, enabled %s\n",
              static_cast<long long>(runtime.call(track, "TrackID").asInteger()),
              runtime.utf8(runtime.call(track, "MediaType")).c_str(),
              static_cast<long long>(runtime.call(track, "Duration").asInteger()),
              static_cast<long long>(runtime.call(track, "Width").asInteger()),
              static_cast<long long>(runtime.call(track, "Height").asInteger()),
              runtime.get(track, "TrackEnabled").asBoolean() ? "yes" : "no");
}

}  // namespace

// 10 s of 320 × 240 Photo-JPEG at 25 frames a second and 16-bit stereo sound at
// 44.1 kHz, in a movie of time scale 600.
Movie newAudioVisualMovie() {
  Movie movie = NewMovie(0);
  SetMovieTimeScale(movie, 600);

  std::vector<uint8_t> image = descriptionEntry(86, "jpeg"_4cc);
  put32(image, 20, "appl"_4cc);          // vendor
  put32(image, 28, 0x200);               // spatial quality: normal
  put16(image, 32, 320);
  put16(image, 34, 240);
  put32(image, 36, 72 << 16);  // 72 dpi
  put32(image, 40, 72 << 16);
  put16(image, 48, 1);  // frames per sample
  const char name[] = "Photo - JPEG";
  image[50] = sizeof name - 1;
  std::copy(name, name + sizeof name - 1, image.begin() + 51);
  put16(image, 82, 24);
  put16(image, 84, 0xFFFF);
  addSamples(NewMovieTrack(movie, Long2Fix(320), Long2Fix(240), 0), VideoMediaType, 2500, image, 250, 100, 64);

  std::vector<uint8_t> sound = descriptionEntry(36, "twos"_4cc);
  put16(sound, 24, 2);                          // channels
  put16(sound, 26, 16);                         // bits per sample
  put32(sound, 32, static_cast<uint32_t>(44100) << 16);  // unsigned 16.16 rate
  addSamples(NewMovieTrack(movie, 0, 0, 0x100), SoundMediaType, 44100, sound, 441000, 1, 4);
  return movie;
}

void showTracks() {
  rt::Config config;
  config.hostVersion = 2013.04;  // the last hosts with QuickTime
  rt::Runtime runtime(config);
  runtime.loadPlugin(rt::Runtime::defaultPluginPath());
  Movie qtMovie = newAudioVisualMovie();
  {
    Value movie = runtime.newMovie(qtMovie);
    std::cout << "Tracks (a 10 s movie with video and sound, time scale 600)\n"
              << "  TrackCountZQK " << runtime.call(movie, "TrackCountZQK").asInteger() << '\n';

    Value video = runtime.call(movie, "GetVideoTrackZQK", {Value::integer(1)});
    Value sound = runtime.call(movie, "GetSoundTrackZQK", {Value::integer(1)});
    Value first = runtime.call(movie, "GetTrackIndexZQK", {Value::integer(1)});
    Value byID = runtime.call(movie, "GetTrackIDZQK", {runtime.call(sound, "TrackID")});
    std::cout << "  found by type, index and ID:\n";
    describe(runtime, video);
    describe(runtime, sound);
    std::cout << "  GetTrackIndexZQK(1) is track " << runtime.call(first, "TrackID").asInteger()
              << ", GetTrackIDZQK(" << runtime.call(sound, "TrackID").asInteger() << ") is a "
              << runtime.utf8(runtime.call(byID, "MediaType")) << " track\n";

    Value image = runtime.call(video, "MediaVideoSampleDescription", {Value::integer(1)});
    std::printf("  video description: %s \"%s\" by %s, %lld x %lld, %.0f dpi, depth %lld\n",
                runtime.utf8(runtime.get(image, "CodecType")).c_str(),
                runtime.utf8(runtime.get(image, "CodecName")).c_str(),
                runtime.utf8(runtime.get(image, "CodecVendor")).c_str(),
                static_cast<long long>(runtime.get(image, "Width").asInteger()),
                static_cast<long long>(runtime.get(image, "Height").asInteger()),
                runtime.get(image, "HorizontalResolution").asDouble(),
                static_cast<long long>(runtime.get(image, "Depth").asInteger()));
    Value audio = runtime.call(sound, "MediaSoundSampleDescription", {Value::integer(1)});
    std::printf("  sound description: %s, %lld channels of %lld bits at %.0f Hz; %lld samples\n",
                runtime.utf8(runtime.get(audio, "CodecType")).c_str(),
                static_cast<long long>(runtime.get(audio, "ChannelCount").asInteger()),
                static_cast<long long>(runtime.get(audio, "SampleSize").asInteger()),
                runtime.get(audio, "SampleRate").asDouble(),
                static_cast<long long>(runtime.call(sound, "MediaSampleCount").asInteger()));

    // Edits: the first two seconds of video play at half speed, then one second of
    // silence opens the whole movie.
    runtime.call(video, "ScaleTrackSegment", {Value::integer(0), Value::integer(1200), Value::integer(2400)});
    const int64_t inserted =
        runtime.call(movie, "InsertEmptyMovieSegmentZQK", {Value::integer(0), Value::integer(600)}).asInteger();
    std::cout << "  after ScaleTrackSegment(0, 1200, 2400) and InsertEmptyMovieSegmentZQK(0, 600) -> " << inserted
              << ":\n";
    describe(runtime, video);
    describe(runtime, sound);
    Value time = Value::integer(0), duration = Value::integer(0);
    std::vector<Value> args = {time, duration};
    runtime.call(video, "NextInterestingTimeZQK", args, {true, true});
    std::cout << "  first interesting video time " << args[0].asInteger() << ", lasting " << args[1].asInteger()
              << "; movie duration " << GetMovieDuration(qtMovie) << '\n';
  }
  DisposeMovie(qtMovie);
}

}  // namespace tool
