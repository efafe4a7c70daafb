// What the track and movie tests share: engine movies built through QuickTime's
// own calls, as a user's file would hold them, handed to the runtime's `movie`
// class; the engine's call log; and the registered functions, for the results
// of members that also raise.
#pragma once

#include "plugin_test.h"

#include <FixMath.h>
#include <QuickTime/EngineHooks.h>
#include <QuickTime/QuickTime.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

class TrackTest : public PluginTest {
 protected:
  void SetUp() override { QTEngineHookReset(); }

  // The newest host that still has QuickTime; its `movie` members arrive as
  // module methods.
  static rt::Config QuickTimeHost() {
    rt::Config config;
    config.hostVersion = 2013.04;
    return config;
  }
  // After TearDown: the runtime and every movie object are gone by now.
  ~TrackTest() override {
    QTEngineHookReset();
    for (Movie m : movies_) DisposeMovie(m);
  }

  // An empty engine movie that the test disposes of at its end.
  Movie NewEngineMovie(TimeScale scale = 600) {
    Movie m = NewMovie(0);
    SetMovieTimeScale(m, scale);
    movies_.push_back(m);
    return m;
  }

  // A track of `count` samples of `duration` each, shown once from time 0.
  static Track AddTrack(Movie movie, OSType mediaType, Fixed width, Fixed height, SInt32 count = 4,
                        TimeValue duration = 100) {
    Track track = NewMovieTrack(movie, width, height, mediaType == SoundMediaType ? 0x100 : 0);
    Media media = NewTrackMedia(track, mediaType, 600, nullptr, 0);
    std::vector<uint8_t> description(mediaType == VideoMediaType ? 86 : 36, 0);
    Put32(description, 0, static_cast<uint32_t>(description.size()));
    Put32(description, 4, mediaType == VideoMediaType ? "jpeg"_4cc : mediaType == SoundMediaType ? "twos"_4cc : mediaType);
    description[15] = 1;  // data reference 1
    if (mediaType == VideoMediaType) {
      Put16(description, 32, static_cast<uint16_t>(width >> 16));
      Put16(description, 34, static_cast<uint16_t>(height >> 16));
    }
    Handle data = NewHandleClear(count * 4);
    Handle desc = nullptr;
    PtrToHand(description.data(), &desc, static_cast<Size>(description.size()));
    BeginMediaEdits(media);
    AddMediaSample(media, data, 0, static_cast<UInt32>(count * 4), duration,
                   reinterpret_cast<SampleDescriptionHandle>(desc), count, 0, nullptr);
    EndMediaEdits(media);
    DisposeHandle(data);
    DisposeHandle(desc);
    InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
    return track;
  }
  static Track AddVideoTrack(Movie movie, Fixed width = 320 << 16, Fixed height = 240 << 16) {
    return AddTrack(movie, VideoMediaType, width, height);
  }

  // The logged calls of one name, in order, without the name.
  static std::vector<std::string> Logged(std::string_view call) {
    std::vector<std::string> found;
    for (SInt32 i = 0; i < QTEngineHookCallLogCount(); ++i) {
      std::string_view entry = QTEngineHookCallLogEntry(i);
      if (entry.size() > call.size() && entry.substr(0, call.size()) == call && entry[call.size()] == '(')
        found.emplace_back(entry.substr(call.size()));
    }
    return found;
  }
  static void StartLog() {
    QTEngineHookClearCallLog();
    QTEngineHookSetLogging(true);
  }

  rt::Value Lasterror(const rt::Value& track) { return runtime().get(track, "Lasterror"); }
  int64_t LastError(const rt::Value& track) { return Lasterror(track).asInteger(); }

  // The function registered for a declaration on the `movie` extension (either
  // route) or a class, found the way the host finds it. Members that raise are
  // called through it so that their result can be seen beside the exception.
  template <typename Fn>
  Fn Registered(std::string_view owner, std::string_view declarationStart, bool setter = false) {
    for (const rt::Registration& r : runtime().registrations()) {
      if (r.name.find(owner) != 0) continue;
      const REALmethodDefinition* methods = nullptr;
      size_t count = 0;
      if (r.route == rt::Registration::Route::Module) {
        auto* module = static_cast<const REALmoduleDefinition*>(r.record);
        methods = module->methods;
        count = module->methodCount;
      } else {
        auto* definition = static_cast<const REALclassDefinition*>(r.record);
        methods = definition->methods;
        count = definition->methodCount;
      }
      for (size_t i = 0; i < count; ++i) {
        const REALmethodDefinition& m = methods[i];
        if (!m.declaration || std::string_view(m.declaration).find(declarationStart) != 0) continue;
        if (r.route == rt::Registration::Route::Module) {
          const bool isSetter = std::string_view(m.declaration).find("assigns value") != std::string_view::npos;
          if (isSetter == setter) return reinterpret_cast<Fn>(m.function);
        } else {
          return reinterpret_cast<Fn>(setter ? m.setterFunction : m.function);
        }
      }
    }
    ADD_FAILURE() << "nothing registered as " << declarationStart;
    return nullptr;
  }

 private:
  static void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
  }
  static void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  }

  std::vector<Movie> movies_;
};

// A host `movie` over an engine movie with one 320 x 240 video track, on a host
// that still has QuickTime: what the user-data and metadata tests start from.
class VideoMovieTest : public TrackTest {
 protected:
  void SetUp() override {
    TrackTest::SetUp();
    Load(QuickTimeHost());
    qtMovie_ = NewEngineMovie();
    qtTrack_ = AddVideoTrack(qtMovie_);
    movie_ = runtime().newMovie(qtMovie_);
  }
  void TearDown() override {
    movie_ = rt::Value();
    TrackTest::TearDown();
  }

  Movie qtMovie_ = nullptr;
  Track qtTrack_ = nullptr;
  rt::Value movie_;
};
