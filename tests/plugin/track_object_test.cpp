// QTTrackZQK as user code sees it, on tracks of engine movies.
#include "track_movies.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using rt::Value;

Value I(int64_t v) { return Value::integer(v); }

class TrackObjectTest : public TrackTest {
 protected:
  // A movie with one 320 × 240 video track, and that track as user code gets it.
  void LoadWithVideo(rt::Config config = QuickTimeHost()) {
    Load(std::move(config));
    qtMovie_ = NewEngineMovie();
    qtTrack_ = AddVideoTrack(qtMovie_);
    movie_ = runtime().newMovie(qtMovie_);
    track_ = runtime().call(movie_, "GetTrackIndexZQK", {I(1)});
    ASSERT_FALSE(track_.isNil());
  }
  Value Get(const char* member) { return runtime().get(track_, member); }
  // The values go before the runtime checks what is left.
  void TearDown() override {
    track_ = movie_ = Value();
    TrackTest::TearDown();
  }

  Movie qtMovie_ = nullptr;
  Track qtTrack_ = nullptr;
  Value movie_, track_;
};

// The object holds its movie locked for as long as it lives, and a chapter
// track is a track with the same block.
TEST_F(TrackObjectTest, ObjectsHoldTheirMovieAndRegisterInPlace) {
  LoadWithVideo();
  rt::Runtime& rt = runtime();
  const long alone = rt.locks(movie_) - 1;
  EXPECT_EQ(rt.get(track_, "Movie").asObject(), movie_.asObject());
  EXPECT_EQ(rt.get(track_, "TrackHandle").asInteger(), reinterpret_cast<intptr_t>(qtTrack_));
  EXPECT_EQ(LastError(track_), 0);
  track_ = Value();
  EXPECT_EQ(rt.locks(movie_), alone);

  std::vector<std::string> order;
  for (const rt::Registration& r : rt.registrations()) order.push_back(r.name);
  auto at = [&](const char* name) { return std::find(order.begin(), order.end(), name) - order.begin(); };
  EXPECT_EQ(at("QTTrackZQK") + 1, at("QTChapterTrackZQK"));
  EXPECT_LT(at("QTTextSampleDescriptionZQK"), at("QTTrackZQK"));
  EXPECT_LT(at("QTChapterTrackZQK"), at("QTTimeCodeZQK"));

  Value chapter = rt.newObject("QTChapterTrackZQK");
  EXPECT_TRUE(rt.isA(chapter, "QTTrackZQK"));
  rt.set(chapter, "Movie", movie_);  // the destructor releases what the field holds
  EXPECT_EQ(rt.call(chapter, "Duration").asInteger(), 0);
  // Width and Height have no setter.
  EXPECT_THROW(rt.set(chapter, "Width", I(5)), rt::UsageError);
}

// Without a track every member takes its neutral path. The rule for Lasterror:
// untouched where nothing is recorded, -1 where the call was skipped, QuickTime's
// code where the null track was passed on (and the volume getter's success).
TEST_F(TrackObjectTest, NewTrackAnswersNeutralValues) {
  rt::Runtime& rt = Load(QuickTimeHost());
  Value t = rt.newObject("QTTrackZQK");
  constexpr int64_t kUntouched = 7, kSkipped = -1;
  enum How { Get, Set, Call };
  struct Row {
    How how;
    const char* member;
    std::vector<Value> args;
    int64_t lastError;
    std::optional<int64_t> answer;
  };
  std::vector<Row> rows;
  for (const char* name : {"Duration", "TimeOffset", "Layer", "TrackCreationTime", "TrackModificationTime", "Width",
                           "Height", "MediaHandle", "MediaHandlerHandle", "TrackID"})
    rows.push_back({Get, name, {}, kUntouched, 0});
  for (const char* name : {"GenerateTrackApertureModeDimensions", "RemoveTrackApertureModeDimensions",
                           "SetTrackApertureModeDimensionsUsingSampleDescription"})
    rows.push_back({Call, name, {}, kUntouched, -1});
  rows.insert(rows.end(), {
      {Get, "TrackVolume", {}, 0, 0},
      {Set, "TimeOffset", {I(5)}, kUntouched, {}},
      {Set, "Layer", {I(5)}, kUntouched, {}},
      {Set, "TrackEnabled", {Value::boolean(true)}, kUntouched, {}},
      {Call, "SetTrackDimensions", {Value::real(2), Value::real(2)}, kUntouched, {}},
      {Set, "TrackVolume", {I(256)}, kSkipped, {}},
      {Call, "SetTrackMatrix", std::vector<Value>(4, I(1)), kSkipped, {}},
      {Call, "SetTrackRawMatrix", std::vector<Value>(9, I(1)), kSkipped, {}},
      {Call, "InsertTrackSegment", {Value(), I(0), I(10), I(0)}, kSkipped, {}},
      {Call, "ScaleTrackSegment", {I(0), I(10), I(20)}, invalidTrack, {}},
      {Call, "DeleteTrackReference", {rt.string("chap"), I(1)}, invalidTrack, {}},
  });
  for (const Row& row : rows) {
    SCOPED_TRACE(row.member);
    rt.set(t, "Lasterror", I(kUntouched));
    Value answer = row.how == Get ? rt.get(t, row.member)
                   : row.how == Set ? (rt.set(t, row.member, row.args[0]), Value())
                                    : rt.call(t, row.member, row.args);
    if (row.answer) EXPECT_EQ(answer.asInteger(), *row.answer);
    EXPECT_EQ(LastError(t), row.lastError);
  }
  EXPECT_FALSE(rt.get(t, "TrackEnabled").asBoolean());
  EXPECT_TRUE(rt.get(t, "Movie").isNil());
  EXPECT_TRUE(rt.call(t, "AddClonedTrackToMovie", {rt.newMovie(), I(1)}).isNil());
  EXPECT_EQ(LastError(t), kSkipped);

  // By-reference answers are left as they came, or zeroed where the call fills them.
  rt.set(t, "Lasterror", I(kUntouched));
  std::vector<Value> time{I(5), I(7)};
  EXPECT_FALSE(rt.call(t, "NextInterestingTimeZQK", time, {true, true}).asBoolean());
  EXPECT_EQ(time[0].asInteger(), 5);
  EXPECT_EQ(time[1].asInteger(), 7);
  EXPECT_EQ(LastError(t), kSkipped);
  std::vector<Value> m(9, I(9));
  rt.call(t, "GetTrackRawMatrix", m, std::vector<bool>(9, true));
  for (const Value& v : m) EXPECT_EQ(v.asInteger(), 0);
}

// 16-bit values wrap and sign-extend; creation times come back as QuickTime
// keeps them; the media handles are the engine's own.
TEST_F(TrackObjectTest, PlainPropertiesKeepQuickTimesWidths) {
  LoadWithVideo();
  rt::Runtime& rt = runtime();
  rt.set(track_, "Lasterror", I(42));  // none of these records anything
  EXPECT_EQ(rt.call(track_, "Duration").asInteger(), 400);
  EXPECT_EQ(rt.call(track_, "TrackID").asInteger(), GetTrackID(qtTrack_));
  EXPECT_EQ(rt.call(track_, "TrackCreationTime").asInteger(), static_cast<int32_t>(GetTrackCreationTime(qtTrack_)));
  rt.set(track_, "Layer", I(70000));  // 0x11170
  EXPECT_EQ(GetTrackLayer(qtTrack_), 4464);
  rt.set(track_, "Layer", I(-2));
  EXPECT_EQ(Get("Layer").asInteger(), -2);
  rt.set(track_, "TimeOffset", I(30));
  EXPECT_EQ(Get("TimeOffset").asInteger(), 30);
  rt.set(track_, "TrackEnabled", Value::boolean(false));
  EXPECT_FALSE(Get("TrackEnabled").asBoolean());
  EXPECT_EQ(GetTrackEnabled(qtTrack_), 0);
  Media media = GetTrackMedia(qtTrack_);
  EXPECT_EQ(Get("MediaHandle").asInteger(), reinterpret_cast<intptr_t>(media));
  EXPECT_EQ(Get("MediaHandlerHandle").asInteger(), reinterpret_cast<intptr_t>(GetMediaHandler(media)));
  EXPECT_EQ(LastError(track_), 42);

  rt.set(track_, "TrackVolume", I(0x1FFFF));
  EXPECT_EQ(LastError(track_), 0);
  EXPECT_EQ(Get("TrackVolume").asInteger(), -1);
}

// Dimensions go in as 16.16 truncated toward zero and come out as the integer
// part rounded toward minus infinity.
TEST_F(TrackObjectTest, DimensionsAreFixedPoint) {
  LoadWithVideo();
  rt::Runtime& rt = runtime();
  StartLog();
  rt.call(track_, "SetTrackDimensions", {Value::real(1.5), Value::real(-0.5)});
  Fixed w = 0, h = 0;
  GetTrackDimensions(qtTrack_, &w, &h);
  EXPECT_EQ(w, 98304);
  EXPECT_EQ(h, -32768);
  EXPECT_EQ(Get("Width").asInteger(), 1);
  EXPECT_EQ(Get("Height").asInteger(), -1);

  rt.call(track_, "SetTrackDimensions", {Value::real(320.75), Value::real(1.0 / 131072)});
  GetTrackDimensions(qtTrack_, &w, &h);
  EXPECT_EQ(w, 320 * 65536 + 49152);
  EXPECT_EQ(h, 0);  // half of the smallest step truncates away
  EXPECT_EQ(Get("Width").asInteger(), 320);

  // A width the 16.16 range cannot hold, or no number at all, goes in as 0x80000000.
  rt.call(track_, "SetTrackDimensions", {Value::real(40000.0), Value::real(std::nan(""))});
  ASSERT_EQ(Logged("SetTrackDimensions").size(), 3u);
  EXPECT_NE(Logged("SetTrackDimensions")[2].find("width=-32768, height=-32768"), std::string::npos)
      << Logged("SetTrackDimensions")[2];
}

// Segment edits record QuickTime's result: 0, its refusal, or what it was made
// to answer.
TEST_F(TrackObjectTest, SegmentEditsRecordQuickTimesResult) {
  LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value second = rt.call(movie_, "GetTrackIndexZQK", {I(1)});
  Track other = AddVideoTrack(qtMovie_);
  Value dest = rt.call(movie_, "GetTrackIndexZQK", {I(2)});

  rt.call(track_, "InsertTrackSegment", {dest, I(0), I(100), I(400)});
  EXPECT_EQ(LastError(track_), 0);
  EXPECT_EQ(GetTrackDuration(other), 500);
  rt.call(dest, "DeleteTrackSegment", {I(0), I(50)});
  EXPECT_EQ(LastError(dest), 0);
  EXPECT_EQ(GetTrackDuration(other), 450);
  rt.call(track_, "InsertEmptyTrackSegment", {I(0), I(100)});
  rt.call(track_, "ScaleTrackSegment", {I(0), I(500), I(1000)});
  EXPECT_EQ(LastError(track_), 0);
  EXPECT_EQ(rt.call(second, "Duration").asInteger(), 1000);  // same track, other object

  rt.call(track_, "DeleteTrackSegment", {I(0), I(-5)});
  EXPECT_EQ(LastError(track_), invalidDuration);
  QTEngineHookInjectResult("ScaleTrackSegment", -2011, 1);
  rt.call(track_, "ScaleTrackSegment", {I(0), I(10), I(20)});
  EXPECT_EQ(LastError(track_), -2011);  // sign-extended from 16 bits

  // A reference added by QuickTime, removed by type and index.
  SInt32 added = 0;
  ASSERT_EQ(AddTrackReference(qtTrack_, other, "chap"_4cc, &added), noErr);
  rt.call(track_, "DeleteTrackReference", {rt.string("chap"), I(2)});
  EXPECT_NE(LastError(track_), 0);
  rt.call(track_, "DeleteTrackReference", {rt.string("chap"), I(added)});
  EXPECT_EQ(LastError(track_), 0);
  EXPECT_EQ(GetTrackReferenceCount(qtTrack_, "chap"_4cc), 0);
}

// From time 0 or later the sample at that time counts (flags 16385), from a
// negative time it does not (1); with a rate, only time 0 lets it count.
TEST_F(TrackObjectTest, NextInterestingTimeFlagsAndRate) {
  LoadWithVideo();
  rt::Runtime& rt = runtime();
  StartLog();
  auto ask = [&](int64_t t, std::optional<double> rate) {
    std::vector<Value> args{I(t), I(0)};
    std::vector<bool> byref{true, true};
    if (rate) {
      args.push_back(Value::real(*rate));
      byref.push_back(false);
    }
    EXPECT_TRUE(rt.call(track_, "NextInterestingTimeZQK", args, byref).asBoolean());
    return std::make_pair(args[0].asInteger(), args[1].asInteger());
  };
  EXPECT_EQ(ask(5, std::nullopt), std::make_pair(int64_t{100}, int64_t{100}));
  ask(5, 1.0);
  ask(0, std::nullopt);
  EXPECT_EQ(ask(0, 2.0), std::make_pair(int64_t{0}, int64_t{100}));
  ask(-1, std::nullopt);
  ask(-1, 0.5);
  const std::vector<std::string> calls = Logged("GetTrackNextInterestingTime");
  ASSERT_EQ(calls.size(), 6u);
  const char* expected[] = {"flags=16385, time=5, rate=1)", "flags=1, time=5, rate=1)",
                            "flags=16385, time=0, rate=1)", "flags=16385, time=0, rate=2)",
                            "flags=1, time=-1, rate=1)",    "flags=1, time=-1, rate=0.5)"};
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_NE(calls[i].find(expected[i]), std::string::npos) << calls[i];
  EXPECT_EQ(LastError(track_), 0);

  // QuickTime's error is recorded, yet the member answers true.
  QTEngineHookInjectResult("GetTrackNextInterestingTime", -2011, 1);
  ask(5, std::nullopt);
  EXPECT_EQ(LastError(track_), -2011);
}

// The clone lives in the destination movie and its object holds that movie.
TEST_F(TrackObjectTest, AddClonedTrackToMovieIntoASecondMovie) {
  LoadWithVideo();
  rt::Runtime& rt = runtime();
  Value other = rt.newMovie(NewEngineMovie());
  StartLog();
  Value clone = rt.call(track_, "AddClonedTrackToMovie", {other, I(kQTCloneShareSamples)});
  ASSERT_FALSE(clone.isNil());
  EXPECT_EQ(rt.className(clone), "QTTrackZQK");
  EXPECT_EQ(rt.get(clone, "Movie").asObject(), other.asObject());
  EXPECT_EQ(rt.call(clone, "Duration").asInteger(), 400);
  EXPECT_EQ(rt.call(other, "TrackCountZQK").asInteger(), 1);
  EXPECT_EQ(LastError(track_), 0);
  ASSERT_EQ(Logged("AddClonedTrackToMovie").size(), 1u);
  EXPECT_NE(Logged("AddClonedTrackToMovie")[0].find("flags=1)"), std::string::npos);

  // QuickTime refuses a clone that would not share samples.
  EXPECT_TRUE(rt.call(track_, "AddClonedTrackToMovie", {other, I(0)}).isNil());
  EXPECT_EQ(LastError(track_), paramErr);
  EXPECT_TRUE(rt.call(track_, "AddClonedTrackToMovie", {Value(), I(1)}).isNil());
  EXPECT_EQ(LastError(track_), -1);
  EXPECT_EQ(Logged("AddClonedTrackToMovie").size(), 2u);
}

// Raw matrices pass unconverted both ways; the mapped form scales the track's
// own rectangle onto the one asked for, with 16-bit edges.
TEST_F(TrackObjectTest, MatricesRawAndMapped) {
  LoadWithVideo();
  rt::Runtime& rt = runtime();
  const std::vector<int64_t> raw{65536, -3, 7, 12, 2 * 65536, -0x40000000, -100 << 16, 50 << 16, 0x40000000};
  std::vector<Value> in;
  for (int64_t v : raw) in.push_back(I(v));
  rt.call(track_, "SetTrackRawMatrix", in);
  EXPECT_EQ(LastError(track_), 0);
  MatrixRecord m;
  GetTrackMatrix(qtTrack_, &m);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(m.matrix[i / 3][i % 3], raw[i]) << i;
  std::vector<Value> out(9, I(0));
  rt.call(track_, "GetTrackRawMatrix", out, std::vector<bool>(9, true));
  for (int i = 0; i < 9; ++i) EXPECT_EQ(out[i].asInteger(), raw[i]) << i;

  rt.call(track_, "SetTrackMatrix", {I(10), I(20), I(160), I(480)});
  GetTrackMatrix(qtTrack_, &m);
  EXPECT_EQ(m.matrix[0][0], 32768);    // 320 → 160
  EXPECT_EQ(m.matrix[1][1], 2 << 16);  // 240 → 480
  EXPECT_EQ(m.matrix[2][0], 10 << 16);
  EXPECT_EQ(m.matrix[2][1], 20 << 16);
  EXPECT_EQ(LastError(track_), 0);

  StartLog();
  rt.call(track_, "SetTrackMatrix", {I(0), I(0), I(40000), I(10)});
  ASSERT_EQ(Logged("QuadToQuadMatrix").size(), 1u);
  EXPECT_NE(Logged("QuadToQuadMatrix")[0].find("dest=[0,0; -25536,0; -25536,10; 0,10]"), std::string::npos)
      << Logged("QuadToQuadMatrix")[0];

  // A track without area cannot be mapped: it is only moved.
  rt.call(track_, "SetTrackDimensions", {Value::real(0), Value::real(240)});
  rt.call(track_, "SetTrackMatrix", {I(-7), I(9), I(100), I(100)});
  GetTrackMatrix(qtTrack_, &m);
  const Fixed moved[9] = {65536, 0, 0, 0, 65536, 0, -7 << 16, 9 << 16, 0x40000000};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(m.matrix[i / 3][i % 3], moved[i]) << i;
}

// Cloning and the aperture members need QuickTime: on newer hosts they raise
// and answer nil or 0 (not the -1 of a missing track).
TEST_F(TrackObjectTest, CloningAndAperturesAreGatedOnNewerHosts) {
  rt::Config config;
  config.hostVersion = 2014.0;
  rt::Runtime& rt = Load(std::move(config));
  Value t = rt.newObject("QTTrackZQK");
  auto expectGate = [&](const std::optional<rt::HostException>& e) {
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->className(), "UnsupportedOperationException");
    EXPECT_EQ(e->message(), "QuickTime not available in Xojo 2014.");
  };
  std::optional<rt::HostException> raised;
  try {
    rt.call(t, "AddClonedTrackToMovie", {rt.newMovie(), I(1)});
  } catch (const rt::HostException& e) {
    raised = e;
  }
  expectGate(raised);
  EXPECT_EQ(LastError(t), -1);

  auto clone = Registered<REALobject (*)(REALobject, REALmovie, RBInteger)>("QTTrackZQK", "AddClonedTrackToMovie");
  Value movie = rt.newMovie();
  EXPECT_EQ(clone(t.asObject(), movie.asObject(), 1), nullptr);
  expectGate(rt.takeException());
  for (const char* name : {"GenerateTrackApertureModeDimensions", "RemoveTrackApertureModeDimensions",
                           "SetTrackApertureModeDimensionsUsingSampleDescription"}) {
    auto member = Registered<RBInteger (*)(REALobject)>("QTTrackZQK", name);
    EXPECT_EQ(member(t.asObject()), 0) << name;
    expectGate(rt.takeException());
  }
}

}  // namespace
