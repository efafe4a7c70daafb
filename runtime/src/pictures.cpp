// Host pictures: the two pixel stores, the picture entry points, and what user
// code does with pictures (pixels, comparisons, PNG files).
#include "pictures.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <ostream>

namespace rt {

namespace {

constexpr long kMaxSide = 32767;
// Larger pictures are refused rather than left to exhaust memory.
constexpr long kMaxPixels = 1L << 26;

bool sizeAllowed(long width, long height) {
  return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

uint32_t argbOf(Pixel p) { return static_cast<uint32_t>(p.alpha) << 24 | p.rgb; }
Pixel pixelOf(uint32_t argb) { return Pixel(argb & 0xFFFFFF, static_cast<uint8_t>(argb >> 24)); }

uint8_t channel(uint32_t rgb, int shift) { return static_cast<uint8_t>(rgb >> shift); }
uint32_t rgbOf(unsigned r, unsigned g, unsigned b) { return r << 16 | g << 8 | b; }

uint8_t premultiply(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 127) / 255); }
uint8_t unpremultiply(uint8_t c, uint8_t a) {
  return a ? static_cast<uint8_t>(std::min(255, (c * 255 + a / 2) / a)) : uint8_t{0};
}

// Reads and writes one picture's pixels whichever store holds them.
class PixelAccess {
 public:
  explicit PixelAccess(PictureStore& s) : store_(s) {
    if (!s.context) return;
    data_ = static_cast<uint8_t*>(CGBitmapContextGetData(s.context));
    rowBytes_ = CGBitmapContextGetBytesPerRow(s.context);
    const uint32_t info = CGBitmapContextGetAlphaInfo(s.context);
    if (CGBitmapContextGetBitsPerPixel(s.context) != 32) {
      kind_ = info == kCGImageAlphaOnly ? Kind::AlphaOnly : Kind::Gray;
      return;
    }
    kind_ = Kind::Rgb;
    alpha_ = info <= kCGImageAlphaPremultipliedFirst ? Alpha::Premultiplied
             : info <= kCGImageAlphaFirst            ? Alpha::Straight
                                                     : Alpha::None;
    // Components in the order the alpha info names; a little-endian word reverses them.
    const bool alphaFirst =
        info == kCGImageAlphaPremultipliedFirst || info == kCGImageAlphaFirst || info == kCGImageAlphaNoneSkipFirst;
    int pos[4] = {0, 1, 2, 3};  // r, g, b, a
    if (alphaFirst) pos[0] = 1, pos[1] = 2, pos[2] = 3, pos[3] = 0;
    if ((CGBitmapContextGetBitmapInfo(s.context) & kCGBitmapByteOrderMask) == kCGBitmapByteOrder32Little)
      for (int& p : pos) p = 3 - p;
    r_ = pos[0], g_ = pos[1], b_ = pos[2], a_ = pos[3];
  }

  Pixel read(int x, int y) const {
    if (!store_.context) {
      const uint32_t w = store_.words[static_cast<size_t>(y) * store_.width + x];
      const unsigned alpha7 = std::min(w >> 24, 127u);
      return Pixel(w & 0xFFFFFF, store_.hasAlpha ? static_cast<uint8_t>((alpha7 * 255 + 63) / 127) : uint8_t{255});
    }
    const uint8_t* p = at(x, y);
    switch (kind_) {
      case Kind::Gray: return Pixel(rgbOf(p[0], p[0], p[0]));
      case Kind::AlphaOnly: return Pixel(0, p[0]);
      case Kind::Rgb: break;
    }
    const uint8_t a = alpha_ == Alpha::None ? 255 : p[a_];
    if (alpha_ != Alpha::Premultiplied) return Pixel(rgbOf(p[r_], p[g_], p[b_]), a);
    return Pixel(rgbOf(unpremultiply(p[r_], a), unpremultiply(p[g_], a), unpremultiply(p[b_], a)), a);
  }

  void write(int x, int y, Pixel px) const {
    if (!store_.context) {
      store_.words[static_cast<size_t>(y) * store_.width + x] = static_cast<uint32_t>(px.alpha >> 1) << 24 | px.rgb;
      return;
    }
    uint8_t* p = at(x, y);
    uint8_t r = channel(px.rgb, 16), g = channel(px.rgb, 8), b = channel(px.rgb, 0);
    switch (kind_) {
      case Kind::Gray: p[0] = static_cast<uint8_t>((77 * r + 150 * g + 29 * b + 128) >> 8); return;
      case Kind::AlphaOnly: p[0] = px.alpha; return;
      case Kind::Rgb: break;
    }
    if (alpha_ == Alpha::Premultiplied) r = premultiply(r, px.alpha), g = premultiply(g, px.alpha), b = premultiply(b, px.alpha);
    p[r_] = r, p[g_] = g, p[b_] = b;
    p[a_] = alpha_ == Alpha::None ? uint8_t{255} : px.alpha;
  }

 private:
  enum class Kind { Rgb, Gray, AlphaOnly };
  enum class Alpha { None, Premultiplied, Straight };

  uint8_t* at(int x, int y) const {
    return data_ + static_cast<size_t>(y) * rowBytes_ + static_cast<size_t>(x) * (kind_ == Kind::Rgb ? 4 : 1);
  }

  PictureStore& store_;
  uint8_t* data_ = nullptr;
  size_t rowBytes_ = 0;
  Kind kind_ = Kind::Rgb;
  Alpha alpha_ = Alpha::None;
  int r_ = 0, g_ = 0, b_ = 0, a_ = 0;
};

const std::vector<uint32_t>& rendered(PictureStore& s) {
  if (!s.renderingCurrent) {
    PixelAccess access(s);
    s.rendering.resize(static_cast<size_t>(s.width) * s.height);
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x) s.rendering[static_cast<size_t>(y) * s.width + x] = argbOf(access.read(x, y));
    s.renderingCurrent = true;
  }
  return s.rendering;
}

// Drawing through the host keeps its rendering in step with the pixels.
void draw(PictureStore& s, int x, int y, Pixel p) {
  PixelAccess access(s);
  access.write(x, y, p);
  if (s.renderingCurrent) s.rendering[static_cast<size_t>(y) * s.width + x] = argbOf(access.read(x, y));
}

Value getWidth(Impl&, ObjectRecord& r) { return Value::integer(r.picture ? r.picture->width : 0); }
Value getHeight(Impl&, ObjectRecord& r) { return Value::integer(r.picture ? r.picture->height : 0); }
Value getHasAlpha(Impl&, ObjectRecord& r) { return Value::boolean(r.picture && r.picture->hasAlpha); }

// ---- entry points ----

Impl* enter(const char* name) {
  Impl* impl = currentImpl();
  if (impl) ++impl->entryCalls[name];
  return impl;
}

ObjectRecord* pictureOf(Impl* impl, REALobject o, const char* entry) {
  ObjectRecord* r = impl ? impl->liveObject(o, entry) : nullptr;
  if (r && (r->cls->builtin != Builtin::Picture || !r->picture)) {
    impl->note(std::string(entry) + ": an object of class " + r->cls->name);
    return nullptr;
  }
  return r;
}

// Fills a description of the store in the form asked for; false if the picture
// is not kept in that form.
bool describe(PictureStore& s, RBInteger type, REALpictureDescription& out) {
  const RBInteger native = s.context ? kREALPictureCGBitmapContext : kREALPictureConsolePixels;
  if (type != native) return false;
  out = {};
  out.pictureType = type;
  out.pictureData = s.context ? static_cast<void*>(s.context) : static_cast<void*>(&s.console);
  out.width = s.width;
  out.height = s.height;
  return true;
}

void countLock(Impl& impl, PictureStore& s) {
  ++s.descriptionLocks;
  ++impl.lockedDescriptions;
}

// Runs a picture-making entry's body: nil when pictures are refused or memory
// runs out.
template <typename F>
REALpicture pictureOrNil(Impl* impl, const char* entry, F&& make) {
  if (!impl || impl->config.failPictures) return nullptr;
  try {
    return make(*impl);
  } catch (const std::bad_alloc&) {
    impl->note(std::string(entry) + ": out of memory");
    return nullptr;
  }
}

REALpicture enewPicture(RBInteger width, RBInteger height, RBInteger depth) {
  Impl* I = enter("newPicture");
  if ((depth != 0 && depth != 32) || !sizeAllowed(width, height)) return nullptr;
  return pictureOrNil(I, "newPicture", [&](Impl& impl) {
    const bool alpha = depth == 0 || impl.config.newPicturesHaveAlpha;
    // New pictures are white, or transparent when they have an alpha channel.
    return makePicture(impl, static_cast<int>(width), static_cast<int>(height), alpha,
                       alpha ? Pixel(0, 0) : Pixel(0xFFFFFF));
  });
}

REALpicture eREALBuildPictureFromBuffer(RBInteger width, RBInteger height, RBInteger pixelType, void* buffer,
                                        RBInteger rowBytes) {
  Impl* I = enter("REALBuildPictureFromBuffer");
  if (!buffer || (pixelType != kREALPixelXRGB && pixelType != kREALPixelARGB)) return nullptr;
  if (!sizeAllowed(width, height) || rowBytes < width * 4) return nullptr;
  return pictureOrNil(I, "REALBuildPictureFromBuffer", [&](Impl& impl) -> REALpicture {
    const bool alpha = pixelType == kREALPixelARGB;
    REALobject o = makePicture(impl, static_cast<int>(width), static_cast<int>(height), alpha, Pixel(0, 0));
    if (!o) return nullptr;
    PictureStore& s = *impl.recordOf(o)->picture;
    PixelAccess access(s);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    for (int y = 0; y < s.height; ++y)
      for (int x = 0; x < s.width; ++x) {
        uint32_t word;
        std::memcpy(&word, bytes + y * rowBytes + x * 4, 4);
        access.write(x, y, alpha ? pixelOf(word) : Pixel(word));
      }
    s.renderingCurrent = false;
    return o;
  });
}

bool eREALLockPictureDescription(REALpicture picture, REALpictureDescription* out, RBInteger type) {
  Impl* I = enter("REALLockPictureDescription");
  ObjectRecord* r = pictureOf(I, picture, "REALLockPictureDescription");
  if (!r || !out) return false;
  if (describe(*r->picture, type, *out)) {
    countLock(*I, *r->picture);
    return true;
  }
  *out = {};
  // Hosts before 2012.0 count a failed lock as well; their plugins unlock after
  // every attempt.
  if (I->config.hostVersion.value_or(0.0) < 2012.0) countLock(*I, *r->picture);
  return false;
}

void elockPictureDescription(REALpicture picture, REALpictureDescription* out) {
  Impl* I = enter("lockPictureDescription");
  ObjectRecord* r = pictureOf(I, picture, "lockPictureDescription");
  if (!r || !out) return;
  PictureStore& s = *r->picture;
  describe(s, s.context ? kREALPictureCGBitmapContext : kREALPictureConsolePixels, *out);
  countLock(*I, s);
}

void eunlockPictureDescription(REALpicture picture) {
  Impl* I = enter("unlockPictureDescription");
  ObjectRecord* r = pictureOf(I, picture, "unlockPictureDescription");
  if (!r) return;
  PictureStore& s = *r->picture;
  if (s.descriptionLocks == 0) {
    ++I->overReleases;
    I->note("unlockPictureDescription: a picture whose description is not locked");
    return;
  }
  --s.descriptionLocks;
  --I->lockedDescriptions;
}

void eREALPictureClearCache(REALpicture picture) {
  Impl* I = enter("REALPictureClearCache");
  if (ObjectRecord* r = pictureOf(I, picture, "REALPictureClearCache")) r->picture->renderingCurrent = false;
}

template <typename F>
REALproc proc(F* f) {
  return reinterpret_cast<REALproc>(f);
}

}  // namespace

const PictureProperty kPictureProperties[3] = {
    {"Width", "Integer", getWidth},
    {"Height", "Integer", getHeight},
    {"HasAlphaChannel", "Boolean", getHasAlpha},
};

REALproc pictureEntry(std::string_view name) {
  static const std::pair<std::string_view, REALproc> kEntries[] = {
      {"newPicture", proc(enewPicture)},
      {"REALBuildPictureFromBuffer", proc(eREALBuildPictureFromBuffer)},
      {"REALLockPictureDescription", proc(eREALLockPictureDescription)},
      {"lockPictureDescription", proc(elockPictureDescription)},
      {"unlockPictureDescription", proc(eunlockPictureDescription)},
      {"REALPictureClearCache", proc(eREALPictureClearCache)},
  };
  for (const auto& [entry, function] : kEntries)
    if (entry == name) return function;
  return nullptr;
}

REALobject makePicture(Impl& impl, int width, int height, bool hasAlpha, Pixel fill) {
  if (!sizeAllowed(width, height)) return nullptr;
  auto s = std::make_shared<PictureStore>();
  s->width = width;
  s->height = height;
  s->hasAlpha = hasAlpha;
  if (impl.config.appKind == AppKind::Desktop) {
    const uint32_t info =
        impl.config.pictureAlphaInfo.value_or(hasAlpha ? kCGImageAlphaPremultipliedFirst : kCGImageAlphaNoneSkipFirst);
    const bool rgb = info >= kCGImageAlphaPremultipliedLast && info <= kCGImageAlphaNoneSkipFirst;
    CGColorSpaceRef space = rgb                       ? CGColorSpaceCreateDeviceRGB()
                            : info == kCGImageAlphaNone ? CGColorSpaceCreateDeviceGray()
                                                        : nullptr;
    // Components in the order the alpha info names them, as the host's own contexts keep them.
    s->context = CGBitmapContextCreate(nullptr, static_cast<size_t>(width), static_cast<size_t>(height), 8,
                                       static_cast<size_t>(width) * (rgb ? 4 : 1), space,
                                       info | kCGBitmapByteOrderDefault);
    if (space) CGColorSpaceRelease(space);
    if (!s->context) return nullptr;
  } else {
    s->words.assign(static_cast<size_t>(width) * height, 0);
    s->rows.resize(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) s->rows[y] = reinterpret_cast<uint8_t*>(&s->words[static_cast<size_t>(y) * width]);
    s->console = {0, s->rows.data(), s->words.data()};
  }
  PixelAccess access(*s);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) access.write(x, y, fill);
  rendered(*s);
  REALobject o = impl.allocateObject(impl.findClass("Picture"));
  impl.recordOf(o)->picture = std::move(s);
  return o;
}

void releasePicture(Impl& impl, ObjectRecord& r) {
  if (r.picture->descriptionLocks > 0) {
    impl.note("a picture released with its description locked " + std::to_string(r.picture->descriptionLocks) +
              " time(s)");
    return;
  }
  r.picture.reset();
}

// ---- user code ----

std::ostream& operator<<(std::ostream& out, const Pixel& p) {
  char text[16];
  std::snprintf(text, sizeof text, "#%06X/%02X", p.rgb, p.alpha);
  return out << text;
}

namespace {

PictureStore& storeOf(Impl& impl, const Value& picture, const char* what) {
  ObjectRecord* r = picture.kind() == Value::Kind::Object ? impl.recordOf(picture.asObject()) : nullptr;
  if (!r || !r->alive || r->cls->builtin != Builtin::Picture || !r->picture)
    throw UsageError(std::string(what) + " of a value that is not a live picture");
  return *r->picture;
}

void checkInside(const PictureStore& s, int x, int y, const char* what) {
  if (x < 0 || y < 0 || x >= s.width || y >= s.height)
    throw UsageError(std::string(what) + ": pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                     ") outside a picture of " + std::to_string(s.width) + " x " + std::to_string(s.height));
}

}  // namespace

Value Runtime::newPicture(int width, int height, int depth, Pixel fill) {
  if (depth != 0 && depth != 32) throw UsageError("pictures have depth 32, or 0 for an alpha channel");
  REALobject o = makePicture(*impl_, width, height, depth == 0, fill);
  if (!o) throw UsageError("cannot make a picture of " + std::to_string(width) + " x " + std::to_string(height));
  return Value::adoptObject(*this, o);
}

Pixel Runtime::pixel(const Value& picture, int x, int y) {
  PictureStore& s = storeOf(*impl_, picture, "pixel");
  checkInside(s, x, y, "pixel");
  return pixelOf(rendered(s)[static_cast<size_t>(y) * s.width + x]);
}

void Runtime::setPixel(const Value& picture, int x, int y, Pixel p) {
  PictureStore& s = storeOf(*impl_, picture, "setPixel");
  checkInside(s, x, y, "setPixel");
  draw(s, x, y, p);
}

void Runtime::fillRect(const Value& picture, int x, int y, int width, int height, Pixel p) {
  PictureStore& s = storeOf(*impl_, picture, "fillRect");
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = static_cast<int>(std::min<long>(static_cast<long>(x) + width, s.width));
  const int y1 = static_cast<int>(std::min<long>(static_cast<long>(y) + height, s.height));
  for (int j = y0; j < y1; ++j)
    for (int i = x0; i < x1; ++i) draw(s, i, j, p);
}

std::vector<Pixel> Runtime::pixels(const Value& picture) {
  const std::vector<uint32_t>& words = rendered(storeOf(*impl_, picture, "pixels"));
  std::vector<Pixel> out;
  out.reserve(words.size());
  for (uint32_t w : words) out.push_back(pixelOf(w));
  return out;
}

std::optional<std::string> Runtime::pictureDifference(const Value& a, const Value& b) {
  PictureStore& sa = storeOf(*impl_, a, "pictureDifference");
  PictureStore& sb = storeOf(*impl_, b, "pictureDifference");
  auto size = [](const PictureStore& s) { return std::to_string(s.width) + " x " + std::to_string(s.height); };
  if (sa.width != sb.width || sa.height != sb.height) return "sizes differ: " + size(sa) + " and " + size(sb);
  const std::vector<uint32_t>& pa = rendered(sa);
  const std::vector<uint32_t>& pb = rendered(sb);
  size_t differing = 0, first = 0;
  for (size_t i = 0; i < pa.size(); ++i)
    if (pa[i] != pb[i] && differing++ == 0) first = i;
  if (!differing) return std::nullopt;
  char text[128];
  std::snprintf(text, sizeof text, "pixel (%zu, %zu) is #%06X/%02X and #%06X/%02X; %zu pixel(s) differ",
                first % sa.width, first / sa.width, pa[first] & 0xFFFFFF, pa[first] >> 24, pb[first] & 0xFFFFFF,
                pb[first] >> 24, differing);
  return std::string(text);
}

void Runtime::savePNG(const Value& picture, const std::string& path) {
  PictureStore& s = storeOf(*impl_, picture, "savePNG");
  const std::vector<uint32_t>& words = rendered(s);
  const int channels = s.hasAlpha ? 4 : 3;
  std::vector<uint8_t> bytes(words.size() * channels);
  for (size_t i = 0; i < words.size(); ++i) {
    uint8_t* p = &bytes[i * channels];
    p[0] = channel(words[i], 16), p[1] = channel(words[i], 8), p[2] = channel(words[i], 0);
    if (s.hasAlpha) p[3] = channel(words[i], 24);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(s.width);
  image.height = static_cast<png_uint_32>(s.height);
  image.format = s.hasAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), 0, nullptr))
    throw std::runtime_error("cannot write the PNG file " + path + ": " + image.message);
}

Value Runtime::loadPNG(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str()))
    throw std::runtime_error("cannot read the PNG file " + path + ": " + image.message);
  const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  if (!sizeAllowed(image.width, image.height)) {
    png_image_free(&image);
    throw std::runtime_error("the PNG file " + path + " is larger than a picture can be");
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr))
    throw std::runtime_error("cannot read the PNG file " + path + ": " + image.message);
  Value picture = newPicture(static_cast<int>(image.width), static_cast<int>(image.height), alpha ? 0 : 32);
  PictureStore& s = storeOf(*impl_, picture, "loadPNG");
  PixelAccess access(s);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const uint8_t* p = &bytes[(static_cast<size_t>(y) * s.width + x) * 4];
      access.write(x, y, Pixel(rgbOf(p[0], p[1], p[2]), p[3]));
    }
  s.renderingCurrent = false;
  return picture;
}

}  // namespace rt
