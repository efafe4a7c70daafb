// Movie files: written by the engine and read back, saved in place and flattened,
// and checked against what ffprobe sees in them.
#include "file_support.h"

#include "../../platform/quicktime/src/file/movie_files.h"
#include "../../platform/quicktime/src/file/movie_saving.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

using namespace enginetest;

namespace {

std::string title(Movie m) {
  HandleHolder h;
  if (GetUserDataText(GetMovieUserData(m), h, 0xA96E616D, 1, 0) != noErr) return "(none)";
  auto b = h.bytes();
  return std::string(b.begin(), b.end());
}

void setTitle(Movie m, const std::string& text) {
  HandleHolder h(text.data(), Size(text.size()));
  RemoveUserData(GetMovieUserData(m), 0xA96E616D, 1);
  ASSERT_EQ(AddUserDataText(GetMovieUserData(m), h, 0xA96E616D, 1, 0), noErr);
}

// Video (3 samples of 4 bytes, then 2 of 6, one not sync) and sound (100 frames).
void fillMovie(Movie movie) {
  Track v = NewMovieTrack(movie, 320 << 16, 240 << 16, 0);
  Media vm = NewTrackMedia(v, VideoMediaType, 600, nullptr, 0);
  BeginMediaEdits(vm);
  addSamples(vm, imageDescription(320, 240), 3, 20, 4, true, 1);
  addSamples(vm, imageDescription(320, 240), 2, 20, 6, false, 9);
  EndMediaEdits(vm);
  InsertMediaIntoTrack(v, 0, 0, GetMediaDuration(vm), fixed1);
  Track s = NewMovieTrack(movie, 0, 0, 0x100);
  Media sm = NewTrackMedia(s, SoundMediaType, 44100, nullptr, 0);
  BeginMediaEdits(sm);
  addSamples(sm, soundDescription(1), 100, 1, 2, true, 50);
  EndMediaEdits(sm);
  InsertMediaIntoTrack(s, 0, 0, GetMediaDuration(sm), fixed1);
  setTitle(movie, "Round trip");
}

std::vector<uint8_t> sampleAt(Media m, TimeValue t) {
  HandleHolder data;
  SInt32 size = 0;
  EXPECT_EQ(GetMediaSample(m, data, 0, &size, t, nullptr, nullptr, nullptr, nullptr, 1, nullptr, nullptr), noErr);
  return data.bytes();
}

// What a movie is, as far as these tests compare: tracks, timing and sample bytes.
std::string summary(Movie m) {
  std::string s = "scale=" + std::to_string(GetMovieTimeScale(m)) + " duration=" + std::to_string(GetMovieDuration(m)) +
                  " title=" + title(m);
  for (SInt32 i = 1; i <= GetMovieTrackCount(m); ++i) {
    Track t = GetMovieIndTrack(m, i);
    Media md = GetTrackMedia(t);
    s += " | track " + std::to_string(GetTrackID(t)) + " dur=" + std::to_string(GetTrackDuration(t)) +
         " mscale=" + std::to_string(GetMediaTimeScale(md)) + " samples=" + std::to_string(GetMediaSampleCount(md));
    for (TimeValue at = 0; at < GetMediaDuration(md); at += std::max<TimeValue>(1, GetMediaDuration(md) / 7)) {
      for (uint8_t b : sampleAt(md, at)) s += std::to_string(b) + ",";
    }
  }
  return s;
}

// The 'stbl' atoms of a file's first movie atom, track by track.
std::vector<std::vector<uint8_t>> sampleTablesOf(const std::vector<uint8_t>& file) {
  auto be32 = [&](size_t at) {
    return uint32_t(file[at] << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3]);
  };
  std::vector<std::vector<uint8_t>> tables;
  // Children of [from, to) of the given type.
  auto find = [&](size_t from, size_t to, const char* type, auto each) {
    for (size_t at = from; at + 8 <= to && be32(at) >= 8;) {
      if (std::memcmp(&file[at + 4], type, 4) == 0) each(at, at + be32(at));
      at += be32(at);
    }
  };
  bool seen = false;
  find(0, file.size(), "moov", [&](size_t moov, size_t moovEnd) {
    if (std::exchange(seen, true)) return;
    find(moov + 8, moovEnd, "trak", [&](size_t trak, size_t trakEnd) {
      find(trak + 8, trakEnd, "mdia", [&](size_t mdia, size_t mdiaEnd) {
        find(mdia + 8, mdiaEnd, "minf", [&](size_t minf, size_t minfEnd) {
          find(minf + 8, minfEnd, "stbl", [&](size_t stbl, size_t stblEnd) {
            tables.emplace_back(file.begin() + long(stbl), file.begin() + long(stblEnd));
          });
        });
      });
    });
  });
  return tables;
}

OSErr setStereo(Track t) {
  uint8_t layout[kAudioChannelLayoutHeaderSize] = {};
  AudioChannelLayoutTag tag = kAudioChannelLayoutTag_Stereo;
  std::memcpy(layout, &tag, sizeof tag);
  return QTSetTrackProperty(t, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, sizeof layout, layout);
}

AudioChannelLayoutTag layoutTagOf(Track t) {
  uint8_t layout[64] = {};
  ByteCount used = 0;
  if (QTGetTrackProperty(t, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, sizeof layout, layout, &used))
    return 0;
  AudioChannelLayoutTag tag;
  std::memcpy(&tag, layout, sizeof tag);
  return tag;
}

// Writes a movie file holding what `fill` puts into a new movie; `saved` sees
// the movie after the save.
void writeMovieFile(const std::string& path, const std::function<void(Movie)>& fill,
                    const std::function<void(Movie)>& saved = nullptr) {
  FSSpec fsSpec = fsSpecOf(path);
  short ref = 0;
  Movie movie = nullptr;
  ASSERT_EQ(CreateMovieFile(&fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile, &ref, &movie), noErr);
  fill(movie);
  EXPECT_EQ(AddMovieResource(movie, ref, nullptr, nullptr), noErr) << QTEngineLastFileErrorMessage();
  if (saved) saved(movie);
  DisposeMovie(movie);
  CloseMovieFile(ref);
}

// The movie of fillMovie in a file, and its summary as saved.
std::string createMovieFile(const std::string& path) {
  std::string s;
  writeMovieFile(path, fillMovie, [&](Movie m) { s = summary(m); });
  return s;
}

// A track whose edits are all gone keeps its samples and stays empty once
// saved, for other readers too: without an edit list its media would play.
TEST(MovieFiles, AnEmptiedTrackStaysEmpty) {
  ScratchDir dir;
  std::string path = dir / "empty.mov";
  createMovieFile(path);
  {
    OpenedMovie m(path);
    Track t = GetMovieIndTrack(m, 1);
    ASSERT_EQ(DeleteTrackSegment(t, 0, GetTrackDuration(t)), noErr);
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
  }
  OpenedMovie m(path, fsRdPerm);
  Track t = GetMovieIndTrack(m, 1);
  EXPECT_EQ(GetTrackDuration(t), 0);
  EXPECT_GT(GetMediaSampleCount(GetTrackMedia(t)), 0);
  if (haveTool("ffprobe")) {
    EXPECT_EQ(run("ffprobe -v quiet -select_streams 0 -show_entries stream=duration -of csv=p=0 '" + path + "'"),
              "0.000000\n");
  }
}

TEST(MovieFiles, WrittenMoviesReadBackAndUneditedSavesChangeNothing) {
  ScratchDir dir;
  std::string path = dir / "a.mov";
  std::string written = createMovieFile(path);
  auto bytes = fileBytes(path);
  {
    OpenedMovie m(path);
    ASSERT_EQ(m.err, noErr) << m.message;
    EXPECT_EQ(summary(m), written);
    ASSERT_EQ(m.save(), noErr);
  }
  EXPECT_EQ(fileBytes(path), bytes) << "an unedited save must leave the file alone";

  // An edit saves in place: the sample bytes stay where they were.
  {
    OpenedMovie m(path);
    setTitle(m, "Edited");
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    EXPECT_EQ(title(m), "Edited");
  }
  auto edited = fileBytes(path);
  ASSERT_GE(edited.size(), bytes.size());
  {
    OpenedMovie m(path);
    ASSERT_EQ(m.err, noErr) << m.message;
    std::string expect = written;
    expect.replace(expect.find("title=Round trip"), 16, "title=Edited");
    EXPECT_EQ(summary(m), expect);
    // Samples added after opening go into a new 'mdat'; the old ones stay.
    Media vm = GetTrackMedia(GetMovieIndTrack(m, 1));
    BeginMediaEdits(vm);
    ASSERT_EQ(addSamples(vm, imageDescription(320, 240), 2, 20, 5, true, 77), noErr);
    EndMediaEdits(vm);
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    EXPECT_EQ(sampleAt(vm, 100), (std::vector<uint8_t>{77, 78, 79, 80, 81}));
    // A second save of the same state writes nothing.
    auto once = fileBytes(path);
    ASSERT_EQ(m.save(), noErr);
    EXPECT_EQ(fileBytes(path), once);
  }
  {
    OpenedMovie m(path);
    Media vm = GetTrackMedia(GetMovieIndTrack(m, 1));
    EXPECT_EQ(GetMediaSampleCount(vm), 7);
    EXPECT_EQ(sampleAt(vm, 0), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(sampleAt(vm, 120), (std::vector<uint8_t>{78, 79, 80, 81, 82}));
  }
  auto now = fileBytes(path);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 8, now.begin())) << "ftyp rewritten";

  if (!haveTool("ffprobe")) GTEST_SKIP() << "ffprobe is not installed: outside check skipped";
  std::string probe = run("ffprobe -v error -show_entries stream=codec_type,time_base,nb_frames:format_tags=title "
                          "-of compact '" + path + "'");
  EXPECT_NE(probe.find("codec_type=video|time_base=1/600|nb_frames=7"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_type=audio|time_base=1/44100|nb_frames=100"), std::string::npos) << probe;
  EXPECT_NE(probe.find("title=Edited"), std::string::npos) << probe;
  if (haveTool("exiftool")) {
    std::string exif = run("exiftool -j -Title -TrackID '" + path + "'");
    EXPECT_NE(exif.find("\"Title\": \"Edited\""), std::string::npos) << exif;
  }
  if (haveTool("mediainfo")) {
    std::string info = run("mediainfo --Output=JSON '" + path + "'");
    EXPECT_NE(info.find("\"VideoCount\": \"1\""), std::string::npos) << info;
    EXPECT_NE(info.find("\"AudioCount\": \"1\""), std::string::npos) << info;
  }
}

TEST(MovieFiles, SavesInPlaceKeepUneditedSampleTablesByteForByte) {
  ScratchDir dir;
  std::string path = dir / "a.mov";
  std::string written = createMovieFile(path);
  const auto tables = sampleTablesOf(fileBytes(path));
  ASSERT_EQ(tables.size(), 2u);
  {
    OpenedMovie m(path);
    ASSERT_EQ(m.err, noErr) << m.message;
    // Two edits and saves in one session: the second atom is larger and moves.
    setTitle(m, "First");
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    setTitle(m, "Second, and longer than the first");
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    EXPECT_EQ(sampleTablesOf(fileBytes(path)), tables);
    auto once = fileBytes(path);
    ASSERT_EQ(m.save(), noErr);
    EXPECT_EQ(fileBytes(path), once) << "a save with nothing changed since the last wrote";

    // A layout makes the sound track's table anew; later saves keep that one.
    ASSERT_EQ(setStereo(GetMovieIndTrack(m, 2)), noErr);
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    const auto withLayout = sampleTablesOf(fileBytes(path));
    ASSERT_EQ(withLayout.size(), 2u);
    EXPECT_EQ(withLayout[0], tables[0]);
    EXPECT_NE(withLayout[1], tables[1]);
    setTitle(m, "Third");
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    EXPECT_EQ(sampleTablesOf(fileBytes(path)), withLayout);
    once = fileBytes(path);
    ASSERT_EQ(m.save(), noErr);
    EXPECT_EQ(fileBytes(path), once);
  }
  OpenedMovie again(path, fsRdPerm);
  ASSERT_EQ(again.err, noErr) << again.message;
  std::string expect = written;
  expect.replace(expect.find("title=Round trip"), 16, "title=Third");
  EXPECT_EQ(summary(again), expect);
  EXPECT_EQ(layoutTagOf(GetMovieIndTrack(again, 2)), AudioChannelLayoutTag(kAudioChannelLayoutTag_Stereo));
}

// Files may hold chunks far longer than the engine writes: varying sizes are
// found across them all the same, and equal sizes stay one chunk.
TEST(MovieFiles, LongChunksFromOtherWriters) {
  ScratchDir dir;
  std::string path = dir / "long.mov";
  constexpr SInt32 kSamples = 10000;
  writeMovieFile(path, [](Movie movie) {
    Track v = NewMovieTrack(movie, 320 << 16, 240 << 16, 0);
    Media vm = NewTrackMedia(v, VideoMediaType, 600, nullptr, 0);
    BeginMediaEdits(vm);
    for (SInt32 i = 0; i < kSamples; ++i) addSamples(vm, imageDescription(320, 240), 1, 1, 3 + i % 4, true, uint8_t(i));
    EndMediaEdits(vm);
    InsertMediaIntoTrack(v, 0, 0, GetMediaDuration(vm), fixed1);
    Track s = NewMovieTrack(movie, 0, 0, 0x100);
    Media sm = NewTrackMedia(s, SoundMediaType, 44100, nullptr, 0);
    BeginMediaEdits(sm);
    addSamples(sm, soundDescription(1), kSamples, 1, 2, true, 5);
    EndMediaEdits(sm);
    InsertMediaIntoTrack(s, 0, 0, GetMediaDuration(sm), fixed1);
  });
  // Each track's samples lie back to back; one 'stsc' entry makes them one chunk.
  auto file = fileBytes(path);
  std::string text(file.begin(), file.end());
  for (size_t at = text.find("stsc"); at != std::string::npos; at = text.find("stsc", at + 4)) {
    const uint8_t entry[16] = {0, 0, 0, 1, 0, 0, 0, 1, uint8_t(kSamples >> 24), uint8_t(kSamples >> 16),
                               uint8_t(kSamples >> 8), uint8_t(kSamples), 0, 0, 0, 1};
    std::memcpy(&file[at + 8], entry, sizeof entry);  // count 1, then the entry; later entries are unread
  }
  writeBytes(path, file);

  OpenedMovie m(path, fsRdPerm);
  ASSERT_EQ(m.err, noErr) << m.message;
  Media vm = GetTrackMedia(GetMovieIndTrack(m, 1));
  ASSERT_EQ(GetMediaSampleCount(vm), kSamples);
  for (TimeValue i : {0, 4095, 4096, 4097, 8191, 8192, kSamples - 1}) {
    std::vector<uint8_t> expect(size_t(3 + i % 4));
    for (size_t k = 0; k < expect.size(); ++k) expect[k] = uint8_t(i + k);
    EXPECT_EQ(sampleAt(vm, i), expect) << "sample " << i;
  }
  Media sm = GetTrackMedia(GetMovieIndTrack(m, 2));
  HandleHolder data;
  SInt32 size = 0, count = 0;
  ASSERT_EQ(GetMediaSample(sm, data, 0, &size, 0, nullptr, nullptr, nullptr, nullptr, 0, &count, nullptr), noErr);
  EXPECT_EQ(count, kSamples) << "samples of one size in one chunk come back together";
  EXPECT_EQ(data.bytes()[2 * (kSamples - 1)], uint8_t(5 + kSamples - 1));
}

// A media whose samples lie in several files reads each through the file it
// names, more files than it keeps open at once, in any order.
TEST(MovieFiles, OneMediaReadsThroughManyFiles) {
  ScratchDir dir;
  constexpr int kFiles = 6;
  std::vector<std::unique_ptr<OpenedMovie>> sources;
  for (int i = 0; i < kFiles; ++i) {
    std::string path = dir / ("part" + std::to_string(i) + ".mov");
    writeMovieFile(path, [i](Movie movie) {
      Track v = NewMovieTrack(movie, 320 << 16, 240 << 16, 0);
      Media vm = NewTrackMedia(v, VideoMediaType, 600, nullptr, 0);
      BeginMediaEdits(vm);
      addSamples(vm, imageDescription(320, 240), 2, 10, 3, true, uint8_t(10 * i));
      EndMediaEdits(vm);
      InsertMediaIntoTrack(v, 0, 0, GetMediaDuration(vm), fixed1);
    });
    sources.push_back(std::make_unique<OpenedMovie>(path, fsRdPerm));
    ASSERT_EQ(sources.back()->err, noErr) << sources.back()->message;
  }
  Movie whole = NewMovie(0);
  Track t = NewMovieTrack(whole, 320 << 16, 240 << 16, 0);
  NewTrackMedia(t, VideoMediaType, 600, nullptr, 0);
  for (int i = 0; i < kFiles; ++i)
    ASSERT_EQ(InsertTrackSegment(GetMovieIndTrack(*sources[size_t(i)], 1), t, 0, 20, 20 * i), noErr);
  sources.clear();  // the media holds its own way to the files
  Media m = GetTrackMedia(t);
  ASSERT_EQ(GetMediaSampleCount(m), 2 * kFiles);
  for (int pass = 0; pass < 2; ++pass)
    for (int i : {0, 5, 1, 4, 2, 3, 0, 5}) {
      uint8_t first = uint8_t(10 * i + 1);
      EXPECT_EQ(sampleAt(m, 20 * i + 10), (std::vector<uint8_t>{first, uint8_t(first + 1), uint8_t(first + 2)}))
          << "file " << i;
    }
  DisposeMovie(whole);
}

TEST(MovieFiles, FlattenWritesOneSelfContainedFileEitherWay) {
  ScratchDir dir;
  std::string src = dir / "src.mov";
  std::string written = createMovieFile(src);
  OpenedMovie m(src, fsRdPerm);
  ASSERT_EQ(m.err, noErr);
  for (bool fastStart : {false, true}) {
    std::string out = dir / (fastStart ? "fast.mov" : "flat.mov");
    FSSpec fsSpec = fsSpecOf(out);
    SInt32 flags = flattenAddMovieToDataFork | (fastStart ? flattenForceMovieResourceBeforeMovieData : 0);
    Movie flat = FlattenMovieData(m, flags, &fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile);
    ASSERT_NE(flat, nullptr) << QTEngineLastFileErrorMessage();
    EXPECT_EQ(summary(flat), written);
    DisposeMovie(flat);
    auto b = fileBytes(out);
    std::string types;
    for (size_t at = 0; at + 8 <= b.size();) {
      uint32_t size = uint32_t(b[at] << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
      types += std::string(b.begin() + long(at) + 4, b.begin() + long(at) + 8) + " ";
      if (size < 8) break;
      at += size;
    }
    EXPECT_EQ(types, fastStart ? "ftyp moov mdat " : "ftyp wide mdat moov ");
    // Existing files are replaced only when asked.
    EXPECT_EQ(FlattenMovieData(m, flags, &fsSpec, "TVOD"_4cc, 0, 0), nullptr);
    EXPECT_EQ(GetMoviesError(), dupFNErr);
    if (haveTool("ffprobe")) {
      EXPECT_EQ(packets(out), packets(src)) << "samples or timing changed";
    }
  }
}

// Offsets past 4 GiB take 'co64' and read back to the same samples. The file is
// sparse: a large 'free' atom before the samples.
TEST(MovieFiles, OffsetsPastFourGigabytes) {
  ScratchDir dir;
  std::string path = dir / "big.mov";
  FSSpec fsSpec = fsSpecOf(path);
  short ref = 0;
  Movie movie = nullptr;
  ASSERT_EQ(CreateMovieFile(&fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile, &ref, &movie), noErr);
  {
    const uint64_t gap = (uint64_t(5) << 30);
    int fd = open(path.c_str(), O_RDWR);
    off_t end = lseek(fd, 0, SEEK_END);
    uint8_t h[16] = {0, 0, 0, 1, 'f', 'r', 'e', 'e'};
    for (int i = 0; i < 8; ++i) h[8 + i] = uint8_t(gap >> (56 - 8 * i));
    ASSERT_EQ(pwrite(fd, h, 16, end), 16);
    ASSERT_EQ(ftruncate(fd, off_t(end + gap)), 0);
    close(fd);
  }
  SetMovieTimeScale(movie, 1000);
  Track t = NewMovieTrack(movie, 64 << 16, 64 << 16, 0);
  Media md = NewTrackMedia(t, VideoMediaType, 1000, nullptr, 0);
  BeginMediaEdits(md);
  ASSERT_EQ(addSamples(md, imageDescription(64, 64), 3, 100, 8, true, 3), noErr);
  EndMediaEdits(md);
  ASSERT_EQ(InsertMediaIntoTrack(t, 0, 0, 300, fixed1), noErr);
  ASSERT_EQ(AddMovieResource(movie, ref, nullptr, nullptr), noErr) << QTEngineLastFileErrorMessage();
  DisposeMovie(movie);
  CloseMovieFile(ref);

  OpenedMovie m(path, fsRdPerm);
  ASSERT_EQ(m.err, noErr) << m.message;
  Media back = GetTrackMedia(GetMovieIndTrack(m, 1));
  EXPECT_EQ(sampleAt(back, 100), (std::vector<uint8_t>{4, 5, 6, 7, 8, 9, 10, 11}));
  // The movie atom went into the free space, before its samples.
  std::string head(4096, '\0');
  std::ifstream(path, std::ios::binary).read(head.data(), std::streamsize(head.size()));
  EXPECT_EQ(head.find("moov"), 24u);
  EXPECT_NE(head.find("co64"), std::string::npos);
  EXPECT_EQ(head.find("stco"), std::string::npos);
  if (!haveTool("ffprobe")) GTEST_SKIP() << "ffprobe is not installed: outside check skipped";
  std::string probe = run("ffprobe -v error -show_entries packet=pos,size -of csv '" + path + "'");
  EXPECT_NE(probe.find("packet,8," + std::to_string((5LL << 30) + 20 + 8 + 8)), std::string::npos) << probe;
}

// A track longer than 32 bits of movie time takes version-1 movie and track
// headers; the file reads back to the same edits and ffprobe agrees.
TEST(MovieFiles, DurationsPastThirtyTwoBits) {
  ScratchDir dir;
  std::string path = dir / "long.mov";
  FSSpec fsSpec = fsSpecOf(path);
  short ref = 0;
  Movie movie = nullptr;
  ASSERT_EQ(CreateMovieFile(&fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile, &ref, &movie), noErr);
  SetMovieTimeScale(movie, 1000);
  Track t = NewMovieTrack(movie, 64 << 16, 64 << 16, 0);
  Media md = NewTrackMedia(t, VideoMediaType, 1000, nullptr, 0);
  BeginMediaEdits(md);
  ASSERT_EQ(addSamples(md, imageDescription(64, 64), 1, 0x7FFFFFF0, 8, true, 3), noErr);
  EndMediaEdits(md);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(InsertMediaIntoTrack(t, 0, 0, 0x7FFFFFF0, fixed1), noErr);
  ASSERT_EQ(AddMovieResource(movie, ref, nullptr, nullptr), noErr) << QTEngineLastFileErrorMessage();
  DisposeMovie(movie);
  CloseMovieFile(ref);

  std::string bytes;
  for (uint8_t c : fileBytes(path)) bytes += char(c);
  for (const char* header : {"mvhd", "tkhd"}) EXPECT_EQ(bytes[bytes.find(header) + 4], 1) << header << " version";
  EXPECT_EQ(bytes[bytes.find("mdhd") + 4], 0) << "the media itself is shorter than 32 bits";
  OpenedMovie m(path, fsRdPerm);
  ASSERT_EQ(m.err, noErr) << m.message;
  Track back = GetMovieIndTrack(m, 1);
  EXPECT_EQ(reinterpret_cast<qte::Track*>(back)->edits.duration(), 3LL * 0x7FFFFFF0);
  EXPECT_EQ(sampleAt(GetTrackMedia(back), 5), (std::vector<uint8_t>{3, 4, 5, 6, 7, 8, 9, 10}));
  if (!haveTool("ffprobe")) GTEST_SKIP() << "ffprobe is not installed: outside check skipped";
  std::string probe = run("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'");
  EXPECT_NEAR(std::stod(probe), 3.0 * 0x7FFFFFF0 / 1000, 1.0) << probe;
}

// Every prefix of a save's writes leaves a file that reads as the old movie or the new one.
// Each case saves some titles first (leaving 'free' atoms where movie atoms were),
// then plans one more save and replays its writes one by one: after every prefix
// the file opens as the movie before or after.
TEST(MovieFiles, SavesAreCrashSafeAtEveryWrite) {
  struct Case {
    const char* what;
    std::vector<std::string> before;  // titles saved first
    std::string title;
    bool addSample;
    bool grows;  // whether the file gets longer
  } cases[] = {
      {"appended", {}, "New", false, true},
      {"with new samples", {}, std::string(300, 'x'), true, true},
      {"into free space, with a free tail", {"Round trip, longer"}, "Hi", false, false},
      {"into neighbouring free atoms joined", {"Round trip, longer", "Round trip, longer still"},
       std::string(300, 'y'), false, false},
  };
  ScratchDir dir;
  std::string path = dir / "c.mov";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    createMovieFile(path);
    for (const std::string& t : c.before) {
      OpenedMovie m(path);
      setTitle(m, t);
      ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    }
    const std::string previous = c.before.empty() ? "Round trip" : c.before.back();
    const auto original = fileBytes(path);
    OpenedMovie m(path, fsRdPerm);
    ASSERT_EQ(m.err, noErr);
    setTitle(m, c.title);
    if (c.addSample) {
      Media vm = GetTrackMedia(GetMovieIndTrack(m, 1));
      BeginMediaEdits(vm);
      addSamples(vm, imageDescription(320, 240), 1, 20, 4, true, 200);
      EndMediaEdits(vm);
    }
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    fstat(fd, &st);
    std::vector<qte::file::TopAtom> top;
    qte::file::Failure f;
    ASSERT_EQ(qte::file::scanTopLevel(fd, uint64_t(st.st_size), top, f), noErr);
    close(fd);
    std::vector<qte::file::WriteStep> plan;
    qte::file::WrittenAtom moov;
    uint64_t moovAt = 0;
    std::vector<qte::file::PlacedTable> placed;
    auto* model = reinterpret_cast<qte::Movie*>(m.movie);
    ASSERT_EQ(qte::file::planUpdate(*model, path, top, uint64_t(st.st_size), plan,
                                    moov, moovAt, placed, f),
              noErr);
    ASSERT_GE(plan.size(), 2u);
    std::vector<uint8_t> state = original;
    for (size_t k = 0; k <= plan.size(); ++k) {
      std::string copy = dir / "step.mov";
      writeBytes(copy, state);
      OpenedMovie s(copy, fsRdPerm);
      ASSERT_EQ(s.err, noErr) << "after " << k << " writes: " << s.message;
      std::string t = title(s);
      EXPECT_TRUE(t == previous || t == c.title) << "after " << k << " writes: " << t;
      if (k == plan.size()) {
        EXPECT_EQ(t, c.title);
        EXPECT_EQ(state.size() > original.size(), c.grows) << state.size() << " bytes, were " << original.size();
      }
      if (k < plan.size()) {
        uint64_t at = plan[k].offset;
        plan[k].forEach(moov, [&](const uint8_t* p, size_t n) {
          if (state.size() < at + n) state.resize(at + n);
          std::copy(p, p + n, state.begin() + long(at));
          at += n;
          return true;
        });
      }
    }
  }
}

TEST(MovieFiles, FilesOtherToolsWrote) {
  if (!haveTool("ffmpeg") || !haveTool("ffprobe")) GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
  ScratchDir dir;
  std::string meta = dir / "chapters.txt";
  {
    std::ofstream o(meta);
    o << ";FFMETADATA1\ntitle=Source\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=Intro\n"
         "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Zweite Straße\n";
  }
  struct Case {
    const char* name;
    std::string args;
  };
  std::vector<Case> cases = {
      {"mjpeg-pcm-tc.mov", "-c:v mjpeg -c:a pcm_s16le -timecode 01:00:00:00 -metadata title=Tagged"},
      {"mdta.mov", "-c:v mjpeg -c:a pcm_s16le -movflags use_metadata_tags -metadata com.example.key=Value"},
      {"faststart.mp4", "-c:v mjpeg -c:a aac -movflags +faststart"},
  };
  if (run("ffmpeg -hide_banner -encoders 2>/dev/null").find("libx264") != std::string::npos)
    cases.push_back({"h264-aac.mov", "-c:v libx264 -preset ultrafast -c:a aac"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir / c.name;
    run("ffmpeg -v error -y -f lavfi -i testsrc=d=2:s=160x120:r=25 -f lavfi -i sine=d=2 -i '" + meta +
        "' -map 0 -map 1 -map_metadata 2 -map_chapters 2 " + c.args + " '" + path + "'");
    ASSERT_EQ(access(path.c_str(), R_OK), 0) << "ffmpeg made no file";
    const std::string before = packets(path);
    const auto bytes = fileBytes(path);
    const auto tables = sampleTablesOf(bytes);
    {
      OpenedMovie m(path);
      ASSERT_EQ(m.err, noErr) << m.message;
      std::string probe = run("ffprobe -v error -show_entries stream=index -of csv=p=0 '" + path + "'");
      EXPECT_EQ(size_t(GetMovieTrackCount(m)), size_t(std::count(probe.begin(), probe.end(), '\n')));
      ASSERT_EQ(m.save(), noErr);
      EXPECT_EQ(fileBytes(path), bytes) << "unedited save changed the file";
      setTitle(m, "Renamed");
      ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    }
    EXPECT_EQ(packets(path), before) << "samples or their timing changed";
    EXPECT_EQ(sampleTablesOf(fileBytes(path)), tables) << "sample tables rewritten";
    std::string after = run("ffprobe -v error -show_chapters -show_format -show_streams -of compact '" + path + "'");
    if (c.args.find("-timecode") != std::string::npos) {
      EXPECT_NE(after.find("timecode=01:00:00:00"), std::string::npos) << after;
    }
    EXPECT_NE(after.find("=Renamed"), std::string::npos) << after;
    EXPECT_NE(after.find("Zweite Straße"), std::string::npos) << after;
    if (std::string(c.name) == "mdta.mov") {
      EXPECT_NE(after.find("com.example.key=Value"), std::string::npos) << after;
    }
    OpenedMovie again(path, fsRdPerm);
    EXPECT_EQ(again.err, noErr) << again.message;
    EXPECT_EQ(title(again), "Renamed");
  }
}

// Where a field of the first `type` atom from `from` on lies: `at` bytes past its type.
size_t fieldOf(const std::vector<uint8_t>& file, const char* type, size_t at, size_t from = 0) {
  auto it = std::search(file.begin() + long(from), file.end(), type, type + 4);
  return it == file.end() ? 0 : size_t(it - file.begin()) + at;
}

// A new track takes an ID no track has, whatever the header's next track ID
// says (0xFFFFFFFF is legal: "unknown"), and the file keeps a valid one.
TEST(MovieFiles, NewTracksTakeFreeIDs) {
  struct Case {
    const char* what;
    uint32_t secondID, newID, nextInFile;
  } cases[] = {{"next track ID unknown", 2, 3, 4}, {"largest ID taken", 0xFFFFFFFE, 2, 0xFFFFFFFF}};
  ScratchDir dir;
  std::string path = dir / "ids.mov";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    createMovieFile(path);
    auto bytes = fileBytes(path);
    const size_t mvhd = fieldOf(bytes, "mvhd", 100), tkhd = fieldOf(bytes, "tkhd", 16, fieldOf(bytes, "tkhd", 4));
    ASSERT_TRUE(mvhd && tkhd);
    put32(bytes, mvhd, 0xFFFFFFFF);
    put32(bytes, tkhd, c.secondID);
    writeBytes(path, bytes);
    {
      OpenedMovie m(path);
      ASSERT_EQ(m.err, noErr) << m.message;
      Track t = NewMovieTrack(m, 0, 0, 0);
      NewTrackMedia(t, TextMediaType, 600, nullptr, 0);
      EXPECT_EQ(GetTrackID(t), long(c.newID));
      ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    }
    OpenedMovie again(path, fsRdPerm);
    ASSERT_EQ(again.err, noErr) << again.message;
    EXPECT_EQ(GetTrackID(GetMovieIndTrack(again, 3)), long(c.newID));
    auto saved = fileBytes(path);
    const size_t next = fieldOf(saved, "mvhd", 100, fieldOf(saved, "moov", 0));
    EXPECT_EQ(uint32_t(saved[next] << 24 | saved[next + 1] << 16 | saved[next + 2] << 8 | saved[next + 3]),
              c.nextInFile);
  }
}

// A save that would not read back, or whose writes fail (here: past the file
// size limit, as on a full disk), leaves every byte of the file as it was.
TEST(MovieFiles, FailedSavesLeaveTheFileAsItWas) {
  ScratchDir dir;
  std::string path = dir / "f.mov";
  createMovieFile(path);
  const auto bytes = fileBytes(path);
  {
    OpenedMovie m(path);
    // User data named like a metadata container that holds none.
    HandleHolder junk("\0\0\0\0junk", 8);
    ASSERT_EQ(AddUserData(GetMovieUserData(m), junk, "meta"_4cc), noErr);
    EXPECT_NE(m.save(), noErr);
    EXPECT_NE(std::string(QTEngineLastFileErrorMessage()).find("does not read back"), std::string::npos)
        << QTEngineLastFileErrorMessage();
  }
  EXPECT_EQ(fileBytes(path), bytes);

  // Memory running out while a movie atom is read (opening, or checking a
  // save) fails that call with memFullErr, not the process.
  {
    {
      QTEngineHookInjectResult("bulkAllocate", noErr, 1);
      OpenedMovie failed(path);
      EXPECT_EQ(failed.err, memFullErr);
      EXPECT_EQ(failed.movie, nullptr);
    }
    OpenedMovie m(path);
    ASSERT_EQ(m.err, noErr) << m.message;
    setTitle(m, "Renamed");
    QTEngineHookInjectResult("bulkAllocate", noErr, 1);
    EXPECT_EQ(m.save(), memFullErr);
    EXPECT_EQ(GetMoviesError(), memFullErr);
  }
  EXPECT_EQ(fileBytes(path), bytes);

  // New samples and a new movie atom, of which only the first bytes fit, after
  // an atom's size cut off at the end of the file was made whole.
  auto cut = bytes;
  cut.insert(cut.end(), {0, 0, 0, 1, 'f', 'r', 'e', 'e', 0});
  writeBytes(path, cut);
  pid_t child = fork();
  if (child == 0) {
    rlimit limit{rlim_t(cut.size() + 100), RLIM_INFINITY};
    signal(SIGXFSZ, SIG_IGN);
    OpenedMovie m(path);
    setTitle(m, std::string(5000, 't'));
    Media vm = GetTrackMedia(GetMovieIndTrack(m, 1));
    BeginMediaEdits(vm);
    addSamples(vm, imageDescription(320, 240), 100, 20, 40);
    EndMediaEdits(vm);
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(m.save() == noErr ? 0 : std::string(QTEngineLastFileErrorMessage()).find("as it was") != std::string::npos ? 1 : 2);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_EQ(fileBytes(path), cut);
}

// Bytes past the last whole atom (an atom whose size runs past the end of the
// file, or a cut-off 64-bit size) become free space when the file is saved,
// so that other readers do not take them for atoms.
TEST(MovieFiles, BytesPastTheLastAtomBecomeFreeSpace) {
  const std::vector<uint8_t> tails[] = {
      {0xFF, 0xFF, 0xFF, 0xFF, 'f', 'r', 'e', 'e', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
      {0, 0, 0, 1, 'f', 'r', 'e', 'e', 0xFF, 0, 0, 0, 0, 0, 0, 0, 'm', 'o', 'o', 'v'},
      {0, 0, 0, 1, 'f', 'r', 'e', 'e', 0},
  };
  ScratchDir dir;
  std::string path = dir / "t.mov";
  for (const auto& tail : tails) {
    SCOPED_TRACE(tail.size());
    createMovieFile(path);
    auto bytes = fileBytes(path);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    if (tail.size() > 9) bytes.resize(bytes.size() + 5000, 'x');  // longer than the new movie atom
    writeBytes(path, bytes);
    {
      OpenedMovie m(path);
      ASSERT_EQ(m.err, noErr) << m.message;
      setTitle(m, "Tail");
      ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
    }
    int fd = open(path.c_str(), O_RDONLY);
    std::vector<qte::file::TopAtom> top;
    qte::file::Failure f;
    ASSERT_EQ(qte::file::scanTopLevel(fd, qte::file::sizeOfFile(fd), top, f), noErr);
    EXPECT_EQ(top.back().offset + top.back().size, qte::file::sizeOfFile(fd));
    close(fd);
    if (haveTool("ffprobe")) {
      EXPECT_EQ(run("ffprobe -v error -show_entries format=nb_streams -of csv=p=0 '" + path + "' 2>/dev/null"), "2\n");
    }
  }
}

}  // namespace
