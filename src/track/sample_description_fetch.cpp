// The track members that fetch a sample description of the track's media, as a
// typed object or as raw bytes.
//
// A description arrives as its stsd entry bytes, big-endian, exactly as a movie
// file holds it. Only the 16-byte header is required of every record; the fields
// after it are read as far as the record really goes:
//   - a field that does not lie wholly inside the record is not filled, so the
//     object keeps the zero (or nil) the host handed it out with;
//   - a length-prefixed name is cut to the bytes its field and the record hold,
//     so a length byte that runs past either yields the characters that are there.
// Short records come from damaged or hand-made files; what they do carry is still
// worth showing, and nothing past their end is ever read.
#include <MacMemory.h>
#include <QuickTime/Movies.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>

#include "host/host.h"
#include "host/values.h"
#include "plugin/instance.h"
#include "qt/qt.h"
#include "track/media_handler.h"
#include "track/sample_description.h"
#include "track/track.h"

namespace {

using Fields = SampleDescriptionInstance;

// The record's bytes with big-endian field readers that answer nothing for a
// field the record is too short to hold.
class Record {
 public:
  Record(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  std::optional<uint16_t> u16(size_t at) const {
    if (!fits(at, 2)) return std::nullopt;
    return static_cast<uint16_t>(bytes_[at] << 8 | bytes_[at + 1]);
  }
  std::optional<uint32_t> u32(size_t at) const {
    if (!fits(at, 4)) return std::nullopt;
    return uint32_t{bytes_[at]} << 24 | uint32_t{bytes_[at + 1]} << 16 | uint32_t{bytes_[at + 2]} << 8 |
           bytes_[at + 3];
  }
  std::optional<uint64_t> u64(size_t at) const {
    auto hi = u32(at), lo = u32(at + 4);
    if (!hi || !lo) return std::nullopt;
    return uint64_t{*hi} << 32 | *lo;
  }
  std::optional<uint8_t> u8(size_t at) const {
    if (!fits(at, 1)) return std::nullopt;
    return bytes_[at];
  }
  // A length byte at `at` and the characters after it, no more than `capacity`
  // of them (the room the field has) and no more than the record holds.
  std::optional<std::pair<const uint8_t*, size_t>> pascal(size_t at, size_t capacity) const {
    auto length = u8(at);
    if (!length) return std::nullopt;
    size_t n = std::min<size_t>({*length, capacity, size_ - at - 1});
    return std::make_pair(bytes_ + at + 1, n);
  }

 private:
  bool fits(size_t at, size_t n) const { return at <= size_ && n <= size_ - at; }
  const uint8_t* bytes_;
  size_t size_;
};

// Each filler copies what the record holds into the object's fields.
using Filler = void (*)(const Record&, Fields&);

// A string field of the object takes over the new string's reference.
void Put(REALstring Fields::*field, Fields& f, REALstring value) {
  if (REALstring old = f.*field) REALUnlockString(old);
  f.*field = value;
}

void PutCode(REALstring Fields::*field, Fields& f, std::optional<uint32_t> code) {
  if (code) Put(field, f, OSTypeToString(*code));
}

// An empty name stays nil.
void PutName(REALstring Fields::*field, Fields& f, const Record& r, size_t at, size_t capacity, uint32_t encoding) {
  auto name = r.pascal(at, capacity);
  if (name && name->second > 0) Put(field, f, REALBuildUnicodeString(name->first, name->second, encoding));
}

// Signed 16-bit and 32-bit fields, sign-extended into host integers.
void PutS16(RBInteger& out, std::optional<uint16_t> v) {
  if (v) out = static_cast<int16_t>(*v);
}
void PutS32(RBInteger& out, std::optional<uint32_t> v) {
  if (v) out = static_cast<int32_t>(*v);
}
void PutFlag(RBBoolean& out, std::optional<uint8_t> face, int bit) {
  if (face) out = (*face >> bit) & 1;
}

// A QuickDraw colour (three 16-bit channels) as 0xRRGGBB from the high bytes.
void PutColor(RBColor& out, const Record& r, size_t at) {
  auto red = r.u16(at), green = r.u16(at + 2), blue = r.u16(at + 4);
  if (red && green && blue) out = RGBToHostColor(RGBColor{*red, *green, *blue});
}

void FillHeader(const Record& r, Fields& f) { PutCode(&Fields::codecType, f, r.u32(4)); }

// ImageDescription.
void FillVideo(const Record& r, Fields& f) {
  FillHeader(r, f);
  PutCode(&Fields::codecVendor, f, r.u32(20));
  PutS32(f.temporalQuality, r.u32(24));
  PutS32(f.spatialQuality, r.u32(28));
  PutS16(f.width, r.u16(32));
  PutS16(f.height, r.u16(34));
  if (auto h = r.u32(36)) f.horizontalResolution = static_cast<int32_t>(*h) * (1.0 / 65536.0);
  if (auto v = r.u32(40)) f.verticalResolution = static_cast<int32_t>(*v) * (1.0 / 65536.0);
  PutS32(f.size, r.u32(44));
  PutS16(f.frameCount, r.u16(48));
  // A Str31: the name has 31 bytes of room after its length byte.
  PutName(&Fields::codecName, f, r, 50, 31, kREALEncodingASCII);
  PutS16(f.depth, r.u16(82));
}

// SoundDescription in its three versions. Version 0 and 1 share the fields the
// object shows; version 2 moved them. The version a record is too short to carry
// reads as 0, as the zeros it stands for would.
bool SoundVersionKnown(const Record& r) {
  const uint16_t version = r.u16(16).value_or(0);
  return version == 0 || version == 1 || version == 2;
}
void FillSound(const Record& r, Fields& f) {
  FillHeader(r, f);
  const int16_t version = static_cast<int16_t>(r.u16(16).value_or(0));
  f.version = version;
  PutCode(&Fields::codecVendor, f, r.u32(20));
  if (version == 2) {
    PutS32(f.channelCount, r.u32(48));
    PutS32(f.sampleSize, r.u32(56));
    if (auto rate = r.u64(40)) f.sampleRate = std::bit_cast<double>(*rate);
  } else {
    PutS16(f.channelCount, r.u16(24));
    PutS16(f.sampleSize, r.u16(26));
    // Unsigned 16.16: 44100 Hz lies above the signed range.
    if (auto rate = r.u32(32)) f.sampleRate = *rate * (1.0 / 65536.0);
  }
}

// TextDescription, with its default style record at 38 and the font name at 58.
void FillText(const Record& r, Fields& f) {
  FillHeader(r, f);
  PutS32(f.displayFlags, r.u32(16));
  PutS32(f.textJustification, r.u32(20));
  PutColor(f.backgroundColor, r, 24);
  auto top = r.u16(30), left = r.u16(32), bottom = r.u16(34), right = r.u16(36);
  PutS16(f.top, top);
  PutS16(f.left, left);
  if (top && bottom) f.height = static_cast<int16_t>(*bottom) - static_cast<int16_t>(*top);
  if (left && right) f.width = static_cast<int16_t>(*right) - static_cast<int16_t>(*left);
  PutS16(f.textHeight, r.u16(42));
  PutS16(f.textAscent, r.u16(44));
  PutS16(f.textFontID, r.u16(46));
  const auto face = r.u8(48);
  PutFlag(f.bold, face, 0);
  PutFlag(f.italic, face, 1);
  PutFlag(f.underline, face, 2);
  PutFlag(f.outline, face, 3);
  PutFlag(f.shadow, face, 4);
  PutFlag(f.condense, face, 5);
  PutFlag(f.extend, face, 6);
  PutS16(f.textSize, r.u16(50));
  PutColor(f.textColor, r, 52);
  // The name is the record's last field: it may use all that is left.
  PutName(&Fields::defaultFontName, f, r, 58, 255, kREALEncodingMacRoman);
}

// SpriteDescription and FlashDescription: version, then the decompressor.
void FillDecompressor(const Record& r, Fields& f) {
  FillHeader(r, f);
  PutCode(&Fields::decompressorType, f, r.u32(20));
}

// ThreeDeeDescription: version, renderer, decompressor.
void FillThreeDee(const Record& r, Fields& f) {
  FillHeader(r, f);
  PutCode(&Fields::rendererType, f, r.u32(20));
  PutCode(&Fields::decompressorType, f, r.u32(24));
}

struct Kind {
  OSType mediaType;
  const char* className;
  Filler fill;
};

constexpr Kind kVideo{VideoMediaType, "QTVideoSampleDescriptionZQK", FillVideo};
constexpr Kind kSound{SoundMediaType, "QTSoundSampleDescriptionZQK", FillSound};
constexpr Kind kSprite{SpriteMediaType, "QTSpriteSampleDescriptionZQK", FillDecompressor};
constexpr Kind kText{TextMediaType, "QTTextSampleDescriptionZQK", FillText};
constexpr Kind kMusic{MusicMediaType, "QTMusicSampleDescriptionZQK", FillHeader};
constexpr Kind kThreeDee{ThreeDeeMediaType, "QTThreeDeeSampleDescriptionZQK", FillThreeDee};
constexpr Kind kFlash{FlashMediaType, "QTFlashSampleDescriptionZQK", FillDecompressor};
constexpr Kind kPlain{0, "QTSampleDescriptionZQK", FillHeader};
constexpr const Kind* kTyped[] = {&kVideo, &kSound, &kSprite, &kText, &kMusic, &kThreeDee, &kFlash};

OSType MediaTypeOf(Media media) {
  OSType type = 0;
  GetMediaHandlerDescription(media, &type, nullptr, nullptr);
  return type;
}

// Asks the media for its description at `index` into a new handle. Lasterror
// holds the call's result. Null when no call could be made.
Handle FetchDescription(TrackCall& call, Media media, RBInteger index) {
  Handle h = NewHandle(0);
  if (!h) return nullptr;
  GetMediaSampleDescription(media, static_cast<SInt32>(index), reinterpret_cast<SampleDescriptionHandle>(h));
  call.RecordMoviesError();
  return h;
}

// Makes the object for the description in `h` and fills it; nil when the record
// is too short for its header or of a sound version the class cannot show.
REALobject BuildObject(Handle h, const Kind& kind) {
  const Size size = GetHandleSize(h);
  if (size < static_cast<Size>(sizeof(SampleDescription))) return nullptr;
  HLock(h);
  const Record record(reinterpret_cast<const uint8_t*>(*h), static_cast<size_t>(size));
  REALobject object = nullptr;
  if (&kind != &kSound || SoundVersionKnown(record)) {
    object = REALnewInstance(kind.className);
    if (Fields* fields = InstanceData<Fields>(QTSampleDescriptionZQKClass, object)) kind.fill(record, *fields);
  }
  HUnlock(h);
  return object;
}

REALobject Fetch(TrackCall& call, RBInteger index, const Kind& kind, bool checkType) {
  Media media = call.media();
  if (!media) return nullptr;
  if (checkType && MediaTypeOf(media) != kind.mediaType) return nullptr;
  Handle h = FetchDescription(call, media, index);
  if (!h) return nullptr;
  REALobject object = BuildObject(h, kind);
  DisposeHandle(h);
  return object;
}

// A member that asks for one kind of description only.
REALobject FetchTyped(REALobject instance, RBInteger index, const Kind& kind) {
  TrackCall call(instance);
  return Fetch(call, index, kind, true);
}

}  // namespace

REALobject rbGetMediaVideoSampleDescription(REALobject instance, RBInteger index) {
  return FetchTyped(instance, index, kVideo);
}
REALobject rbGetMediaSoundSampleDescription(REALobject instance, RBInteger index) {
  return FetchTyped(instance, index, kSound);
}
REALobject rbGetMediaSpriteSampleDescription(REALobject instance, RBInteger index) {
  return FetchTyped(instance, index, kSprite);
}
REALobject rbGetMediaTextSampleDescription(REALobject instance, RBInteger index) {
  return FetchTyped(instance, index, kText);
}
REALobject rbGetMediaMusicSampleDescription(REALobject instance, RBInteger index) {
  return FetchTyped(instance, index, kMusic);
}
REALobject rbGetMediaThreeDeeSampleDescription(REALobject instance, RBInteger index) {
  return FetchTyped(instance, index, kThreeDee);
}
REALobject rbGetMediaFlashSampleDescription(REALobject instance, RBInteger index) {
  return FetchTyped(instance, index, kFlash);
}

// The typed object for the seven known media types, a plain one for the rest.
REALobject rbGetMediaSampleDescription(REALobject instance, RBInteger index) {
  TrackCall call(instance);
  Media media = call.media();
  if (!media) return nullptr;
  const OSType type = MediaTypeOf(media);
  for (const Kind* kind : kTyped)
    if (kind->mediaType == type) return Fetch(call, index, *kind, true);
  return Fetch(call, index, kPlain, false);
}

REALmemoryBlock rbGetMediaSampleDescriptionRaw(REALobject instance, RBInteger index) {
  TrackCall call(instance);
  Media media = call.media();
  if (!media) return nullptr;
  Handle h = FetchDescription(call, media, index);
  if (!h) return nullptr;
  REALmemoryBlock block = nullptr;
  if (const Size size = GetHandleSize(h); size > 0) {
    HLock(h);
    block = REALBuildMemoryblock(*h, static_cast<int32_t>(std::min<Size>(size, INT32_MAX)));
    HUnlock(h);
  }
  DisposeHandle(h);
  return block;
}
