// Sound and video media handlers. A call meant for the other family answers as
// a component that lacks the selector does: badComponentSelector.
#include "api_using.h"
#include "file/atoms.h"

#include <algorithm>
#include <cstring>

// A stand-in for the default sound output device component.
struct ComponentRecord {
  OSType type;
};

namespace {

ComponentRecord gDefaultSoundOutput{"sdev"_4cc};

template <class H>
struct Resolved {
  H* handler = nullptr;
  ComponentResult result = noErr;
};

template <class H>
Resolved<H> resolve(MediaHandler mh, qte::MediaHandlerObject::Family family) {
  auto* h = live<qte::MediaHandlerObject>(mh);
  if (!h) return {nullptr, badComponentInstance};
  if (h->family != family) return {nullptr, badComponentSelector};
  return {static_cast<H*>(h), noErr};
}

Resolved<qte::SoundHandler> sound(MediaHandler mh) {
  return resolve<qte::SoundHandler>(mh, qte::MediaHandlerObject::Family::Sound);
}
Resolved<qte::VisualHandler> visual(MediaHandler mh) {
  return resolve<qte::VisualHandler>(mh, qte::MediaHandlerObject::Family::Visual);
}

ComponentResult finish(ComponentResult r) {
  done(static_cast<OSErr>(r));
  return r;
}

constexpr short kUnity = 0x100;  // 8.8 for 1.0

bool inUnitRange(short v) { return v >= -kUnity && v <= kUnity; }

bool knownGraphicsMode(SInt32 mode) {
  switch (mode) {
    case srcCopy: case srcOr: case srcXor: case srcBic:
    case notSrcCopy: case notSrcOr: case notSrcXor: case notSrcBic:
    case blend: case addPin: case addOver: case subPin: case transparent: case addMax: case subOver: case adMin:
    case ditherCopy:
    case graphicsModeStraightAlpha: case graphicsModePreWhiteAlpha: case graphicsModePreBlackAlpha:
    case graphicsModeComposition: case graphicsModeStraightAlphaBlend: case graphicsModePreMulColorAlpha:
    case graphicsModePerComponentAlpha:
      return true;
    default:
      return false;
  }
}

// Channels of the media's first sound description (0 without one).
short channelCount(const qte::Media& m) {
  const auto& descs = m.samples().descriptions;
  if (descs.empty() || descs.front().size() < 26) return 0;
  const uint8_t* d = descs.front().data();
  if (qte::file::get16(d + 16) == 2 && descs.front().size() >= 52)
    return static_cast<short>(std::min<uint32_t>(qte::file::get32(d + 48), 0x7FFF));
  return static_cast<short>(qte::file::get16(d + 24));
}

std::string bandList(const MediaEQSpectrumBandsRecord* r) {
  if (!r) return "NULL";
  std::string s = "[";
  for (short i = 0; r->frequency && i < r->count && i < kMaxSoundEqualizerBands; ++i) {
    if (i) s += ',';
    double hz = r->frequency[i] / 65536.0;
    s += hz == double(uint32_t(hz)) ? std::to_string(uint32_t(hz)) : std::to_string(hz);
  }
  return s + "]";
}

}  // namespace

extern "C" {

ComponentResult MediaGetSoundBalance(MediaHandler mh, short* balance) {
  QTE_CALL_STATUS("MediaGetSoundBalance", a_.object("mh", mh)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!balance) return finish(paramErr);
    *balance = s.handler->balance;
    return finish(noErr);
  };
}

ComponentResult MediaSetSoundBalance(MediaHandler mh, short balance) {
  QTE_CALL_STATUS("MediaSetSoundBalance", a_.object("mh", mh)("balance", balance)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    // Beyond full left or right is held at the side.
    s.handler->balance = std::clamp<short>(balance, -kUnity, kUnity);
    return finish(noErr);
  };
}

ComponentResult MediaGetEffectiveSoundBalance(MediaHandler mh, short* balance) {
  QTE_CALL_STATUS("MediaGetEffectiveSoundBalance", a_.object("mh", mh)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!balance) return finish(paramErr);
    // Mono sound has no balance to apply.
    *balance = channelCount(*s.handler->media) == 1 ? 0 : s.handler->balance;
    return finish(noErr);
  };
}

ComponentResult MediaGetEffectiveVolume(MediaHandler mh, short* volume) {
  QTE_CALL_STATUS("MediaGetEffectiveVolume", a_.object("mh", mh)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!volume) return finish(paramErr);
    const qte::Track& t = *s.handler->media->track;
    // Track and movie volumes multiply as 8.8 values; a negative (muted) or
    // disabled one silences the track.
    int32_t v = t.enabled && t.volume > 0 && t.movie->volume > 0 ? (int32_t(t.volume) * t.movie->volume) >> 8 : 0;
    *volume = static_cast<short>(std::min<int32_t>(v, 0x7FFF));
    return finish(noErr);
  };
}

ComponentResult MediaGetSoundBassAndTreble(MediaHandler mh, short* bass, short* treble) {
  QTE_CALL_STATUS("MediaGetSoundBassAndTreble", a_.object("mh", mh)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (bass) *bass = s.handler->bass;
    if (treble) *treble = s.handler->treble;
    return finish(noErr);
  };
}

ComponentResult MediaSetSoundBassAndTreble(MediaHandler mh, short bass, short treble) {
  QTE_CALL_STATUS("MediaSetSoundBassAndTreble", a_.object("mh", mh)("bass", bass)("treble", treble)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!inUnitRange(bass) || !inUnitRange(treble)) return finish(paramErr);
    s.handler->bass = bass;
    s.handler->treble = treble;
    return finish(noErr);
  };
}

ComponentResult MediaGetSoundEqualizerBands(MediaHandler mh, MediaEQSpectrumBandsRecordPtr spectrumInfo) {
  QTE_CALL_STATUS("MediaGetSoundEqualizerBands", a_.object("mh", mh)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!spectrumInfo) return finish(paramErr);
    // The caller's array holds spectrumInfo->count bands; the count comes back.
    const auto& bands = s.handler->bands;
    short room = spectrumInfo->frequency ? std::max<short>(spectrumInfo->count, 0) : 0;
    size_t n = std::min<size_t>(bands.size(), static_cast<size_t>(room));
    if (n) std::memcpy(spectrumInfo->frequency, bands.data(), n * sizeof(UnsignedFixed));
    spectrumInfo->count = static_cast<short>(bands.size());
    return finish(noErr);
  };
}

ComponentResult MediaSetSoundEqualizerBands(MediaHandler mh, MediaEQSpectrumBandsRecordPtr spectrumInfo) {
  QTE_CALL_STATUS("MediaSetSoundEqualizerBands",
                   a_.object("mh", mh)("count", spectrumInfo ? spectrumInfo->count : 0).raw("bands", bandList(spectrumInfo))) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!spectrumInfo || spectrumInfo->count < 0 || spectrumInfo->count > kMaxSoundEqualizerBands ||
        (spectrumInfo->count > 0 && !spectrumInfo->frequency))
      return finish(paramErr);
    s.handler->bands.assign(spectrumInfo->frequency, spectrumInfo->frequency + spectrumInfo->count);
    return finish(noErr);
  };
}

ComponentResult MediaGetSoundEqualizerBandLevels(MediaHandler mh, UInt8* bandLevels) {
  QTE_CALL_STATUS("MediaGetSoundEqualizerBandLevels", a_.object("mh", mh)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!bandLevels) return finish(paramErr);
    // Nothing plays in the engine, so every band reads silent.
    if (!s.handler->bands.empty()) std::memset(bandLevels, 0, s.handler->bands.size());
    return finish(noErr);
  };
}

ComponentResult MediaGetSoundLevelMeteringEnabled(MediaHandler mh, Boolean* enabled) {
  QTE_CALL_STATUS("MediaGetSoundLevelMeteringEnabled", a_.object("mh", mh)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!enabled) return finish(paramErr);
    *enabled = s.handler->metering;
    return finish(noErr);
  };
}

ComponentResult MediaSetSoundLevelMeteringEnabled(MediaHandler mh, Boolean enable) {
  QTE_CALL_STATUS("MediaSetSoundLevelMeteringEnabled", a_.object("mh", mh)("enable", enable)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    s.handler->metering = enable != 0;
    return finish(noErr);
  };
}

ComponentResult MediaGetSoundLevelMeterInfo(MediaHandler mh, LevelMeterInfoPtr levelInfo) {
  QTE_CALL_STATUS("MediaGetSoundLevelMeterInfo", a_.object("mh", mh)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!levelInfo) return finish(paramErr);
    levelInfo->numChannels = channelCount(*s.handler->media);
    levelInfo->leftMeter = 0;
    levelInfo->rightMeter = 0;
    return finish(noErr);
  };
}

ComponentResult MediaGetSoundOutputComponent(MediaHandler mh, Component* outputComponent) {
  QTE_CALL_STATUS("MediaGetSoundOutputComponent", a_.object("mh", mh)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    if (!outputComponent) return finish(paramErr);
    *outputComponent = s.handler->output ? s.handler->output : &gDefaultSoundOutput;
    return finish(noErr);
  };
}

ComponentResult MediaSetSoundOutputComponent(MediaHandler mh, Component outputComponent) {
  QTE_CALL_STATUS("MediaSetSoundOutputComponent", a_.object("mh", mh).pointer("component", outputComponent)) {
    auto s = sound(mh);
    if (!s.handler) return finish(s.result);
    // Null returns the track to the default output.
    s.handler->output = outputComponent;
    return finish(noErr);
  };
}

ComponentResult MediaGetGraphicsMode(MediaHandler mh, SInt32* mode, RGBColor* opColor) {
  QTE_CALL_STATUS("MediaGetGraphicsMode", a_.object("mh", mh)) {
    auto v = visual(mh);
    if (!v.handler) return finish(v.result);
    if (mode) *mode = v.handler->graphicsMode;
    if (opColor) *opColor = v.handler->opColor;
    return finish(noErr);
  };
}

ComponentResult MediaSetGraphicsMode(MediaHandler mh, SInt32 mode, const RGBColor* opColor) {
  QTE_CALL_STATUS("MediaSetGraphicsMode", a_.object("mh", mh)("mode", mode)("opColor", opColor)) {
    auto v = visual(mh);
    if (!v.handler) return finish(v.result);
    if (!knownGraphicsMode(mode)) return finish(paramErr);
    v.handler->graphicsMode = mode;
    // Without a colour the operation colour stays as it was.
    if (opColor) v.handler->opColor = *opColor;
    return finish(noErr);
  };
}

}  // extern "C"
