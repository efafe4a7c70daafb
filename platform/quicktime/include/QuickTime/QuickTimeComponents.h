// Media handler calls of the sound and video media handlers.
#pragma once

#include <QuickTime/Movies.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef UnsignedFixed* UnsignedFixedPtr;

typedef struct MediaEQSpectrumBandsRecord {
  short count;
  UnsignedFixedPtr frequency;  // count band centre frequencies in Hz
} MediaEQSpectrumBandsRecord;
typedef MediaEQSpectrumBandsRecord* MediaEQSpectrumBandsRecordPtr;

typedef struct LevelMeterInfo {
  short numChannels;
  UInt8 leftMeter;
  UInt8 rightMeter;
} LevelMeterInfo;
typedef LevelMeterInfo* LevelMeterInfoPtr;

// QuickDraw transfer modes a video media handler accepts, besides those QuickDraw.h
// declares (srcCopy, srcOr, srcXor, srcBic, notSrcCopy, ditherCopy).
enum {
  notSrcOr = 5,
  notSrcXor = 6,
  notSrcBic = 7,
  blend = 32,
  addPin = 33,
  addOver = 34,
  subPin = 35,
  transparent = 36,
  addMax = 37,
  subOver = 38,
  adMin = 39,
  graphicsModeStraightAlpha = 256,
  graphicsModePreWhiteAlpha = 257,
  graphicsModePreBlackAlpha = 258,
  graphicsModeComposition = 259,
  graphicsModeStraightAlphaBlend = 260,
  graphicsModePreMulColorAlpha = 261,
  graphicsModePerComponentAlpha = 272,
};

enum { kMaxSoundEqualizerBands = 64 };

// Sound: balance, bass and treble are 8.8 values from -1.0 (-256) to 1.0 (256).
ComponentResult MediaGetSoundBalance(MediaHandler mh, short* balance);
ComponentResult MediaSetSoundBalance(MediaHandler mh, short balance);
ComponentResult MediaGetEffectiveSoundBalance(MediaHandler mh, short* balance);
ComponentResult MediaGetEffectiveVolume(MediaHandler mh, short* volume);
ComponentResult MediaGetSoundBassAndTreble(MediaHandler mh, short* bass, short* treble);
ComponentResult MediaSetSoundBassAndTreble(MediaHandler mh, short bass, short treble);
ComponentResult MediaGetSoundEqualizerBands(MediaHandler mh, MediaEQSpectrumBandsRecordPtr spectrumInfo);
ComponentResult MediaSetSoundEqualizerBands(MediaHandler mh, MediaEQSpectrumBandsRecordPtr spectrumInfo);
ComponentResult MediaGetSoundEqualizerBandLevels(MediaHandler mh, UInt8* bandLevels);
ComponentResult MediaGetSoundLevelMeteringEnabled(MediaHandler mh, Boolean* enabled);
ComponentResult MediaSetSoundLevelMeteringEnabled(MediaHandler mh, Boolean enable);
ComponentResult MediaGetSoundLevelMeterInfo(MediaHandler mh, LevelMeterInfoPtr levelInfo);
ComponentResult MediaGetSoundOutputComponent(MediaHandler mh, Component* outputComponent);
ComponentResult MediaSetSoundOutputComponent(MediaHandler mh, Component outputComponent);

// Video (and the other visual handlers): transfer mode and its operation colour.
ComponentResult MediaGetGraphicsMode(MediaHandler mh, SInt32* mode, RGBColor* opColor);
ComponentResult MediaSetGraphicsMode(MediaHandler mh, SInt32 mode, const RGBColor* opColor);

#ifdef __cplusplus
}
#endif
