// Edit-list arithmetic of the segment calls, across time scales and rates.
#include "file_support.h"

#include <algorithm>
#include <cstring>
#include <sstream>

using namespace enginetest;

namespace {

// Media times seen at a list of track times.
std::vector<TimeValue> mediaTimes(Track t, std::initializer_list<TimeValue> times) {
  std::vector<TimeValue> out;
  for (TimeValue v : times) out.push_back(TrackTimeToMediaTime(v, t));
  return out;
}

TEST(EditArithmetic, ScalingToTwiceTheLengthHalvesTheRateAcrossScales) {
  MovieHolder movie(600);
  // Sound at 44100: one media sample per frame, two seconds.
  Track sound = NewMovieTrack(movie, 0, 0, 0x100);
  Media sm = NewTrackMedia(sound, SoundMediaType, 44100, nullptr, 0);
  ASSERT_EQ(BeginMediaEdits(sm), noErr);
  ASSERT_EQ(addSamples(sm, soundDescription(1), 88200, 1, 2), noErr);
  ASSERT_EQ(EndMediaEdits(sm), noErr);
  ASSERT_EQ(InsertMediaIntoTrack(sound, 0, 0, 88200, fixed1), noErr);
  EXPECT_EQ(GetTrackDuration(sound), 1200);

  ASSERT_EQ(ScaleTrackSegment(sound, 0, 1200, 2400), noErr);
  EXPECT_EQ(GetTrackDuration(sound), 2400);
  EXPECT_EQ(GetTrackEditRate(sound, 0), 0x8000);
  EXPECT_EQ(mediaTimes(sound, {0, 600, 1200, 2399, 2400}), (std::vector<TimeValue>{0, 22050, 44100, 88163, -1}));

  // Video at 2997 (29.97 frames of 100 each): 3000 units are 600.6 movie units.
  Track video = videoTrack(movie, 2997, 30, 100);
  EXPECT_EQ(GetTrackDuration(video), 601);
  ASSERT_EQ(ScaleTrackSegment(video, 0, 601, 1202), noErr);
  EXPECT_EQ(GetTrackEditRate(video, 5), 0x8000);
  EXPECT_EQ(mediaTimes(video, {601, 1201}), (std::vector<TimeValue>{1500, 2999}));
  EXPECT_EQ(GetMovieDuration(movie), 2400);

  // Scaling a middle piece splits the edit in three; outer pieces keep rate 1.
  Track middle = videoTrack(movie, 2997, 30, 100);
  ASSERT_EQ(ScaleTrackSegment(middle, 200, 100, 200), noErr);
  EXPECT_EQ(GetTrackDuration(middle), 701);
  EXPECT_EQ(GetTrackEditRate(middle, 199), fixed1);
  EXPECT_EQ(GetTrackEditRate(middle, 200), 0x8000);
  EXPECT_EQ(GetTrackEditRate(middle, 400), fixed1);
  EXPECT_EQ(mediaTimes(middle, {199, 200, 300, 400}), (std::vector<TimeValue>{994, 999, 1248, 1498}));
}

TEST(EditArithmetic, ShrinkingASegmentSpeedsItUpAndKeepsTheTotalExact) {
  MovieHolder movie(600);
  Track t = videoTrack(movie, 44100, 3, 14700);  // one second in three samples
  ASSERT_EQ(InsertMediaIntoTrack(t, -1, 0, 44100, fixed1), noErr);
  ASSERT_EQ(InsertEmptyTrackSegment(t, 600, 7), noErr);
  EXPECT_EQ(GetTrackDuration(t), 1207);
  // Three pieces (media, empty, media) scaled together keep exactly the new length.
  ASSERT_EQ(ScaleTrackSegment(t, 0, 1207, 1000), noErr);
  EXPECT_EQ(GetTrackDuration(t), 1000);
  EXPECT_EQ(TrackTimeToMediaTime(999, t), 44011);
  EXPECT_EQ(ScaleTrackSegment(t, 0, 1000, 0), invalidDuration);
  EXPECT_EQ(ScaleTrackSegment(t, 0, 0, 10), invalidDuration);
  EXPECT_EQ(ScaleTrackSegment(t, 900, 101, 10), invalidTime);
  EXPECT_EQ(GetTrackDuration(t), 1000);
}

TEST(EditArithmetic, InsertDeleteAtStartMiddleEndAndPastTheEnd) {
  MovieHolder movie(600);
  Track t = videoTrack(movie, 600, 10, 60);
  ASSERT_EQ(GetTrackDuration(t), 600);

  // Start: empty time becomes the track offset.
  ASSERT_EQ(InsertEmptyTrackSegment(t, 0, 100), noErr);
  EXPECT_EQ(GetTrackOffset(t), 100);
  EXPECT_EQ(mediaTimes(t, {99, 100, 699, 700}), (std::vector<TimeValue>{-1, 0, 599, -1}));
  ASSERT_EQ(DeleteTrackSegment(t, 0, 100), noErr);
  EXPECT_EQ(GetTrackOffset(t), 0);
  EXPECT_EQ(GetTrackDuration(t), 600);

  // Middle: the rest moves earlier.
  ASSERT_EQ(DeleteTrackSegment(t, 300, 60), noErr);
  EXPECT_EQ(mediaTimes(t, {299, 300, 539}), (std::vector<TimeValue>{299, 360, 599}));

  // End: a deletion running past the end is clipped; empty time cannot go there.
  ASSERT_EQ(DeleteTrackSegment(t, 500, 1000), noErr);
  EXPECT_EQ(GetTrackDuration(t), 500);
  EXPECT_EQ(InsertEmptyTrackSegment(t, 500, 10), invalidTime);
  EXPECT_EQ(DeleteTrackSegment(t, 501, 10), invalidTime);

  // Past the end: the gap is filled with empty time.
  ASSERT_EQ(InsertTrackSegment(t, t, 0, 100, 1000), noErr);
  EXPECT_EQ(GetTrackDuration(t), 1100);
  EXPECT_EQ(mediaTimes(t, {499, 500, 999, 1000, 1099}), (std::vector<TimeValue>{559, -1, -1, 0, 99}));

  // Media inserted at the start shifts everything; -1 appends.
  ASSERT_EQ(InsertMediaIntoTrack(t, 0, 120, 60, fixed1), noErr);
  EXPECT_EQ(mediaTimes(t, {0, 60}), (std::vector<TimeValue>{120, 0}));
  ASSERT_EQ(InsertMediaIntoTrack(t, -1, 0, 30, 2 * fixed1), noErr);
  EXPECT_EQ(GetTrackDuration(t), 1175);
  EXPECT_EQ(TrackTimeToMediaTime(1170, t), 20);
  EXPECT_EQ(InsertMediaIntoTrack(t, 0, 590, 20, fixed1), invalidDuration);
  EXPECT_EQ(InsertMediaIntoTrack(t, 0, 601, 1, fixed1), invalidTime);
  EXPECT_EQ(InsertMediaIntoTrack(t, -2, 0, 1, fixed1), invalidTime);
  EXPECT_EQ(InsertMediaIntoTrack(t, 0, 0, 1, 0), paramErr);
  EXPECT_EQ(GetTrackDuration(t), 1175);
}

TEST(EditArithmetic, MovieSegmentsReachEveryTrackAndMatchOrCreateTracks) {
  MovieHolder src(600), dst(1000);
  Track v = videoTrack(src, 600, 10, 60);
  Track a = NewMovieTrack(src, 0, 0, 0x100);
  Media am = NewTrackMedia(a, SoundMediaType, 44100, nullptr, 0);
  BeginMediaEdits(am);
  ASSERT_EQ(addSamples(am, soundDescription(2), 22050, 1, 4), noErr);
  EndMediaEdits(am);
  ASSERT_EQ(InsertMediaIntoTrack(a, 0, 0, 22050, fixed1), noErr);  // 300 of 600

  // Into an empty movie at a later time: both tracks are created, padded to 2 s.
  ASSERT_EQ(InsertMovieSegment(src, dst, 0, 600, 2000), noErr);
  ASSERT_EQ(GetMovieTrackCount(dst), 2);
  EXPECT_EQ(GetMovieDuration(dst), 3000);
  Track dv = GetMovieIndTrackType(dst, 1, VideoMediaType, movieTrackMediaType);
  Track da = GetMovieIndTrackType(dst, 1, SoundMediaType, movieTrackMediaType);
  ASSERT_NE(dv, nullptr);
  ASSERT_NE(da, nullptr);
  EXPECT_EQ(GetTrackOffset(dv), 2000);
  EXPECT_EQ(GetTrackDuration(da), 2500);
  EXPECT_EQ(TrackTimeToMediaTime(2500, dv), 300);
  // The samples were copied: the source's media is untouched, the copy holds its own.
  EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(dv)), 10);
  EXPECT_EQ(GetMediaSampleCount(am), 22050);

  // A second insert matches the existing tracks instead of adding more.
  ASSERT_EQ(InsertMovieSegment(src, dst, 300, 300, 0), noErr);
  EXPECT_EQ(GetMovieTrackCount(dst), 2);
  // Its samples were copied again, after the first copy.
  EXPECT_EQ(TrackTimeToMediaTime(0, dv), 600);
  EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(dv)), 15);
  EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(v)), 10);
  // The sound track has nothing after 300, yet it still opens the gap.
  EXPECT_EQ(GetTrackOffset(da), 2500);

  EXPECT_EQ(InsertEmptyMovieSegment(dst, 0, 500), noErr);
  EXPECT_EQ(GetTrackOffset(dv), 500);
  EXPECT_EQ(GetMovieDuration(dst), 4000);
  EXPECT_EQ(InsertEmptyMovieSegment(dst, 4000, 5), invalidTime);
  ASSERT_EQ(DeleteMovieSegment(dst, 0, 500), noErr);
  EXPECT_EQ(GetMovieDuration(dst), 3500);
  ASSERT_EQ(ScaleMovieSegment(dst, 0, 3500, 7000), noErr);
  EXPECT_EQ(GetMovieDuration(dst), 7000);
  EXPECT_EQ(GetTrackOffset(da), 5000);
  EXPECT_EQ(DeleteMovieSegment(dst, 7001, 1), invalidTime);
  EXPECT_EQ(DeleteMovieSegment(dst, 0, -1), invalidDuration);
  EXPECT_EQ(ScaleMovieSegment(dst, 0, -1, 5), invalidDuration);
}

TEST(EditArithmetic, MovieTimeScaleChangesKeepPlaybackTheSame) {
  MovieHolder movie(600);
  Track t = videoTrack(movie, 600, 10, 60);
  ASSERT_EQ(InsertEmptyTrackSegment(t, 0, 300), noErr);
  SetMovieTimeScale(movie, 1000);
  EXPECT_EQ(GetMovieTimeScale(movie), 1000);
  EXPECT_EQ(GetTrackOffset(t), 500);
  EXPECT_EQ(GetTrackDuration(t), 1500);
  EXPECT_EQ(TrackTimeToMediaTime(1000, t), 300);
  SetMovieTimeScale(movie, 0);
  EXPECT_EQ(GetMoviesError(), paramErr);
}

TEST(EditArithmetic, TrackOffsetsMoveTheMaterial) {
  MovieHolder movie;
  Track t = videoTrack(movie, 600, 10, 60);
  SetTrackOffset(t, 250);
  EXPECT_EQ(GetTrackOffset(t), 250);
  EXPECT_EQ(GetTrackDuration(t), 850);
  SetTrackOffset(t, 0);
  EXPECT_EQ(GetTrackDuration(t), 600);
  SetTrackOffset(t, -1);
  EXPECT_EQ(GetMoviesError(), invalidTime);
  EXPECT_EQ(GetTrackDuration(t), 600);
}

}  // namespace

namespace {

TEST(EditArithmetic, CopiedSamplesKeepTheirBytesAndDescriptionsAcrossMediaScales) {
  MovieHolder src(600), dst(600);
  Track s = NewMovieTrack(src, 0, 0, 0);
  Media sm = NewTrackMedia(s, VideoMediaType, 600, nullptr, 0);
  BeginMediaEdits(sm);
  ASSERT_EQ(addSamples(sm, imageDescription(8, 8), 3, 60, 4, true, 10), noErr);
  ASSERT_EQ(addSamples(sm, imageDescription(16, 16), 2, 60, 2, false, 50), noErr);
  EndMediaEdits(sm);
  ASSERT_EQ(InsertMediaIntoTrack(s, 0, 0, 300, fixed1), noErr);

  Track d = NewMovieTrack(dst, 0, 0, 0);
  Media dm = NewTrackMedia(d, VideoMediaType, 1200, nullptr, 0);
  // From the middle of sample 1 to the middle of sample 3.
  ASSERT_EQ(InsertTrackSegment(s, d, 90, 120, 0), noErr);
  EXPECT_EQ(GetTrackDuration(d), 120);
  EXPECT_EQ(GetMediaSampleCount(dm), 3);
  EXPECT_EQ(GetMediaDuration(dm), 360);  // three samples of 120 at 1200
  EXPECT_EQ(GetMediaSampleDescriptionCount(dm), 2);
  EXPECT_EQ(TrackTimeToMediaTime(0, d), 60);

  HandleHolder data, desc;
  SInt32 descIndex = 0;
  short flags = -1;
  ASSERT_EQ(GetMediaSample(dm, data, 0, nullptr, 250, nullptr, nullptr,
                           reinterpret_cast<SampleDescriptionHandle>(desc.h), &descIndex, 1, nullptr, &flags),
            noErr);
  EXPECT_EQ(data.bytes(), (std::vector<uint8_t>{50, 51}));
  EXPECT_EQ(desc.bytes(), imageDescription(16, 16));
  EXPECT_EQ(descIndex, 2);
  EXPECT_EQ(flags, mediaSampleNotSync);
  ASSERT_EQ(GetMediaSample(dm, data, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr), noErr);
  EXPECT_EQ(data.bytes(), (std::vector<uint8_t>{11, 12, 13, 14}));
}

// A dwell edit (rate 0) shows the media time it names for its whole duration.
// No call makes one, files do: this file's second edit has its rate zeroed.
TEST(EditArithmetic, DwellEditsHoldTheirMediaTime) {
  ScratchDir dir;
  const std::string path = dir / "dwell.mov";
  {
    FSSpec fsSpec = fsSpecOf(path);
    short ref = 0;
    Movie movie = nullptr;
    ASSERT_EQ(CreateMovieFile(&fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile, &ref, &movie), noErr);
    Track t = videoTrack(movie, 600, 10, 60);
    ASSERT_EQ(DeleteTrackSegment(t, 300, 300), noErr);
    ASSERT_EQ(InsertMediaIntoTrack(t, 300, 330, 240, fixed1), noErr);  // sample 5 starts at 300
    ASSERT_EQ(AddMovieResource(movie, ref, nullptr, nullptr), noErr);
    DisposeMovie(movie);
    CloseMovieFile(ref);
  }
  std::vector<uint8_t> b = fileBytes(path);
  // Entries start 12 bytes past the type; a rate is an entry's last 4 bytes.
  const size_t rate = std::string(b.begin(), b.end()).find("elst") + 12 + 12 + 8;
  std::fill_n(b.begin() + long(rate), 4, 0);
  writeBytes(path, b);

  auto check = [](Track t, TimeValue end) {
    EXPECT_EQ(GetTrackDuration(t), end);
    EXPECT_EQ(GetTrackEditRate(t, end - 1), 0);
    EXPECT_EQ(GetMoviesError(), noErr);
    EXPECT_EQ(mediaTimes(t, {299, 300, end - 1, end}), (std::vector<TimeValue>{299, 330, 330, -1}));
    // Sample 5 is the one shown throughout, in either direction.
    EXPECT_EQ(next(t, nextTimeMediaSample, 240), (Interesting{300, end - 300}));
    EXPECT_EQ(next(t, nextTimeMediaSample, 300), (Interesting{-1, 0}));
    EXPECT_EQ(next(t, nextTimeMediaSample | nextTimeEdgeOK, end - 1, -fixed1), (Interesting{300, end - 300}));
  };
  {
    OpenedMovie m(path);
    ASSERT_EQ(m.err, noErr) << m.message;
    Track t = GetMovieIndTrack(m, 1);
    check(t, 540);
    // Stretched, it stays a dwell; saved, it stays in the file.
    ASSERT_EQ(ScaleTrackSegment(t, 300, 240, 480), noErr);
    check(t, 780);
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
  }
  OpenedMovie m(path, fsRdPerm);
  ASSERT_EQ(m.err, noErr) << m.message;
  check(GetMovieIndTrack(m, 1), 780);
  // Copied into another movie, a dwell brings the one sample it shows.
  MovieHolder other(600);
  ASSERT_EQ(InsertMovieSegment(m, other, 300, 480, 0), noErr);
  Track copy = GetMovieIndTrack(other, 1);
  EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(copy)), 1);
  EXPECT_EQ(mediaTimes(copy, {0, 479}), (std::vector<TimeValue>{30, 30}));
  if (haveTool("ffprobe")) {
    EXPECT_NE(packets(path), "");
  }
}

// A segment of long-GOP video and AAC sound put into another movie brings its
// samples from the sync sample at or before it (the sound from one packet
// earlier still, which its decoder needs first) and its edit starts after that
// lead-in: ffmpeg decodes the source's frames and sound from the result.
TEST(EditArithmetic, SegmentsCopiedIntoAnotherMovieDecodeFromTheSyncSampleBefore) {
  if (!haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  ScratchDir dir;
  const std::string src = dir / "src.mov", out = dir / "out.mov";
  // 100 frames at 25 a second, a sync frame every 25; AAC at 48 kHz, 1024 a packet.
  ASSERT_EQ(std::system(("ffmpeg -v error -nostdin -y -f lavfi -i testsrc=d=4:s=160x120:r=25 -f lavfi -i "
                         "'aevalsrc=0.5*sin(2*PI*(200+500*t)*t):s=48000:d=4' -c:v libx264 -bf 0 -g 25 "
                         "-pix_fmt yuv420p -c:a aac '" + src + "'").c_str()),
            0);
  std::vector<std::string> pieces;
  {
    OpenedMovie from(src, fsRdPerm), into(src, fsRdPerm);
    ASSERT_EQ(from.err, noErr) << from.message;
    ASSERT_EQ(into.err, noErr) << into.message;
    const TimeValue frame = GetMovieTimeScale(from) / 25;
    ASSERT_EQ(InsertMovieSegment(from, into, 5 * frame, 15 * frame, 10 * frame), noErr);
    // Frames 0 to 19 come along for frames 5 to 19; the sound's packets 9 to 38
    // for its packets 10 (past 1024 of priming) to 38.
    Track video = GetMovieIndTrack(into, 1), sound = GetMovieIndTrack(into, 2);
    EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(video)), 100 + 20);
    EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(sound)), 189 + 30);
    FSSpec fsSpec = fsSpecOf(out);
    Movie flat = FlattenMovieData(into, flattenAddMovieToDataFork, &fsSpec, "TVOD"_4cc, 0,
                                  createMovieFileDeleteCurFile);
    ASSERT_NE(flat, nullptr) << QTEngineLastFileErrorMessage();
    DisposeMovie(flat);
  }
  auto frames = [](const std::string& path) {
    return run("ffmpeg -v error -nostdin -i '" + path + "' -map 0:v -f framemd5 - | grep -v '^#' | sed 's/.*, //'");
  };
  auto sound = [](const std::string& path) {
    const std::string bytes = run("ffmpeg -v error -nostdin -i '" + path + "' -map 0:a -f s16le -ac 1 -");
    std::vector<int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
  };
  const std::vector<std::pair<int, int>> shown = {{0, 10}, {5, 20}, {10, 100}};
  std::vector<std::string> source;
  std::istringstream lines(frames(src));
  for (std::string l; std::getline(lines, l);) source.push_back(l);
  ASSERT_EQ(source.size(), 100u);
  std::string expected;
  for (auto [a, b] : shown)
    for (int f = a; f < b; ++f) expected += source[size_t(f)] + "\n";
  EXPECT_EQ(frames(out), expected);

  // Each piece's sound, two packets in from its edges, lies where the pieces
  // before it end, give or take a packet.
  constexpr long kPerFrame = 48000 / 25, kPacket = 1024, kMargin = 2 * kPacket;
  const std::vector<int16_t> original = sound(src), heard = sound(out);
  long at = 0;
  for (auto [a, b] : shown) {
    const long begin = a * kPerFrame + kMargin, end = std::min<long>(b * kPerFrame, long(original.size())) - kMargin;
    bool found = false;
    for (long shift = -kPacket; !found && shift <= kPacket; ++shift) {
      const long start = at + kMargin + shift;
      found = start >= 0 && start + (end - begin) <= long(heard.size()) &&
              std::equal(original.begin() + begin, original.begin() + end, heard.begin() + start,
                         [](int x, int y) { return std::abs(x - y) <= 1; });
    }
    EXPECT_TRUE(found) << "frames " << a << " to " << b << ": the sound is not the source's";
    at += (b - a) * kPerFrame;
  }
}

}  // namespace
