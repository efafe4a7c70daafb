// Channel layouts between QuickTime's AudioChannelLayout record and the host's
// layout objects.
//
// The layout classes belong to another plugin: this library holds neither
// class definition and finds their instance data where every object keeps its
// first block, right after the host's object header. At most 64 channel
// descriptions cross in either direction.
#include "track/channel_layout.h"

#include <QuickTime/Movies.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "host/host.h"
#include "qt/qt.h"
#include "track/track.h"

namespace {

constexpr size_t kObjectHeaderSize = 24;
constexpr int32_t kMaxDescriptions = 64;
constexpr size_t kHeaderBytes = offsetof(AudioChannelLayout, mChannelDescriptions);
constexpr size_t kDescriptionBytes = sizeof(AudioChannelDescription);
constexpr size_t kLargestProperty = 2147483647;
static_assert(kHeaderBytes == 12 && kDescriptionBytes == 20);

// QTAudioChannelLayoutZQK's instance data.
struct LayoutFields {
  uint32_t layoutTag;
  uint32_t channelBitmap;
  int32_t descriptionCount;  // as the record says, even beyond the slots
  REALobject descriptions[kMaxDescriptions];  // each slot holds its creation's reference, or nil
};

// QTAudioChannelDescriptionZQK's instance data.
struct DescriptionFields {
  uint32_t channelLabel;
  uint32_t channelFlags;
  double coordinates[3];
};

// Where a host of either word size finds the fields.
static_assert(offsetof(LayoutFields, descriptions) == (sizeof(void*) == 8 ? 16 : 12));
static_assert(offsetof(DescriptionFields, coordinates) == 8);

template <typename Fields>
Fields* OutsideFields(REALobject object) {
  return object ? reinterpret_cast<Fields*>(reinterpret_cast<char*>(object) + kObjectHeaderSize) : nullptr;
}

// New host objects for the layout in `bytes`, reading no description past
// `size`. Nil when the host makes no layout object; a description it does not
// make leaves its slot nil.
REALobject NewQTAudioChannelLayoutZQK(const AudioChannelLayout* layout, size_t size) {
  if (!layout) return nullptr;
  REALobject object = REALnewInstance("QTAudioChannelLayoutZQK");
  if (!object) return nullptr;
  LayoutFields* fields = OutsideFields<LayoutFields>(object);
  fields->layoutTag = layout->mChannelLayoutTag;
  fields->channelBitmap = layout->mChannelBitmap;
  fields->descriptionCount = static_cast<int32_t>(layout->mNumberChannelDescriptions);
  if (fields->descriptionCount <= 0) return object;

  const size_t held = size > kHeaderBytes ? (size - kHeaderBytes) / kDescriptionBytes : 0;
  const size_t n = std::min({static_cast<size_t>(fields->descriptionCount), size_t{kMaxDescriptions}, held});
  const AudioChannelDescription* source = layout->mChannelDescriptions;
  for (size_t i = 0; i < n; ++i) {
    REALobject description = REALnewInstance("QTAudioChannelDescriptionZQK");
    if (!description) continue;
    DescriptionFields* d = OutsideFields<DescriptionFields>(description);
    d->channelLabel = source[i].mChannelLabel;
    d->channelFlags = source[i].mChannelFlags;
    for (int c = 0; c < 3; ++c) d->coordinates[c] = source[i].mCoordinates[c];
    fields->descriptions[i] = description;
  }
  return object;
}

// A property read whole into a zero-filled buffer: `info` and `read` are the
// track's or the movie's calls. `err` is QuickTime's answer, or memFullErr when
// the size cannot be held.
struct PropertyRead {
  OSErr err = noErr;
  REALobject layout = nullptr;
};

template <typename Info, typename Read>
PropertyRead ReadLayout(Info info, Read read) {
  PropertyRead result;
  QTPropertyValueType type = 0;
  ByteCount size = 0;
  UInt32 flags = 0;
  result.err = info(&type, &size, &flags);
  if (result.err != noErr) return result;
  if (size == 0 || size > kLargestProperty) {
    result.err = memFullErr;
    return result;
  }
  // Never less than the header, so that a short answer still reads as zeros.
  void* buffer = std::calloc(std::max<size_t>(size, kHeaderBytes), 1);
  if (!buffer) {
    result.err = memFullErr;
    return result;
  }
  result.err = read(size, buffer);
  if (result.err == noErr) result.layout = NewQTAudioChannelLayoutZQK(static_cast<AudioChannelLayout*>(buffer), size);
  std::free(buffer);
  return result;
}

}  // namespace

REALobject rbGetTrackAudioChannelLayout(REALobject instance) {
  TrackCall call(instance);
  Track track = call.track();
  if (!track) return nullptr;
  const PropertyRead r = ReadLayout(
      [&](QTPropertyValueType* type, ByteCount* size, UInt32* flags) {
        return QTGetTrackPropertyInfo(track, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, type, size,
                                      flags);
      },
      [&](ByteCount size, void* buffer) {
        return QTGetTrackProperty(track, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, size, buffer,
                                  nullptr);
      });
  call.Record(r.err);
  return r.layout;
}

void rbSetTrackAudioChannelLayout(REALobject instance, REALobject layout) {
  TrackCall call(instance);
  Track track = call.track();
  if (!track || !layout) return;
  const LayoutFields* fields = OutsideFields<LayoutFields>(layout);
  // A negative count is taken as none: QuickTime never sees a negative size.
  const int32_t n = std::clamp(fields->descriptionCount, 0, kMaxDescriptions);

  // Room for the header padded to 32 bytes and n descriptions.
  auto* record = static_cast<AudioChannelLayout*>(std::calloc(32 + kDescriptionBytes * n, 1));
  if (!record) return call.Set(memFullErr);
  record->mChannelLayoutTag = fields->layoutTag;
  record->mChannelBitmap = fields->channelBitmap;
  record->mNumberChannelDescriptions = static_cast<UInt32>(n);
  AudioChannelDescription* target = record->mChannelDescriptions;
  for (int32_t i = 0; i < n; ++i) {
    const DescriptionFields* d = OutsideFields<DescriptionFields>(fields->descriptions[i]);
    if (!d) continue;  // a nil slot stays all zeros
    target[i].mChannelLabel = d->channelLabel;
    target[i].mChannelFlags = d->channelFlags;
    for (int c = 0; c < 3; ++c) target[i].mCoordinates[c] = static_cast<Float32>(d->coordinates[c]);
  }
  const OSErr err = QTSetTrackProperty(track, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout,
                                       kHeaderBytes + kDescriptionBytes * n, record);
  std::free(record);
  call.Record(err);
}

REALobject rbGetAudioSummaryChannelLayout(REALmovie movie) {
  return MovieMember(movie, [](Movie qtMovie) {
    return ReadLayout(
               [&](QTPropertyValueType* type, ByteCount* size, UInt32* flags) {
                 return QTGetMoviePropertyInfo(qtMovie, kQTPropertyClass_Audio,
                                               kQTAudioPropertyID_SummaryChannelLayout, type, size, flags);
               },
               [&](ByteCount size, void* buffer) {
                 return QTGetMovieProperty(qtMovie, kQTPropertyClass_Audio, kQTAudioPropertyID_SummaryChannelLayout,
                                           size, buffer, nullptr);
               })
        .layout;
  });
}
