// Samples, descriptions, data references and the million-sample media.
#include "engine_support.h"
#include "file_support.h"

#include <Aliases.h>

#include <cstdio>
#include <random>
#include <unistd.h>

using namespace enginetest;

namespace {

struct SampleRead {
  OSErr err;
  std::vector<uint8_t> data;
  TimeValue time, duration;
  SInt32 descIndex, count;
  short flags;
};

SampleRead read(Media m, TimeValue t, SInt32 max = 1) {
  HandleHolder data, desc;
  SampleRead r{};
  SInt32 size = 0;
  r.err = GetMediaSample(m, data, 0, &size, t, &r.time, &r.duration,
                         reinterpret_cast<SampleDescriptionHandle>(desc.h), &r.descIndex, max, &r.count, &r.flags);
  r.data = data.bytes();
  EXPECT_EQ(size_t(size), r.data.size());
  return r;
}

TEST(Samples, AddAndReadBackWithDescriptionsAndSyncFlags) {
  MovieHolder movie;
  Track t = NewMovieTrack(movie, 0, 0, 0);
  Media m = NewTrackMedia(t, VideoMediaType, 600, nullptr, 0);
  auto small = imageDescription(8, 8), large = imageDescription(16, 16);
  EXPECT_EQ(addSamples(m, small, 1, 10, 4), invalidEditState);  // no edit session yet
  ASSERT_EQ(BeginMediaEdits(m), noErr);
  ASSERT_EQ(addSamples(m, small, 3, 10, 4, true, 0), noErr);
  ASSERT_EQ(addSamples(m, small, 2, 20, 4, false, 3), noErr);
  ASSERT_EQ(addSamples(m, large, 1, 30, 6, true, 9), noErr);
  ASSERT_EQ(EndMediaEdits(m), noErr);

  EXPECT_EQ(GetMediaSampleCount(m), 6);
  EXPECT_EQ(GetMediaDuration(m), 100);
  EXPECT_EQ(GetMediaSampleDescriptionCount(m), 2);  // the repeated description is stored once

  SampleRead r = read(m, 15);
  EXPECT_EQ(r.err, noErr);
  EXPECT_EQ(r.time, 10);
  EXPECT_EQ(r.duration, 10);
  EXPECT_EQ(r.data, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(r.flags, 0);
  EXPECT_EQ(r.descIndex, 1);

  // Several samples come back together only while they are alike.
  r = read(m, 0, 0);
  EXPECT_EQ(r.count, 3);
  EXPECT_EQ(r.data.size(), 12u);
  r = read(m, 35, 10);
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.time, 30);
  EXPECT_EQ(r.flags, mediaSampleNotSync);
  r = read(m, 99);
  EXPECT_EQ(r.descIndex, 2);
  EXPECT_EQ(r.data, (std::vector<uint8_t>{9, 10, 11, 12, 13, 14}));

  HandleHolder desc;
  GetMediaSampleDescription(m, 2, reinterpret_cast<SampleDescriptionHandle>(desc.h));
  EXPECT_EQ(GetMoviesError(), noErr);
  EXPECT_EQ(desc.bytes(), large);  // the file's bytes, unchanged
  GetMediaSampleDescription(m, 3, reinterpret_cast<SampleDescriptionHandle>(desc.h));
  EXPECT_EQ(GetMoviesError(), invalidSampleDescIndex);

  EXPECT_EQ(read(m, 100).err, invalidTime);
  EXPECT_EQ(read(m, -1).err, invalidTime);
  HandleHolder data;
  EXPECT_EQ(GetMediaSample(m, data, 5, nullptr, 99, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr),
            maxSizeToGrowTooSmall);

  SInt32 num = 0;
  TimeValue st = 0, sd = 0;
  MediaTimeToSampleNum(m, 45, &num, &st, &sd);
  EXPECT_EQ(num, 4);
  EXPECT_EQ(st, 30);
  EXPECT_EQ(sd, 20);
  SampleNumToMediaTime(m, 6, &st, &sd);
  EXPECT_EQ(st, 70);
  EXPECT_EQ(sd, 30);
  SampleNumToMediaTime(m, 7, &st, &sd);
  EXPECT_EQ(GetMoviesError(), invalidSampleNum);
}

TEST(Samples, SamplesOfVaryingSizeAreFoundAcrossChunks) {
  MovieHolder movie;
  Track t = NewMovieTrack(movie, 0, 0, 0);
  Media m = NewTrackMedia(t, VideoMediaType, 600, nullptr, 0);
  BeginMediaEdits(m);
  auto desc = imageDescription(2, 2);
  auto sizeOf = [](int i) { return i < 100 ? 3 : 1 + i % 7; };
  // Equal sizes first, then sizes that vary: the table switches to per-sample sizes.
  for (int i = 0; i < 9000; ++i) ASSERT_EQ(addSamples(m, desc, 1, 1, sizeOf(i), true, uint8_t(i)), noErr);
  EndMediaEdits(m);
  ASSERT_EQ(InsertMediaIntoTrack(t, 0, 0, GetMediaDuration(m), fixed1), noErr);
  auto everySample = [&](Media media, const char* where) {
    for (int i = 0; i < 9000; ++i) {
      SampleRead r = read(media, i);
      ASSERT_EQ(r.err, noErr) << where << i;
      std::vector<uint8_t> expected;
      for (int k = 0; k < sizeOf(i); ++k) expected.push_back(uint8_t(i + k));
      ASSERT_EQ(r.data, expected) << where << i;
    }
  };
  everySample(m, "in memory, sample ");

  // The same samples in a file, read one by one out of its chunks.
  ScratchDir dir;
  Movie flat = flatten(movie, dir / "vary.mov");
  ASSERT_NE(flat, nullptr);
  DisposeMovie(flat);
  OpenedMovie opened(dir / "vary.mov", fsRdPerm);
  ASSERT_EQ(opened.err, noErr) << opened.message;
  everySample(GetTrackMedia(GetMovieIndTrack(opened, 1)), "from the file, sample ");
}

TEST(Samples, BadSamplesAreRefusedAndLeaveTheMediaAlone) {
  MovieHolder movie;
  Track t = NewMovieTrack(movie, 0, 0, 0);
  Media m = NewTrackMedia(t, VideoMediaType, 600, nullptr, 0);
  BeginMediaEdits(m);
  HandleHolder data(8);
  auto d = imageDescription(4, 4);
  HandleHolder desc(d.data(), Size(d.size()));
  auto sd = reinterpret_cast<SampleDescriptionHandle>(desc.h);
  EXPECT_EQ(AddMediaSample(m, data, 0, 8, 10, nullptr, 1, 0, nullptr), invalidSampleDescription);
  EXPECT_EQ(AddMediaSample(m, nullptr, 0, 8, 10, sd, 1, 0, nullptr), nilHandleErr);
  EXPECT_EQ(AddMediaSample(m, data, 4, 8, 10, sd, 1, 0, nullptr), paramErr);
  EXPECT_EQ(AddMediaSample(m, data, 0, 8, 10, sd, 3, 0, nullptr), paramErr);
  EXPECT_EQ(AddMediaSample(m, data, 0, 8, 0, sd, 1, 0, nullptr), invalidDuration);
  HandleHolder shortDesc(8);
  EXPECT_EQ(AddMediaSample(m, data, 0, 8, 10, reinterpret_cast<SampleDescriptionHandle>(shortDesc.h), 1, 0, nullptr),
            invalidSampleDescription);
  (*desc.h)[3] = 100;  // declares more bytes than the handle holds
  EXPECT_EQ(AddMediaSample(m, data, 0, 8, 10, sd, 1, 0, nullptr), invalidSampleDescription);
  EXPECT_EQ(GetMediaSampleCount(m), 0);
  EXPECT_EQ(GetMediaSampleDescriptionCount(m), 0);

  TimeValue at = -1;
  (*desc.h)[3] = char(d.size());
  ASSERT_EQ(AddMediaSample(m, data, 0, 8, 10, sd, 2, 0, &at), noErr);
  EXPECT_EQ(at, 0);
  ASSERT_EQ(AddMediaSample(m, data, 0, 4, 10, nullptr, 1, 0, &at), noErr);  // reuses the last description
  EXPECT_EQ(at, 20);
  EXPECT_EQ(GetMediaSampleDescriptionCount(m), 1);

  // Memory running out part way through adding a sample leaves the samples as
  // they were. The first of another size, duration and sync state makes every
  // part of the table change.
  QTEngineHookInjectResult("bulkAllocate", noErr, 1);
  EXPECT_EQ(AddMediaSample(m, data, 0, 6, 7, sd, 1, mediaSampleNotSync, nullptr), memFullErr);
  EXPECT_EQ(GetMediaSampleCount(m), 3);
  EXPECT_EQ(GetMediaDuration(m), 30);
  EXPECT_EQ(read(m, 29).data.size(), 4u);
  ASSERT_EQ(AddMediaSample(m, data, 0, 6, 7, sd, 1, mediaSampleNotSync, &at), noErr);
  EXPECT_EQ(at, 30);
  EndMediaEdits(m);
  ASSERT_EQ(InsertMediaIntoTrack(t, 0, 0, GetMediaDuration(m), fixed1), noErr);
  ScratchDir dir;
  Movie flat = flatten(movie, dir / "after.mov");
  ASSERT_NE(flat, nullptr);
  DisposeMovie(flat);
  OpenedMovie opened(dir / "after.mov", fsRdPerm);
  ASSERT_EQ(opened.err, noErr) << opened.message;
  Media back = GetTrackMedia(GetMovieIndTrack(opened, 1));
  for (Media media : {m, back}) {
    EXPECT_EQ(GetMediaSampleCount(media), 4);
    EXPECT_EQ(GetMediaDuration(media), 37);
    SampleRead r = read(media, 29);
    EXPECT_EQ(r.data.size(), 4u);
    EXPECT_EQ(r.flags, 0);
    r = read(media, 30);
    EXPECT_EQ(r.data.size(), 6u);
    EXPECT_EQ(r.duration, 7);
    EXPECT_EQ(r.flags, mediaSampleNotSync);
  }
}

TEST(Samples, AMillionSamplesStayCompactAndFastToQuery) {
  MovieHolder movie(600);
  Track t = NewMovieTrack(movie, 0, 0, 0);
  Media m = NewTrackMedia(t, VideoMediaType, 30000, nullptr, 0);
  ASSERT_EQ(BeginMediaEdits(m), noErr);
  auto desc = imageDescription(2, 2);
  // 1000 calls of 1000 samples; durations alternate 1001 and 500 per call, and
  // every tenth call is sync.
  std::vector<uint8_t> bytes(1000 * 2, 7);
  HandleHolder data(bytes.data(), Size(bytes.size()));
  HandleHolder d(desc.data(), Size(desc.size()));
  for (int call = 0; call < 1000; ++call) {
    ASSERT_EQ(AddMediaSample(m, data, 0, 2000, call % 2 ? 500 : 1001, reinterpret_cast<SampleDescriptionHandle>(d.h),
                             1000, call % 10 ? mediaSampleNotSync : 0, nullptr),
              noErr);
  }
  EndMediaEdits(m);
  ASSERT_EQ(GetMediaSampleCount(m), 1000000);
  const TimeValue pair = 1000 * 1001 + 1000 * 500;  // media time of two calls
  ASSERT_EQ(GetMediaDuration(m), 500 * pair);
  ASSERT_EQ(InsertMediaIntoTrack(t, 0, 0, GetMediaDuration(m), fixed1), noErr);

  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    SInt32 sample = SInt32(rng() % 1000000);  // 0-based
    SInt32 call = sample / 1000, within = sample % 1000;
    TimeValue start = (call / 2) * pair + (call % 2 ? 1000 * 1001 + within * 500 : within * 1001);
    SInt32 num = 0;
    TimeValue st = 0, sd = 0;
    MediaTimeToSampleNum(m, start + 3, &num, &st, &sd);
    ASSERT_EQ(num, sample + 1);
    ASSERT_EQ(st, start);
    ASSERT_EQ(sd, call % 2 ? 500 : 1001);

    // The next sync sample follows in the same call when that call is sync, else it
    // is the first of the next call that is a multiple of ten.
    SInt32 nextSyncCall = (call / 10 + 1) * 10;
    TimeValue syncStart = call % 10 == 0 && within < 999 ? start + 1001
                          : nextSyncCall < 1000          ? (nextSyncCall / 2) * pair
                                                         : -1;
    TimeValue found = 0, dur = 0;
    GetMediaNextInterestingTime(m, nextTimeSyncSample, start, fixed1, &found, &dur);
    ASSERT_EQ(found, syncStart);
    // Through the track (movie scale 600): the same search, mapped.
    TimeValue trackTime = TimeValue((int64_t(start) * 600 + 29999) / 30000);
    Interesting n = next(t, nextTimeMediaSample, trackTime);
    ASSERT_GT(n.time, trackTime);
  }
}

TEST(DataReferences, FilesAsAliasesAndUrls) {
  char path[] = "/tmp/engine-dataref-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  MovieHolder movie;
  Track t = NewMovieTrack(movie, 0, 0, 0);
  Media m = NewTrackMedia(t, SoundMediaType, 44100, nullptr, 0);
  short count = 0;
  ASSERT_EQ(GetMediaDataRefCount(m, &count), noErr);
  EXPECT_EQ(count, 1);
  Handle ref = nullptr;
  OSType type = 0;
  SInt32 attrs = 0;
  ASSERT_EQ(GetMediaDataRef(m, 1, &ref, &type, &attrs), noErr);
  EXPECT_EQ(type, AliasDataHandlerSubType);
  EXPECT_EQ(attrs, dataRefSelfReference);
  EXPECT_EQ(GetHandleSize(ref), 0);
  DisposeHandle(ref);

  FSRef fsref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path), &fsref, nullptr), noErr);
  Handle alias = nullptr;
  ASSERT_EQ(QTNewDataReferenceFromFSRef(&fsref, 0, &alias, &type), noErr);
  EXPECT_EQ(type, AliasDataHandlerSubType);
  ASSERT_EQ(SetMediaDataRef(m, 1, alias, type), noErr);
  DisposeHandle(alias);

  ASSERT_EQ(GetMediaDataRef(m, 1, &ref, &type, nullptr), noErr);
  FSSpec fsSpec;
  Boolean changed = true;
  ASSERT_EQ(ResolveAlias(nullptr, reinterpret_cast<AliasHandle>(ref), &fsSpec, &changed), noErr);
  EXPECT_STREQ(fsSpec.path, path);
  EXPECT_FALSE(changed);
  FSRef back;
  ASSERT_EQ(FSpMakeFSRef(&fsSpec, &back), noErr);
  EXPECT_STREQ(back.path, path);
  unlink(path);
  EXPECT_EQ(ResolveAlias(nullptr, reinterpret_cast<AliasHandle>(ref), &fsSpec, &changed), fnfErr);
  DisposeHandle(ref);

  const char url[] = "http://example.invalid/a.mov";
  HandleHolder u(url, sizeof url);
  short index = 0;
  ASSERT_EQ(AddMediaDataRef(m, &index, u, URLDataHandlerSubType), noErr);
  EXPECT_EQ(index, 2);
  ASSERT_EQ(GetMediaDataRef(m, 2, &ref, &type, nullptr), noErr);
  EXPECT_EQ(type, URLDataHandlerSubType);
  EXPECT_STREQ(*ref, url);
  DisposeHandle(ref);

  EXPECT_EQ(GetMediaDataRef(m, 3, &ref, &type, nullptr), badDataRefIndex);
  EXPECT_EQ(GetMediaDataRef(m, 0, &ref, &type, nullptr), badDataRefIndex);
  EXPECT_EQ(SetMediaDataRef(m, 1, nullptr, AliasDataHandlerSubType), nilHandleErr);
  HandleHolder junk(3);
  EXPECT_EQ(ResolveAlias(nullptr, reinterpret_cast<AliasHandle>(junk.h), &fsSpec, &changed), paramErr);
}

TEST(TimeScales, ConvertTimeScaleRoundsHalfAwayFromZero) {
  TimeRecord r{{1, 0}, 600, nullptr};
  ConvertTimeScale(&r, 44100);
  EXPECT_EQ(r.value.lo, 74u);  // 73.5
  EXPECT_EQ(r.scale, 44100);
  r = {{0xFFFFFFFFu, -1}, 600, nullptr};  // -1
  ConvertTimeScale(&r, 44100);
  EXPECT_EQ(SInt32(r.value.lo), -74);
  EXPECT_EQ(r.value.hi, -1);
  r = {{0, 1}, 1, nullptr};  // 2^32 seconds
  ConvertTimeScale(&r, 1000);
  EXPECT_EQ((int64_t(r.value.hi) << 32) | r.value.lo, int64_t(1000) << 32);
  ConvertTimeScale(&r, 0);
  EXPECT_EQ(GetMoviesError(), paramErr);
}

}  // namespace
