// The test hooks: call log with arguments, and injected results.
#include "engine_support.h"

#include <string>

using namespace enginetest;

namespace {

struct Hooks : ::testing::Test {
  ~Hooks() override { QTEngineHookReset(); }
  std::vector<std::string> log() {
    std::vector<std::string> out;
    for (SInt32 i = 0; i < QTEngineHookCallLogCount(); ++i) out.push_back(QTEngineHookCallLogEntry(i));
    return out;
  }
};

TEST_F(Hooks, TheLogRecordsCallsWithReadableArguments) {
  MovieHolder movie;
  Track t = videoTrack(movie, 600, 2, 10);
  MediaHandler sound = GetMediaHandler(NewTrackMedia(NewMovieTrack(movie, 0, 0, 0), SoundMediaType, 44100, nullptr, 0));
  const std::string m = std::to_string(QTEngineHookObjectSerial(movie.movie));
  const std::string tr = std::to_string(QTEngineHookObjectSerial(t));
  const std::string mh = std::to_string(QTEngineHookObjectSerial(sound));
  EXPECT_EQ(QTEngineHookCallLogCount(), 0);  // off by default

  QTEngineHookSetLogging(true);
  GetMovieIndTrackType(movie, 2, VideoMediaType, 5);
  ScaleTrackSegment(t, 0, 20, 30);
  InsertMediaIntoTrack(t, -1, 0, 10, 0x18000);
  UnsignedFixed bands[2] = {200u << 16, 21000u << 16};
  MediaEQSpectrumBandsRecord rec{2, bands};
  MediaSetSoundEqualizerBands(sound, &rec);
  GetTrackDuration(nullptr);
  Fixed src[8] = {0, 0, 320 << 16, 0, 320 << 16, 240 << 16, 0, 240 << 16};
  Fixed dst[8] = {0, 0, -25536 * 65536, 0, -25536 * 65536, 10 << 16, 0, 10 << 16};
  MatrixRecord matrix;
  QuadToQuadMatrix(src, dst, &matrix);
  EXPECT_EQ(log(), (std::vector<std::string>{
                       "GetMovieIndTrackType(movie=" + m + ", index=2, type='vide', flags=5)",
                       "ScaleTrackSegment(track=" + tr + ", startTime=0, oldDuration=20, newDuration=30)",
                       "InsertMediaIntoTrack(track=" + tr + ", trackStart=-1, mediaTime=0, mediaDuration=10, mediaRate=1.5)",
                       "MediaSetSoundEqualizerBands(mh=" + mh + ", count=2, bands=[200,21000])",
                       "GetTrackDuration(track=NULL)",
                       "QuadToQuadMatrix(source=[0,0; 320,0; 320,240; 0,240], dest=[0,0; -25536,0; -25536,10; 0,10])",
                   }));
  QTEngineHookClearCallLog();
  EXPECT_EQ(QTEngineHookCallLogCount(), 0);
  EXPECT_EQ(QTEngineHookCallLogEntry(0), nullptr);
}

TEST_F(Hooks, InjectedResultsReplaceTheCallAndExpire) {
  MovieHolder movie;
  Track t = videoTrack(movie, 600, 2, 10);
  QTEngineHookInjectResult("DeleteTrackSegment", invalidEditState, 1);
  EXPECT_EQ(DeleteTrackSegment(t, 0, 10), invalidEditState);
  EXPECT_EQ(GetMoviesError(), invalidEditState);
  EXPECT_EQ(GetTrackDuration(t), 20);  // nothing was done
  EXPECT_EQ(DeleteTrackSegment(t, 0, 10), noErr);
  EXPECT_EQ(GetTrackDuration(t), 10);

  // Calls without a result code give their neutral value and set the error.
  QTEngineHookInjectResult("GetMovieIndTrack", memFullErr, 0);
  EXPECT_EQ(GetMovieIndTrack(movie, 1), nullptr);
  EXPECT_EQ(GetMoviesError(), memFullErr);
  EXPECT_EQ(GetMovieIndTrack(movie, 1), nullptr);
  QTEngineHookClearInjections();
  EXPECT_EQ(GetMovieIndTrack(movie, 1), t);

  // Handler calls answer with the 32-bit result.
  QTEngineHookInjectResult("MediaGetGraphicsMode", badComponentSelector, 1);
  SInt32 mode = 0;
  EXPECT_EQ(MediaGetGraphicsMode(GetMediaHandler(GetTrackMedia(t)), &mode, nullptr), badComponentSelector);
}

// Memory running out inside a call fails that call, not the process: the call
// answers memFullErr, what it was changing stays as it was, the next call works.
TEST_F(Hooks, MemoryRunningOutFailsTheCallNotTheProcess) {
  MovieHolder movie;
  Track t = videoTrack(movie, 600, 2, 10);
  Track clone = nullptr;
  ASSERT_EQ(AddClonedTrackToMovie(t, movie, kQTCloneShareSamples, &clone), noErr);
  Media shared = GetTrackMedia(clone);
  ASSERT_EQ(BeginMediaEdits(shared), noErr);

  // Adding to a shared media copies its tables first; that copy fails.
  QTEngineHookInjectResult("bulkAllocate", noErr, 1);
  EXPECT_EQ(addSamples(shared, imageDescription(320, 240), 1, 10, 4), memFullErr);
  EXPECT_EQ(GetMoviesError(), memFullErr);
  EXPECT_EQ(GetMediaSampleCount(shared), 2);

  EXPECT_EQ(addSamples(shared, imageDescription(320, 240), 1, 10, 4), noErr);
  EXPECT_EQ(GetMediaSampleCount(shared), 3);
  EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(t)), 2);
  EndMediaEdits(shared);
}

}  // namespace
