// A track's media and media handler as user code reaches them: media facts and
// edits, raw samples, data references as files, and the sound and video controls.
#include "media_support.h"

#include <QuickTime/QuickTimeComponents.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using mediatest::Entry;
using rt::Value;

Value I(int64_t v) { return Value::integer(v); }

class MediaHandlerTest : public TrackTest {
 protected:
  // A movie with a video track (two descriptions, three samples, the last not a
  // sync sample) and a stereo sound track; both as user code gets them.
  void LoadMovie(rt::Config config = QuickTimeHost()) {
    Load(std::move(config));
    Movie m = NewEngineMovie();
    Entry jpeg("jpeg"_4cc, 86), png("png "_4cc, 86);
    qtVideo_ = mediatest::AddDescribedTrack(m, VideoMediaType, {jpeg, png, png}, 1);
    qtSound_ = mediatest::AddDescribedTrack(m, SoundMediaType, {Entry("twos"_4cc, 36).u16(24, 2).u16(26, 16)});
    movie_ = runtime().newMovie(m);
    video_ = runtime().call(movie_, "GetTrackIndexZQK", {I(1)});
    sound_ = runtime().call(movie_, "GetTrackIndexZQK", {I(2)});
    ASSERT_FALSE(video_.isNil());
    ASSERT_FALSE(sound_.isNil());
  }
  void SetLastError(const Value& track, int64_t v) { runtime().set(track, "Lasterror", I(v)); }
  Value Call(const Value& track, const char* member, std::vector<Value> args = {}) {
    return runtime().call(track, member, args);
  }
  std::string Text(const Value& v) { return v.isNil() ? std::string("<nil>") : runtime().utf8(v); }
  void TearDown() override {
    video_ = sound_ = movie_ = Value();
    TrackTest::TearDown();
  }

  Track qtVideo_ = nullptr, qtSound_ = nullptr;
  Value movie_, video_, sound_;
};

TEST_F(MediaHandlerTest, MediaFactsLeaveLasterrorAlone) {
  LoadMovie();
  SetLastError(video_, 77);
  EXPECT_EQ(Text(Call(video_, "MediaType")), "vide");
  EXPECT_EQ(Text(Call(sound_, "MediaType")), "soun");
  EXPECT_EQ(Call(video_, "MediaSampleCount").asInteger(), 3);
  EXPECT_EQ(Call(video_, "MediaSampleDescriptionCount").asInteger(), 2);
  EXPECT_EQ(Call(video_, "FileCount").asInteger(), 1);
  QTEngineHookInjectResult("GetMediaDataRefCount", badDataRefIndex, 1);
  EXPECT_EQ(Call(video_, "FileCount").asInteger(), 0);
  EXPECT_EQ(LastError(video_), 77);
}

TEST_F(MediaHandlerTest, EditsRecordTheirResultExceptDisposal) {
  LoadMovie();
  Call(video_, "BeginMediaEdits");
  EXPECT_EQ(LastError(video_), 0);
  QTEngineHookInjectResult("EndMediaEdits", invalidMedia, 1);
  Call(video_, "EndMediaEdits");
  EXPECT_EQ(LastError(video_), invalidMedia);

  StartLog();
  Call(video_, "DisposeTrackMedia");
  EXPECT_EQ(Logged("DisposeTrackMedia").size(), 1u);
  EXPECT_EQ(LastError(video_), -1);
  // Without a media every member takes its neutral path.
  EXPECT_TRUE(Call(video_, "MediaType").isNil());
  EXPECT_EQ(Call(video_, "MediaSampleCount").asInteger(), 0);
  Call(video_, "BeginMediaEdits");
  EXPECT_EQ(LastError(video_), -1);
}

// A track made with `new` holds nothing: every member answers its neutral value.
TEST_F(MediaHandlerTest, TrackWithoutMediaAnswersNeutralValues) {
  Load(QuickTimeHost());
  rt::Runtime& rt = runtime();
  Value t = rt.newObject("QTTrackZQK");
  EXPECT_TRUE(Call(t, "MediaType").isNil());
  EXPECT_EQ(Call(t, "FileCount").asInteger(), 0);
  EXPECT_TRUE(Call(t, "File", {I(1)}).isNil());
  EXPECT_TRUE(Call(t, "FileAlias", {I(1)}).isNil());
  EXPECT_EQ(Call(t, "SetFile", {I(1), rt.newFolderItem("/tmp")}).asInteger(), -1);
  EXPECT_EQ(Call(t, "SoundSetDefaultEqualizerBands").asInteger(), -1);
  EXPECT_EQ(Call(t, "SoundSetEqualizerBands", {I(1), rt.newMemoryBlock("abcd")}).asInteger(), -1);
  for (const char* getter : {"SoundBalance", "SoundBass", "SoundTreble", "SoundGetEffectiveVolume"}) {
    SetLastError(t, 5);
    EXPECT_EQ(rt.get(t, getter).asInteger(), 0) << getter;
    EXPECT_EQ(LastError(t), -1) << getter;
  }
  std::vector<Value> out{Value(), I(10), I(9), Value(), I(1), I(0), I(1), I(8)};
  EXPECT_FALSE(rt.call(t, "GetMediaSample", out, {true, true, true, true, true, false, true, true}).asBoolean());
  EXPECT_TRUE(out[0].isNil());
  EXPECT_TRUE(out[3].isNil());
  EXPECT_EQ(out[2].asInteger(), 0);
  EXPECT_EQ(out[7].asInteger(), 0);
  EXPECT_EQ(LastError(t), -1);
}

TEST_F(MediaHandlerTest, SamplesComeWithTheirDescriptionAndFlags) {
  LoadMovie();
  rt::Runtime& rt = runtime();
  const std::vector<bool> byref{true, true, true, true, true, false, true, true};
  std::vector<Value> out{Value(), I(250), I(0), Value(), I(0), I(1), I(0), I(0)};
  EXPECT_TRUE(rt.call(video_, "GetMediaSample", out, byref).asBoolean());
  EXPECT_EQ(rt.bytes(out[0]), std::string(4, '\3'));
  EXPECT_EQ(out[1].asInteger(), 200);  // the sample's start
  EXPECT_EQ(out[2].asInteger(), 100);
  EXPECT_EQ(rt.bytes(out[3]).substr(4, 4), "png ");
  EXPECT_EQ(out[4].asInteger(), 2);
  EXPECT_EQ(out[6].asInteger(), 1);
  EXPECT_EQ(out[7].asInteger(), mediaSampleNotSync);
  EXPECT_EQ(LastError(video_), 0);

  // A failed read leaves nil.
  out[0] = out[3] = Value();
  out[1] = I(5000);
  EXPECT_FALSE(rt.call(video_, "GetMediaSample", out, byref).asBoolean());
  EXPECT_TRUE(out[0].isNil());
  EXPECT_TRUE(out[3].isNil());
  EXPECT_EQ(LastError(video_), invalidTime);
}

TEST_F(MediaHandlerTest, SoundControlsKeepTheOtherHalfAndNarrowTo16Bits) {
  LoadMovie();
  rt::Runtime& rt = runtime();
  rt.set(sound_, "SoundBalance", I(65536 + 100));
  EXPECT_EQ(rt.get(sound_, "SoundBalance").asInteger(), 100);
  rt.set(sound_, "SoundBalance", I(-40));
  EXPECT_EQ(Call(sound_, "SoundGetEffectiveBalance").asInteger(), -40);
  EXPECT_EQ(Call(sound_, "SoundGetEffectiveVolume").asInteger(), 0x100);

  rt.set(sound_, "SoundTreble", I(-3));
  rt.set(sound_, "SoundBass", I(5));
  EXPECT_EQ(rt.get(sound_, "SoundTreble").asInteger(), -3);
  EXPECT_EQ(rt.get(sound_, "SoundBass").asInteger(), 5);
  rt.set(sound_, "SoundBass", I(1000));  // outside the handler's range
  EXPECT_EQ(LastError(sound_), paramErr);

  StartLog();
  QTEngineHookInjectResult("MediaGetSoundBassAndTreble", badComponentInstance, 1);
  rt.set(sound_, "SoundTreble", I(7));
  EXPECT_EQ(LastError(sound_), badComponentInstance);
  EXPECT_TRUE(Logged("MediaSetSoundBassAndTreble").empty());
  EXPECT_EQ(rt.get(sound_, "SoundTreble").asInteger(), -3);

  rt.set(sound_, "SoundLevelMeteringEnabled", Value::boolean(true));
  EXPECT_TRUE(rt.get(sound_, "SoundLevelMeteringEnabled").asBoolean());
  std::vector<Value> meter{I(9), I(9), I(9)};
  rt.call(sound_, "SoundLevelMeterInfo", meter, {true, true, true});
  EXPECT_EQ(meter[0].asInteger(), 2);
  QTEngineHookInjectResult("MediaGetSoundLevelMeterInfo", badComponentInstance, 1);
  rt.call(sound_, "SoundLevelMeterInfo", meter, {true, true, true});
  EXPECT_EQ(meter[0].asInteger(), 0);
  EXPECT_EQ(LastError(sound_), badComponentInstance);

  const int64_t device = rt.get(sound_, "SoundOutputComponentHandle").asInteger();
  EXPECT_NE(device, 0);
  rt.set(sound_, "SoundOutputComponentHandle", I(0));
  EXPECT_EQ(rt.get(sound_, "SoundOutputComponentHandle").asInteger(), device);

  // A video handler has none of the sound selectors: its answer is kept unchanged.
  EXPECT_EQ(rt.get(video_, "SoundBalance").asInteger(), 0);
  EXPECT_EQ(LastError(video_), int32_t(badComponentSelector));
}

TEST_F(MediaHandlerTest, EqualizerBandsAndLevels) {
  LoadMovie();
  rt::Runtime& rt = runtime();
  StartLog();
  EXPECT_EQ(Call(sound_, "SoundSetDefaultEqualizerBands").asInteger(), 0);
  const std::vector<std::string> set = Logged("MediaSetSoundEqualizerBands");
  ASSERT_EQ(set.size(), 1u);
  EXPECT_NE(set[0].find("count=8, bands=[200,400,800,1600,3200,6400,12800,21000]"), std::string::npos) << set[0];

  // The handler writes a level for each of its eight bands; user code asked for three.
  Value levels = Call(sound_, "SoundGetEqualizerBandLevels", {I(3)});
  EXPECT_EQ(rt.bytes(levels), std::string(3, '\0'));
  EXPECT_EQ(LastError(sound_), 0);
  EXPECT_TRUE(Call(sound_, "SoundGetEqualizerBandLevels", {I(0)}).isNil());
  EXPECT_EQ(LastError(sound_), -1);

  // Frequencies in host byte order; this member never records errors.
  SetLastError(sound_, 33);
  const uint32_t hz[2] = {100u << 16, 5000u << 16};
  Value two = rt.newMemoryBlock(std::string(reinterpret_cast<const char*>(hz), sizeof hz));
  EXPECT_EQ(Call(sound_, "SoundSetEqualizerBands", {I(2), two}).asInteger(), 0);
  EXPECT_NE(Logged("MediaSetSoundEqualizerBands").back().find("bands=[100,5000]"), std::string::npos);
  EXPECT_EQ(Call(sound_, "SoundSetEqualizerBands", {I(0), two}).asInteger(), -1);
  // A block shorter than the count says is refused before the handler reads it.
  EXPECT_EQ(Call(sound_, "SoundSetEqualizerBands", {I(3), two}).asInteger(), paramErr);
  EXPECT_EQ(Logged("MediaSetSoundEqualizerBands").size(), 2u);
  EXPECT_EQ(LastError(sound_), 33);

  try {
    Call(sound_, "SoundSetEqualizerBands", {I(8), Value()});
    ADD_FAILURE() << "no exception";
  } catch (const rt::HostException& e) {
    EXPECT_EQ(e.className(), "NilObjectException");
    EXPECT_EQ(e.message(), "memoryblock is nil");
  }
}

// A host that cannot tell a block's size leaves the count to the handler, as
// the library always did; the check above is only made where it can be.
TEST_F(MediaHandlerTest, EqualizerBandsTrustTheCountWhereNoSizeIsKnown) {
  rt::Config config = QuickTimeHost();
  config.refusedEntries = {"memoryBlockGetSize"};
  LoadMovie(std::move(config));
  const uint32_t hz[2] = {100u << 16, 5000u << 16};
  Value two = runtime().newMemoryBlock(std::string(reinterpret_cast<const char*>(hz), sizeof hz));
  EXPECT_EQ(Call(sound_, "SoundSetEqualizerBands", {I(2), two}).asInteger(), 0);
}

TEST_F(MediaHandlerTest, GraphicsModeColoursWidenAndNarrow) {
  LoadMovie();
  rt::Runtime& rt = runtime();
  StartLog();
  Call(video_, "MediaSetGraphicsMode", {I(blend), Value::color(0xFF8000)});
  EXPECT_EQ(LastError(video_), 0);
  EXPECT_NE(Logged("MediaSetGraphicsMode")[0].find("opColor={red=65535,green=32896,blue=0}"), std::string::npos);

  const RGBColor odd{0x1234, 0xABCD, 0xFF00};
  MediaSetGraphicsMode(GetMediaHandler(GetTrackMedia(qtVideo_)), addPin, &odd);
  std::vector<Value> out{I(7), Value::color(0x123456)};
  rt.call(video_, "MediaGetGraphicsMode", out, {true, true});
  EXPECT_EQ(out[0].asInteger(), addPin);
  EXPECT_EQ(out[1].asColor(), 0x12ABFFu);

  Call(video_, "MediaSetGraphicsMode", {I(12345), Value::color(0)});
  EXPECT_EQ(LastError(video_), paramErr);
  rt.call(sound_, "MediaGetGraphicsMode", out, {true, true});
  EXPECT_EQ(out[0].asInteger(), 0);
  EXPECT_EQ(out[1].asColor(), 0u);
  EXPECT_EQ(LastError(sound_), int32_t(badComponentSelector));
}

TEST_F(MediaHandlerTest, DataReferencesAsFiles) {
  LoadMovie();
  rt::Runtime& rt = runtime();
  char path[] = "/tmp/pelorin-media-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);

  // The media's own reference names no file.
  EXPECT_TRUE(Call(video_, "File", {I(1)}).isNil());
  EXPECT_TRUE(Call(video_, "FileAlias", {I(1)}).isNil());

  // The index is 16-bit on its way to QuickTime.
  EXPECT_EQ(Call(video_, "SetFile", {I(65536 + 1), rt.newFolderItem(path)}).asInteger(), 0);
  Value file = Call(video_, "File", {I(1)});
  ASSERT_FALSE(file.isNil());
  EXPECT_EQ(Text(rt.get(file, "NativePath")), path);
  Handle alias = nullptr;
  OSType type = 0;
  GetMediaDataRef(GetTrackMedia(qtVideo_), 1, &alias, &type, nullptr);
  Value aliasText = Call(video_, "FileAlias", {I(1)});
  EXPECT_EQ(rt.bytes(aliasText), std::string(*alias, GetHandleSize(alias)));
  DisposeHandle(alias);

  EXPECT_EQ(Call(video_, "SetFile", {I(9), rt.newFolderItem(path)}).asInteger(), badDataRefIndex);
  unlink(path);
  EXPECT_EQ(Call(video_, "SetFile", {I(1), rt.newFolderItem(path)}).asInteger(), -1);

  // Only an alias names a file; another kind of reference gives nil.
  const char url[] = "http://example.invalid/a.mov";
  Handle ref = nullptr;
  PtrToHand(url, &ref, sizeof url);
  short index = 0;
  AddMediaDataRef(GetTrackMedia(qtVideo_), &index, ref, "url "_4cc);
  DisposeHandle(ref);
  EXPECT_TRUE(Call(video_, "FileAlias", {I(index)}).isNil());
  EXPECT_TRUE(Call(video_, "File", {I(index)}).isNil());
  EXPECT_EQ(Call(video_, "FileCount").asInteger(), 2);
}

}  // namespace
