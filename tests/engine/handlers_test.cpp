// Sound and video media handlers, and calls on the wrong kind of handler.
#include "engine_support.h"

using namespace enginetest;

namespace {

struct Handlers : ::testing::Test {
  MovieHolder movie;
  Track soundTrack = NewMovieTrack(movie, 0, 0, 0x100);
  Media soundMedia = NewTrackMedia(soundTrack, SoundMediaType, 44100, nullptr, 0);
  MediaHandler sound = GetMediaHandler(soundMedia);
  Track videoTrack = NewMovieTrack(movie, 320 << 16, 240 << 16, 0);
  MediaHandler video = GetMediaHandler(NewTrackMedia(videoTrack, VideoMediaType, 600, nullptr, 0));
};

TEST_F(Handlers, SoundBalanceBassTrebleAndVolume) {
  short v = 99;
  ASSERT_EQ(MediaGetSoundBalance(sound, &v), noErr);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(MediaSetSoundBalance(sound, -0x80), noErr);
  MediaGetSoundBalance(sound, &v);
  EXPECT_EQ(v, -0x80);
  MediaSetSoundBalance(sound, 1000);
  MediaGetSoundBalance(sound, &v);
  EXPECT_EQ(v, 0x100);  // held at full right

  // Stereo keeps its balance; mono has none to apply.
  BeginMediaEdits(soundMedia);
  ASSERT_EQ(addSamples(soundMedia, soundDescription(2), 10, 1, 4), noErr);
  EndMediaEdits(soundMedia);
  MediaGetEffectiveSoundBalance(sound, &v);
  EXPECT_EQ(v, 0x100);

  short bass = 9, treble = 9;
  ASSERT_EQ(MediaSetSoundBassAndTreble(sound, 5, -3), noErr);
  ASSERT_EQ(MediaGetSoundBassAndTreble(sound, &bass, &treble), noErr);
  EXPECT_EQ(bass, 5);
  EXPECT_EQ(treble, -3);
  EXPECT_EQ(MediaSetSoundBassAndTreble(sound, 257, 0), paramErr);
  MediaGetSoundBassAndTreble(sound, &bass, &treble);
  EXPECT_EQ(bass, 5);

  // Effective volume: track volume times movie volume, as 8.8 values.
  SetTrackVolume(soundTrack, 0x80);
  SetMovieVolume(movie, 0x200);
  ASSERT_EQ(MediaGetEffectiveVolume(sound, &v), noErr);
  EXPECT_EQ(v, 0x100);
  SetMovieVolume(movie, -0x100);  // muted movie
  MediaGetEffectiveVolume(sound, &v);
  EXPECT_EQ(v, 0);
  SetMovieVolume(movie, 0x100);
  SetTrackEnabled(soundTrack, false);
  MediaGetEffectiveVolume(sound, &v);
  EXPECT_EQ(v, 0);
}

TEST_F(Handlers, EqualizerBandsMeteringAndOutput) {
  UnsignedFixed bands[8] = {200u << 16, 400u << 16, 800u << 16, 1600u << 16,
                            3200u << 16, 6400u << 16, 12800u << 16, 21000u << 16};
  MediaEQSpectrumBandsRecord rec{8, bands};
  ASSERT_EQ(MediaSetSoundEqualizerBands(sound, &rec), noErr);
  UnsignedFixed back[8] = {};
  MediaEQSpectrumBandsRecord out{8, back};
  ASSERT_EQ(MediaGetSoundEqualizerBands(sound, &out), noErr);
  EXPECT_EQ(out.count, 8);
  EXPECT_EQ(back[7], 21000u << 16);
  UInt8 levels[8];
  std::memset(levels, 0xAA, sizeof levels);
  ASSERT_EQ(MediaGetSoundEqualizerBandLevels(sound, levels), noErr);
  EXPECT_EQ(levels[7], 0);

  std::vector<UnsignedFixed> many(65, 100u << 16);
  MediaEQSpectrumBandsRecord tooMany{65, many.data()};
  EXPECT_EQ(MediaSetSoundEqualizerBands(sound, &tooMany), paramErr);
  tooMany.count = 64;
  EXPECT_EQ(MediaSetSoundEqualizerBands(sound, &tooMany), noErr);
  MediaEQSpectrumBandsRecord nullBands{3, nullptr};
  EXPECT_EQ(MediaSetSoundEqualizerBands(sound, &nullBands), paramErr);

  Boolean on = 1;
  ASSERT_EQ(MediaGetSoundLevelMeteringEnabled(sound, &on), noErr);
  EXPECT_EQ(on, 0);
  MediaSetSoundLevelMeteringEnabled(sound, true);
  MediaGetSoundLevelMeteringEnabled(sound, &on);
  EXPECT_EQ(on, 1);
  LevelMeterInfo info{-1, 9, 9};
  ASSERT_EQ(MediaGetSoundLevelMeterInfo(sound, &info), noErr);
  EXPECT_EQ(info.numChannels, 0);  // no description yet
  EXPECT_EQ(info.leftMeter, 0);

  Component c = nullptr;
  ASSERT_EQ(MediaGetSoundOutputComponent(sound, &c), noErr);
  EXPECT_NE(c, nullptr);
  Component fake = reinterpret_cast<Component>(0x1234);
  MediaSetSoundOutputComponent(sound, fake);
  MediaGetSoundOutputComponent(sound, &c);
  EXPECT_EQ(c, fake);
}

TEST_F(Handlers, GraphicsModeAndOperationColour) {
  SInt32 mode = 0;
  RGBColor rgb{};
  ASSERT_EQ(MediaGetGraphicsMode(video, &mode, &rgb), noErr);
  EXPECT_EQ(mode, ditherCopy);
  EXPECT_EQ(rgb.red, 0x8000);
  RGBColor set{0xFFFF, 0x8080, 0};
  ASSERT_EQ(MediaSetGraphicsMode(video, blend, &set), noErr);
  MediaGetGraphicsMode(video, &mode, &rgb);
  EXPECT_EQ(mode, blend);
  EXPECT_EQ(rgb.green, 0x8080);
  ASSERT_EQ(MediaSetGraphicsMode(video, srcCopy, nullptr), noErr);
  MediaGetGraphicsMode(video, &mode, &rgb);
  EXPECT_EQ(rgb.red, 0xFFFF);  // kept
  EXPECT_EQ(MediaSetGraphicsMode(video, 12345, &set), paramErr);
}

TEST_F(Handlers, WrongOrDeadHandlersAnswerAsComponentsDo) {
  short v = 0;
  SInt32 mode = 0;
  EXPECT_EQ(MediaGetSoundBalance(video, &v), badComponentSelector);
  EXPECT_EQ(GetMoviesError(), OSErr(badComponentSelector));
  EXPECT_EQ(MediaGetGraphicsMode(sound, &mode, nullptr), badComponentSelector);
  EXPECT_EQ(MediaGetSoundBalance(nullptr, &v), badComponentInstance);
  int foreign = 0;
  EXPECT_EQ(MediaSetSoundBalance(reinterpret_cast<MediaHandler>(&foreign), 0), badComponentInstance);
  EXPECT_EQ(MediaGetSoundBalance(sound, nullptr), paramErr);
}

}  // namespace
