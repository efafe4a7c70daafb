// The time code media handler: drop-frame arithmetic, wrap and sign rules, the text
// form, time codes at media and movie times, source names and display settings.
#include "engine_support.h"

#include <string>

using namespace enginetest;

namespace {

constexpr TimeCodeDef kDropFrame{tcDropFrame | tc24HourMax, 2997, 100, 30, 0};
constexpr TimeCodeDef kNonDrop{tc24HourMax, 2500, 100, 25, 0};

TimeCodeRecord record(UInt8 h, UInt8 m, UInt8 s, UInt8 f) {
  TimeCodeRecord r;
  r.t = {h, m, s, f};
  return r;
}

// Time code conversions need only a time code handler; the fixture's track also
// serves the time lookups: a 10 s video track and, beside it, a time code track
// whose one sample starts at frame `kStart` and lasts the movie.
class TimeCode : public ::testing::Test {
 protected:
  static constexpr SInt32 kStart = 107892;  // 01:00:00;00

  void SetUp() override {
    videoTrack(movie, 600, 10, 600);
    tcTrack = NewMovieTrack(movie, 0, 0, 0);
    media = NewTrackMedia(tcTrack, TimeCodeMediaType, 600, nullptr, 0);
    mh = GetMediaHandler(media);
    ASSERT_NE(mh, nullptr);
  }
  void TearDown() override { QTEngineHookReset(); }

  // A 'tmcd' description as a caller lays it out: 38 bytes, big-endian.
  HandleHolder newDescription(const TimeCodeDef& def) {
    HandleHolder h(38);
    auto b = description(TimeCodeMediaType, 22);
    put32(b, 20, uint32_t(def.flags));
    put32(b, 24, uint32_t(def.fTimeScale));
    put32(b, 28, uint32_t(def.frameDuration));
    b[32] = def.numFrames;
    std::memcpy(*h.h, b.data(), b.size());
    return h;
  }

  void addSample(Handle desc, SInt32 startFrame, TimeValue duration) {
    uint8_t bytes[4] = {uint8_t(startFrame >> 24), uint8_t(startFrame >> 16), uint8_t(startFrame >> 8),
                        uint8_t(startFrame)};
    HandleHolder sample(bytes, 4);
    ASSERT_EQ(BeginMediaEdits(media), noErr);
    ASSERT_EQ(AddMediaSample(media, sample, 0, 4, duration, reinterpret_cast<SampleDescriptionHandle>(desc), 1, 0,
                             nullptr),
              noErr);
    ASSERT_EQ(EndMediaEdits(media), noErr);
    ASSERT_EQ(InsertMediaIntoTrack(tcTrack, 0, 0, duration, fixed1), noErr);
  }

  std::string text(const TimeCodeDef& def, TimeCodeRecord r) {
    Str255 s = {0};
    if (TCTimeCodeToString(mh, const_cast<TimeCodeDef*>(&def), &r, s) != noErr) return "error";
    return std::string(reinterpret_cast<char*>(s + 1), s[0]);
  }
  std::string textOf(const TimeCodeDef& def, SInt32 frame) {
    TimeCodeRecord r{};
    if (TCFrameNumberToTimeCode(mh, frame, const_cast<TimeCodeDef*>(&def), &r) != noErr) return "error";
    return text(def, r);
  }
  ComponentResult frameOf(const TimeCodeDef& def, TimeCodeRecord r, SInt32& frame) {
    return TCTimeCodeToFrameNumber(mh, const_cast<TimeCodeDef*>(&def), &r, &frame);
  }

  MovieHolder movie{600};
  Track tcTrack = nullptr;
  Media media = nullptr;
  MediaHandler mh = nullptr;
};

TEST_F(TimeCode, DropFrameLabelsSkipTwoFramesEachMinuteButTheTenth) {
  const std::pair<SInt32, const char*> known[] = {
      {1799, "00:00:59;29"},  {1800, "00:01:00;02"},    {17981, "00:09:59;29"},
      {17982, "00:10:00;00"}, {107892, "01:00:00;00"}, {2589407, "23:59:59;29"}};
  for (auto [frame, label] : known) {
    EXPECT_EQ(textOf(kDropFrame, frame), label) << frame;
    TimeCodeRecord r{};
    ASSERT_EQ(TCFrameNumberToTimeCode(mh, frame, const_cast<TimeCodeDef*>(&kDropFrame), &r), noErr);
    SInt32 back = -1;
    EXPECT_EQ(frameOf(kDropFrame, r, back), noErr);
    EXPECT_EQ(back, frame);
  }
  // 59.94 drops four labels.
  const TimeCodeDef df60{tcDropFrame, 5994, 100, 60, 0};
  EXPECT_EQ(textOf(df60, 3600), "00:01:00;04");
  EXPECT_EQ(textOf(df60, 35964), "00:10:00;00");
  // Non-drop labels follow the frames one to one, with ':' before the frames.
  EXPECT_EQ(textOf(kNonDrop, 25 * 3600 + 25 * 61 + 3), "01:01:01:03");
}

TEST_F(TimeCode, SweepAcrossMinuteAndTenMinuteBoundariesRoundTrips) {
  for (const TimeCodeDef& def : {kDropFrame, kNonDrop}) {
    std::string previous;
    for (SInt32 frame = 0; frame < 40000; ++frame) {
      TimeCodeRecord r{};
      ASSERT_EQ(TCFrameNumberToTimeCode(mh, frame, const_cast<TimeCodeDef*>(&def), &r), noErr);
      SInt32 back = -1;
      ASSERT_EQ(frameOf(def, r, back), noErr) << frame;
      ASSERT_EQ(back, frame);
      if (def.flags & tcDropFrame && r.t.seconds == 0 && r.t.minutes % 10 != 0) {
        ASSERT_GE(r.t.frames, 2) << frame;
      }
      std::string label = text(def, r);
      ASSERT_GT(label, previous) << frame;  // zero-padded labels sort as they count
      previous = label;
    }
  }
}

TEST_F(TimeCode, WrapSignAndBadRecords) {
  SInt32 frame = 0;
  // A day wraps with the 24-hour flag and runs on without it.
  EXPECT_EQ(textOf(kDropFrame, 2589408), "00:00:00;00");
  TimeCodeDef open = kDropFrame;
  open.flags = tcDropFrame;
  EXPECT_EQ(textOf(open, 2589408), "24:00:00;00");
  EXPECT_EQ(textOf(open, 2589408 * 11), "error");  // past 255 hours

  // Negative frames: signed with tcNegTimesOK, wrapped into the day with only the
  // 24-hour flag, refused otherwise.
  TimeCodeDef negative = kDropFrame;
  negative.flags |= tcNegTimesOK;
  EXPECT_EQ(textOf(negative, -1800), "-00:01:00;02");
  EXPECT_EQ(frameOf(negative, record(0, 0x80 | 5, 0, 2), frame), noErr);
  EXPECT_EQ(frame, -(5 * 1800 + 2 - 2 * 5));
  EXPECT_EQ(textOf(kDropFrame, -1), "23:59:59;29");
  EXPECT_EQ(textOf(open, -1), "error");
  EXPECT_EQ(frameOf(kDropFrame, record(0, 0x85, 0, 0), frame), paramErr);

  frame = 1234;
  EXPECT_EQ(frameOf(kDropFrame, record(0, 1, 0, 0), frame), paramErr);  // a skipped label
  EXPECT_EQ(frameOf(kDropFrame, record(0, 0, 60, 0), frame), paramErr);
  EXPECT_EQ(frameOf(kDropFrame, record(0, 0, 0, 30), frame), paramErr);
  EXPECT_EQ(frameOf(kDropFrame, record(24, 0, 0, 0), frame), paramErr);
  EXPECT_EQ(frameOf(TimeCodeDef{}, record(0, 0, 0, 0), frame), paramErr);  // no frames per second
  EXPECT_EQ(frame, 1234);
  EXPECT_EQ(text(kDropFrame, record(0, 61, 0, 0)), "error");
}

TEST_F(TimeCode, CounterCountsTicksOfNumFrames) {
  const TimeCodeDef counter{tcCounter, 600, 20, 30, 0};
  TimeCodeRecord r{};
  ASSERT_EQ(TCFrameNumberToTimeCode(mh, 95, const_cast<TimeCodeDef*>(&counter), &r), noErr);
  EXPECT_EQ(r.c, 3);
  EXPECT_EQ(text(counter, r), "3");
  SInt32 frame = 0;
  EXPECT_EQ(frameOf(counter, r, frame), noErr);
  EXPECT_EQ(frame, 90);
  r.c = -2;
  EXPECT_EQ(frameOf(counter, r, frame), paramErr);
  TimeCodeDef signedCounter = counter;
  signedCounter.flags |= tcNegTimesOK;
  EXPECT_EQ(frameOf(signedCounter, r, frame), noErr);
  EXPECT_EQ(frame, -60);
  EXPECT_EQ(text(signedCounter, r), "-2");
}

TEST_F(TimeCode, TimeCodeAtMediaTimeAndAtTheMovieTime) {
  HandleHolder desc = newDescription(kDropFrame);
  addSample(desc, kStart, 6000);
  SInt32 frame = 0;
  TimeCodeDef def{};
  TimeCodeRecord r{};
  UserData source = reinterpret_cast<UserData>(1);
  ASSERT_EQ(TCGetTimeCodeAtTime(mh, 600, &frame, &def, &r, &source), noErr);
  EXPECT_EQ(frame, kStart + 29);  // 29.97 frames have begun after one second
  EXPECT_EQ(def.fTimeScale, 2997);
  EXPECT_EQ(def.flags, kDropFrame.flags);
  EXPECT_EQ(text(def, r), "01:00:00;29");
  EXPECT_EQ(source, nullptr);  // the description names no source
  EXPECT_EQ(TCGetTimeCodeAtTime(mh, 6000, &frame, nullptr, nullptr, nullptr), timeNotInMedia);

  // The movie's time reaches the media through the track's edits: one second of
  // empty time first puts the sample's start at movie time 600.
  ASSERT_EQ(InsertEmptyTrackSegment(tcTrack, 0, 600), noErr);
  SetMovieTimeValue(movie, 1200);
  ASSERT_EQ(TCGetCurrentTimeCode(mh, &frame, nullptr, &r, nullptr), noErr);
  EXPECT_EQ(frame, kStart + 29);
  SetMovieTimeValue(movie, GetMovieDuration(movie));
  ASSERT_EQ(TCGetCurrentTimeCode(mh, &frame, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(frame, kStart + 299);  // the end of the movie, ten seconds on
  SetMovieTimeValue(movie, 300);
  frame = -5;
  EXPECT_EQ(TCGetCurrentTimeCode(mh, &frame, nullptr, &r, nullptr), timeNotInTrack);
  EXPECT_EQ(frame, -5);
}

TEST_F(TimeCode, SourceNameTravelsInTheDescription) {
  HandleHolder desc = newDescription(kDropFrame);
  UserData name = nullptr;
  ASSERT_EQ(NewUserData(&name), noErr);
  HandleHolder reel("TAPE1", 5);
  ASSERT_EQ(AddUserDataText(name, reel, kUserDataName, 1, 0), noErr);
  ASSERT_EQ(TCSetSourceRef(mh, reinterpret_cast<TimeCodeDescriptionHandle>(desc.h), name), noErr);
  ASSERT_EQ(DisposeUserData(name), noErr);

  // Entry bytes: 34 of header and definition, then the 'name' item atom.
  auto bytes = desc.bytes();
  const uint8_t item[] = {0, 0, 0, 17, 'n', 'a', 'm', 'e', 0, 5, 0, 0, 'T', 'A', 'P', 'E', '1'};
  ASSERT_EQ(bytes.size(), 34 + sizeof item);
  EXPECT_EQ(bytes[3], 34 + sizeof item);
  EXPECT_TRUE(std::equal(std::begin(item), std::end(item), bytes.begin() + 34));

  addSample(desc, kStart, 600);
  auto nameOf = [](UserData ud) {
    HandleHolder h;
    EXPECT_EQ(GetUserDataText(ud, h, kUserDataName, 1, 0), noErr);
    EXPECT_EQ(DisposeUserData(ud), noErr);
    auto b = h.bytes();
    return std::string(b.begin(), b.end());
  };
  UserData got = nullptr;
  ASSERT_EQ(TCGetTimeCodeAtTime(mh, 0, nullptr, nullptr, nullptr, &got), noErr);
  EXPECT_EQ(nameOf(got), "TAPE1");
  ASSERT_EQ(TCGetCurrentTimeCode(mh, nullptr, nullptr, nullptr, &got), noErr);
  EXPECT_EQ(nameOf(got), "TAPE1");
  ASSERT_EQ(TCGetSourceRef(mh, reinterpret_cast<TimeCodeDescriptionHandle>(desc.h), &got), noErr);
  EXPECT_EQ(nameOf(got), "TAPE1");

  // Clearing the source leaves the plain 38-byte description.
  ASSERT_EQ(TCSetSourceRef(mh, reinterpret_cast<TimeCodeDescriptionHandle>(desc.h), nullptr), noErr);
  EXPECT_EQ(desc.size(), 38);
  ASSERT_EQ(TCGetSourceRef(mh, reinterpret_cast<TimeCodeDescriptionHandle>(desc.h), &got), noErr);
  EXPECT_EQ(got, nullptr);
  HandleHolder notTimeCode(imageDescription(8, 8).data(), 86);
  EXPECT_EQ(TCGetSourceRef(mh, reinterpret_cast<TimeCodeDescriptionHandle>(notTimeCode.h), &got),
            invalidSampleDescription);
}

TEST_F(TimeCode, FlagsAndDisplayOptionsAreLoggedAndKept) {
  QTEngineHookSetLogging(true);
  ASSERT_EQ(TCSetTimeCodeFlags(mh, tcdfShowTimeCode | 4, tcdfShowTimeCode), noErr);
  TCTextOptions options{4, 1, 18, 0, {0xFFFF, 0, 0}, {0, 0, 0x8080}};
  ASSERT_EQ(TCSetDisplayOptions(mh, &options), noErr);
  int serial = QTEngineHookObjectSerial(mh);
  EXPECT_EQ(std::string(QTEngineHookCallLogEntry(0)),
            "TCSetTimeCodeFlags(mh=" + std::to_string(serial) + ", flags=5, mask=1)");
  EXPECT_EQ(std::string(QTEngineHookCallLogEntry(1)),
            "TCSetDisplayOptions(mh=" + std::to_string(serial) +
                ", options={font=4,face=1,size=18,fore={red=65535,green=0,blue=0},back={red=0,green=0,blue=32896}})");

  SInt32 flags = -1;
  ASSERT_EQ(TCGetTimeCodeFlags(mh, &flags), noErr);
  EXPECT_EQ(flags, tcdfShowTimeCode);  // only the masked bit changed
  TCTextOptions back{};
  ASSERT_EQ(TCGetDisplayOptions(mh, &back), noErr);
  EXPECT_EQ(back.txFont, 4);
  EXPECT_EQ(back.txSize, 18);
  EXPECT_EQ(back.backColor.blue, 0x8080);
}

TEST_F(TimeCode, WrongHandlersAndInjectedResults) {
  Track video = GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType);
  MediaHandler videoHandler = GetMediaHandler(GetTrackMedia(video));
  SInt32 flags = 0;
  EXPECT_EQ(TCGetTimeCodeFlags(videoHandler, &flags), badComponentSelector);
  EXPECT_EQ(TCGetTimeCodeFlags(nullptr, &flags), badComponentInstance);
  EXPECT_EQ(TCGetTimeCodeFlags(mh, nullptr), paramErr);

  HandleHolder desc = newDescription(kDropFrame);
  addSample(desc, kStart, 600);
  QTEngineHookInjectResult("TCGetTimeCodeAtTime", timeNotInMedia, 1);
  SInt32 frame = 7;
  EXPECT_EQ(TCGetTimeCodeAtTime(mh, 0, &frame, nullptr, nullptr, nullptr), timeNotInMedia);
  EXPECT_EQ(frame, 7);
  EXPECT_EQ(TCGetTimeCodeAtTime(mh, 0, &frame, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(frame, kStart);
}

}  // namespace
