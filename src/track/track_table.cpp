// The member table of QTTrackZQK, and the class records of QTTrackZQK and of its
// subclass QTChapterTrackZQK.
//
// The host sees the methods in this order, so the table is kept in its
// published order; each row is marked with its number in it. Rows whose
// members have not joined the plugin yet are simply absent.
#include <cstddef>

#include "metadata/metadata.h"
#include "metadata/user_data.h"
#include "movie/chapters.h"
#include "plugin/member_records.h"
#include "track/channel_layout.h"
#include "track/clip_mask.h"
#include "track/media_handler.h"
#include "track/timecode_members.h"
#include "track/track.h"

namespace {

// A method record that the host treats as a read/write property: it calls the
// getter to read and the setter to assign.
template <typename Getter, typename Setter>
REALmethodDefinition PropertyMethod(const char* declaration, Getter* getter, Setter* setter) {
  return {MemberProc(getter), MemberProc(setter), declaration, 0, {}};
}

REALproperty kTrackProperties[] = {
    DirectProperty("Movie", "Movie", offsetof(TrackInstance, movie)),
    DirectProperty("TrackHandle", "Integer", offsetof(TrackInstance, trackHandle)),
    DirectProperty("Lasterror", "Integer", offsetof(TrackInstance, lastError)),
};

REALmethodDefinition kTrackMethods[] = {
    /* 1 */ MethodRecord("GetMediaSample(byref data as Memoryblock, byref time as integer, "
                         "byref durationPerSample as integer, byref description as memoryblock, "
                         "byref sampleDescriptionIndex as integer, maxNumberOfSample as integer, "
                         "byref numberOfSamples as integer, byref flags as integer) as boolean",
                         &rbGetMediaSample),
    /* 2 */ MethodRecord("MediaSampleCount as integer", &rbGetMediaSampleCount),
    /* 3 */ MethodRecord("UserData as QTUserDataZQK", &rbGetTrackUserData),
    /* 4 */ MethodRecord("ScaleTrackSegment(startTime as integer, oldDuration as integer, newDuration as integer)",
                         &rbScaleTrackSegment),
    /* 5 */ MethodRecord("InsertTrackSegment(dest as QTTrackZQK, srcIn as integer, srcDuration as integer, dstIn as integer)",
                         &rbInsertTrackSegment),
    /* 6 */ MethodRecord("InsertEmptyTrackSegment(time as integer, Duration as integer)", &rbInsertEmptyTrackSegment),
    /* 7 */ MethodRecord("DeleteTrackSegment(time as integer, Duration as integer)", &rbDeleteTrackSegment),
    /* 8 */ MethodRecord("SetTextTrackAsChapterTrack(type as string, isChapterTrack as boolean)",
                         &SetTextTrackAsChapterTrack),
    /* 9 */ MethodRecord("HasChapterTrack as boolean", &HasChapterTrack),
    /* 10 */ MethodRecord("IsChapterTrack as boolean", &IsChapterTrack),
    /* 11 */ MethodRecord("ChapterTrack as QTChapterTrackZQK", &ChapterTrack),
    /* 12 */ MethodRecord("NextInterestingTimeZQK(byref time as integer, byref duration as integer) as boolean",
                          &rbGetTrackNextInterestingTime),
    /* 13 */ MethodRecord(
        "NextInterestingTimeZQK(byref time as integer, byref duration as integer, rate as double) as boolean",
        &rbGetTrackNextInterestingTimeAtRate),
    /* 14 */ MethodRecord("Duration as integer", &rbGetTrackDuration),
    /* 15 */ PropertyMethod("TimeOffset as integer", &rbGetTrackOffset, &rbSetTrackOffset),
    /* 16 */ PropertyMethod("Layer as integer", &rbGetTrackLayer, &rbSetTrackLayer),
    /* 17 */ MethodRecord("AddClonedTrackToMovie(dest as movie, flags as integer) as QTTrackZQK",
                          &rbAddClonedTrackToMovie),
    /* 18 */ MethodRecord("TrackCreationTime as integer", &rbGetTrackCreationTime),
    /* 19 */ MethodRecord("TrackModificationTime as integer", &rbGetTrackModificationTime),
    /* 20 */ PropertyMethod("TrackEnabled as boolean", &rbGetTrackEnabled, &rbSetTrackEnabled),
    /* 21 */ MethodRecord("SetTrackDimensions(width as double, height as double)", &rbSetTrackDimensions),
    /* 22 */ MethodRecord("TrackID as integer", &rbGetTrackID),
    /* 23 */ PropertyMethod("TrackVolume as integer", &rbGetTrackVolume, &rbSetTrackVolume),
    /* 24 */ MethodRecord("Width as integer", &rbGetTrackWidth),
    /* 25 */ MethodRecord("Height as integer", &rbGetTrackHeight),
    /* 26 */ MethodRecord("MediaType as string", &GetMediaType),
    /* 27 */ MethodRecord("MediaHandlerHandle as integer", &rbGetMediaHandlerHandle),
    /* 28 */ MethodRecord("MediaHandle as integer", &rbGetMediaHandle),
    /* 29 */ MethodRecord("SoundSetEqualizerBands(count as integer, values as memoryblock) as integer",
                          &SetSoundEqualizerBands),
    /* 30 */ MethodRecord("SoundSetDefaultEqualizerBands as integer", &SetDefaultSoundEqualizerBands),
    /* 31 */ MethodRecord("SoundGetEqualizerBandLevels(count as integer) as memoryblock",
                          &GetSoundEqualizerBandLevels),
    /* 32 */ PropertyMethod("SoundBalance as integer", &GetMediaHandlerBalance, &SetMediaHandlerBalance),
    /* 33 */ PropertyMethod("SoundOutputComponentHandle as integer", &GetSoundTrackOutputComponent,
                            &SetSoundTrackOutputComponent),
    /* 34 */ MethodRecord("SoundGetEffectiveBalance as integer", &rbMediaGetEffectiveSoundBalance),
    /* 35 */ MethodRecord("SoundLevelMeterInfo(byref numChannels as integer, byref leftMeter as integer, "
                          "byref rightMeter as integer)",
                          &rbMediaGetSoundLevelMeterInfo),
    /* 36 */ PropertyMethod("SoundLevelMeteringEnabled as boolean", &rbMediaGetSoundLevelMeteringEnabled,
                            &rbMediaSetSoundLevelMeteringEnabled),
    /* 37 */ MethodRecord("SoundGetEffectiveVolume as integer", &rbMediaGetEffectiveVolume),
    /* 38 */ MethodRecord("FileCount as integer", &rbGetMediaDataRefCount),
    /* 39 */ MethodRecord("File(index as integer) as folderitem", &rbGetMediaDataRef),
    /* 40 */ MethodRecord("FileAlias(index as integer) as string", &rbGetMediaDataRefAlias),
    /* 41 */ MethodRecord("SetFile(index as integer, file as folderitem) as integer", &rbSetMediaDataRef),
    /* 42 */ MethodRecord("MediaSampleDescriptionCount as integer", &rbGetMediaSampleDescriptionCount),
    /* 43 */ MethodRecord("MediaVideoSampleDescription(index as integer) as QTVideoSampleDescriptionZQK",
                          &rbGetMediaVideoSampleDescription),
    /* 44 */ MethodRecord("MediaSoundSampleDescription(index as integer) as QTSoundSampleDescriptionZQK",
                          &rbGetMediaSoundSampleDescription),
    /* 45 */ MethodRecord("MediaSpriteSampleDescription(index as integer) as QTSpriteSampleDescriptionZQK",
                          &rbGetMediaSpriteSampleDescription),
    /* 46 */ MethodRecord("MediaTextSampleDescription(index as integer) as QTTextSampleDescriptionZQK",
                          &rbGetMediaTextSampleDescription),
    /* 47 */ MethodRecord("MediaMusicSampleDescription(index as integer) as QTMusicSampleDescriptionZQK",
                          &rbGetMediaMusicSampleDescription),
    /* 48 */ MethodRecord("MediaThreeDeeSampleDescription(index as integer) as QTThreeDeeSampleDescriptionZQK",
                          &rbGetMediaThreeDeeSampleDescription),
    /* 49 */ MethodRecord("MediaFlashSampleDescription(index as integer) as QTFlashSampleDescriptionZQK",
                          &rbGetMediaFlashSampleDescription),
    /* 50 */ MethodRecord("MediaSampleDescription(index as integer) as QTSampleDescriptionZQK",
                          &rbGetMediaSampleDescription),
    /* 51 */ MethodRecord("MediaSampleDescriptionRaw(index as integer) as memoryblock",
                          &rbGetMediaSampleDescriptionRaw),
    /* 52 */ MethodRecord("SetTrackMatrix(x as integer, y as integer, w as integer, h as integer)", &rbSetTrackMatrix),
    /* 53 */ MethodRecord("SetTrackRawMatrix(matrix00 as integer, matrix01 as integer, matrix02 as integer, "
                          "matrix10 as integer, matrix11 as integer, matrix12 as integer, matrix20 as integer, "
                          "matrix21 as integer, matrix22 as integer)",
                          &rbSetTrackRawMatrix),
    /* 54 */ MethodRecord("GetTrackRawMatrix(byref matrix00 as integer, byref matrix01 as integer, "
                          "byref matrix02 as integer, byref matrix10 as integer, byref matrix11 as integer, "
                          "byref matrix12 as integer, byref matrix20 as integer, byref matrix21 as integer, "
                          "byref matrix22 as integer)",
                          &rbGetTrackRawMatrix),
    /* 55 */ PropertyMethod("TrackClipMask as picture", &rbGetTrackClipRgn, &rbSetTrackClipRgn),
    /* 56 */ MethodRecord("TimeCodeAtTime(MediaTime as integer) as QTTimeCodeZQK", &rbTCGetTimeCodeAtTime),
    /* 57 */ MethodRecord("CurrentTimeCode as QTTimeCodeZQK", &rbTCGetCurrentTimeCode),
    /* 58 */ MethodRecord("FrameNumberToTimeCode(timecode as QTTimeCodeZQK)", &rbTCFrameNumberToTimeCode),
    /* 59 */ MethodRecord("TimeCodeToFrameNumber(timecode as QTTimeCodeZQK)", &rbTCTimeCodeToFrameNumber),
    /* 60 */ MethodRecord("TimeCodeToString(timecode as QTTimeCodeZQK) as string", &rbTCTimeCodeToString),
    /* 61 */ PropertyMethod("SoundTreble as integer", &rbMediaGetSoundTreble, &rbMediaSetSoundTreble),
    /* 62 */ PropertyMethod("SoundBass as integer", &rbMediaGetSoundBass, &rbMediaSetSoundBass),
    /* 63 */ MethodRecord("MediaSetGraphicsMode(Mode as integer, TheColor as color)", &rbMediaSetGraphicsMode),
    /* 64 */ MethodRecord("MediaGetGraphicsMode(byref Mode as integer, byref TheColor as color)",
                          &rbMediaGetGraphicsMode),
    /* 65 */ MethodRecord("MetaData as QTMetaDataZQK", &rbQTCopyTrackMetaData),
    /* 66 */ MethodRecord("GenerateTrackApertureModeDimensions as integer", &GenerateTrackApertureModeDimensionsZQK),
    /* 67 */ MethodRecord("RemoveTrackApertureModeDimensions as integer", &RemoveTrackApertureModeDimensionsZQK),
    /* 68 */ MethodRecord("SetTrackApertureModeDimensionsUsingSampleDescription as integer",
                          &SetTrackApertureModeDimensionsUsingSampleDescriptionZQK),
    /* 69 */ PropertyMethod("AudioChannelLayout as QTAudioChannelLayoutZQK", &rbGetTrackAudioChannelLayout,
                            &rbSetTrackAudioChannelLayout),
    /* 70 */ MethodRecord("DisposeTrackMedia", &rbDisposeTrackMedia),
    /* 71 */ MethodRecord("DeleteTrackReference(type as string, index as integer)", &rbDeleteTrackReference),
    /* 72 */ MethodRecord("BeginMediaEdits", &rbBeginMediaEdits),
    /* 73 */ MethodRecord("EndMediaEdits", &rbEndMediaEdits),
};

}  // namespace

REALclassDefinition QTTrackZQKClass = ClassRecord({
    .name = "QTTrackZQK",
    .dataSize = TrackInstance::kDeclaredSize,
    .constructor = TrackConstructor,
    .destructor = TrackDestructor,
    .properties = kTrackProperties,
    .methods = kTrackMethods,
});

// A track with the chapter methods (movie/chapters.cpp) on top.
REALclassDefinition QTChapterTrackZQKClass = ClassRecord({
    .name = "QTChapterTrackZQK",
    .superName = "QTTrackZQK",
    .methods = QTChapterTrackMethods,
});
