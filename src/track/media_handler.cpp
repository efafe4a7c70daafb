// Media handler and sound controls of a track.
//
// Two result conventions meet here: Movie Toolbox calls answer a 16-bit OSErr,
// widened before it is stored or returned; media handler calls answer a 32-bit
// component result, kept as it is.
#include "track/media_handler.h"

#include <MacMemory.h>
#include <QuickTime/Movies.h>
#include <QuickTime/QuickTimeComponents.h>
#include <Aliases.h>
#include <Files.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "host/exceptions.h"
#include "host/host.h"
#include "host/values.h"
#include "qt/qt.h"
#include "track/track.h"

namespace {

// Host entries for folder items; resolved on first use like every other entry.
HostEntry<FolderItemFromFSSpecProc> gFolderItemFromFSSpec{"FolderItemFromFSSpec"};
HostEntry<REALFSRefFromFolderItemProc> gFSRefFromFolderItem{"REALFSRefFromFolderItem"};

// A handle's size as a memory block size: blocks are counted in 32 bits, and
// anything larger is refused by the block builder with its own exception.
int32_t BlockSize(Size size) { return static_cast<int32_t>(std::min<Size>(size, INT32_MAX)); }

// A new memory block with the handle's bytes; nil for an empty handle.
REALmemoryBlock BlockFromHandle(Handle h) {
  const Size size = GetHandleSize(h);
  if (size <= 0) return nullptr;
  HLock(h);
  REALmemoryBlock block = REALBuildMemoryblock(*h, BlockSize(size));
  HUnlock(h);
  return block;
}

// The media's data reference at `index`, or null. The caller disposes of it.
Handle DataRefAt(REALobject instance, RBInteger index, OSType* type) {
  Media media = MediaOf(instance);
  if (!media) return nullptr;
  Handle dataRef = nullptr;
  *type = 0;
  SInt32 attributes = 0;
  OSErr err = GetMediaDataRef(media, static_cast<short>(index), &dataRef, type, &attributes);
  if (err != noErr) {
    if (dataRef) DisposeHandle(dataRef);
    return nullptr;
  }
  return dataRef;
}

// The pair call behind both SoundBass and SoundTreble.
struct BassAndTreble {
  ComponentResult result;
  short bass = 0;
  short treble = 0;
};
BassAndTreble ReadBassAndTreble(MediaHandler mh) {
  BassAndTreble pair{};
  pair.result = MediaGetSoundBassAndTreble(mh, &pair.bass, &pair.treble);
  return pair;
}

// Writes one of the pair and keeps the other as the handler has it. Nothing is
// set when the pair cannot be read; Lasterror then holds that failure.
void WriteBassOrTreble(REALobject instance, RBInteger value, bool bass) {
  TrackCall call(instance);
  MediaHandler mh = call.handler();
  if (!mh) return;
  BassAndTreble pair = ReadBassAndTreble(mh);
  ComponentResult result = pair.result;
  if (result == noErr) {
    const short v = static_cast<short>(value);
    result = MediaSetSoundBassAndTreble(mh, bass ? v : pair.bass, bass ? pair.treble : v);
  }
  call.Record(result);
}

// A handler getter of one value: Lasterror := the call's result; the value, a
// short sign-extended, as `read` leaves it.
template <typename Value, typename Read>
Value ReadOne(REALobject instance, Read read) {
  TrackCall call(instance);
  Value value{};
  if (MediaHandler mh = call.handler()) call.Record(read(mh, &value));
  return value;
}
template <typename Read>
RBInteger ReadShort(REALobject instance, Read read) {
  return ReadOne<short>(instance, read);
}

// A setter whose only effect besides the call is Lasterror.
template <typename Write>
void WriteThrough(REALobject instance, Write write) {
  TrackCall call(instance);
  if (MediaHandler mh = call.handler()) call.Record(write(mh));
}

constexpr UnsignedFixed Hz(uint32_t hz) { return hz << 16; }

// Band centres that cover the audible range in octaves, the top band stopping
// just above 20 kHz.
constexpr UnsignedFixed kDefaultBands[] = {Hz(200),  Hz(400),  Hz(800),   Hz(1600),
                                           Hz(3200), Hz(6400), Hz(12800), Hz(21000)};

}  // namespace

// ---- media edits and facts ----

void rbBeginMediaEdits(REALobject instance) {
  TrackCall call(instance);
  if (Media media = call.media()) call.Record(BeginMediaEdits(media));
}

void rbEndMediaEdits(REALobject instance) {
  TrackCall call(instance);
  if (Media media = call.media()) call.Record(EndMediaEdits(media));
}

// The call answers nothing worth keeping, so Lasterror stays -1 either way.
void rbDisposeTrackMedia(REALobject instance) {
  TrackCall call(instance);
  if (Media media = call.media()) DisposeTrackMedia(media);
}

REALstring GetMediaType(REALobject instance) {
  Media media = MediaOf(instance);
  if (!media) return nullptr;
  OSType type = 0;
  GetMediaHandlerDescription(media, &type, nullptr, nullptr);
  return OSTypeToString(type);
}

RBInteger rbGetMediaSampleCount(REALobject instance) { return WithMedia(instance, GetMediaSampleCount); }

RBInteger rbGetMediaSampleDescriptionCount(REALobject instance) {
  return WithMedia(instance, GetMediaSampleDescriptionCount);
}

// ---- data references ----

RBInteger rbGetMediaDataRefCount(REALobject instance) {
  Media media = MediaOf(instance);
  if (!media) return 0;
  short count = 0;
  return GetMediaDataRefCount(media, &count) == noErr ? count : 0;
}

// Only an alias reference names a file; its bytes go to user code untouched.
REALstring rbGetMediaDataRefAlias(REALobject instance, RBInteger index) {
  OSType type = 0;
  Handle dataRef = DataRefAt(instance, index, &type);
  if (!dataRef) return nullptr;
  REALstring result = nullptr;
  const Size size = GetHandleSize(dataRef);
  if (type == AliasDataHandlerSubType && size > 0) {
    HLock(dataRef);
    result = REALBuildUnicodeString(*dataRef, size, kREALEncodingUnknown);
    HUnlock(dataRef);
  }
  DisposeHandle(dataRef);
  return result;
}

REALfolderItem rbGetMediaDataRef(REALobject instance, RBInteger index) {
  OSType type = 0;
  Handle dataRef = DataRefAt(instance, index, &type);
  if (!dataRef) return nullptr;
  REALfolderItem result = nullptr;
  if (type == AliasDataHandlerSubType) {
    FSSpec fsSpec{};
    Boolean wasChanged = false;
    if (ResolveAlias(nullptr, reinterpret_cast<AliasHandle>(dataRef), &fsSpec, &wasChanged) == noErr) {
      if (auto fromSpec = gFolderItemFromFSSpec.get()) result = fromSpec(&fsSpec);
    }
  }
  DisposeHandle(dataRef);
  return result;
}

// The media keeps its own copy of the reference, so ours is disposed of.
RBInteger rbSetMediaDataRef(REALobject instance, RBInteger index, REALfolderItem file) {
  Media media = MediaOf(instance);
  if (!media) return -1;
  auto toFSRef = gFSRefFromFolderItem.get();
  FSRef ref{};
  if (!toFSRef || !file || !toFSRef(file, &ref, nullptr)) return -1;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  OSErr err = QTNewDataReferenceFromFSRef(&ref, 0, &dataRef, &dataRefType);
  if (err == noErr) err = SetMediaDataRef(media, static_cast<short>(index), dataRef, dataRefType);
  if (dataRef) DisposeHandle(dataRef);
  return WidenOSErr(err);
}

// ---- samples ----

bool rbGetMediaSample(REALobject instance, REALmemoryBlock* data, RBInteger* time, RBInteger* durationPerSample,
                      REALmemoryBlock* description, RBInteger* sampleDescriptionIndex, RBInteger maxNumberOfSample,
                      RBInteger* numberOfSamples, RBInteger* flags) {
  *flags = 0;
  *durationPerSample = 0;
  // The byref variables give up what they held; they get new blocks or nil.
  for (REALmemoryBlock* slot : {data, description}) {
    if (*slot) REALUnlockObject(*slot);
    *slot = nullptr;
  }
  TrackCall call(instance);
  Media media = call.media();
  if (!media) return false;
  Handle dataHandle = NewHandle(0);
  if (!dataHandle) return false;
  Handle descHandle = NewHandle(0);
  if (!descHandle) {
    DisposeHandle(dataHandle);
    return false;
  }

  TimeValue sampleTime = static_cast<TimeValue>(*time);
  TimeValue duration = 0;
  SInt32 descIndex = static_cast<SInt32>(*sampleDescriptionIndex);
  SInt32 count = static_cast<SInt32>(*numberOfSamples);
  short sampleFlags = 0;
  // Its own result is the one GetMoviesError answers, read below.
  GetMediaSample(media, dataHandle, 0, nullptr, static_cast<TimeValue>(*time), &sampleTime, &duration,
                 reinterpret_cast<SampleDescriptionHandle>(descHandle), &descIndex,
                 static_cast<SInt32>(maxNumberOfSample), &count, &sampleFlags);
  *durationPerSample = duration;
  *time = sampleTime;
  *sampleDescriptionIndex = descIndex;
  *numberOfSamples = count;
  call.RecordMoviesError();
  *flags = sampleFlags;

  const bool gotData = GetHandleSize(dataHandle) > 0;
  *data = BlockFromHandle(dataHandle);
  *description = BlockFromHandle(descHandle);
  DisposeHandle(descHandle);
  DisposeHandle(dataHandle);
  return gotData;
}

// ---- sound ----

// Never writes Lasterror: the result is the caller's.
RBInteger SetSoundEqualizerBands(REALobject instance, RBInteger count, REALmemoryBlock values) {
  if (!values) {
    RaiseException("NilObjectException", "memoryblock is nil");
    return 0;
  }
  if (count <= 0) return -1;
  MediaHandler mh = HandlerOf(instance);
  if (!mh) return -1;
  MediaEQSpectrumBandsRecord bands{static_cast<short>(count),
                                   static_cast<UnsignedFixedPtr>(REALMemoryBlockGetPtr(values))};
  // The handler reads `count` frequencies from the block. Unlike the library this
  // one stands in for, a block known to hold fewer is refused (paramErr) rather
  // than read past its end; a host that cannot tell the size leaves the handler
  // to trust the count.
  bool sizeKnown = false;
  const RBInteger size = REALMemoryBlockGetSize(values, &sizeKnown);
  const RBInteger needed = RBInteger{bands.count} * RBInteger{sizeof(UnsignedFixed)};
  if (sizeKnown && bands.count > 0 && bands.frequency && size < needed) return paramErr;
  return MediaSetSoundEqualizerBands(mh, &bands);
}

RBInteger SetDefaultSoundEqualizerBands(REALobject instance) {
  TrackCall call(instance);
  MediaHandler mh = call.handler();
  if (!mh) return kNoCall;
  UnsignedFixed frequencies[std::size(kDefaultBands)];
  std::copy(std::begin(kDefaultBands), std::end(kDefaultBands), frequencies);
  MediaEQSpectrumBandsRecord bands{static_cast<short>(std::size(frequencies)), frequencies};
  return call.Record(MediaSetSoundEqualizerBands(mh, &bands));
}

// The handler writes one level per band it keeps, up to kMaxSoundEqualizerBands,
// whatever the caller asked for; the buffer is never smaller than that, and user
// code gets the `count` bytes it asked for.
REALmemoryBlock GetSoundEqualizerBandLevels(REALobject instance, RBInteger count) {
  TrackCall call(instance);
  if (count <= 0 || count >= INT32_MAX) return nullptr;
  MediaHandler mh = call.handler();
  if (!mh) return nullptr;
  const size_t room = std::max<size_t>(static_cast<size_t>(count), kMaxSoundEqualizerBands);
  auto* levels = static_cast<UInt8*>(std::calloc(room, 1));
  if (!levels) return nullptr;
  const ComponentResult result = call.Record(MediaGetSoundEqualizerBandLevels(mh, levels));
  REALmemoryBlock block = result == noErr ? REALBuildMemoryblock(levels, static_cast<int32_t>(count)) : nullptr;
  std::free(levels);
  return block;
}

RBInteger GetMediaHandlerBalance(REALobject instance) {
  return ReadShort(instance, [](MediaHandler mh, short* v) { return MediaGetSoundBalance(mh, v); });
}

void SetMediaHandlerBalance(REALobject instance, RBInteger value) {
  WriteThrough(instance, [&](MediaHandler mh) { return MediaSetSoundBalance(mh, static_cast<short>(value)); });
}

// The component travels as an integer: user code only hands it back.
RBInteger GetSoundTrackOutputComponent(REALobject instance) {
  return reinterpret_cast<RBInteger>(
      ReadOne<Component>(instance, [](MediaHandler mh, Component* c) { return MediaGetSoundOutputComponent(mh, c); }));
}

void SetSoundTrackOutputComponent(REALobject instance, RBInteger value) {
  WriteThrough(instance, [&](MediaHandler mh) {
    return MediaSetSoundOutputComponent(mh, reinterpret_cast<Component>(value));
  });
}

RBInteger rbMediaGetEffectiveSoundBalance(REALobject instance) {
  return ReadShort(instance, [](MediaHandler mh, short* v) { return MediaGetEffectiveSoundBalance(mh, v); });
}

RBInteger rbMediaGetEffectiveVolume(REALobject instance) {
  return ReadShort(instance, [](MediaHandler mh, short* v) { return MediaGetEffectiveVolume(mh, v); });
}

bool rbMediaGetSoundLevelMeteringEnabled(REALobject instance) {
  return ReadOne<Boolean>(instance, [](MediaHandler mh, Boolean* b) {
           return MediaGetSoundLevelMeteringEnabled(mh, b);
         }) != 0;
}

void rbMediaSetSoundLevelMeteringEnabled(REALobject instance, bool value) {
  WriteThrough(instance, [&](MediaHandler mh) { return MediaSetSoundLevelMeteringEnabled(mh, value ? 1 : 0); });
}

void rbMediaGetSoundLevelMeterInfo(REALobject instance, RBInteger* numChannels, RBInteger* leftMeter,
                                   RBInteger* rightMeter) {
  *numChannels = *leftMeter = *rightMeter = 0;
  TrackCall call(instance);
  MediaHandler mh = call.handler();
  if (!mh) return;
  LevelMeterInfo info{};
  if (call.Record(MediaGetSoundLevelMeterInfo(mh, &info)) != noErr) return;
  *numChannels = info.numChannels;
  *leftMeter = info.leftMeter;
  *rightMeter = info.rightMeter;
}

RBInteger rbMediaGetSoundBass(REALobject instance) {
  return ReadShort(instance, [](MediaHandler mh, short* v) {
    short treble = 0;
    return MediaGetSoundBassAndTreble(mh, v, &treble);
  });
}

RBInteger rbMediaGetSoundTreble(REALobject instance) {
  return ReadShort(instance, [](MediaHandler mh, short* v) {
    short bass = 0;
    return MediaGetSoundBassAndTreble(mh, &bass, v);
  });
}

void rbMediaSetSoundBass(REALobject instance, RBInteger value) { WriteBassOrTreble(instance, value, true); }
void rbMediaSetSoundTreble(REALobject instance, RBInteger value) { WriteBassOrTreble(instance, value, false); }

// ---- graphics ----

// Bits above the red byte ride along into red before it is cut to 16 bits.
void rbMediaSetGraphicsMode(REALobject instance, RBInteger mode, RBColor color) {
  const RGBColor rgb = HostColorToRGBUnmasked(color);
  WriteThrough(instance, [&](MediaHandler mh) { return MediaSetGraphicsMode(mh, static_cast<SInt32>(mode), &rgb); });
}

void rbMediaGetGraphicsMode(REALobject instance, RBInteger* mode, RBColor* color) {
  *mode = 0;
  *color = 0;
  TrackCall call(instance);
  MediaHandler mh = call.handler();
  if (!mh) return;
  SInt32 current = 0;
  RGBColor rgb{};
  if (call.Record(MediaGetGraphicsMode(mh, &current, &rgb)) != noErr) return;
  *mode = current;
  *color = RGBToHostColor(rgb);
}
