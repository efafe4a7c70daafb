// Interesting times over samples and edits, both directions, with and without edge-OK.
#include "engine_support.h"

using namespace enginetest;

namespace {

constexpr short kSample = nextTimeMediaSample;
constexpr short kSync = nextTimeSyncSample;
constexpr short kEdit = nextTimeTrackEdit;
constexpr short kEdge = nextTimeEdgeOK;
constexpr Fixed kBack = -fixed1;

// Ten samples of 60 at scale 600, sync at 0, 3, 6, 9. The track shows media
// [0,300) at 0, then 100 of empty time, then media [330,600) from 400 to 670.
class InterestingTimes : public ::testing::Test {
 protected:
  void SetUp() override {
    track = NewMovieTrack(movie, 0, 0, 0);
    Media m = NewTrackMedia(track, VideoMediaType, 600, nullptr, 0);
    BeginMediaEdits(m);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(addSamples(m, imageDescription(8, 8), 1, 60, 4, i % 3 == 0), noErr);
    EndMediaEdits(m);
    ASSERT_EQ(InsertMediaIntoTrack(track, 0, 0, 300, fixed1), noErr);
    ASSERT_EQ(InsertMediaIntoTrack(track, -1, 330, 270, fixed1), noErr);
    ASSERT_EQ(InsertEmptyTrackSegment(track, 300, 100), noErr);
    ASSERT_EQ(GetTrackDuration(track), 670);
  }
  MovieHolder movie{600};
  Track track = nullptr;
};

TEST_F(InterestingTimes, SamplesForward) {
  EXPECT_EQ(next(track, kSample | kEdge, 0), (Interesting{0, 60}));
  EXPECT_EQ(next(track, kSample, 0), (Interesting{60, 60}));
  EXPECT_EQ(next(track, kSample, 30), (Interesting{60, 60}));
  // After the last sample of the first edit comes the start of the next media edit,
  // showing the rest of a sample that began before it.
  EXPECT_EQ(next(track, kSample, 240), (Interesting{400, 30}));
  EXPECT_EQ(next(track, kSample | kEdge, 250), (Interesting{400, 30}));
  EXPECT_EQ(next(track, kSample | kEdge, 400), (Interesting{400, 30}));
  EXPECT_EQ(next(track, kSample, 400), (Interesting{430, 60}));
  EXPECT_EQ(next(track, kSample, 550), (Interesting{610, 60}));
  EXPECT_EQ(next(track, kSample, 610), (Interesting{-1, 0}));
  EXPECT_EQ(next(track, kSample | kEdge, 670), (Interesting{-1, 0}));
}

TEST_F(InterestingTimes, SamplesBackward) {
  EXPECT_EQ(next(track, kSample, 400, kBack), (Interesting{240, 60}));
  EXPECT_EQ(next(track, kSample | kEdge, 430, kBack), (Interesting{430, 60}));
  EXPECT_EQ(next(track, kSample, 430, kBack), (Interesting{400, 30}));
  EXPECT_EQ(next(track, kSample, 429, kBack), (Interesting{400, 30}));
  EXPECT_EQ(next(track, kSample, 5000, kBack), (Interesting{610, 60}));
  EXPECT_EQ(next(track, kSample, 0, kBack), (Interesting{-1, 0}));
  EXPECT_EQ(next(track, kSample | kEdge, 0, kBack), (Interesting{0, 60}));
}

TEST_F(InterestingTimes, SyncSamplesSkipTheOthers) {
  EXPECT_EQ(next(track, kSync | kEdge, 0), (Interesting{0, 60}));
  EXPECT_EQ(next(track, kSync, 0), (Interesting{180, 60}));
  EXPECT_EQ(next(track, kSync, 180), (Interesting{430, 60}));
  EXPECT_EQ(next(track, kSync | kEdge, 180), (Interesting{180, 60}));
  EXPECT_EQ(next(track, kSync, 430, kBack), (Interesting{180, 60}));
  EXPECT_EQ(next(track, kSync, 999, kBack), (Interesting{610, 60}));
  EXPECT_EQ(next(track, kSync, 610), (Interesting{-1, 0}));
}

TEST_F(InterestingTimes, TrackEditsIncludeTheEnd) {
  EXPECT_EQ(next(track, kEdit, 0), (Interesting{300, 100}));
  EXPECT_EQ(next(track, kEdit, 300), (Interesting{400, 270}));
  EXPECT_EQ(next(track, kEdit | kEdge, 300), (Interesting{300, 100}));
  EXPECT_EQ(next(track, kEdit, 400), (Interesting{670, 0}));
  EXPECT_EQ(next(track, kEdit, 670), (Interesting{-1, 0}));
  EXPECT_EQ(next(track, kEdit, 300, kBack), (Interesting{0, 300}));
  EXPECT_EQ(next(track, kEdit | kEdge, 300, kBack), (Interesting{300, 100}));
}

TEST_F(InterestingTimes, MediaEditsAreDescriptionChanges) {
  Media m = GetTrackMedia(track);
  BeginMediaEdits(m);
  ASSERT_EQ(addSamples(m, imageDescription(16, 16), 2, 60, 4), noErr);
  EndMediaEdits(m);
  ASSERT_EQ(InsertMediaIntoTrack(track, -1, 540, 180, fixed1), noErr);  // sample 9, then the new two
  EXPECT_EQ(next(track, nextTimeMediaEdit, 0), (Interesting{730, 60}));
  EXPECT_EQ(next(track, nextTimeMediaEdit, 800, kBack), (Interesting{730, 60}));
  EXPECT_EQ(GetMediaSampleDescriptionCount(m), 2);
}

TEST_F(InterestingTimes, BadRequestsAreRefused) {
  EXPECT_EQ(next(track, kSample | kSync, 0), (Interesting{-1, 0}));
  EXPECT_EQ(GetMoviesError(), paramErr);
  EXPECT_EQ(next(nullptr, kSample, 0), (Interesting{-1, 0}));
  EXPECT_EQ(GetMoviesError(), invalidTrack);
}

TEST_F(InterestingTimes, FrameCountLoopVisitsEverySample) {
  int frames = 0;
  for (Interesting i = next(track, kSample | kEdge, 0); i.time >= 0; i = next(track, kSample, i.time)) ++frames;
  EXPECT_EQ(frames, 10);  // five in the first edit, five (one partly) in the second
}

}  // namespace
