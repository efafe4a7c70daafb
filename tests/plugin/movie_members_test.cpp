// The members added to `movie`, as user code calls them on engine movies.
#include "track_movies.h"

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using rt::Value;

Value I(int64_t v) { return Value::integer(v); }

class MovieMembersTest : public TrackTest {
 protected:
  // Two 320 × 240 video tracks (the second disabled), a sound and a text track.
  Value LoadWithTracks(rt::Config config = QuickTimeHost()) {
    Load(std::move(config));
    qtMovie_ = NewEngineMovie();
    AddVideoTrack(qtMovie_);
    SetTrackEnabled(AddVideoTrack(qtMovie_), false);
    AddTrack(qtMovie_, SoundMediaType, 0, 0);
    AddTrack(qtMovie_, TextMediaType, 160 << 16, 40 << 16);
    return runtime().newMovie(qtMovie_);
  }
  Track HandleOf(const Value& track) {
    return reinterpret_cast<Track>(runtime().get(track, "TrackHandle").asInteger());
  }
  std::string Text(const Value& s) { return s.isNil() ? "(nil)" : runtime().utf8(s); }

  Movie qtMovie_ = nullptr;
};

// Every member: on newer hosts it raises before QuickTime is asked anything and
// answers 0, false, 0.0 or nil. Both registration routes carry the gate: hosts
// up to 3000.0 get module methods, later ones the class extension.
TEST_F(MovieMembersTest, EveryMemberIsGatedOnNewerHosts) {
  for (double version : {2014.0, 3000.0}) {
    SCOPED_TRACE(version);
    rt::Config config;
    config.hostVersion = version;
    Value movie = LoadWithTracks(std::move(config));
    rt::Runtime& rt = runtime();
    StartLog();
    auto gated = [&](const char* what) {
      std::optional<rt::HostException> e = rt.takeException();
      ASSERT_TRUE(e.has_value()) << what;
      EXPECT_EQ(e->className(), "UnsupportedOperationException") << what;
      EXPECT_EQ(e->message(), "QuickTime not available in Xojo 2014.") << what;
    };
    REALobject m = movie.asObject();
    Value mode = rt.string("clea");

    for (const char* name : {"TrackCountZQK", "GenerateMovieApertureModeDimensionsZQK",
                             "RemoveMovieApertureModeDimensionsZQK"}) {
      EXPECT_EQ(Registered<RBInteger (*)(REALmovie)>("movie", name)(m), 0) << name;
      gated(name);
    }
    for (const char* name : {"GetTrackIndexZQK", "GetTrackIDZQK"}) {
      EXPECT_EQ(Registered<REALobject (*)(REALmovie, RBInteger)>("movie", name)(m, 1), nullptr) << name;
      gated(name);
    }
    for (const char* name : {"GetTextTrackZQK", "GetVideoTrackZQK", "GetSoundTrackZQK"}) {
      EXPECT_EQ(Registered<REALobject (*)(REALmovie, RBInteger, bool)>("movie", name)(m, 1, false), nullptr) << name;
      gated(name);
    }
    EXPECT_FALSE(Registered<bool (*)(REALmovie)>("movie", "RateChangesPreservePitchZQK")(m));
    gated("RateChangesPreservePitchZQK");
    Registered<void (*)(REALmovie, bool)>("movie", "RateChangesPreservePitchZQK", true)(m, true);
    gated("RateChangesPreservePitchZQK =");
    EXPECT_EQ(Registered<double (*)(REALmovie)>("movie", "PitchZQK")(m), 0.0);
    gated("PitchZQK");
    Registered<void (*)(REALmovie, double)>("movie", "PitchZQK", true)(m, 2.0);
    gated("PitchZQK =");
    EXPECT_EQ(Registered<RBInteger (*)(REALmovie, RBInteger, RBInteger, RBInteger)>("movie", "ScaleMovieSegmentZQK")(
                  m, 0, 10, 20),
              0);
    gated("ScaleMovieSegmentZQK");
    EXPECT_EQ(Registered<RBInteger (*)(REALmovie, REALmovie, RBInteger, RBInteger, RBInteger)>(
                  "movie", "InsertMovieSegmentZQK")(m, nullptr, 0, 10, 0),
              0);  // not the -1 of a nil destination
    gated("InsertMovieSegmentZQK");
    for (const char* name : {"InsertEmptyMovieSegmentZQK", "DeleteMovieSegmentZQK"}) {
      EXPECT_EQ(Registered<RBInteger (*)(REALmovie, RBInteger, RBInteger)>("movie", name)(m, 0, 10), 0) << name;
      gated(name);
    }
    EXPECT_EQ(Registered<RBInteger (*)(REALmovie, REALstring)>("movie", "SetMovieApertureModeZQK")(m, mode.asString()),
              0);
    gated("SetMovieApertureModeZQK");
    EXPECT_EQ(Registered<REALstring (*)(REALmovie)>("movie", "GetMovieApertureModeZQK")(m), nullptr);
    gated("GetMovieApertureModeZQK");

    EXPECT_EQ(QTEngineHookCallLogCount(), 0);
    EXPECT_THROW(rt.call(movie, "TrackCountZQK"), rt::HostException);
  }
}

// A movie object without a QuickTime movie: -1, nil, false or 0.0, except the
// segment members, which let QuickTime answer for the missing movie.
TEST_F(MovieMembersTest, MovieWithoutQuickTimeMovie) {
  rt::Runtime& rt = Load(QuickTimeHost());
  Value movie = rt.newMovie(nullptr);
  Value other = rt.newMovie(NewEngineMovie());
  StartLog();
  EXPECT_EQ(rt.call(movie, "TrackCountZQK").asInteger(), -1);
  EXPECT_TRUE(rt.call(movie, "GetTrackIndexZQK", {I(1)}).isNil());
  EXPECT_TRUE(rt.call(movie, "GetVideoTrackZQK", {I(1)}).isNil());
  EXPECT_FALSE(rt.get(movie, "RateChangesPreservePitchZQK").asBoolean());
  rt.set(movie, "PitchZQK", Value::real(2.0));
  EXPECT_EQ(rt.get(movie, "PitchZQK").asDouble(), 0.0);
  EXPECT_EQ(rt.call(movie, "GenerateMovieApertureModeDimensionsZQK").asInteger(), -1);
  EXPECT_EQ(rt.call(movie, "SetMovieApertureModeZQK", {rt.string("clea")}).asInteger(), -1);
  EXPECT_TRUE(rt.call(movie, "GetMovieApertureModeZQK").isNil());
  EXPECT_EQ(QTEngineHookCallLogCount(), 0);

  EXPECT_EQ(rt.call(movie, "DeleteMovieSegmentZQK", {I(0), I(10)}).asInteger(), invalidMovie);
  EXPECT_EQ(rt.call(movie, "InsertMovieSegmentZQK", {other, I(0), I(10), I(0)}).asInteger(), invalidMovie);
  ASSERT_EQ(Logged("InsertMovieSegment").size(), 1u);
  EXPECT_EQ(Logged("InsertMovieSegment")[0].find("(srcMovie=NULL, dstMovie="), 0u);
  // A nil destination is caught before QuickTime.
  EXPECT_EQ(rt.call(other, "InsertMovieSegmentZQK", {Value(), I(0), I(100), I(0)}).asInteger(), -1);
  EXPECT_EQ(Logged("InsertMovieSegment").size(), 1u);
}

// A host that cannot make the object, or cannot name the QuickTime movie, gets
// nil and -1, and the movie is left as it was.
TEST_F(MovieMembersTest, HostThatCannotHelp) {
  rt::Config config = QuickTimeHost();
  config.refusedInstanceClasses = {"QTTrackZQK"};
  Value movie = LoadWithTracks(std::move(config));
  rt::Runtime& rt = runtime();
  const long locks = rt.locks(movie);
  EXPECT_TRUE(rt.call(movie, "GetTrackIndexZQK", {I(1)}).isNil());
  EXPECT_EQ(rt.locks(movie), locks);
  EXPECT_FALSE(rt.call(movie, "GetTextTrackZQK", {I(1)}).isNil());
  movie = Value();

  rt::Config blind = QuickTimeHost();
  blind.refusedEntries = {"getMovieMovie"};
  Value unseen = LoadWithTracks(std::move(blind));
  EXPECT_EQ(runtime().call(unseen, "TrackCountZQK").asInteger(), -1);
  EXPECT_EQ(runtime().call(unseen, "RemoveMovieApertureModeDimensionsZQK").asInteger(), -1);
}

// Lookups by index, ID and type; text tracks come back as chapter tracks; the
// enabled-only form asks with flags 5 and skips disabled tracks.
TEST_F(MovieMembersTest, TrackLookup) {
  Value movie = LoadWithTracks();
  rt::Runtime& rt = runtime();
  EXPECT_EQ(rt.call(movie, "TrackCountZQK").asInteger(), 4);
  for (int64_t i = 1; i <= 4; ++i) {
    Value byIndex = rt.call(movie, "GetTrackIndexZQK", {I(i)});
    ASSERT_FALSE(byIndex.isNil());
    EXPECT_EQ(rt.className(byIndex), "QTTrackZQK");
    EXPECT_EQ(HandleOf(byIndex), GetMovieIndTrack(qtMovie_, static_cast<SInt32>(i)));
    Value byID = rt.call(movie, "GetTrackIDZQK", {rt.call(byIndex, "TrackID")});
    EXPECT_EQ(HandleOf(byID), HandleOf(byIndex));
  }
  EXPECT_TRUE(rt.call(movie, "GetTrackIndexZQK", {I(0)}).isNil());
  EXPECT_TRUE(rt.call(movie, "GetTrackIDZQK", {I(999)}).isNil());

  StartLog();
  Value text = rt.call(movie, "GetTextTrackZQK", {I(1), Value::boolean(true)});
  ASSERT_FALSE(text.isNil());
  EXPECT_EQ(rt.className(text), "QTChapterTrackZQK");
  EXPECT_EQ(rt.get(text, "Movie").asObject(), movie.asObject());
  EXPECT_EQ(HandleOf(text), GetMovieIndTrack(qtMovie_, 4));
  EXPECT_EQ(HandleOf(rt.call(movie, "GetVideoTrackZQK", {I(2)})), GetMovieIndTrack(qtMovie_, 2));
  EXPECT_TRUE(rt.call(movie, "GetVideoTrackZQK", {I(2), Value::boolean(true)}).isNil());
  EXPECT_EQ(HandleOf(rt.call(movie, "GetSoundTrackZQK", {I(1)})), GetMovieIndTrack(qtMovie_, 3));
  const std::vector<std::string> asked = Logged("GetMovieIndTrackType");
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_NE(asked[0].find("index=1, type='text', flags=5)"), std::string::npos) << asked[0];
  EXPECT_NE(asked[1].find("index=2, type='vide', flags=1)"), std::string::npos) << asked[1];
  EXPECT_NE(asked[2].find("index=2, type='vide', flags=5)"), std::string::npos) << asked[2];
  EXPECT_NE(asked[3].find("index=1, type='soun', flags=1)"), std::string::npos) << asked[3];
}

// QuickTime keeps the pitch as a Float32; its errors turn into neutral answers.
TEST_F(MovieMembersTest, PitchProperties) {
  Value movie = LoadWithTracks();
  rt::Runtime& rt = runtime();
  rt.set(movie, "PitchZQK", Value::real(1.1));
  EXPECT_EQ(rt.get(movie, "PitchZQK").asDouble(), 1.100000023841858);
  EXPECT_FALSE(rt.get(movie, "RateChangesPreservePitchZQK").asBoolean());
  rt.set(movie, "RateChangesPreservePitchZQK", Value::boolean(true));
  EXPECT_TRUE(rt.get(movie, "RateChangesPreservePitchZQK").asBoolean());

  QTEngineHookInjectResult("QTGetMovieProperty", -2011, 0);
  EXPECT_EQ(rt.get(movie, "PitchZQK").asDouble(), 0.0);
  EXPECT_FALSE(rt.get(movie, "RateChangesPreservePitchZQK").asBoolean());
  QTEngineHookClearInjections();
  rt.set(movie, "PitchZQK", Value::real(std::numeric_limits<double>::infinity()));  // refused, silently
  EXPECT_EQ(rt.get(movie, "PitchZQK").asDouble(), 1.100000023841858);
}

// Segment members answer QuickTime's result, sign-extended.
TEST_F(MovieMembersTest, MovieSegments) {
  Value movie = LoadWithTracks();
  rt::Runtime& rt = runtime();
  Movie qtOther = NewEngineMovie();
  Value other = rt.newMovie(qtOther);
  EXPECT_EQ(rt.call(movie, "InsertMovieSegmentZQK", {other, I(0), I(200), I(0)}).asInteger(), 0);
  EXPECT_EQ(GetMovieDuration(qtOther), 200);
  EXPECT_EQ(rt.call(other, "TrackCountZQK").asInteger(), 4);
  EXPECT_EQ(rt.call(movie, "DeleteMovieSegmentZQK", {I(0), I(100)}).asInteger(), 0);
  EXPECT_EQ(GetMovieDuration(qtMovie_), 300);
  EXPECT_EQ(rt.call(movie, "InsertEmptyMovieSegmentZQK", {I(0), I(100)}).asInteger(), 0);
  EXPECT_EQ(rt.call(movie, "ScaleMovieSegmentZQK", {I(0), I(400), I(800)}).asInteger(), 0);
  EXPECT_EQ(GetMovieDuration(qtMovie_), 800);
  EXPECT_EQ(rt.call(movie, "DeleteMovieSegmentZQK", {I(0), I(-1)}).asInteger(), invalidDuration);
}

// Every mode but the classic one needs dimensions, made once when missing.
TEST_F(MovieMembersTest, ApertureModes) {
  Value movie = LoadWithTracks();
  rt::Runtime& rt = runtime();
  StartLog();
  EXPECT_EQ(rt.call(movie, "SetMovieApertureModeZQK", {rt.string("clas")}).asInteger(), 0);
  EXPECT_TRUE(Logged("QTGetMovieProperty").empty());
  EXPECT_TRUE(Logged("GenerateMovieApertureModeDimensions").empty());
  EXPECT_EQ(rt.call(movie, "SetMovieApertureModeZQK", {rt.string("clea")}).asInteger(), 0);
  EXPECT_EQ(rt.call(movie, "SetMovieApertureModeZQK", {rt.string("prod")}).asInteger(), 0);
  ASSERT_EQ(Logged("QTGetMovieProperty").size(), 2u);
  EXPECT_NE(Logged("QTGetMovieProperty")[0].find("id='hamd'"), std::string::npos);
  EXPECT_EQ(Logged("GenerateMovieApertureModeDimensions").size(), 1u);
  Value mode = rt.call(movie, "GetMovieApertureModeZQK");
  EXPECT_EQ(Text(mode), "prod");
  EXPECT_EQ(rt.encoding(mode), kREALEncodingASCII);
  EXPECT_EQ(rt.call(movie, "SetMovieApertureModeZQK", {rt.string("zz")}).asInteger(), paramErr);
  QTEngineHookInjectResult("GenerateMovieApertureModeDimensions", -2011, 1);
  EXPECT_EQ(rt.call(movie, "RemoveMovieApertureModeDimensionsZQK").asInteger(), 0);
  EXPECT_EQ(rt.call(movie, "SetMovieApertureModeZQK", {rt.string("enco")}).asInteger(), -2011);
  EXPECT_EQ(Text(rt.call(movie, "GetMovieApertureModeZQK")), "prod");

  // The track's own: no description is passed, and Lasterror stays as it was.
  Value track = rt.call(movie, "GetVideoTrackZQK", {I(1)});
  rt.set(track, "Lasterror", I(42));
  EXPECT_EQ(rt.call(track, "GenerateTrackApertureModeDimensions").asInteger(), 0);
  EXPECT_EQ(rt.call(track, "RemoveTrackApertureModeDimensions").asInteger(), 0);
  EXPECT_EQ(rt.call(track, "SetTrackApertureModeDimensionsUsingSampleDescription").asInteger(), 0);
  EXPECT_NE(Logged("SetTrackApertureModeDimensionsUsingSampleDescription")[0].find("sampleDesc=NULL"),
            std::string::npos);
  EXPECT_EQ(LastError(track), 42);
}

// Hosts from 2013.0 get module methods taking the movie first, property-like
// rows as setter then getter; user code calls them as it would the extension.
TEST_F(MovieMembersTest, ModuleRouteCallsLikeTheExtension) {
  auto session = [&](double version) {
    rt::Config config = QuickTimeHost();
    config.hostVersion = version;
    Value movie = LoadWithTracks(std::move(config));
    rt::Runtime& rt = runtime();
    Value other = rt.newMovie(NewEngineMovie());
    rt.set(movie, "PitchZQK", Value::real(0.5));
    rt.set(movie, "RateChangesPreservePitchZQK", Value::boolean(true));
    std::vector<int64_t> seen{
        rt.call(movie, "TrackCountZQK").asInteger(),
        static_cast<int64_t>(rt.get(movie, "PitchZQK").asDouble() * 1000),
        rt.get(movie, "RateChangesPreservePitchZQK").asBoolean(),
        rt.call(rt.call(movie, "GetVideoTrackZQK", {I(1)}), "Width").asInteger(),
        rt.call(rt.call(movie, "GetTrackIndexZQK", {I(4)}), "Height").asInteger(),
        rt.call(movie, "InsertMovieSegmentZQK", {other, I(0), I(100), I(0)}).asInteger(),
        rt.call(other, "TrackCountZQK").asInteger(),
    };
    return seen;
  };
  const std::vector<int64_t> module = session(2013.0);
  const rt::Registration& last = runtime().registrations().back();
  EXPECT_EQ(last.route, rt::Registration::Route::Module);
  EXPECT_EQ(last.name, "moviePelorinExtensionZQK");
  auto* record = static_cast<const REALmoduleDefinition*>(last.record);
  std::vector<std::string> pitch;
  for (size_t i = 0; i < record->methodCount; ++i)
    if (std::string_view(record->methods[i].declaration).find("PitchZQK(") == 0)
      pitch.emplace_back(record->methods[i].declaration);
  EXPECT_EQ(pitch, (std::vector<std::string>{"PitchZQK(extends ref as movie, assigns value as double)",
                                             "PitchZQK(extends ref as movie) as double"}));

  const std::vector<int64_t> extension = session(2012.5);
  EXPECT_EQ(runtime().registrations().back().route, rt::Registration::Route::ClassExtension);
  EXPECT_EQ(module, extension);
  EXPECT_EQ(module, (std::vector<int64_t>{4, 500, 1, 320, 40, 0, 4}));
}

}  // namespace
