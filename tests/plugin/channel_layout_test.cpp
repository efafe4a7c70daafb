// AudioChannelLayout on sound tracks and AudioSummaryChannelLayoutZQK on movies,
// with the layout classes of the companion plugin loaded beside Pelorin: records
// and objects agree field for field, at most 64 descriptions cross, and nothing
// the host refuses to make is left half built.
#include "track_movies.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using rt::Value;

struct Channel {
  uint32_t label;
  uint32_t flags;
  float x, y, z;
};

// A layout record as QuickTime keeps it in memory.
std::vector<uint8_t> LayoutRecord(uint32_t tag, uint32_t bitmap, uint32_t count, const std::vector<Channel>& channels) {
  std::vector<uint8_t> bytes(12 + 20 * channels.size());
  const uint32_t header[3] = {tag, bitmap, count};
  std::memcpy(bytes.data(), header, sizeof header);
  for (size_t i = 0; i < channels.size(); ++i) std::memcpy(&bytes[12 + 20 * i], &channels[i], 20);
  return bytes;
}

class ChannelLayoutTest : public TrackTest {
 protected:
  // A host with QuickTime and both plugins, and a movie with a sound and a video track.
  void SetUpHost(rt::Config config = QuickTimeHost()) {
    Load(std::move(config));
    runtime().loadPlugin(rt::Runtime::companionPluginPath());
    movie_ = NewEngineMovie();
    sound_ = AddTrack(movie_, SoundMediaType, 0, 0);
    video_ = AddVideoTrack(movie_);
    movieObject_ = runtime().newMovie(movie_);
  }
  void TearDown() override {
    movieObject_ = Value();
    TrackTest::TearDown();
  }

  Value TrackObject(const char* member) { return runtime().call(movieObject_, member, {Value::integer(1)}); }

  Value NewChannel(const Channel& c) {
    Value d = runtime().newObject("QTAudioChannelDescriptionZQK");
    runtime().set(d, "ChannelLabel", Value::integer(c.label));
    runtime().set(d, "ChannelFlags", Value::integer(c.flags));
    runtime().set(d, "X", Value::real(c.x));
    runtime().set(d, "Y", Value::real(c.y));
    runtime().set(d, "Z", Value::real(c.z));
    return d;
  }
  Value NewLayout(uint32_t tag, uint32_t bitmap, const std::vector<Channel>& channels) {
    Value layout = runtime().newObject("QTAudioChannelLayoutZQK");
    runtime().set(layout, "LayoutTag", Value::integer(tag));
    runtime().set(layout, "ChannelBitmap", Value::integer(bitmap));
    for (const Channel& c : channels) runtime().call(layout, "AppendDescription", {NewChannel(c)});
    return layout;
  }
  Value Slot(const Value& layout, int i) { return runtime().call(layout, "Description", {Value::integer(i)}); }
  int64_t Int(const Value& object, const char* property) { return runtime().get(object, property).asInteger(); }

  // The track's layout property as the engine answers it; empty on an error.
  static std::vector<uint8_t> EngineLayout(Track track) {
    QTPropertyValueType type = 0;
    ByteCount size = 0;
    UInt32 flags = 0;
    if (QTGetTrackPropertyInfo(track, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, &type, &size,
                               &flags) != noErr)
      return {};
    std::vector<uint8_t> bytes(size);
    QTGetTrackProperty(track, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, size, bytes.data(), nullptr);
    return bytes;
  }
  static void SetEngineLayout(Track track, const std::vector<uint8_t>& record) {
    ASSERT_EQ(QTSetTrackProperty(track, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, record.size(),
                                 record.data()),
              noErr);
  }

  static std::vector<Channel> Channels(int n) {
    std::vector<Channel> channels;
    for (int i = 0; i < n; ++i)
      channels.push_back({static_cast<uint32_t>(i + 1), kAudioChannelFlags_Meters, 0.5f * i, -1.0f, 2.0f + i});
    return channels;
  }

  Movie movie_ = nullptr;
  Track sound_ = nullptr;
  Track video_ = nullptr;
  Value movieObject_;
};

TEST_F(ChannelLayoutTest, FiveOneCrossesBothWaysFieldForField) {
  SetUpHost();
  Value track = TrackObject("GetSoundTrackZQK");
  std::vector<Channel> channels = Channels(6);
  channels[2] = {kAudioChannelLabel_Center, kAudioChannelFlags_RectangularCoordinates, 0.1f, -2.5f, 1000.0f};
  {
    // 0.1 set as a double is kept as the float nearest to it.
    Value layout = NewLayout(kAudioChannelLayoutTag_MPEG_5_1_A, 0x3F, channels);
    Value centre = Slot(layout, 2);
    runtime().set(centre, "X", Value::real(0.1));
    runtime().set(track, "AudioChannelLayout", layout);
    EXPECT_EQ(LastError(track), noErr);
  }
  EXPECT_EQ(EngineLayout(sound_), LayoutRecord(kAudioChannelLayoutTag_MPEG_5_1_A, 0x3F, 6, channels));

  Value layout = runtime().get(track, "AudioChannelLayout");
  ASSERT_FALSE(layout.isNil());
  EXPECT_EQ(LastError(track), noErr);
  EXPECT_EQ(runtime().locks(layout), 1);
  EXPECT_EQ(Int(layout, "LayoutTag"), kAudioChannelLayoutTag_MPEG_5_1_A);
  EXPECT_EQ(Int(layout, "ChannelBitmap"), 0x3F);
  EXPECT_EQ(Int(layout, "NumberChannelDescriptions"), 6);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    Value d = Slot(layout, i);
    ASSERT_FALSE(d.isNil());
    EXPECT_EQ(runtime().locks(d), 2) << "the slot's reference and ours";
    EXPECT_EQ(Int(d, "ChannelLabel"), channels[i].label);
    EXPECT_EQ(Int(d, "ChannelFlags"), channels[i].flags);
    EXPECT_EQ(runtime().get(d, "X").asDouble(), static_cast<double>(channels[i].x));
    EXPECT_EQ(runtime().get(d, "Y").asDouble(), static_cast<double>(channels[i].y));
    EXPECT_EQ(runtime().get(d, "Z").asDouble(), static_cast<double>(channels[i].z));
  }
  EXPECT_EQ(runtime().get(Slot(layout, 2), "X").asDouble(), static_cast<double>(0.1f));
  EXPECT_TRUE(Slot(layout, 6).isNil());
}

// Counts beyond the 64 slots, of none, below zero, and slots left nil.
TEST_F(ChannelLayoutTest, DescriptionCountsAtTheirLimits) {
  SetUpHost();
  Value track = TrackObject("GetSoundTrackZQK");
  {
    // 70 in the record: the count says so, 64 objects are made.
    SetEngineLayout(sound_, LayoutRecord(kAudioChannelLayoutTag_UseChannelDescriptions, 0, 70, Channels(70)));
    const long before = runtime().accounting().liveObjects;
    Value layout = runtime().get(track, "AudioChannelLayout");
    ASSERT_FALSE(layout.isNil());
    EXPECT_EQ(runtime().accounting().liveObjects - before, 1 + 64);
    EXPECT_EQ(Int(layout, "NumberChannelDescriptions"), 70);
    EXPECT_EQ(Int(Slot(layout, 63), "ChannelLabel"), 64);

    // Set back, it carries the 64 it holds.
    runtime().set(track, "AudioChannelLayout", layout);
    EXPECT_EQ(LastError(track), noErr);
    const std::vector<uint8_t> written = EngineLayout(sound_);
    EXPECT_EQ(written.size(), 1292u);
    EXPECT_EQ(written, LayoutRecord(kAudioChannelLayoutTag_UseChannelDescriptions, 0, 64, Channels(64)));
  }
  {
    // A nil slot is written as zeros; slots past the count are not written.
    Value layout = NewLayout(kAudioChannelLayoutTag_UseChannelDescriptions, 0, Channels(5));
    runtime().call(layout, "SetDescription", {Value::integer(2), Value()});
    runtime().set(layout, "NumberChannelDescriptions", Value::integer(4));
    runtime().set(track, "AudioChannelLayout", layout);
    std::vector<Channel> expected = Channels(4);
    expected[2] = {};
    EXPECT_EQ(EngineLayout(sound_), LayoutRecord(kAudioChannelLayoutTag_UseChannelDescriptions, 0, 4, expected));
  }
  for (int count : {0, -5}) {
    SCOPED_TRACE(count);
    Value layout = NewLayout(kAudioChannelLayoutTag_Stereo, 3, Channels(2));
    runtime().set(layout, "NumberChannelDescriptions", Value::integer(count));
    runtime().set(track, "AudioChannelLayout", layout);
    EXPECT_EQ(LastError(track), noErr);
    EXPECT_EQ(EngineLayout(sound_), LayoutRecord(kAudioChannelLayoutTag_Stereo, 3, 0, {}));

    Value back = runtime().get(track, "AudioChannelLayout");
    ASSERT_FALSE(back.isNil());
    EXPECT_EQ(Int(back, "NumberChannelDescriptions"), 0);
    for (int i = 0; i < 64; ++i) EXPECT_TRUE(Slot(back, i).isNil()) << i;
  }
}

TEST_F(ChannelLayoutTest, FailuresLeaveNothingBehind) {
  SetUpHost();
  // No track.
  Value empty = runtime().newObject("QTTrackZQK");
  EXPECT_TRUE(runtime().get(empty, "AudioChannelLayout").isNil());
  EXPECT_EQ(LastError(empty), -1);
  runtime().set(empty, "Lasterror", Value::integer(7));
  runtime().set(empty, "AudioChannelLayout", NewLayout(kAudioChannelLayoutTag_Mono, 0, {}));
  EXPECT_EQ(LastError(empty), -1);

  // A track that has no layout property: QuickTime's code, nothing made.
  Value video = TrackObject("GetVideoTrackZQK");
  EXPECT_TRUE(runtime().get(video, "AudioChannelLayout").isNil());
  EXPECT_EQ(LastError(video), kQTPropertyNotSupportedErr);
  runtime().set(video, "AudioChannelLayout", NewLayout(kAudioChannelLayoutTag_Mono, 0, {}));
  EXPECT_EQ(LastError(video), kQTPropertyNotSupportedErr);

  // A nil layout changes nothing.
  Value sound = TrackObject("GetSoundTrackZQK");
  SetEngineLayout(sound_, LayoutRecord(kAudioChannelLayoutTag_Stereo, 0, 0, {}));
  runtime().set(sound, "AudioChannelLayout", Value());
  EXPECT_EQ(LastError(sound), -1);
  EXPECT_EQ(EngineLayout(sound_), LayoutRecord(kAudioChannelLayoutTag_Stereo, 0, 0, {}));

  // Objects the host will not make: no layout at all, or a layout with empty slots.
  SetEngineLayout(sound_, LayoutRecord(kAudioChannelLayoutTag_UseChannelDescriptions, 0, 3, Channels(3)));
  runtime().config().refusedInstanceClasses = {"QTAudioChannelLayoutZQK"};
  EXPECT_TRUE(runtime().get(sound, "AudioChannelLayout").isNil());
  EXPECT_EQ(LastError(sound), noErr);
  runtime().config().refusedInstanceClasses = {"QTAudioChannelDescriptionZQK"};
  Value layout = runtime().get(sound, "AudioChannelLayout");
  ASSERT_FALSE(layout.isNil());
  EXPECT_EQ(Int(layout, "NumberChannelDescriptions"), 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Slot(layout, i).isNil());
}

TEST_F(ChannelLayoutTest, MovieSummaryIsTheEnginesAndGated) {
  SetUpHost();
  const std::vector<Channel> channels = Channels(6);
  SetEngineLayout(sound_, LayoutRecord(kAudioChannelLayoutTag_MPEG_5_1_A, 0, 6, channels));
  {
    Value summary = runtime().call(movieObject_, "AudioSummaryChannelLayoutZQK");
    ASSERT_FALSE(summary.isNil());
    EXPECT_EQ(runtime().locks(summary), 1);
    EXPECT_EQ(Int(summary, "LayoutTag"), kAudioChannelLayoutTag_MPEG_5_1_A);
    EXPECT_EQ(Int(summary, "NumberChannelDescriptions"), 6);
    EXPECT_EQ(runtime().get(Slot(summary, 5), "Z").asDouble(), 7.0);
  }

  // Without sound, the movie has no summary.
  DisposeMovieTrack(sound_);
  EXPECT_TRUE(runtime().call(movieObject_, "AudioSummaryChannelLayoutZQK").isNil());
  EXPECT_TRUE(runtime().call(runtime().newMovie(nullptr), "AudioSummaryChannelLayoutZQK").isNil());

  // Hosts without QuickTime refuse and ask the engine nothing.
  movieObject_ = Value();
  rt::Config withoutQuickTime;
  withoutQuickTime.hostVersion = 2014.0;
  Load(withoutQuickTime);
  runtime().loadPlugin(rt::Runtime::companionPluginPath());
  Value gated = runtime().newMovie(movie_);
  StartLog();
  try {
    runtime().call(gated, "AudioSummaryChannelLayoutZQK");
    ADD_FAILURE() << "no exception";
  } catch (const rt::HostException& e) {
    EXPECT_EQ(e.className(), "UnsupportedOperationException");
    EXPECT_EQ(e.message(), "QuickTime not available in Xojo 2014.");
  }
  EXPECT_TRUE(Logged("QTGetMoviePropertyInfo").empty());
}

}  // namespace
