// Per-lookup cost of the engine's searches on a media of a million samples:
// sample by time, next interesting time (samples and sync samples) through an
// edit list, and track-to-media time mapping across many edits.
#include <FixMath.h>
#include <QuickTime/QuickTime.h>

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr SInt32 kSamples = 1000000;

// A track over a million samples (durations alternate per batch, every tenth batch
// is sync), shown through `edits` pieces of equal length.
struct Fixture {
  Movie movie = NewMovie(0);
  Track track = NewMovieTrack(movie, 0, 0, 0);
  Media media = NewTrackMedia(track, VideoMediaType, 30000, nullptr, 0);

  explicit Fixture(int edits) {
    std::vector<char> desc(86, 0);
    desc[3] = 86;
    desc[4] = 'j', desc[5] = 'p', desc[6] = 'e', desc[7] = 'g';
    desc[15] = 1;
    Handle d = nullptr, data = nullptr;
    PtrToHand(desc.data(), &d, 86);
    std::vector<char> bytes(1000, 1);
    PtrToHand(bytes.data(), &data, 1000);
    BeginMediaEdits(media);
    for (int batch = 0; batch < kSamples / 1000; ++batch)
      AddMediaSample(media, data, 0, 1000, batch % 2 ? 500 : 1001, reinterpret_cast<SampleDescriptionHandle>(d), 1000,
                     batch % 10 ? mediaSampleNotSync : 0, nullptr);
    EndMediaEdits(media);
    DisposeHandle(d);
    DisposeHandle(data);
    TimeValue total = GetMediaDuration(media);
    TimeValue piece = total / edits;
    // Pieces in reverse order so that no two edits join into one.
    for (int i = edits - 1; i >= 0; --i) InsertMediaIntoTrack(track, -1, i * piece, piece, fixed1);
  }
  ~Fixture() { DisposeMovie(movie); }
};

std::vector<TimeValue> randomTimes(TimeValue end) {
  std::mt19937 rng(42);
  std::vector<TimeValue> out(4096);
  for (auto& t : out) t = TimeValue(rng() % uint32_t(end));
  return out;
}

void BM_SampleAtTime(benchmark::State& state) {
  Fixture f(1);
  auto times = randomTimes(GetMediaDuration(f.media));
  size_t i = 0;
  for (auto _ : state) {
    SInt32 num = 0;
    TimeValue start = 0, duration = 0;
    MediaTimeToSampleNum(f.media, times[i++ & 4095], &num, &start, &duration);
    benchmark::DoNotOptimize(num);
  }
}
BENCHMARK(BM_SampleAtTime);

void BM_NextInterestingSample(benchmark::State& state) {
  Fixture f(int(state.range(0)));
  auto times = randomTimes(GetTrackDuration(f.track));
  size_t i = 0;
  for (auto _ : state) {
    TimeValue t = 0, d = 0;
    GetTrackNextInterestingTime(f.track, nextTimeMediaSample, times[i++ & 4095], fixed1, &t, &d);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_NextInterestingSample)->Arg(1)->Arg(1000);

void BM_NextInterestingSyncSampleBackward(benchmark::State& state) {
  Fixture f(int(state.range(0)));
  auto times = randomTimes(GetTrackDuration(f.track));
  size_t i = 0;
  for (auto _ : state) {
    TimeValue t = 0, d = 0;
    GetTrackNextInterestingTime(f.track, nextTimeSyncSample, times[i++ & 4095], -fixed1, &t, &d);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_NextInterestingSyncSampleBackward)->Arg(1)->Arg(1000);

void BM_TrackTimeToMediaTime(benchmark::State& state) {
  Fixture f(int(state.range(0)));
  auto times = randomTimes(GetTrackDuration(f.track));
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(TrackTimeToMediaTime(times[i++ & 4095], f.track));
}
BENCHMARK(BM_TrackTimeToMediaTime)->Arg(1)->Arg(10000);

void BM_GetMediaSample(benchmark::State& state) {
  Fixture f(1);
  auto times = randomTimes(GetMediaDuration(f.media));
  Handle data = NewHandle(0);
  size_t i = 0;
  for (auto _ : state) {
    TimeValue start = 0;
    GetMediaSample(f.media, data, 0, nullptr, times[i++ & 4095], &start, nullptr, nullptr, nullptr, 1, nullptr,
                   nullptr);
    benchmark::DoNotOptimize(start);
  }
  DisposeHandle(data);
}
BENCHMARK(BM_GetMediaSample);

}  // namespace

BENCHMARK_MAIN();
