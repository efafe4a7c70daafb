// Movies and tracks: lookup, settings, references, clones and the error codes for
// null, foreign and disposed references.
#include "engine_support.h"

using namespace enginetest;

namespace {

TEST(Tracks, IdsAreNeverReusedAndLookupsAnswerWithTheirCodes) {
  MovieHolder movie;
  Track a = NewMovieTrack(movie, 0, 0, 0);
  Track b = NewMovieTrack(movie, 0, 0, 0);
  EXPECT_EQ(GetTrackID(a), 1);
  EXPECT_EQ(GetTrackID(b), 2);
  DisposeMovieTrack(b);
  Track c = NewMovieTrack(movie, 0, 0, 0);
  EXPECT_EQ(GetTrackID(c), 3);
  EXPECT_EQ(GetMovieTrackCount(movie), 2);
  EXPECT_EQ(GetMovieIndTrack(movie, 2), c);
  EXPECT_EQ(GetMovieTrack(movie, 3), c);
  EXPECT_EQ(GetTrackMovie(c), movie.movie);

  EXPECT_EQ(GetMovieIndTrack(movie, 0), nullptr);
  EXPECT_EQ(GetMoviesError(), badTrackIndex);
  EXPECT_EQ(GetMovieIndTrack(movie, 3), nullptr);
  EXPECT_EQ(GetMoviesError(), badTrackIndex);
  EXPECT_EQ(GetMovieTrack(movie, 2), nullptr);
  EXPECT_EQ(GetMoviesError(), trackIDNotFound);
}

TEST(Tracks, IndTrackTypeFiltersByTypeCharacteristicAndEnabled) {
  MovieHolder movie;
  Track v1 = videoTrack(movie, 600, 1, 10);
  Track s1 = NewMovieTrack(movie, 0, 0, 0x100);
  NewTrackMedia(s1, SoundMediaType, 44100, nullptr, 0);
  Track v2 = videoTrack(movie, 600, 1, 10);
  Track txt = NewMovieTrack(movie, 0, 0, 0);
  NewTrackMedia(txt, TextMediaType, 600, nullptr, 0);
  SetTrackEnabled(v1, false);

  EXPECT_EQ(GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType), v1);
  EXPECT_EQ(GetMovieIndTrackType(movie, 2, VideoMediaType, movieTrackMediaType), v2);
  EXPECT_EQ(GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType | movieTrackEnabledOnly), v2);
  EXPECT_EQ(GetMovieIndTrackType(movie, 2, VideoMediaType, 5), nullptr);
  EXPECT_EQ(GetMoviesError(), badTrackIndex);
  EXPECT_EQ(GetMovieIndTrackType(movie, 1, AudioMediaCharacteristic, movieTrackCharacteristic), s1);
  EXPECT_EQ(GetMovieIndTrackType(movie, 3, VisualMediaCharacteristic, movieTrackCharacteristic), txt);
  EXPECT_EQ(GetMovieIndTrackType(movie, 1, VideoMediaType, 3), nullptr);
  EXPECT_EQ(GetMoviesError(), paramErr);
}

TEST(Tracks, SettingsRoundTripAndEditsUpdateTheModificationTime) {
  MovieHolder movie;
  Track t = NewMovieTrack(movie, 320 << 16, 240 << 16, 0x100);
  UInt32 created = GetTrackCreationTime(t);
  EXPECT_GT(created, 2082844800u + 1500000000u);  // seconds since 1904, after 2017
  EXPECT_GE(GetTrackModificationTime(t), created);

  SetTrackLayer(t, -3);
  EXPECT_EQ(GetTrackLayer(t), -3);
  SetTrackVolume(t, -0x80);
  EXPECT_EQ(GetTrackVolume(t), -0x80);
  SetTrackDimensions(t, 98304, -32768);
  Fixed w = 0, h = 0;
  GetTrackDimensions(t, &w, &h);
  EXPECT_EQ(w, 98304);
  EXPECT_EQ(h, -32768);
  EXPECT_TRUE(GetTrackEnabled(t));
  SetTrackEnabled(t, false);
  EXPECT_FALSE(GetTrackEnabled(t));

  MatrixRecord m;
  SetIdentityMatrix(&m);
  TranslateMatrix(&m, 5 << 16, 7 << 16);
  SetTrackMatrix(t, &m);
  MatrixRecord back{};
  GetTrackMatrix(t, &back);
  EXPECT_TRUE(EqualMatrix(&m, &back));
  SetTrackMatrix(t, nullptr);
  GetTrackMatrix(t, &back);
  EXPECT_EQ(GetMatrixType(&back), identityMatrixType);
}

TEST(Tracks, ReferencesSurviveUnrelatedDisposalAndGoWithTheirTrack) {
  MovieHolder movie, other;
  Track main = NewMovieTrack(movie, 0, 0, 0);
  Track chap1 = NewMovieTrack(movie, 0, 0, 0);
  Track unrelated = NewMovieTrack(movie, 0, 0, 0);
  Track chap2 = NewMovieTrack(movie, 0, 0, 0);
  Track tc = NewMovieTrack(movie, 0, 0, 0);
  SInt32 index = 0;
  ASSERT_EQ(AddTrackReference(main, chap1, kTrackReferenceChapterList, &index), noErr);
  EXPECT_EQ(index, 1);
  ASSERT_EQ(AddTrackReference(main, chap2, kTrackReferenceChapterList, &index), noErr);
  EXPECT_EQ(index, 2);
  ASSERT_EQ(AddTrackReference(main, chap2, kTrackReferenceChapterList, &index), noErr);
  EXPECT_EQ(index, 2);  // already there
  ASSERT_EQ(AddTrackReference(main, tc, kTrackReferenceTimeCode, nullptr), noErr);

  EXPECT_EQ(GetNextTrackReferenceType(main, 0), kTrackReferenceChapterList);
  EXPECT_EQ(GetNextTrackReferenceType(main, kTrackReferenceChapterList), kTrackReferenceTimeCode);
  EXPECT_EQ(GetNextTrackReferenceType(main, kTrackReferenceTimeCode), 0u);

  DisposeMovieTrack(unrelated);
  EXPECT_EQ(GetTrackReferenceCount(main, kTrackReferenceChapterList), 2);
  EXPECT_EQ(GetTrackReference(main, kTrackReferenceChapterList, 2), chap2);

  DisposeMovieTrack(chap1);
  EXPECT_EQ(GetTrackReferenceCount(main, kTrackReferenceChapterList), 1);
  EXPECT_EQ(GetTrackReference(main, kTrackReferenceChapterList, 1), chap2);
  EXPECT_EQ(GetTrackReference(main, kTrackReferenceChapterList, 2), nullptr);
  EXPECT_EQ(GetMoviesError(), noErr);

  EXPECT_EQ(DeleteTrackReference(main, kTrackReferenceChapterList, 2), badTrackIndex);
  EXPECT_EQ(DeleteTrackReference(main, kTrackReferenceChapterList, 1), noErr);
  EXPECT_EQ(GetNextTrackReferenceType(main, 0), kTrackReferenceTimeCode);

  Track stranger = NewMovieTrack(other, 0, 0, 0);
  EXPECT_EQ(AddTrackReference(main, stranger, kTrackReferenceChapterList, nullptr), trackNotInMovie);
  EXPECT_EQ(AddTrackReference(main, main, kTrackReferenceChapterList, nullptr), paramErr);
  ASSERT_EQ(SetTrackReference(main, chap2, kTrackReferenceTimeCode, 1), noErr);
  EXPECT_EQ(GetTrackReference(main, kTrackReferenceTimeCode, 1), chap2);
}

TEST(Tracks, ClonesShareSamplesButNotTheirEdits) {
  MovieHolder movie, other(1200);
  Track src = videoTrack(movie, 600, 10, 60);
  Track clone = nullptr;
  EXPECT_EQ(AddClonedTrackToMovie(src, movie, 0, &clone), paramErr);
  EXPECT_EQ(clone, nullptr);
  ASSERT_EQ(AddClonedTrackToMovie(src, movie, kQTCloneShareSamples, &clone), noErr);
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(GetTrackID(clone), GetTrackID(src));
  EXPECT_EQ(GetTrackDuration(clone), 600);
  EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(clone)), 10);

  ASSERT_EQ(DeleteTrackSegment(clone, 0, 300), noErr);
  EXPECT_EQ(GetTrackDuration(src), 600);
  // New samples in the source do not appear in the clone.
  Media sm = GetTrackMedia(src);
  BeginMediaEdits(sm);
  ASSERT_EQ(addSamples(sm, imageDescription(320, 240), 1, 60, 4), noErr);
  EndMediaEdits(sm);
  EXPECT_EQ(GetMediaSampleCount(sm), 11);
  EXPECT_EQ(GetMediaSampleCount(GetTrackMedia(clone)), 10);
  // Disposing of the source leaves the clone whole.
  DisposeMovieTrack(src);
  HandleHolder data;
  EXPECT_EQ(GetMediaSample(GetTrackMedia(clone), data, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 1, nullptr,
                           nullptr),
            noErr);
  EXPECT_EQ(data.size(), 4);

  Track far = nullptr;
  ASSERT_EQ(AddClonedTrackToMovie(clone, other, kQTCloneShareSamples | kQTCloneDontCopyEdits, &far), noErr);
  EXPECT_EQ(GetTrackDuration(far), 0);
  ASSERT_EQ(InsertTrackSegment(clone, far, 0, 300, 0), noErr);
  EXPECT_EQ(GetTrackDuration(far), 600);  // 300 of 600 per second is 600 of 1200
  EXPECT_EQ(TrackTimeToMediaTime(0, far), 300);
}

TEST(Tracks, NullForeignAndDisposedReferencesAreAnsweredWithCodes) {
  int foreignObject = 0;
  auto foreignMovie = reinterpret_cast<Movie>(&foreignObject);
  auto foreignTrack = reinterpret_cast<Track>(&foreignObject);
  auto foreignMedia = reinterpret_cast<Media>(&foreignObject);

  EXPECT_EQ(GetMovieTrackCount(nullptr), 0);
  EXPECT_EQ(GetMoviesError(), invalidMovie);
  EXPECT_EQ(GetMovieDuration(foreignMovie), 0);
  EXPECT_EQ(GetMoviesError(), invalidMovie);
  EXPECT_EQ(InsertMovieSegment(nullptr, nullptr, 0, 100, 0), invalidMovie);
  EXPECT_EQ(InsertEmptyMovieSegment(nullptr, 0, 1), invalidMovie);
  EXPECT_EQ(DeleteMovieSegment(foreignMovie, 0, 1), invalidMovie);
  EXPECT_EQ(ScaleMovieSegment(nullptr, 0, 1, 2), invalidMovie);
  EXPECT_EQ(NewMovieTrack(nullptr, 0, 0, 0), nullptr);
  EXPECT_EQ(GetMoviesError(), invalidMovie);

  EXPECT_EQ(GetTrackDuration(nullptr), 0);
  EXPECT_EQ(GetMoviesError(), invalidTrack);
  EXPECT_EQ(GetTrackID(foreignTrack), 0);
  EXPECT_EQ(GetMoviesError(), invalidTrack);
  EXPECT_EQ(ScaleTrackSegment(nullptr, 0, 1, 2), invalidTrack);
  EXPECT_EQ(InsertTrackSegment(foreignTrack, nullptr, 0, 1, 0), invalidTrack);
  EXPECT_EQ(DeleteTrackSegment(nullptr, 0, 1), invalidTrack);
  EXPECT_EQ(InsertEmptyTrackSegment(nullptr, 0, 1), invalidTrack);
  EXPECT_EQ(TrackTimeToMediaTime(0, nullptr), -1);
  EXPECT_EQ(GetMoviesError(), invalidTrack);

  EXPECT_EQ(GetMediaSampleCount(nullptr), 0);
  EXPECT_EQ(GetMoviesError(), invalidMedia);
  EXPECT_EQ(GetMediaHandler(foreignMedia), nullptr);
  EXPECT_EQ(GetMoviesError(), invalidMedia);
  EXPECT_EQ(BeginMediaEdits(nullptr), invalidMedia);

  // Disposed objects are as foreign as any other pointer.
  Movie movie = NewMovie(0);
  Track t = videoTrack(movie, 600, 2, 10);
  Media m = GetTrackMedia(t);
  MediaHandler mh = GetMediaHandler(m);
  DisposeTrackMedia(m);
  EXPECT_EQ(GetTrackMedia(t), nullptr);
  EXPECT_EQ(GetTrackDuration(t), 0);
  EXPECT_EQ(GetMediaDuration(m), 0);
  EXPECT_EQ(GetMoviesError(), invalidMedia);
  SInt32 mode = 0;
  EXPECT_EQ(MediaGetGraphicsMode(mh, &mode, nullptr), badComponentInstance);
  DisposeMovie(movie);
  EXPECT_EQ(GetTrackLayer(t), 0);
  EXPECT_EQ(GetMoviesError(), invalidTrack);
  DisposeMovie(movie);
  EXPECT_EQ(GetMoviesError(), invalidMovie);

  // Bad durations and times.
  MovieHolder live;
  Track lt = videoTrack(live, 600, 10, 60);
  EXPECT_EQ(DeleteTrackSegment(lt, 0, -5), invalidDuration);
  EXPECT_EQ(DeleteTrackSegment(lt, -1, 5), invalidTime);
  EXPECT_EQ(InsertTrackSegment(lt, lt, 0, -1, 0), invalidDuration);
  EXPECT_EQ(InsertTrackSegment(lt, lt, 601, 1, 0), invalidTime);
  EXPECT_EQ(InsertTrackSegment(lt, lt, 0, 1, -1), invalidTime);
  EXPECT_EQ(InsertEmptyTrackSegment(lt, 0, -1), invalidDuration);
  EXPECT_EQ(InsertMovieSegment(live, live, 0, -1, 0), invalidDuration);
  EXPECT_EQ(InsertMovieSegment(live, live, -1, 1, 0), invalidTime);
  EXPECT_EQ(GetTrackEditRate(lt, 600), 0);
  EXPECT_EQ(GetMoviesError(), invalidTime);
}

TEST(Tracks, InsertingBetweenDifferentMediaTypesIsRefused) {
  MovieHolder movie;
  Track v = videoTrack(movie, 600, 2, 10);
  Track s = NewMovieTrack(movie, 0, 0, 0);
  NewTrackMedia(s, SoundMediaType, 600, nullptr, 0);
  EXPECT_EQ(InsertTrackSegment(v, s, 0, 20, 0), mediaTypesDontMatch);
  EXPECT_EQ(GetTrackDuration(s), 0);
}

TEST(Movies, TimeVolumeAndProperties) {
  MovieHolder movie;
  Track t = videoTrack(movie, 600, 10, 60);
  SetMovieTimeValue(movie, 300);
  TimeRecord r{};
  EXPECT_EQ(GetMovieTime(movie, &r), 300);
  EXPECT_EQ(r.value.lo, 300u);
  EXPECT_EQ(r.scale, 600);
  SetMovieTimeValue(movie, 5000);
  EXPECT_EQ(GetMovieTime(movie, nullptr), 600);

  Boolean preserve = 1;
  ByteCount used = 0;
  ASSERT_EQ(QTGetMovieProperty(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_RateChangesPreservePitch, 1,
                               &preserve, &used),
            noErr);
  EXPECT_EQ(preserve, 0);
  EXPECT_EQ(used, 1u);
  preserve = 1;
  ASSERT_EQ(QTSetMovieProperty(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_RateChangesPreservePitch, 1, &preserve),
            noErr);
  Float32 pitch = 1.1f, back = 0;
  ASSERT_EQ(QTSetMovieProperty(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_Pitch, 4, &pitch), noErr);
  ASSERT_EQ(QTGetMovieProperty(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_Pitch, 4, &back, nullptr), noErr);
  EXPECT_EQ(back, pitch);
  EXPECT_EQ(QTGetMovieProperty(movie, kQTPropertyClass_Audio, kQTAudioPropertyID_Pitch, 2, &back, nullptr),
            kQTPropertyBadValueSizeErr);
  EXPECT_EQ(QTSetMovieProperty(movie, kQTPropertyClass_Audio, "zzzz"_4cc, 4, &back), kQTPropertyNotSupportedErr);

  QTPropertyValueType type = 0;
  ByteCount size = 0;
  UInt32 flags = 0;
  ASSERT_EQ(QTGetMoviePropertyInfo(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions,
                                   &type, &size, &flags),
            noErr);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(flags, UInt32(kQTPropertyFlagCanGet));
  Boolean has = 1;
  EXPECT_EQ(QTSetMovieProperty(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions, 1, &has),
            kQTPropertyReadOnlyErr);

  // Aperture modes: dimensions come from the description and set the track's size.
  ASSERT_EQ(QTGetMovieProperty(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions, 1, &has,
                               nullptr),
            noErr);
  EXPECT_EQ(has, 0);
  SetTrackDimensions(t, 100 << 16, 100 << 16);
  ASSERT_EQ(GenerateMovieApertureModeDimensions(movie), noErr);
  OSType mode = kQTApertureMode_EncodedPixels;
  ASSERT_EQ(QTSetMovieProperty(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, 4, &mode), noErr);
  Fixed w = 0, h = 0;
  GetTrackDimensions(t, &w, &h);
  EXPECT_EQ(w, 320 << 16);
  EXPECT_EQ(h, 240 << 16);
  OSType got = 0;
  ASSERT_EQ(QTGetMovieProperty(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, 4, &got, nullptr),
            noErr);
  EXPECT_EQ(got, kQTApertureMode_EncodedPixels);
  mode = "nope"_4cc;
  EXPECT_EQ(QTSetMovieProperty(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, 4, &mode), paramErr);
  ASSERT_EQ(RemoveMovieApertureModeDimensions(movie), noErr);
  QTGetMovieProperty(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions, 1, &has, nullptr);
  EXPECT_EQ(has, 0);
  EXPECT_EQ(SetTrackApertureModeDimensionsUsingSampleDescription(t, nullptr), noErr);
  EXPECT_EQ(GenerateTrackApertureModeDimensions(nullptr), invalidTrack);
}

}  // namespace
