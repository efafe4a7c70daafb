// The README's main job: load the plugin into a host and show, on a built-in
// sample, what user code can do with it.
#include "api_listing.h"
#include "commands.h"
#include "demo.h"

#include <FixMath.h>
#include <QuickTime/QuickTime.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <sstream>
#include <vector>

namespace tool {

rt::Value newChapter(rt::Runtime& runtime, const char* text, int64_t duration) {
  rt::Value c = runtime.newObject("QTChapterDataZQK");
  runtime.set(c, "Text", runtime.string(text));
  runtime.set(c, "FrameDuration", rt::Value::integer(duration));
  return c;
}

namespace {

using rt::Value;

std::string hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "&h%06X", v);
  return buf;
}

void showChapterRecord(rt::Runtime& runtime) {
  Value chapter = runtime.newObject("QTChapterDataZQK");
  runtime.set(chapter, "Text", runtime.string("Intro"));
  runtime.set(chapter, "FrameDuration", Value::integer(600));
  runtime.set(chapter, "FontName", runtime.string("Monaco"));
  runtime.set(chapter, "TextColor", Value::color(0xFFCC00));
  std::cout << "Chapter record (QTChapterDataZQK)\n"
            << "  Text              " << runtime.utf8(runtime.get(chapter, "Text")) << '\n'
            << "  FrameDuration     " << runtime.get(chapter, "FrameDuration").asInteger() << '\n'
            << "  FontName          " << runtime.utf8(runtime.get(chapter, "FontName")) << "  (FontNumber "
            << runtime.get(chapter, "FontNumber").asInteger() << ")\n"
            << "  TextColor         " << hex(runtime.get(chapter, "TextColor").asColor()) << '\n'
            << "  TextJustification " << runtime.get(chapter, "TextJustification").asInteger() << "  (teCenter = "
            << runtime.constant("QTChapterDataZQK", "teCenter").asInteger() << ")\n"
            << "  DisplayFlags      " << runtime.get(chapter, "DisplayFlags").asInteger() << "  (dfClipToTextBox = "
            << runtime.constant("QTChapterDataZQK", "dfClipToTextBox").asInteger() << ")\n";
}

void showTimeCodeParameters(rt::Runtime& runtime) {
  Value p = runtime.newObject("QTTimeCodeCreationParametersZQK");
  std::cout << "Time-code parameters (QTTimeCodeCreationParametersZQK), defaults\n"
            << "  TimeScale " << runtime.get(p, "TimeScale").asInteger() << ", FrameDuration "
            << runtime.get(p, "FrameDuration").asInteger() << ", NumberOfFrames "
            << runtime.get(p, "NumberOfFrames").asInteger() << ", DropFrames "
            << (runtime.get(p, "DropFrames").asBoolean() ? "true" : "false") << '\n'
            << "  SourceName \"" << runtime.utf8(runtime.get(p, "SourceName")) << "\", FontName \""
            << runtime.utf8(runtime.get(p, "FontName")) << "\"\n";
  runtime.call(p, "Close");
}

void showTimeCode(rt::Runtime& runtime) {
  Value tc = runtime.newObject("QTTimeCodeZQK");
  runtime.set(tc, "TimeScale", Value::integer(2997));
  runtime.set(tc, "FrameDuration", Value::integer(100));
  runtime.set(tc, "NumberOfFrames", Value::integer(30));
  runtime.set(tc, "DropFrames", Value::boolean(true));
  runtime.set(tc, "Hours", Value::integer(1));
  runtime.set(tc, "SourceName", runtime.string("Camera A"));
  std::cout << "Time code (QTTimeCodeZQK)\n"
            << "  Flags " << runtime.get(tc, "Flags").asInteger() << ", Hours " << runtime.get(tc, "Hours").asInteger()
            << ", Counter " << runtime.get(tc, "Counter").asInteger() << ", SourceName \""
            << runtime.utf8(runtime.get(tc, "SourceName")) << "\"\n";
}

// A 10-second 320 × 240 video track made through the engine, as a file would
// hold it: one frame a second in a movie of time scale 600.
Movie newSampleMovie() {
  Movie movie = NewMovie(0);
  SetMovieTimeScale(movie, 600);
  Track track = NewMovieTrack(movie, Long2Fix(320), Long2Fix(240), 0);
  Media media = NewTrackMedia(track, VideoMediaType, 600, nullptr, 0);
  std::vector<uint8_t> entry(86, 0);
  const uint8_t header[] = {0, 0, 0, 86, 'j', 'p', 'e', 'g'};
  std::copy(std::begin(header), std::end(header), entry.begin());
  entry[15] = 1;                                                // data reference 1
  entry[32] = 320 >> 8, entry[33] = 320 & 0xFF, entry[35] = 240;  // width, height
  Handle desc = nullptr;
  PtrToHand(entry.data(), &desc, static_cast<Size>(entry.size()));
  Handle frames = NewHandleClear(10 * 4);
  BeginMediaEdits(media);
  AddMediaSample(media, frames, 0, 10 * 4, 600, reinterpret_cast<SampleDescriptionHandle>(desc), 10, 0, nullptr);
  EndMediaEdits(media);
  InsertMediaIntoTrack(track, 0, 0, GetMediaDuration(media), fixed1);
  DisposeHandle(frames);
  DisposeHandle(desc);
  return movie;
}

// Chapters below the video and a drop-frame time code from 01:00:00;00, on a
// host that still has QuickTime.
void showChaptersAndTimeCode() {
  rt::Config config;
  config.hostVersion = 2013.04;
  rt::Runtime runtime(config);
  runtime.loadPlugin(rt::Runtime::defaultPluginPath());
  Movie qtMovie = newSampleMovie();
  {
    Value movie = runtime.newMovie(qtMovie);
    Value chapters = runtime.newObjectArray({newChapter(runtime, "Intro", 1200),
                                             newChapter(runtime, "Caf\u00e9 \u2014 \u00e0 Z\u00fcrich", 4800),
                                             newChapter(runtime, "Credits", 3000)});
    Value track = runtime.call(movie, "AddTextTrackZQK", {chapters, runtime.string("vide"), Value::boolean(true)});

    Value parameters = runtime.newObject("QTTimeCodeCreationParametersZQK");
    runtime.set(parameters, "Hours", Value::integer(1));
    runtime.set(parameters, "DisplayTimeCode", Value::boolean(true));
    const int64_t added = runtime.call(movie, "AddTimeCodeToMovieZQK", {parameters}).asInteger();

    std::cout << "Chapter track (AddTextTrackZQK on a 10 s video, time scale 600)\n";
    if (!track.isNil()) {
      const int64_t count = runtime.call(track, "ChapterCount").asInteger();
      for (int64_t i = 1; i <= count; ++i) {
        const int64_t time = runtime.call(track, "GetChapterTime", {Value::integer(i)}).asInteger();
        Value text = runtime.call(track, "ChapterText", {Value::integer(time)});
        std::printf("  %lld. at %5lld  %s\n", static_cast<long long>(i), static_cast<long long>(time),
                    text.isNil() ? "(nil)" : runtime.utf8(text).c_str());
      }
      std::cout << "  below the video: " << runtime.call(track, "Width").asInteger() << " x "
                << runtime.call(track, "Height").asInteger() << ", chapter track of the video: "
                << (runtime.call(track, "IsChapterTrack").asBoolean() ? "yes" : "no") << '\n';
    }
    std::cout << "Time-code track (AddTimeCodeToMovieZQK, 29.97 drop-frame) -> " << added << ", "
              << runtime.get(parameters, "Height").asInteger() << " pixels high\n";
    for (int64_t seconds : {0, 5}) {
      SetMovieTimeValue(qtMovie, static_cast<TimeValue>(seconds * 600));
      Value now = runtime.call(movie, "CurrentTimeCodeStringZQK");
      std::cout << "  current time code at " << seconds << " s: " << (now.isNil() ? "(nil)" : runtime.utf8(now))
                << '\n';
    }
    runtime.call(parameters, "Close");
  }
  DisposeMovie(qtMovie);
}

}  // namespace

int runDemo(const Args& args) {
  if (wantsHelp(args, "usage: pelorin demo\n\nLoads the plugin into a host and shows what it does on a built-in sample.\n"))
    return 0;
  if (!args.empty()) throw std::invalid_argument("demo takes no arguments (see pelorin demo --help)");

  rt::Runtime runtime;
  runtime.loadPlugin(rt::Runtime::defaultPluginPath());
  std::cout << "Pelorin loaded into a host of version " << *runtime.config().hostVersion << "\n\n";

  showChapterRecord(runtime);
  std::cout << '\n';
  showTimeCodeParameters(runtime);
  std::cout << '\n';
  showTimeCode(runtime);
  std::cout << '\n';
  showTracks();
  std::cout << '\n';
  showChaptersAndTimeCode();
  std::cout << '\n';
  const std::string sample = showSavedMovie();
  std::cout << '\n';
  showMetaData();
  std::cout << '\n';
  showPicturesAndLayouts();

  std::ostringstream listing;
  ApiCounts n = printApi(runtime, listing, false);
  std::cout << "\nRegistered API\n" << listing.str() << "  " << n.classes << " classes, " << n.properties
            << " properties, " << n.methods << " methods, " << n.constants << " constants, " << n.sharedMethods
            << " shared methods; " << n.movieMembers << " movie members (pelorin api lists them all)\n\n";
  showCutAndJoin(sample);
  return 0;
}

}  // namespace tool
