// Host pictures as a plugin reaches them (through the resolver) and as user code
// does, in both pixel stores; the application classes of each kind.
#include <pelorin/runtime.h>

#include <CoreGraphics/CoreGraphics.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace {

using rt::AppKind;
using rt::Config;
using rt::Pixel;
using rt::Runtime;
using rt::UsageError;
using rt::Value;

const char* kindName(AppKind k) { return k == AppKind::Desktop ? "Desktop" : k == AppKind::Console ? "Console" : "Web"; }

// The host as a plugin sees it: the picture entries through the resolver.
struct PluginView {
  explicit PluginView(Runtime& rt) : rt(rt), resolve(rt.resolver()) {}
  template <typename Proc>
  Proc get(const char* name) {
    auto p = reinterpret_cast<Proc>(resolve(name));
    EXPECT_NE(p, nullptr) << name;
    return p;
  }
  Value newPicture(RBInteger w, RBInteger h, RBInteger depth) {
    return Value::adoptObject(rt, get<newPictureProc>("newPicture")(w, h, depth));
  }
  bool lock(const Value& p, REALpictureDescription& d, RBInteger type) {
    return get<REALLockPictureDescriptionProc>("REALLockPictureDescription")(p.asObject(), &d, type);
  }
  void lockNative(const Value& p, REALpictureDescription& d) {
    get<lockPictureDescriptionProc>("lockPictureDescription")(p.asObject(), &d);
  }
  void unlock(const Value& p) { get<unlockPictureDescriptionProc>("unlockPictureDescription")(p.asObject()); }
  void clearCache(const Value& p) { get<REALPictureClearCacheProc>("REALPictureClearCache")(p.asObject()); }
  bool hasAlpha(const Value& p) {
    bool value = false;
    EXPECT_TRUE(get<REALGetPropValueBoolProc>("REALGetPropValueBool")(p.asObject(), "HasAlphaChannel", &value));
    return value;
  }
  Runtime& rt;
  REALResolver resolve;
};

class PictureStores : public ::testing::TestWithParam<AppKind> {
 protected:
  void TearDown() override { EXPECT_TRUE(rt_.accounting().clean()) << rt_.leakReport(); }
  static Config configFor(AppKind kind) {
    Config c;
    c.appKind = kind;
    return c;
  }
  bool desktop() const { return GetParam() == AppKind::Desktop; }
  Runtime rt_{configFor(GetParam())};
  PluginView host_{rt_};
};

TEST_P(PictureStores, UserCodeDrawsReadsAndCompares) {
  Value p = rt_.newPicture(5, 4, 32, 0xFF0000);
  EXPECT_EQ(rt_.get(p, "Width").asInteger(), 5);
  EXPECT_FALSE(rt_.get(p, "HasAlphaChannel").asBoolean());
  rt_.fillRect(p, -1, 1, 3, 10, 0x00FF00);  // clipped to x 0-1, rows 1-3
  rt_.setPixel(p, 0, 0, Pixel(0x0000FF, 0));  // an opaque picture ignores alpha
  std::vector<Pixel> px = rt_.pixels(p);
  ASSERT_EQ(px.size(), 20u);
  EXPECT_EQ(px[0], Pixel(0x0000FF));
  EXPECT_EQ(px[5 * 3 + 1], Pixel(0x00FF00));
  EXPECT_EQ(px[5 + 2], Pixel(0xFF0000));
  EXPECT_THROW(rt_.pixel(p, 5, 0), UsageError);

  Value q = rt_.newPicture(5, 4, 32, 0xFF0000);
  rt_.fillRect(q, 0, 1, 2, 3, 0x00FF00);
  rt_.setPixel(q, 0, 0, 0x0000FF);
  EXPECT_EQ(rt_.pictureDifference(p, q), std::nullopt);
  rt_.setPixel(q, 3, 2, 0x000000);
  EXPECT_EQ(rt_.pictureDifference(p, q), "pixel (3, 2) is #FF0000/FF and #000000/FF; 1 pixel(s) differ");
  EXPECT_EQ(rt_.pictureDifference(p, rt_.newPicture(4, 5)), "sizes differ: 5 x 4 and 4 x 5");

  // Alpha survives within the store's precision.
  Value a = rt_.newPicture(2, 1, 0, Pixel(0, 0));
  rt_.setPixel(a, 1, 0, Pixel(0xFFFFFF, 128));
  EXPECT_NEAR(rt_.pixel(a, 1, 0).alpha, 128, 1);
  EXPECT_EQ(rt_.pixel(a, 1, 0).rgb, 0xFFFFFFu);
}

TEST_P(PictureStores, DescriptionsOfTheStoreAndTheRenderingCache) {
  Value p = host_.newPicture(3, 2, 32);
  ASSERT_FALSE(p.isNil());
  EXPECT_FALSE(host_.hasAlpha(p));
  EXPECT_EQ(rt_.pixel(p, 0, 0), Pixel(0xFFFFFF));  // new pictures are white

  const RBInteger own = desktop() ? kREALPictureCGBitmapContext : kREALPictureConsolePixels;
  const RBInteger other = desktop() ? kREALPictureConsolePixels : kREALPictureCGBitmapContext;
  REALpictureDescription d{};
  EXPECT_FALSE(host_.lock(p, d, other));
  ASSERT_TRUE(host_.lock(p, d, own));
  EXPECT_EQ(d.pictureType, own);
  EXPECT_EQ(d.width, 3);
  EXPECT_EQ(d.height, 2);

  // The plugin writes pixel (2, 1) straight into the store.
  if (desktop()) {
    auto context = static_cast<CGContextRef>(d.pictureData);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(CGBitmapContextGetAlphaInfo(context), kCGImageAlphaNoneSkipFirst);
    // Components in the order the alpha info names them: x, r, g, b.
    auto* row = static_cast<uint8_t*>(CGBitmapContextGetData(context)) + CGBitmapContextGetBytesPerRow(context);
    const uint8_t bytes[4] = {0xFF, 0x12, 0x34, 0x56};
    std::memcpy(row + 8, bytes, 4);
  } else {
    auto* store = static_cast<REALconsolePixels*>(d.pictureData);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->zero, 0u);
    ASSERT_NE(store->rows, nullptr);
    EXPECT_NE(store->companion, nullptr);
    EXPECT_EQ(store->rows[1] - store->rows[0], 3 * 4);  // rows of width × 4 bytes
    const uint32_t word = 0x7Fu << 24 | 0x123456;
    std::memcpy(store->rows[1] + 8, &word, 4);
  }
  // What user code sees is the rendering, until the plugin clears the cache.
  EXPECT_EQ(rt_.pixel(p, 2, 1), Pixel(0xFFFFFF));
  host_.clearCache(p);
  EXPECT_EQ(rt_.pixel(p, 2, 1), Pixel(0x123456));
  host_.unlock(p);

  // The native form names the same store and pairs with an unlock too.
  REALpictureDescription native{};
  host_.lockNative(p, native);
  EXPECT_EQ(native.pictureType, own);
  EXPECT_EQ(native.pictureData, d.pictureData);
  host_.unlock(p);
}

TEST_P(PictureStores, AlphaPicturesInTheStore) {
  Value p = host_.newPicture(2, 2, 0);
  EXPECT_TRUE(host_.hasAlpha(p));
  EXPECT_EQ(rt_.pixel(p, 1, 1), Pixel(0, 0));  // transparent
  REALpictureDescription d{};
  ASSERT_TRUE(host_.lock(p, d, desktop() ? kREALPictureCGBitmapContext : kREALPictureConsolePixels));
  if (desktop()) {
    auto context = static_cast<CGContextRef>(d.pictureData);
    EXPECT_EQ(CGBitmapContextGetAlphaInfo(context), kCGImageAlphaPremultipliedFirst);
    // Half-transparent red, premultiplied: a, r, g, b.
    const uint8_t bytes[4] = {0x80, 0x80, 0x00, 0x00};
    std::memcpy(CGBitmapContextGetData(context), bytes, 4);
  } else {
    // The console store keeps alpha in seven bits.
    const uint32_t word = 0x40u << 24 | 0xFF0000;
    std::memcpy(static_cast<REALconsolePixels*>(d.pictureData)->rows[0], &word, 4);
  }
  host_.unlock(p);
  host_.clearCache(p);
  Pixel half = rt_.pixel(p, 0, 0);
  EXPECT_EQ(half.rgb, 0xFF0000u);
  EXPECT_NEAR(half.alpha, 128, 1);

  // Depth 32 carries alpha when the host is configured so.
  rt_.config().newPicturesHaveAlpha = true;
  EXPECT_TRUE(host_.hasAlpha(host_.newPicture(1, 1, 32)));
}

TEST_P(PictureStores, PngFilesHoldWhatUserCodeSees) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("rtpic-png-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string opaquePath = (dir / "opaque.png").string(), alphaPath = (dir / "alpha.png").string();

  Value p = rt_.newPicture(7, 5, 32, 0x102030);
  rt_.fillRect(p, 2, 1, 3, 3, 0xFFEEDD);
  rt_.savePNG(p, opaquePath);
  Value back = rt_.loadPNG(opaquePath);
  EXPECT_FALSE(rt_.get(back, "HasAlphaChannel").asBoolean());
  EXPECT_EQ(rt_.pictureDifference(p, back), std::nullopt);

  Value a = rt_.newPicture(3, 2, 0, Pixel(0xFFFFFF, 255));
  rt_.setPixel(a, 0, 0, Pixel(0, 0));
  rt_.setPixel(a, 2, 1, Pixel(0x00FF00, 0xFF));
  rt_.savePNG(a, alphaPath);
  Value alphaBack = rt_.loadPNG(alphaPath);
  EXPECT_TRUE(rt_.get(alphaBack, "HasAlphaChannel").asBoolean());
  EXPECT_EQ(rt_.pictureDifference(a, alphaBack), std::nullopt);

  std::ofstream((dir / "text.png").string()) << "not a picture";
  EXPECT_THROW(rt_.loadPNG((dir / "text.png").string()), std::runtime_error);
  EXPECT_THROW(rt_.savePNG(p, (dir / "no" / "folder.png").string()), std::runtime_error);
  fs::remove_all(dir);
}

TEST_P(PictureStores, OnlyTheKindsApplicationClassIsPresent) {
  auto objectType = host_.get<pluginObjectTypeProc>("pluginObjectType");
  auto newInstance = host_.get<PluginNewInstanceProc>("PluginNewInstance");
  const AppKind kind = GetParam();
  EXPECT_EQ(objectType("Application") != nullptr, kind == AppKind::Desktop);
  EXPECT_EQ(objectType("ConsoleApplication") != nullptr, kind == AppKind::Console);
  EXPECT_EQ(objectType("WebApplication") != nullptr, kind == AppKind::Web);
  // Pictures come from "newPicture" only.
  EXPECT_NE(objectType("Picture"), nullptr);
  EXPECT_EQ(newInstance("Picture"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PictureStores, ::testing::Values(AppKind::Desktop, AppKind::Console, AppKind::Web),
                         [](const auto& info) { return std::string(kindName(info.param)); });

TEST(PictureEntries, RefusalsSizesAndBuffers) {
  Runtime rt;
  PluginView host(rt);
  const std::tuple<int, int, int> refused[] = {{0, 10, 32}, {10, 0, 32}, {32768, 10, 32}, {10, -1, 32}, {4, 4, 24}};
  for (auto [w, h, depth] : refused)
    EXPECT_TRUE(host.newPicture(w, h, depth).isNil()) << w << " x " << h << " depth " << depth;
  EXPECT_FALSE(host.newPicture(32767, 1, 32).isNil());

  auto build = host.get<REALBuildPictureFromBufferProc>("REALBuildPictureFromBuffer");
  // Two rows of two pixels, each row padded to 12 bytes.
  uint32_t words[6] = {0xAA112233, 0x00445566, 0xDEADBEEF, 0x80FF0000, 0x00000000, 0xDEADBEEF};
  Value xrgb = Value::adoptObject(rt, build(2, 2, kREALPixelXRGB, words, 12));
  ASSERT_FALSE(xrgb.isNil());
  EXPECT_EQ(rt.pixels(xrgb), (std::vector<Pixel>{0x112233, 0x445566, 0xFF0000, 0x000000}));
  Value argb = Value::adoptObject(rt, build(2, 2, kREALPixelARGB, words, 12));
  ASSERT_FALSE(argb.isNil());
  EXPECT_NEAR(rt.pixel(argb, 0, 1).alpha, 0x80, 1);
  EXPECT_EQ(rt.pixel(argb, 1, 1).alpha, 0);
  EXPECT_EQ(build(2, 2, kREALPixelXRGB, words, 7), nullptr);  // rows shorter than their pixels

  rt.config().failPictures = true;
  EXPECT_TRUE(host.newPicture(4, 4, 32).isNil());
  EXPECT_EQ(build(2, 2, kREALPixelXRGB, words, 12), nullptr);
  // Pictures are objects like any other.
  EXPECT_EQ(rt.accounting().liveObjects, 2);
  xrgb = argb = Value();
  EXPECT_TRUE(rt.accounting().clean()) << rt.leakReport();
}

TEST(PictureEntries, ConfiguredBitmapContexts) {
  Config config;
  for (uint32_t info : {0u, 3u, 7u}) {
    config.pictureAlphaInfo = info;
    Runtime rt(config);
    PluginView host(rt);
    Value p = host.newPicture(2, 2, 32);
    REALpictureDescription d{};
    ASSERT_TRUE(host.lock(p, d, kREALPictureCGBitmapContext)) << info;
    auto context = static_cast<CGContextRef>(d.pictureData);
    EXPECT_EQ(CGBitmapContextGetAlphaInfo(context), info);
    EXPECT_EQ(CGBitmapContextGetBitsPerPixel(context), info == 3 ? 32u : 8u);
    host.unlock(p);
    // User code still reads and writes it, within what the context keeps.
    rt.setPixel(p, 1, 1, info == 7 ? Pixel(0, 0x40) : Pixel(0x808080));
    EXPECT_EQ(rt.pixel(p, 1, 1), info == 7 ? Pixel(0, 0x40) : Pixel(0x808080)) << info;
    p = Value();
    EXPECT_TRUE(rt.accounting().clean()) << rt.leakReport();
  }
}

// Locks not given back, and unlocks without a lock, are faults the accounting
// shows; hosts before 2012.0 count a failed lock too.
TEST(PictureLocks, UnbalancedLocksShowInAccounting) {
  for (std::optional<double> version : {std::optional(2019.0), std::optional(2011.4), std::optional<double>()}) {
    Config config;
    config.hostVersion = version;
    Runtime rt(config);
    PluginView host(rt);
    Value p = host.newPicture(2, 2, 32);
    REALpictureDescription d{};
    const bool older = !version || *version < 2012.0;
    EXPECT_FALSE(host.lock(p, d, kREALPictureConsolePixels));
    EXPECT_EQ(rt.accounting().lockedPictureDescriptions, older ? 1 : 0);
    if (older) host.unlock(p);
    ASSERT_TRUE(host.lock(p, d, kREALPictureCGBitmapContext));
    EXPECT_NE(rt.leakReport().find("1 picture description lock(s) not given back"), std::string::npos);
    host.unlock(p);
    EXPECT_EQ(rt.accounting().lockedPictureDescriptions, 0);
    host.unlock(p);
    EXPECT_EQ(rt.accounting().overReleases, 1);
  }
  // A picture released while its description is locked keeps the lock counted.
  Runtime rt;
  PluginView host(rt);
  Value p = host.newPicture(2, 2, 32);
  REALpictureDescription d{};
  host.lockNative(p, d);
  p = Value();
  EXPECT_EQ(rt.accounting().liveObjects, 0);
  EXPECT_EQ(rt.accounting().lockedPictureDescriptions, 1);
}

}  // namespace

namespace {

// A null entry name resolves to nothing. A picture without pixels cannot be made
// (only newPicture makes pictures), so the size getters' nil branch is unreachable.
TEST(RuntimeNils, AreAnsweredWithNothingAndCountNothing) {
  Runtime rt;
  PluginView host(rt);
  EXPECT_EQ(host.resolve(nullptr), nullptr);
  EXPECT_THROW(rt.newObject("Picture"), UsageError);
  EXPECT_EQ(reinterpret_cast<REALobject (*)(const char*)>(host.resolve("PluginNewInstance"))("Picture"), nullptr);
  EXPECT_TRUE(rt.accounting().clean()) << rt.leakReport();
}

}  // namespace
