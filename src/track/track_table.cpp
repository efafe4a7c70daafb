// The member table of QTTrackZQK, and the class records of QTTrackZQK and of its
// subclass QTChapterTrackZQK.
//
// The host sees the methods in the order of the table, which is the published
// one (the registration tests hold it to the published list).
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

REALproperty kTrackProperties[] = {
    DirectProperty("Movie", "Movie", offsetof(TrackInstance, movie)),
    DirectProperty("TrackHandle", "Integer", offsetof(TrackInstance, trackHandle)),
    DirectProperty("Lasterror", "Integer", offsetof(TrackInstance, lastError)),
};

REALmethodDefinition kTrackMethods[] = {
    MethodRecord("GetMediaSample(byref data as Memoryblock, byref time as integer, "
                 "byref durationPerSample as integer, byref description as memoryblock, "
                 "byref sampleDescriptionIndex as integer, maxNumberOfSample as integer, "
                 "byref numberOfSamples as integer, byref flags as integer) as boolean",
                 &rbGetMediaSample),
    MethodRecord("MediaSampleCount as integer", &rbGetMediaSampleCount),
    MethodRecord("UserData as QTUserDataZQK", &rbGetTrackUserData),
    MethodRecord("ScaleTrackSegment(startTime as integer, oldDuration as integer, newDuration as integer)",
                 &rbScaleTrackSegment),
    MethodRecord("InsertTrackSegment(dest as QTTrackZQK, srcIn as integer, srcDuration as integer, dstIn as integer)",
                 &rbInsertTrackSegment),
    MethodRecord("InsertEmptyTrackSegment(time as integer, Duration as integer)", &rbInsertEmptyTrackSegment),
    MethodRecord("DeleteTrackSegment(time as integer, Duration as integer)", &rbDeleteTrackSegment),
    MethodRecord("SetTextTrackAsChapterTrack(type as string, isChapterTrack as boolean)", &SetTextTrackAsChapterTrack),
    MethodRecord("HasChapterTrack as boolean", &HasChapterTrack),
    MethodRecord("IsChapterTrack as boolean", &IsChapterTrack),
    MethodRecord("ChapterTrack as QTChapterTrackZQK", &ChapterTrack),
    MethodRecord("NextInterestingTimeZQK(byref time as integer, byref duration as integer) as boolean",
                 &rbGetTrackNextInterestingTime),
    MethodRecord("NextInterestingTimeZQK(byref time as integer, byref duration as integer, rate as double) as boolean",
                 &rbGetTrackNextInterestingTimeAtRate),
    MethodRecord("Duration as integer", &rbGetTrackDuration),
    PropertyMethod("TimeOffset as integer", &rbGetTrackOffset, &rbSetTrackOffset),
    PropertyMethod("Layer as integer", &rbGetTrackLayer, &rbSetTrackLayer),
    MethodRecord("AddClonedTrackToMovie(dest as movie, flags as integer) as QTTrackZQK", &rbAddClonedTrackToMovie),
    MethodRecord("TrackCreationTime as integer", &rbGetTrackCreationTime),
    MethodRecord("TrackModificationTime as integer", &rbGetTrackModificationTime),
    PropertyMethod("TrackEnabled as boolean", &rbGetTrackEnabled, &rbSetTrackEnabled),
    MethodRecord("SetTrackDimensions(width as double, height as double)", &rbSetTrackDimensions),
    MethodRecord("TrackID as integer", &rbGetTrackID),
    PropertyMethod("TrackVolume as integer", &rbGetTrackVolume, &rbSetTrackVolume),
    MethodRecord("Width as integer", &rbGetTrackWidth),
    MethodRecord("Height as integer", &rbGetTrackHeight),
    MethodRecord("MediaType as string", &GetMediaType),
    MethodRecord("MediaHandlerHandle as integer", &rbGetMediaHandlerHandle),
    MethodRecord("MediaHandle as integer", &rbGetMediaHandle),
    MethodRecord("SoundSetEqualizerBands(count as integer, values as memoryblock) as integer", &SetSoundEqualizerBands),
    MethodRecord("SoundSetDefaultEqualizerBands as integer", &SetDefaultSoundEqualizerBands),
    MethodRecord("SoundGetEqualizerBandLevels(count as integer) as memoryblock", &GetSoundEqualizerBandLevels),
    PropertyMethod("SoundBalance as integer", &GetMediaHandlerBalance, &SetMediaHandlerBalance),
    PropertyMethod("SoundOutputComponentHandle as integer", &GetSoundTrackOutputComponent,
                   &SetSoundTrackOutputComponent),
    MethodRecord("SoundGetEffectiveBalance as integer", &rbMediaGetEffectiveSoundBalance),
    MethodRecord("SoundLevelMeterInfo(byref numChannels as integer, byref leftMeter as integer, "
                 "byref rightMeter as integer)",
                 &rbMediaGetSoundLevelMeterInfo),
    PropertyMethod("SoundLevelMeteringEnabled as boolean", &rbMediaGetSoundLevelMeteringEnabled,
                   &rbMediaSetSoundLevelMeteringEnabled),
    MethodRecord("SoundGetEffectiveVolume as integer", &rbMediaGetEffectiveVolume),
    MethodRecord("FileCount as integer", &rbGetMediaDataRefCount),
    MethodRecord("File(index as integer) as folderitem", &rbGetMediaDataRef),
    MethodRecord("FileAlias(index as integer) as string", &rbGetMediaDataRefAlias),
    MethodRecord("SetFile(index as integer, file as folderitem) as integer", &rbSetMediaDataRef),
    MethodRecord("MediaSampleDescriptionCount as integer", &rbGetMediaSampleDescriptionCount),
    MethodRecord("MediaVideoSampleDescription(index as integer) as QTVideoSampleDescriptionZQK",
                 &rbGetMediaVideoSampleDescription),
    MethodRecord("MediaSoundSampleDescription(index as integer) as QTSoundSampleDescriptionZQK",
                 &rbGetMediaSoundSampleDescription),
    MethodRecord("MediaSpriteSampleDescription(index as integer) as QTSpriteSampleDescriptionZQK",
                 &rbGetMediaSpriteSampleDescription),
    MethodRecord("MediaTextSampleDescription(index as integer) as QTTextSampleDescriptionZQK",
                 &rbGetMediaTextSampleDescription),
    MethodRecord("MediaMusicSampleDescription(index as integer) as QTMusicSampleDescriptionZQK",
                 &rbGetMediaMusicSampleDescription),
    MethodRecord("MediaThreeDeeSampleDescription(index as integer) as QTThreeDeeSampleDescriptionZQK",
                 &rbGetMediaThreeDeeSampleDescription),
    MethodRecord("MediaFlashSampleDescription(index as integer) as QTFlashSampleDescriptionZQK",
                 &rbGetMediaFlashSampleDescription),
    MethodRecord("MediaSampleDescription(index as integer) as QTSampleDescriptionZQK", &rbGetMediaSampleDescription),
    MethodRecord("MediaSampleDescriptionRaw(index as integer) as memoryblock", &rbGetMediaSampleDescriptionRaw),
    MethodRecord("SetTrackMatrix(x as integer, y as integer, w as integer, h as integer)", &rbSetTrackMatrix),
    MethodRecord("SetTrackRawMatrix(matrix00 as integer, matrix01 as integer, matrix02 as integer, "
                 "matrix10 as integer, matrix11 as integer, matrix12 as integer, matrix20 as integer, "
                 "matrix21 as integer, matrix22 as integer)",
                 &rbSetTrackRawMatrix),
    MethodRecord("GetTrackRawMatrix(byref matrix00 as integer, byref matrix01 as integer, "
                 "byref matrix02 as integer, byref matrix10 as integer, byref matrix11 as integer, "
                 "byref matrix12 as integer, byref matrix20 as integer, byref matrix21 as integer, "
                 "byref matrix22 as integer)",
                 &rbGetTrackRawMatrix),
    PropertyMethod("TrackClipMask as picture", &rbGetTrackClipRgn, &rbSetTrackClipRgn),
    MethodRecord("TimeCodeAtTime(MediaTime as integer) as QTTimeCodeZQK", &rbTCGetTimeCodeAtTime),
    MethodRecord("CurrentTimeCode as QTTimeCodeZQK", &rbTCGetCurrentTimeCode),
    MethodRecord("FrameNumberToTimeCode(timecode as QTTimeCodeZQK)", &rbTCFrameNumberToTimeCode),
    MethodRecord("TimeCodeToFrameNumber(timecode as QTTimeCodeZQK)", &rbTCTimeCodeToFrameNumber),
    MethodRecord("TimeCodeToString(timecode as QTTimeCodeZQK) as string", &rbTCTimeCodeToString),
    PropertyMethod("SoundTreble as integer", &rbMediaGetSoundTreble, &rbMediaSetSoundTreble),
    PropertyMethod("SoundBass as integer", &rbMediaGetSoundBass, &rbMediaSetSoundBass),
    MethodRecord("MediaSetGraphicsMode(Mode as integer, TheColor as color)", &rbMediaSetGraphicsMode),
    MethodRecord("MediaGetGraphicsMode(byref Mode as integer, byref TheColor as color)", &rbMediaGetGraphicsMode),
    MethodRecord("MetaData as QTMetaDataZQK", &rbQTCopyTrackMetaData),
    MethodRecord("GenerateTrackApertureModeDimensions as integer", &GenerateTrackApertureModeDimensionsZQK),
    MethodRecord("RemoveTrackApertureModeDimensions as integer", &RemoveTrackApertureModeDimensionsZQK),
    MethodRecord("SetTrackApertureModeDimensionsUsingSampleDescription as integer",
                 &SetTrackApertureModeDimensionsUsingSampleDescriptionZQK),
    PropertyMethod("AudioChannelLayout as QTAudioChannelLayoutZQK", &rbGetTrackAudioChannelLayout,
                   &rbSetTrackAudioChannelLayout),
    MethodRecord("DisposeTrackMedia", &rbDisposeTrackMedia),
    MethodRecord("DeleteTrackReference(type as string, index as integer)", &rbDeleteTrackReference),
    MethodRecord("BeginMediaEdits", &rbBeginMediaEdits),
    MethodRecord("EndMediaEdits", &rbEndMediaEdits),
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
