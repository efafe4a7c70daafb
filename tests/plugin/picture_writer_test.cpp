// The picture writer, driven through a probe plugin built from the product's own
// picture editor: which host pictures it opens and in which pixel format, where
// the values written land, and who holds the picture when.
#include "plugin_test.h"

#include <CoreGraphics/CoreGraphics.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

using rt::AppKind;
using rt::Pixel;
using rt::Value;

constexpr const char* kProbe = PELORIN_PICTURE_PROBE_PATH;

rt::Config Host(AppKind kind, std::optional<uint32_t> alphaInfo = std::nullopt, bool alpha = false) {
  rt::Config config;
  config.appKind = kind;
  config.pictureAlphaInfo = alphaInfo;
  config.newPicturesHaveAlpha = alpha;
  return config;
}

// A 32-bit value whose bytes lie in memory in the order given.
uint32_t InMemory(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  const uint8_t bytes[4] = {b0, b1, b2, b3};
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

class PictureWriterTest : public PluginTest {
 protected:
  Value Writer(rt::Config config) {
    Load(std::move(config), kProbe);
    return runtime().newObject("PictureWriterProbe");
  }
  bool Open(const Value& writer, int64_t width, int64_t height) {
    return runtime().call(writer, "Open", {Value::integer(width), Value::integer(height)}).asBoolean();
  }
  int64_t Int(const Value& writer, const char* member) { return runtime().call(writer, member).asInteger(); }
  bool Holds(const Value& writer) { return runtime().call(writer, "HoldsPicture").asBoolean(); }
};

TEST_F(PictureWriterTest, SizesFromOneTo32767) {
  Value writer = Writer(Host(AppKind::Desktop));
  const struct {
    int64_t width, height;
    bool opens;
  } cases[] = {
      {0, 10, false}, {10, 0, false}, {32768, 10, false}, {10, 32768, false},
      {-1, 10, false}, {32767, 1, true}, {1, 32767, true}, {1, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    EXPECT_EQ(Open(writer, c.width, c.height), c.opens);
    EXPECT_EQ(Holds(writer), c.opens);
    if (!c.opens) continue;
    EXPECT_EQ(Int(writer, "Width"), c.width);
    EXPECT_EQ(Int(writer, "Height"), c.height);
    Value picture = runtime().call(writer, "Render");
    ASSERT_FALSE(picture.isNil());
    EXPECT_EQ(runtime().get(picture, "Width").asInteger(), c.width);
    EXPECT_EQ(runtime().get(picture, "Height").asInteger(), c.height);
  }
}

// Bitmap contexts open with their alpha info as the format: any 32-bit RGB
// layout for opaque pictures, only premultiplied ones for pictures with alpha.
TEST_F(PictureWriterTest, BitmapContextsOpenByAlphaInfo) {
  for (uint32_t info = 0; info <= 7; ++info) {
    for (bool alpha : {false, true}) {
      SCOPED_TRACE("alpha info " + std::to_string(info) + (alpha ? " with" : " without") + " alpha channel");
      Value writer = Writer(Host(AppKind::Desktop, info, alpha));
      const bool opens = alpha ? info == 1 || info == 2 : info >= 1 && info <= 6;
      EXPECT_EQ(Open(writer, 16, 8), opens);
      if (opens) {
        EXPECT_EQ(Int(writer, "PixelFormat"), info);
        EXPECT_EQ(runtime().call(writer, "AlphaInUse").asBoolean(), alpha);
        EXPECT_GE(Int(writer, "RowBytes"), 16 * 4);
      }
      EXPECT_EQ(runtime().accounting().lockedPictureDescriptions, opens ? 1 : 0)
          << "the writer holds an open context locked, and unlocks a refused one";
    }
  }
  for (bool alpha : {false, true}) {
    // The host's usual contexts.
    Value writer = Writer(Host(AppKind::Desktop, std::nullopt, alpha));
    ASSERT_TRUE(Open(writer, 4, 4));
    EXPECT_EQ(Int(writer, "PixelFormat"), alpha ? kCGImageAlphaPremultipliedFirst : kCGImageAlphaNoneSkipFirst);
  }
  {
    // A host that cannot say whether the picture has alpha is taken as saying no.
    rt::Config config = Host(AppKind::Desktop, kCGImageAlphaLast, true);
    config.refusedEntries = {"REALGetPropValueBool"};
    Value writer = Writer(config);
    ASSERT_TRUE(Open(writer, 4, 4));
    EXPECT_EQ(Int(writer, "PixelFormat"), kCGImageAlphaLast);
    EXPECT_FALSE(runtime().call(writer, "AlphaInUse").asBoolean());
  }
}

// Console and web applications keep pictures in the console store: format 8,
// rows of exactly four bytes a pixel, the application kind learnt once.
TEST_F(PictureWriterTest, ConsoleStoreForConsoleAndWebApplications) {
  for (AppKind kind : {AppKind::Console, AppKind::Web}) {
    Value writer = Writer(Host(kind));
    ASSERT_TRUE(Open(writer, 7, 3));
    EXPECT_EQ(Int(writer, "PixelFormat"), 8);
    EXPECT_EQ(Int(writer, "RowBytes"), 7 * 4);
    EXPECT_EQ(runtime().entryCalls("REALLockPictureDescription"), 1) << "no bitmap context was asked for";
    const long lookups = runtime().entryCalls("pluginObjectType");
    EXPECT_GE(lookups, 2);
    ASSERT_TRUE(Open(writer, 7, 3));
    EXPECT_EQ(runtime().entryCalls("pluginObjectType"), lookups);
  }
}

// Each format's layout of a pixel, written row by row and read back as colours.
TEST_F(PictureWriterTest, ValuesLandWhereTheRowProtocolPutsThem) {
  const uint32_t colours[2][3] = {{0x102030, 0x405060, 0x708090}, {0xA0B0C0, 0xD0E0F0, 0x0F1E2D}};
  const struct {
    const char* name;
    rt::Config host;
    uint32_t (*value)(uint32_t rgb);
  } formats[] = {
      {"skip first", Host(AppKind::Desktop, kCGImageAlphaNoneSkipFirst),
       [](uint32_t c) { return InMemory(0xFF, uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)); }},
      {"skip last", Host(AppKind::Desktop, kCGImageAlphaNoneSkipLast),
       [](uint32_t c) { return InMemory(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0xFF); }},
      {"premultiplied last", Host(AppKind::Desktop, kCGImageAlphaPremultipliedLast, true),
       [](uint32_t c) { return InMemory(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0xFF); }},
      {"console", Host(AppKind::Console), [](uint32_t c) { return 0x7F000000 | c; }},
  };
  for (const auto& f : formats) {
    SCOPED_TRACE(f.name);
    Value writer = Writer(f.host);
    ASSERT_TRUE(Open(writer, 3, 2));
    const int64_t firstRow = Int(writer, "CurrentRowAddress");
    for (const auto& row : colours) {
      for (uint32_t c : row) runtime().call(writer, "Write", {Value::integer(f.value(c))});
      // A value past the row's end goes nowhere.
      runtime().call(writer, "Write", {Value::integer(0)});
      runtime().call(writer, "NextRow");
    }
    EXPECT_EQ(Int(writer, "CurrentRowAddress"), firstRow) << "after the last row comes the first";
    Value picture = runtime().call(writer, "Render");
    ASSERT_FALSE(picture.isNil());
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) EXPECT_EQ(runtime().pixel(picture, x, y), Pixel(colours[y][x])) << x << "," << y;
  }
}

// Creation gives the picture one reference, the writer takes its own and drops
// that one, rendering hands the caller one and drops the writer's.
TEST_F(PictureWriterTest, ThePictureEndsWithTheCallersReferenceOnly) {
  Value writer = Writer(Host(AppKind::Desktop));
  ASSERT_TRUE(Open(writer, 5, 5));
  const long locks = runtime().entryCalls("REALLockPictureDescription");
  Value picture = runtime().call(writer, "Render");
  ASSERT_FALSE(picture.isNil());
  EXPECT_EQ(runtime().locks(picture), 1);
  EXPECT_FALSE(Holds(writer));
  EXPECT_GE(runtime().entryCalls("REALPictureClearCache"), 1);
  EXPECT_EQ(runtime().entryCalls("unlockPictureDescription"), locks);
  EXPECT_TRUE(runtime().call(writer, "Render").isNil()) << "nothing is held after rendering";

  // Reopening lets go of the picture before; so does the writer's end.
  ASSERT_TRUE(Open(writer, 5, 5));
  ASSERT_TRUE(Open(writer, 6, 6));
  EXPECT_EQ(runtime().accounting().lockedPictureDescriptions, 1);
  writer = Value();
  EXPECT_EQ(runtime().accounting().lockedPictureDescriptions, 0);
  EXPECT_EQ(runtime().locks(picture), 1);
}

TEST_F(PictureWriterTest, HostsThatCannotOpenAPicture) {
  const struct {
    const char* name;
    rt::Config host;
  } cases[] = {
      {"no pictures", [] { rt::Config c; c.failPictures = true; return c; }()},
      {"desktop without context locks",
       [] { rt::Config c; c.refusedEntries = {"REALLockPictureDescription"}; return c; }()},
      {"console without locks",
       [] { rt::Config c = Host(AppKind::Console); c.refusedEntries = {"REALLockPictureDescription"}; return c; }()},
      {"no picture entry", [] { rt::Config c; c.refusedEntries = {"newPicture"}; return c; }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Value writer = Writer(c.host);
    EXPECT_FALSE(Open(writer, 10, 10));
    EXPECT_FALSE(Holds(writer));
    EXPECT_TRUE(runtime().call(writer, "Render").isNil());
  }
}

}  // namespace
