// TrackClipMask as user code sees it: a track's clip region read as a black-and-
// white picture in either of the host's pixel stores, and pictures made into
// regions pixel for pixel. Every path must give back each graphics world, region,
// pixel lock, context and image it took, and leave the current port as it was.
#include "track_movies.h"

#include <CoreGraphics/CoreGraphics.h>
#include <QuickDraw.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace {

using rt::AppKind;
using rt::Pixel;
using rt::Value;

const Pixel kBlack{0x000000};
const Pixel kWhite{0xFFFFFF};
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// Everything the clip mask borrows from QuickDraw and Core Graphics.
struct Borrowed {
  long worlds = QDLiveGWorldCount();
  long regions = QDLiveRegionCount();
  long lockedPixels = QDLockedPixelsCount();
  long contexts = CGLiveContextCount();
  long images = CGLiveImageCount();
  CGrafPtr port = nullptr;
  GDHandle device = nullptr;
  Borrowed() { GetGWorld(&port, &device); }
};

void ExpectGivenBack(const Borrowed& before) {
  const Borrowed after;
  EXPECT_EQ(after.worlds, before.worlds) << "graphics worlds";
  EXPECT_EQ(after.regions, before.regions) << "regions";
  EXPECT_EQ(after.lockedPixels, before.lockedPixels) << "pixel locks";
  EXPECT_EQ(after.contexts, before.contexts) << "bitmap contexts";
  EXPECT_EQ(after.images, before.images) << "images";
  EXPECT_EQ(after.port, before.port) << "current port";
  EXPECT_EQ(after.device, before.device) << "current device";
}

RgnHandle RectRegion(int16_t left, int16_t top, int16_t right, int16_t bottom) {
  RgnHandle region = NewRgn();
  SetRectRgn(region, left, top, right, bottom);
  return region;
}

class ClipMaskTest : public TrackTest {
 protected:
  // A host of the given kind holding a movie with one 320 × 240 video track
  // (or one of the given size), reached as a QTTrackZQK.
  Value TrackOnHost(rt::Config config, Fixed width = kWidth << 16, Fixed height = kHeight << 16) {
    if (config.hostVersion == rt::Config{}.hostVersion) config.hostVersion = 2013.04;
    Load(std::move(config));
    Movie movie = NewEngineMovie();
    qtTrack_ = AddVideoTrack(movie, width, height);
    Value m = runtime().newMovie(movie);
    return runtime().call(m, "GetTrackIndexZQK", {Value::integer(1)});
  }
  Value TrackOnHost(AppKind kind) {
    rt::Config config;
    config.appKind = kind;
    return TrackOnHost(config);
  }

  void SetEngineClip(RgnHandle region) {
    SetTrackClipRgn(qtTrack_, region);
    ASSERT_EQ(GetMoviesError(), noErr);
    if (region) DisposeRgn(region);
  }

  // The track has a clip region, and it is empty.
  void ExpectEmptyEngineClip() {
    RgnHandle region = GetTrackClipRgn(qtTrack_);
    ASSERT_NE(region, nullptr);
    EXPECT_TRUE(EmptyRgn(region));
    DisposeRgn(region);
  }

  // Which pixels of the track the engine's clip region covers, row by row, read
  // from the region's own record; nullopt when the track has none.
  std::optional<std::vector<bool>> EngineClip() {
    RgnHandle region = GetTrackClipRgn(qtTrack_);
    if (!region) return std::nullopt;
    std::vector<bool> inside = Covered(*region);
    DisposeRgn(region);
    return inside;
  }

  // A rectangle is its bounding box alone. Other regions list, line by line from
  // the top, the points where the row's mask flips; rows repeat until the next line.
  static std::vector<bool> Covered(const MacRegion* region) {
    std::vector<bool> inside(kWidth * kHeight);
    auto fill = [&](int top, int bottom, const std::vector<bool>& row) {
      for (int y = std::max(top, 0); y < std::min(bottom, kHeight); ++y)
        for (int x = 0; x < kWidth; ++x) inside[y * kWidth + x] = row[x];
    };
    const Rect& box = region->rgnBBox;
    if (region->rgnSize == sizeof(MacRegion)) {
      std::vector<bool> row(kWidth);
      for (int x = std::max<int>(box.left, 0); x < std::min<int>(box.right, kWidth); ++x) row[x] = true;
      fill(box.top, box.bottom, row);
      return inside;
    }
    const auto* word = reinterpret_cast<const int16_t*>(region + 1);
    std::vector<bool> row(kWidth);
    int lastY = box.top;
    for (; *word != 0x7FFF; ++word) {
      const int y = *word++;
      fill(lastY, y, row);
      for (; *word != 0x7FFF; word += 2)
        for (int x = word[0]; x < word[1]; ++x) row[x] = !row[x];
      lastY = y;
    }
    return inside;
  }

  std::vector<bool> BlackPixels(const Value& picture) {
    std::vector<bool> black;
    for (const Pixel& p : runtime().pixels(picture)) black.push_back(p.rgb == 0);
    return black;
  }

  Value ClipMask(const Value& track) { return runtime().get(track, "TrackClipMask"); }

  Track qtTrack_ = nullptr;
};

// The left half as a region reads back as a picture of the track's size, black
// on the left and white on the right, whichever store and pixel layout the host
// keeps pictures in.
TEST_F(ClipMaskTest, RegionReadsBackAsBlackOnWhiteInEveryPixelStore) {
  struct Host {
    const char* name;
    AppKind kind;
    std::optional<uint32_t> alphaInfo;
    bool alpha;
  };
  const Host hosts[] = {
      {"desktop, skip first", AppKind::Desktop, std::nullopt, false},
      {"desktop, skip last", AppKind::Desktop, kCGImageAlphaNoneSkipLast, false},
      {"desktop, alpha last", AppKind::Desktop, kCGImageAlphaLast, false},
      {"desktop, premultiplied first", AppKind::Desktop, std::nullopt, true},
      {"desktop, premultiplied last", AppKind::Desktop, kCGImageAlphaPremultipliedLast, true},
      {"console", AppKind::Console, std::nullopt, false},
      {"web", AppKind::Web, std::nullopt, false},
  };
  for (const Host& host : hosts) {
    SCOPED_TRACE(host.name);
    rt::Config config;
    config.appKind = host.kind;
    config.pictureAlphaInfo = host.alphaInfo;
    config.newPicturesHaveAlpha = host.alpha;
    Value track = TrackOnHost(config);
    SetEngineClip(RectRegion(0, 0, kWidth / 2, kHeight));

    const Borrowed before;
    {
      Value mask = ClipMask(track);
      ASSERT_FALSE(mask.isNil());
      EXPECT_EQ(LastError(track), noErr);
      EXPECT_EQ(runtime().get(mask, "Width").asInteger(), kWidth);
      EXPECT_EQ(runtime().get(mask, "Height").asInteger(), kHeight);
      EXPECT_EQ(runtime().locks(mask), 1);
      const std::vector<Pixel> pixels = runtime().pixels(mask);
      size_t wrong = 0;
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) wrong += pixels[y * kWidth + x] != (x < kWidth / 2 ? kBlack : kWhite);
      EXPECT_EQ(wrong, 0u) << "first pixels " << pixels.front() << " " << pixels.back();
    }
    ExpectGivenBack(before);
  }
}

// Black pixels become the region exactly, whatever their shape; the region then
// reads back as the same picture.
TEST_F(ClipMaskTest, BlackPixelsBecomeTheRegionExactly) {
  Value track = TrackOnHost(AppKind::Desktop);
  auto disc = [](int cx, int cy, int r) {
    return [=](int x, int y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
  };
  uint32_t seed = 12345;
  std::vector<bool> scattered(kWidth * kHeight);
  for (size_t i = 0; i < scattered.size(); ++i) {
    seed = seed * 1103515245 + 12345;
    scattered[i] = (seed >> 16) % 7 == 0;
  }
  const struct {
    const char* name;
    std::function<bool(int, int)> black;
  } shapes[] = {
      {"a rectangle", [](int x, int y) { return x >= 40 && x < 200 && y >= 30 && y < 90; }},
      {"a frame with two holes",
       [](int x, int y) {
         const bool outer = x >= 10 && x < 310 && y >= 10 && y < 230;
         const bool hole1 = x >= 30 && x < 140 && y >= 40 && y < 200;
         const bool hole2 = x >= 170 && x < 290 && y >= 60 && y < 100;
         return outer && !hole1 && !hole2;
       }},
      {"a ring", [&](int x, int y) { return disc(160, 120, 100)(x, y) && !disc(160, 120, 60)(x, y); }},
      {"touching every edge", [](int x, int y) { return x == 0 || y == 0 || x == kWidth - 1 || y == kHeight - 1; }},
      {"a checkerboard", [](int x, int y) { return (x / 3 + y / 2) % 2 == 0; }},
      {"scattered pixels", [&](int x, int y) { return scattered[y * kWidth + x]; }},
      {"everything", [](int, int) { return true; }},
  };
  for (const auto& shape : shapes) {
    SCOPED_TRACE(shape.name);
    const Borrowed before;
    {
      Value picture = runtime().newPicture(kWidth, kHeight, 32, kWhite);
      std::vector<bool> expected;
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          expected.push_back(shape.black(x, y));
          if (expected.back()) runtime().setPixel(picture, x, y, kBlack);
        }
      }
      runtime().set(track, "TrackClipMask", picture);
      EXPECT_EQ(LastError(track), noErr);
      const auto clip = EngineClip();
      ASSERT_TRUE(clip);
      EXPECT_TRUE(*clip == expected);

      Value back = ClipMask(track);
      ASSERT_FALSE(back.isNil());
      EXPECT_EQ(runtime().pictureDifference(picture, back), std::nullopt);
    }
    ExpectGivenBack(before);
  }
}

// Colours count by QuickDraw's reduction to one bit: dark ones join the region,
// light ones do not.
TEST_F(ClipMaskTest, ColoursReduceToBlackOrWhite) {
  Value track = TrackOnHost(AppKind::Desktop);
  Value picture = runtime().newPicture(kWidth, kHeight, 32, Pixel{0xF0F0E0});
  runtime().fillRect(picture, 0, 0, 20, 10, Pixel{0x101830});
  runtime().set(track, "TrackClipMask", picture);
  const auto clip = EngineClip();
  ASSERT_TRUE(clip);
  EXPECT_TRUE((*clip)[0]);
  EXPECT_TRUE((*clip)[9 * kWidth + 19]);
  EXPECT_FALSE((*clip)[10 * kWidth]);
  EXPECT_FALSE((*clip)[20]);
}

TEST_F(ClipMaskTest, WhiteSetsAnEmptyRegionAndNilRemovesIt) {
  Value track = TrackOnHost(AppKind::Desktop);
  const Borrowed before;
  {
    Value white = runtime().newPicture(kWidth, kHeight, 32, kWhite);
    runtime().set(track, "TrackClipMask", white);
    EXPECT_EQ(LastError(track), noErr);
    ExpectEmptyEngineClip();
    // Nothing to paint: the picture is all white.
    Value mask = ClipMask(track);
    ASSERT_FALSE(mask.isNil());
    EXPECT_EQ(runtime().pictureDifference(white, mask), std::nullopt);

    runtime().set(track, "TrackClipMask", Value());
    EXPECT_EQ(LastError(track), noErr);
    EXPECT_EQ(GetTrackClipRgn(qtTrack_), nullptr);
    EXPECT_TRUE(ClipMask(track).isNil());
    EXPECT_EQ(LastError(track), noErr);
  }
  ExpectGivenBack(before);
}

// The setter draws pictures through their bitmap context: a console host's
// pictures have none, so they set an empty region. A host before 2012.0 counts
// the refused lock as one and gets it back.
TEST_F(ClipMaskTest, ConsolePicturesSetNothingOnAnyHost) {
  for (double version : {2013.04, 2011.4}) {
    SCOPED_TRACE(version);
    rt::Config config;
    config.appKind = AppKind::Console;
    config.hostVersion = version;
    Value track = TrackOnHost(config);
    Value picture = runtime().newPicture(kWidth, kHeight, 32, kBlack);
    runtime().set(track, "TrackClipMask", picture);
    EXPECT_EQ(LastError(track), noErr);
    ExpectEmptyEngineClip();
    EXPECT_EQ(runtime().accounting().lockedPictureDescriptions, 0);
    EXPECT_TRUE(runtime().diagnostics().empty()) << runtime().diagnostics().front();
  }
}

// Pictures of any size are taken as they come: the region covers the picture's
// black pixels in track coordinates, even where the track is smaller.
TEST_F(ClipMaskTest, PictureOfAnotherSizeKeepsItsOwnCoordinates) {
  Value track = TrackOnHost(AppKind::Desktop);
  Value picture = runtime().newPicture(40, 30, 32, kBlack);
  runtime().set(track, "TrackClipMask", picture);
  RgnHandle region = GetTrackClipRgn(qtTrack_);
  ASSERT_NE(region, nullptr);
  Rect bounds;
  GetRegionBounds(region, &bounds);
  EXPECT_EQ(bounds.left, 0);
  EXPECT_EQ(bounds.top, 0);
  EXPECT_EQ(bounds.right, 40);
  EXPECT_EQ(bounds.bottom, 30);
  EXPECT_TRUE(IsRegionRectangular(region));
  DisposeRgn(region);
}

TEST_F(ClipMaskTest, NothingToShowGivesNil) {
  {
    // Under one pixel wide: the region is there, the picture cannot be.
    Value narrow = TrackOnHost(rt::Config{}, 0x8000, kHeight << 16);
    SetEngineClip(RectRegion(0, 0, 1, kHeight));
    const Borrowed before;
    EXPECT_TRUE(ClipMask(narrow).isNil());
    EXPECT_EQ(LastError(narrow), noErr);
    ExpectGivenBack(before);
  }

  // No clip region: nil, with the engine's answer.
  Value track = TrackOnHost(AppKind::Desktop);
  runtime().set(track, "Lasterror", Value::integer(99));
  EXPECT_TRUE(ClipMask(track).isNil());
  EXPECT_EQ(LastError(track), noErr);

  // No track: nil, Lasterror -1, and the setter leaves everything alone.
  Value empty = runtime().newObject("QTTrackZQK");
  EXPECT_TRUE(ClipMask(empty).isNil());
  EXPECT_EQ(LastError(empty), -1);
  runtime().set(empty, "Lasterror", Value::integer(5));
  Value picture = runtime().newPicture(8, 8, 32, kBlack);
  runtime().set(empty, "TrackClipMask", picture);
  EXPECT_EQ(LastError(empty), -1);
}

// When the host cannot make or open a picture, the getter answers nil and the
// setter draws nothing (an empty region) or reads nothing (no region); nothing is
// kept on any of those paths.
TEST_F(ClipMaskTest, HostFailuresReleaseEverything) {
  enum class Region { Drawn, Empty, Removed, Any };
  const struct {
    const char* name;
    std::function<void(rt::Config&)> configure;
    bool getterGivesPicture;
    Region setter;
  } cases[] = {
      {"no new pictures", [](rt::Config& c) { c.failPictures = true; }, false, Region::Drawn},
      {"grey contexts", [](rt::Config& c) { c.pictureAlphaInfo = kCGImageAlphaNone; }, false, Region::Drawn},
      {"alpha-only contexts", [](rt::Config& c) { c.pictureAlphaInfo = kCGImageAlphaOnly; }, false, Region::Any},
      {"no bitmap-context lock", [](rt::Config& c) { c.refusedEntries = {"REALLockPictureDescription"}; }, false,
       Region::Empty},
      {"no native lock", [](rt::Config& c) { c.refusedEntries = {"lockPictureDescription"}; }, true,
       Region::Removed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    rt::Config config;
    c.configure(config);
    Value track = TrackOnHost(config);
    SetEngineClip(RectRegion(0, 0, 100, 100));
    {
      const Borrowed before;
      Value mask = ClipMask(track);
      EXPECT_EQ(mask.isNil(), !c.getterGivesPicture);
      EXPECT_EQ(LastError(track), noErr);
      mask = Value();
      ExpectGivenBack(before);
    }
    // The picture is made with every entry in place, then set within the host's limits.
    const rt::Config limits = runtime().config();
    runtime().config().refusedEntries.clear();
    runtime().config().failPictures = false;
    Value picture = runtime().newPicture(kWidth, kHeight, 32, kBlack);
    runtime().config() = limits;
    {
      const Borrowed before;
      runtime().set(track, "TrackClipMask", picture);
      EXPECT_EQ(LastError(track), noErr);
      RgnHandle region = GetTrackClipRgn(qtTrack_);
      Rect bounds = {0, 0, 0, 0};
      if (region) GetRegionBounds(region, &bounds);
      switch (c.setter) {
        case Region::Drawn:
          EXPECT_TRUE(region && bounds.right == kWidth && bounds.bottom == kHeight && IsRegionRectangular(region));
          break;
        case Region::Empty:
          EXPECT_TRUE(region && EmptyRgn(region));
          break;
        case Region::Removed:
          EXPECT_EQ(region, nullptr);
          break;
        case Region::Any:
          EXPECT_NE(region, nullptr);
          break;
      }
      if (region) DisposeRgn(region);
      ExpectGivenBack(before);
    }
  }
}

}  // namespace
