// The members added to the host's `movie` class, in the order the host sees
// them (the registration tests hold it to the published list).
//
// Registration hands this record to the host as a class extension, or on hosts
// that want modules rewrites it into global methods taking the movie first.
#include "metadata/metadata.h"
#include "metadata/user_data.h"
#include "movie/chapters.h"
#include "movie/movie_members.h"
#include "movie/timecode_tracks.h"
#include "plugin/member_records.h"
#include "track/channel_layout.h"

namespace {

REALmethodDefinition kMovieMethods[] = {
    MethodRecord("AudioSummaryChannelLayoutZQK as QTAudioChannelLayoutZQK", &rbGetAudioSummaryChannelLayout),
    MethodRecord("UserDataZQK as QTUserDataZQK", &rbGetMovieUserData),
    MethodRecord("ScaleMovieSegmentZQK(startTime as integer, oldDuration as integer, newDuration as integer) "
                 "as integer",
                 &rbScaleMovieSegment),
    MethodRecord("InsertMovieSegmentZQK(dest as movie, srcIn as integer, srcDuration as integer, "
                 "dstIn as integer) as integer",
                 &rbInsertMovieSegment),
    MethodRecord("InsertEmptyMovieSegmentZQK(time as integer, Duration as integer) as integer",
                 &rbInsertEmptyMovieSegment),
    MethodRecord("DeleteMovieSegmentZQK(time as integer, Duration as integer) as integer", &rbDeleteMovieSegment),
    MethodRecord("AddTextTrackZQK(chapters() as QTChapterDataZQK, type as string, isChapterTrack as boolean) "
                 "as QTChapterTrackZQK",
                 &AddTextTrack),
    MethodRecord("RemoveTextTrackZQK(index as integer) as integer", &RemoveIndTextTrack),
    MethodRecord("ChapterTrackZQK as QTChapterTrackZQK", &GetChapterTrackForMovie),
    MethodRecord("HasQTChapterTrackZQK as Boolean", &MovieHasAChapterTrack),
    PropertyMethod("RateChangesPreservePitchZQK as Boolean", &GetRateChangesPreservePitch,
                   &SetRateChangesPreservePitch),
    PropertyMethod("PitchZQK as double", &GetPitch, &SetPitch),
    MethodRecord("TrackCountZQK as integer", &TrackCountZQK),
    MethodRecord("GetTrackIndexZQK(index as integer) as QTTrackZQK", &GetTrackIndexZQK),
    MethodRecord("GetTrackIDZQK(id as integer) as QTTrackZQK", &GetTrackIDZQK),
    MethodRecord("GetTextTrackZQK(index as integer, EnabledTracksOnly as boolean = false) as QTChapterTrackZQK",
                 &GetTextTrackIndexZQK),
    MethodRecord("GetVideoTrackZQK(index as integer, EnabledTracksOnly as boolean = false) as QTTrackZQK",
                 &GetVideoTrackIndexZQK),
    MethodRecord("GetSoundTrackZQK(index as integer, EnabledTracksOnly as boolean = false) as QTTrackZQK",
                 &GetSoundTrackIndexZQK),
    MethodRecord("DeleteTimeCodeTracksZQK", &DeleteTimeCodeTracks),
    MethodRecord("HasTimeCodeTrackZQK as boolean", &MovieHasTimeCodeTrack),
    MethodRecord("CurrentTimeCodeStringZQK as string", &GetCurrentTimeCodeString),
    MethodRecord("AddTimeCodeToMovieZQK(parameters as QTTimeCodeCreationParametersZQK) as integer",
                 &AddTimeCodeToMovie),
    PropertyMethod("TimeCodeDisplayedZQK as boolean", &Movie_GetTimeCodeDisplay, &Movie_SetTimeCodeDisplay),
    MethodRecord("MetaDataZQK as QTMetaDataZQK", &rbQTCopyMovieMetaData),
    MethodRecord("GenerateMovieApertureModeDimensionsZQK as integer", &GenerateMovieApertureModeDimensionsZQK),
    MethodRecord("RemoveMovieApertureModeDimensionsZQK as integer", &RemoveMovieApertureModeDimensionsZQK),
    MethodRecord("SetMovieApertureModeZQK(theApertureMode as string) as integer", &SetMovieApertureModeZQK),
    MethodRecord("GetMovieApertureModeZQK as string", &GetMovieApertureModeZQK),
};

}  // namespace

// No instance data, constructor or properties: only methods. Its size stays 0
// and is not rounded.
REALclassDefinition MovieExtensionClass = ClassRecord({
    .name = "movie",
    .methods = kMovieMethods,
});
