// The demo's picture section: a circle drawn into a picture becomes the video
// track's clip region and comes back as a picture (both written as PNG files), and
// the sound track takes a 5.1 channel layout through the companion plugin's layout
// classes.
#include "demo.h"

#include <QuickTime/QuickTime.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace tool {
namespace {

using rt::Pixel;
using rt::Value;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

const char* LabelName(int64_t label) {
  switch (label) {
    case kAudioChannelLabel_Left: return "L";
    case kAudioChannelLabel_Right: return "R";
    case kAudioChannelLabel_Center: return "C";
    case kAudioChannelLabel_LFEScreen: return "LFE";
    case kAudioChannelLabel_LeftSurround: return "Ls";
    case kAudioChannelLabel_RightSurround: return "Rs";
    default: return "?";
  }
}

void showClipMask(rt::Runtime& runtime, const Value& movie) {
  Value track = runtime.call(movie, "GetVideoTrackZQK", {Value::integer(1)});
  Value circle = runtime.newPicture(kWidth, kHeight, 32, Pixel{0xFFFFFF});
  long inside = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int dx = x - kWidth / 2, dy = y - kHeight / 2;
      if (dx * dx + dy * dy > 100 * 100) continue;
      runtime.setPixel(circle, x, y, Pixel{0x000000});
      ++inside;
    }
  }
  runtime.set(track, "TrackClipMask", circle);
  std::cout << "Clip mask (TrackClipMask) on the 320 x 240 video track\n"
            << "  set from a circle of radius 100: " << inside << " black pixels, Lasterror "
            << runtime.get(track, "Lasterror").asInteger() << '\n';

  Value back = runtime.get(track, "TrackClipMask");
  if (back.isNil()) {
    std::cout << "  read back: nil\n";
    return;
  }
  long black = 0;
  for (const Pixel& p : runtime.pixels(back)) black += p.rgb == 0;
  const auto difference = runtime.pictureDifference(circle, back);
  std::cout << "  read back: " << runtime.get(back, "Width").asInteger() << " x "
            << runtime.get(back, "Height").asInteger() << ", " << black << " black pixels, "
            << (difference ? "differs: " + *difference : std::string("the same picture")) << '\n';

  char folder[] = "/tmp/pelorin-demo-XXXXXX";
  if (!mkdtemp(folder)) {
    std::cout << "  (no folder for the PNG files)\n";
    return;
  }
  const std::string set = std::string(folder) + "/clip-mask-set.png";
  const std::string read = std::string(folder) + "/clip-mask-read.png";
  runtime.savePNG(circle, set);
  runtime.savePNG(back, read);
  std::cout << "  pictures written to " << folder << ": clip-mask-set.png, clip-mask-read.png\n";
}

void showChannelLayout(rt::Runtime& runtime, const Value& movie) {
  Value track = runtime.call(movie, "GetSoundTrackZQK", {Value::integer(1)});
  Value layout = runtime.newObject("QTAudioChannelLayoutZQK");
  runtime.set(layout, "LayoutTag", Value::integer(kAudioChannelLayoutTag_MPEG_5_1_A));
  for (int64_t label : {kAudioChannelLabel_Left, kAudioChannelLabel_Right, kAudioChannelLabel_Center,
                        kAudioChannelLabel_LFEScreen, kAudioChannelLabel_LeftSurround,
                        kAudioChannelLabel_RightSurround}) {
    Value channel = runtime.newObject("QTAudioChannelDescriptionZQK");
    runtime.set(channel, "ChannelLabel", Value::integer(label));
    runtime.call(layout, "AppendDescription", {channel});
  }
  runtime.set(track, "AudioChannelLayout", layout);
  std::cout << "Channel layout (AudioChannelLayout) on the sound track\n"
            << "  set 5.1 (MPEG 5.1 A), Lasterror " << runtime.get(track, "Lasterror").asInteger() << '\n';

  auto describe = [&](const char* what, const Value& l) {
    if (l.isNil()) {
      std::cout << "  " << what << ": nil\n";
      return;
    }
    const int64_t tag = runtime.get(l, "LayoutTag").asInteger();
    const int64_t count = runtime.get(l, "NumberChannelDescriptions").asInteger();
    std::printf("  %s: tag %lld (layout %lld, %lld channels), %lld descriptions:", what, static_cast<long long>(tag),
                static_cast<long long>(tag >> 16), static_cast<long long>(tag & 0xFFFF), static_cast<long long>(count));
    for (int64_t i = 0; i < count && i < 64; ++i) {
      Value d = runtime.call(l, "Description", {Value::integer(i)});
      std::printf(" %s", d.isNil() ? "nil" : LabelName(runtime.get(d, "ChannelLabel").asInteger()));
    }
    std::printf("\n");
  };
  describe("read back", runtime.get(track, "AudioChannelLayout"));
  describe("movie summary (AudioSummaryChannelLayoutZQK)", runtime.call(movie, "AudioSummaryChannelLayoutZQK"));
}

}  // namespace

void showPicturesAndLayouts() {
  rt::Config config;
  config.hostVersion = 2013.04;
  rt::Runtime runtime(config);
  runtime.loadPlugin(rt::Runtime::defaultPluginPath());
  // The layout classes come from another plugin library.
  const std::string companion = rt::Runtime::companionPluginPath();
  if (!companion.empty()) runtime.loadPlugin(companion);
  Movie qtMovie = newAudioVisualMovie();
  {
    Value movie = runtime.newMovie(qtMovie);
    showClipMask(runtime, movie);
    std::cout << '\n';
    if (companion.empty()) {
      std::cout << "Channel layout: this build has no companion plugin with the layout classes\n";
    } else {
      showChannelLayout(runtime, movie);
    }
  }
  DisposeMovie(qtMovie);
}

}  // namespace tool
