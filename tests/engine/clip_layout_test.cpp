// Clip regions of tracks and movies and the channel-layout properties: kept as
// copies, answered with QuickTime's errors, and carried through movie files.
#include "file_support.h"

#include <QuickDraw.h>

#include <algorithm>

using namespace enginetest;

namespace {

struct Region {
  RgnHandle h;
  Region() : h(NewRgn()) {}
  explicit Region(RgnHandle r) : h(r) {}
  ~Region() {
    if (h) DisposeRgn(h);
  }
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;
  operator RgnHandle() const { return h; }
};

// An L shape with a square hole: not a rectangle, so it has scan lines.
void lShape(RgnHandle r) {
  Region top, foot, hole;
  SetRectRgn(top, 0, 0, 160, 120);
  SetRectRgn(foot, 0, 120, 80, 240);
  SetRectRgn(hole, 20, 20, 40, 40);
  UnionRgn(top, foot, r);
  DiffRgn(r, hole, r);
}

// A native AudioChannelLayout record.
std::vector<uint8_t> layout(UInt32 tag, UInt32 bitmap, const std::vector<AudioChannelDescription>& d = {}) {
  std::vector<uint8_t> b(kAudioChannelLayoutHeaderSize + kAudioChannelDescriptionSize * d.size());
  UInt32 header[3] = {tag, bitmap, UInt32(d.size())};
  std::memcpy(b.data(), header, sizeof header);
  if (!d.empty()) std::memcpy(b.data() + kAudioChannelLayoutHeaderSize, d.data(), b.size() - sizeof header);
  return b;
}

// The 5.1 channels by description, each with a coordinate that floats cannot hold exactly.
std::vector<uint8_t> fivePointOne() {
  std::vector<AudioChannelDescription> d;
  for (UInt32 label : {1u, 2u, 3u, 4u, 5u, 6u})
    d.push_back({label, kAudioChannelFlags_RectangularCoordinates, {0.1f * float(label), -1.0f, 0.0f}});
  return layout(kAudioChannelLayoutTag_UseChannelDescriptions, 0, d);
}

OSErr setLayout(Track t, const std::vector<uint8_t>& l) {
  return QTSetTrackProperty(t, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, ByteCount(l.size()), l.data());
}

// The track's layout through the info call and a buffer of the size it gives.
std::vector<uint8_t> layoutOf(Track t, OSErr* err = nullptr) {
  ByteCount size = 0;
  OSErr e = QTGetTrackPropertyInfo(t, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, nullptr, &size, nullptr);
  std::vector<uint8_t> b(size);
  ByteCount used = 0;
  if (e == noErr)
    e = QTGetTrackProperty(t, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, size, b.data(), &used);
  if (e == noErr) {
    EXPECT_EQ(used, size);
  }
  if (err) *err = e;
  return e == noErr ? b : std::vector<uint8_t>{};
}

std::vector<uint8_t> summaryOf(Movie m, OSErr* err = nullptr) {
  ByteCount size = 0;
  UInt32 flags = 0;
  OSErr e = QTGetMoviePropertyInfo(m, kQTPropertyClass_Audio, kQTAudioPropertyID_SummaryChannelLayout, nullptr, &size,
                                   &flags);
  std::vector<uint8_t> b(size);
  if (e == noErr) {
    EXPECT_EQ(flags, UInt32(kQTPropertyFlagCanGet));
    e = QTGetMovieProperty(m, kQTPropertyClass_Audio, kQTAudioPropertyID_SummaryChannelLayout, size, b.data(), nullptr);
  }
  if (err) *err = e;
  return e == noErr ? b : std::vector<uint8_t>{};
}

std::vector<UInt32> labelsOf(const std::vector<uint8_t>& l) {
  std::vector<UInt32> labels;
  for (size_t at = kAudioChannelLayoutHeaderSize; at + kAudioChannelDescriptionSize <= l.size();
       at += kAudioChannelDescriptionSize) {
    UInt32 label;
    std::memcpy(&label, l.data() + at, 4);
    labels.push_back(label);
  }
  return labels;
}

Track soundTrack(Movie movie, const std::vector<uint8_t>& desc, bool withSamples = true) {
  Track t = NewMovieTrack(movie, 0, 0, 0x100);
  Media m = NewTrackMedia(t, SoundMediaType, 44100, nullptr, 0);
  if (withSamples) {
    BeginMediaEdits(m);
    addSamples(m, desc, 50, 1, 2);
    EndMediaEdits(m);
    InsertMediaIntoTrack(t, 0, 0, GetMediaDuration(m), fixed1);
  }
  return t;
}

// A version-2 sound description with a 'wave' extension and a mono 'chan' after it.
std::vector<uint8_t> soundDescriptionV2() {
  auto b = description("lpcm"_4cc, 72 - 16 + 16 + 24);
  put16(b, 16, 2);
  put16(b, 24, 3);
  put32(b, 48, 1);
  put32(b, 72, 16);
  put32(b, 76, "wave"_4cc);
  put32(b, 80, 8);
  put32(b, 84, 0);
  put32(b, 88, 24);
  put32(b, 92, "chan"_4cc);
  put32(b, 100, kAudioChannelLayoutTag_Mono);
  return b;
}

size_t countOf(const std::vector<uint8_t>& bytes, const char* type) {
  size_t n = 0;
  for (auto it = bytes.begin(); (it = std::search(it, bytes.end(), type, type + 4)) != bytes.end(); ++it) ++n;
  return n;
}

}  // namespace

TEST(ClipRegions, TracksAndMoviesKeepTheirOwnCopies) {
  MovieHolder movie;
  Track t = videoTrack(movie, 600, 2, 10);
  long regions = QDLiveRegionCount();
  EXPECT_EQ(GetTrackClipRgn(t), nullptr);
  EXPECT_EQ(GetMoviesError(), noErr);
  EXPECT_EQ(GetTrackClipRgn(nullptr), nullptr);
  EXPECT_EQ(GetMoviesError(), invalidTrack);
  {
    Region shape, expect;
    lShape(shape);
    lShape(expect);
    SetTrackClipRgn(t, shape);
    EXPECT_EQ(GetMoviesError(), noErr);
    SetEmptyRgn(shape);
    Region back(GetTrackClipRgn(t)), again(GetTrackClipRgn(t));
    ASSERT_NE(back.h, nullptr);
    EXPECT_NE(back.h, again.h);
    EXPECT_TRUE(EqualRgn(back, expect));
    EXPECT_TRUE(EqualRgn(again, expect));

    Track clone = nullptr;
    ASSERT_EQ(AddClonedTrackToMovie(t, movie, kQTCloneShareSamples, &clone), noErr);
    Region cloned(GetTrackClipRgn(clone));
    EXPECT_TRUE(cloned.h && EqualRgn(cloned, expect));

    // An empty region is a clip that hides everything, unlike none.
    Region empty;
    SetTrackClipRgn(t, empty);
    Region hidden(GetTrackClipRgn(t));
    ASSERT_NE(hidden.h, nullptr);
    EXPECT_TRUE(EmptyRgn(hidden));
    SetTrackClipRgn(t, nullptr);
    EXPECT_EQ(GetTrackClipRgn(t), nullptr);
    EXPECT_EQ(GetMoviesError(), noErr);

    SetMovieClipRgn(movie, expect);
    Region movieClip(GetMovieClipRgn(movie));
    EXPECT_TRUE(movieClip.h && EqualRgn(movieClip, expect));
    SetMovieClipRgn(movie, nullptr);
    EXPECT_EQ(GetMovieClipRgn(movie), nullptr);
    SetMovieClipRgn(nullptr, expect);
    EXPECT_EQ(GetMoviesError(), invalidMovie);
    SetTrackClipRgn(nullptr, expect);
    EXPECT_EQ(GetMoviesError(), invalidTrack);
  }
  EXPECT_EQ(QDLiveRegionCount(), regions);
}

TEST(ChannelLayouts, TrackPropertyAnswersWithQuickTimesErrors) {
  MovieHolder movie;
  Track video = videoTrack(movie, 600, 2, 10);
  Track empty = soundTrack(movie, {}, false);
  Track stereo = soundTrack(movie, soundDescription(2));
  const auto five = fivePointOne();
  OSErr err;
  EXPECT_TRUE(layoutOf(nullptr, &err).empty());
  EXPECT_EQ(err, invalidTrack);
  layoutOf(video, &err);
  EXPECT_EQ(err, kQTPropertyNotSupportedErr);
  EXPECT_EQ(setLayout(video, five), kQTPropertyNotSupportedErr);
  EXPECT_EQ(QTGetTrackPropertyInfo(stereo, kQTPropertyClass_Audio, "xxxx"_4cc, nullptr, nullptr, nullptr),
            kQTPropertyNotSupportedErr);
  layoutOf(empty, &err);
  EXPECT_EQ(err, kQTPropertyAskLaterErr);

  // Without a 'chan' the channel count says it; the record's size bounds every read and write.
  QTPropertyValueType type = 0;
  UInt32 flags = 0;
  ASSERT_EQ(QTGetTrackPropertyInfo(stereo, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, &type, nullptr,
                                   &flags),
            noErr);
  EXPECT_EQ(type, UInt32(kQTPropertyValueType_AudioChannelLayout));
  EXPECT_EQ(flags, UInt32(kQTPropertyFlagCanGet | kQTPropertyFlagCanSet));
  EXPECT_EQ(layoutOf(stereo), layout(kAudioChannelLayoutTag_Stereo, 0));
  std::vector<uint8_t> small(11);
  EXPECT_EQ(QTGetTrackProperty(stereo, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, 11, small.data(),
                               nullptr),
            kQTPropertyBadValueSizeErr);
  EXPECT_EQ(QTGetTrackProperty(stereo, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, 12, nullptr, nullptr),
            paramErr);
  auto overcounted = layout(kAudioChannelLayoutTag_UseChannelDescriptions, 0, {{1, 0, {0, 0, 0}}});
  overcounted[8] = 2;  // two descriptions counted, one present
  EXPECT_EQ(setLayout(stereo, overcounted), kQTPropertyBadValueSizeErr);
  EXPECT_EQ(QTSetTrackProperty(stereo, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, 8, five.data()),
            kQTPropertyBadValueSizeErr);
  EXPECT_EQ(QTSetTrackProperty(stereo, kQTPropertyClass_Audio, kQTAudioPropertyID_ChannelLayout, 12, nullptr), paramErr);
  EXPECT_EQ(layoutOf(stereo), layout(kAudioChannelLayoutTag_Stereo, 0)) << "a refused layout changed the track";

  // Set layouts read back exactly, floats bit for bit; extra bytes are not part of it.
  auto padded = five;
  padded.resize(five.size() + 20, 0xEE);
  ASSERT_EQ(setLayout(stereo, padded), noErr);
  EXPECT_EQ(layoutOf(stereo), five);
  ASSERT_EQ(setLayout(empty, layout(kAudioChannelLayoutTag_UseChannelBitmap, 0x3F)), noErr);
  EXPECT_EQ(layoutOf(empty), layout(kAudioChannelLayoutTag_UseChannelBitmap, 0x3F));
}

TEST(ChannelLayouts, MovieSummaryOfEnabledSoundTracks) {
  MovieHolder movie;
  OSErr err;
  videoTrack(movie, 600, 2, 10);
  summaryOf(movie, &err);
  EXPECT_EQ(err, kQTPropertyNotSupportedErr) << "a movie without sound has no summary";

  Track stereo = soundTrack(movie, soundDescription(2));
  EXPECT_EQ(summaryOf(movie), layout(kAudioChannelLayoutTag_Stereo, 0));
  Track surround = soundTrack(movie, soundDescription(2));
  EXPECT_EQ(summaryOf(movie), layout(kAudioChannelLayoutTag_Stereo, 0)) << "agreeing tracks give their layout";

  // Otherwise each channel label once: stereo's L R, then what 5.1 adds.
  ASSERT_EQ(setLayout(surround, layout(kAudioChannelLayoutTag_MPEG_5_1_C, 0)), noErr);
  EXPECT_EQ(labelsOf(summaryOf(movie)), (std::vector<UInt32>{1, 2, 3, 5, 6, 4}));
  ASSERT_EQ(setLayout(stereo, layout(kAudioChannelLayoutTag_UseChannelBitmap, kAudioChannelBit_Left |
                                                                                 kAudioChannelBit_LFEScreen)),
            noErr);
  EXPECT_EQ(labelsOf(summaryOf(movie)), (std::vector<UInt32>{1, 4, 3, 2, 5, 6}));
  SetTrackEnabled(stereo, false);
  EXPECT_EQ(summaryOf(movie), layout(kAudioChannelLayoutTag_MPEG_5_1_C, 0));

  auto five = fivePointOne();
  EXPECT_EQ(QTSetMovieProperty(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_SummaryChannelLayout,
                               ByteCount(five.size()), five.data()),
            kQTPropertyReadOnlyErr);
}

TEST(ClipLayoutFiles, ClipsAndLayoutsSurviveSavesAndUneditedFilesStayIdentical) {
  ScratchDir dir;
  std::string path = dir / "clip.mov";
  Region shape;
  lShape(shape);
  const auto five = fivePointOne();
  {
    FSSpec fsSpec = fsSpecOf(path);
    short ref = 0;
    Movie movie = nullptr;
    ASSERT_EQ(CreateMovieFile(&fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile, &ref, &movie), noErr);
    Track video = videoTrack(movie, 600, 3, 20);
    Track sound = soundTrack(movie, soundDescriptionV2());
    EXPECT_EQ(layoutOf(sound), layout(kAudioChannelLayoutTag_Mono, 0)) << "the description's own 'chan'";
    SetTrackClipRgn(video, shape);
    SetMovieClipRgn(movie, shape);
    ASSERT_EQ(setLayout(sound, five), noErr);
    ASSERT_EQ(AddMovieResource(movie, ref, nullptr, nullptr), noErr) << QTEngineLastFileErrorMessage();
    DisposeMovie(movie);
    CloseMovieFile(ref);
  }
  auto bytes = fileBytes(path);
  EXPECT_EQ(countOf(bytes, "crgn"), 2u);
  EXPECT_EQ(countOf(bytes, "chan"), 1u) << "the layout replaces the description's 'chan'";
  {
    OpenedMovie m(path);
    ASSERT_EQ(m.err, noErr) << m.message;
    Region trackClip(GetTrackClipRgn(GetMovieIndTrack(m, 1))), movieClip(GetMovieClipRgn(m));
    EXPECT_TRUE(trackClip.h && EqualRgn(trackClip, shape));
    EXPECT_TRUE(movieClip.h && EqualRgn(movieClip, shape));
    Track sound = GetMovieIndTrack(m, 2);
    EXPECT_EQ(layoutOf(sound), five);
    HandleHolder desc;
    GetMediaSampleDescription(GetTrackMedia(sound), 1, reinterpret_cast<SampleDescriptionHandle>(desc.h));
    EXPECT_EQ(countOf(desc.bytes(), "wave"), 1u) << "other extensions stay";
    ASSERT_EQ(m.save(), noErr);
  }
  EXPECT_EQ(fileBytes(path), bytes) << "an unedited save must leave the file alone";

  // Edits in place: a new layout, the track's clip removed.
  {
    OpenedMovie m(path);
    SetTrackClipRgn(GetMovieIndTrack(m, 1), nullptr);
    ASSERT_EQ(setLayout(GetMovieIndTrack(m, 2), layout(kAudioChannelLayoutTag_Stereo, 0)), noErr);
    ASSERT_EQ(m.save(), noErr) << QTEngineLastFileErrorMessage();
  }
  {
    OpenedMovie m(path);
    ASSERT_EQ(m.err, noErr) << m.message;
    EXPECT_EQ(GetTrackClipRgn(GetMovieIndTrack(m, 1)), nullptr);
    Region movieClip(GetMovieClipRgn(m));
    EXPECT_TRUE(movieClip.h && EqualRgn(movieClip, shape));
    EXPECT_EQ(layoutOf(GetMovieIndTrack(m, 2)), layout(kAudioChannelLayoutTag_Stereo, 0));
  }

  // A clip region whose size runs past its atom is refused by name.
  auto bad = fileBytes(path);
  const char* crgn = "crgn";
  for (auto it = bad.begin(); (it = std::search(it, bad.end(), crgn, crgn + 4)) != bad.end(); ++it) it[4] = 0x7F;
  writeBytes(path, bad);
  OpenedMovie broken(path);
  EXPECT_EQ(broken.err, badPublicMovieAtom);
  EXPECT_NE(broken.message.find("clip"), std::string::npos) << broken.message;
}

TEST(ClipLayoutFiles, FlatteningActiveTracksOnlyLeavesDisabledTracksOut) {
  ScratchDir dir;
  MovieHolder movie;
  Track video = videoTrack(movie, 600, 3, 20);
  Track sound = soundTrack(movie, soundDescription(1));
  Track other = videoTrack(movie, 600, 2, 20);
  SInt32 index = 0;
  ASSERT_EQ(AddTrackReference(video, sound, "sync"_4cc, &index), noErr);
  ASSERT_EQ(AddTrackReference(video, other, "sync"_4cc, &index), noErr);
  SetTrackEnabled(sound, false);
  for (bool activeOnly : {false, true}) {
    std::string out = dir / (activeOnly ? "active.mov" : "all.mov");
    FSSpec fsSpec = fsSpecOf(out);
    SInt32 flags = flattenAddMovieToDataFork | (activeOnly ? flattenActiveTracksOnly : 0);
    Movie flat = FlattenMovieData(movie, flags, &fsSpec, "TVOD"_4cc, 0, createMovieFileDeleteCurFile);
    ASSERT_NE(flat, nullptr) << QTEngineLastFileErrorMessage();
    DisposeMovie(flat);
    OpenedMovie m(out, fsRdPerm);
    ASSERT_EQ(m.err, noErr) << m.message;
    ASSERT_EQ(GetMovieTrackCount(m), activeOnly ? 2 : 3);
    Track first = GetMovieIndTrack(m, 1);
    EXPECT_EQ(GetTrackReferenceCount(first, "sync"_4cc), activeOnly ? 1 : 2);
    Track last = GetMovieIndTrack(m, GetMovieTrackCount(m));
    EXPECT_EQ(GetTrackReference(first, "sync"_4cc, GetTrackReferenceCount(first, "sync"_4cc)), last);
    EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(last)), 2);
  }
}
