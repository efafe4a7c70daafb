// The members added to the host's `movie` class, in the order the host sees
// them; each row is marked with its number in that order. Rows whose members
// have not joined the plugin yet are simply absent.
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

// A method record that the host treats as a read/write property.
template <typename Getter, typename Setter>
REALmethodDefinition PropertyMethod(const char* declaration, Getter* getter, Setter* setter) {
  return {MemberProc(getter), MemberProc(setter), declaration, 0, {}};
}

REALmethodDefinition kMovieMethods[] = {
    /* 1 */ MethodRecord("AudioSummaryChannelLayoutZQK as QTAudioChannelLayoutZQK", &rbGetAudioSummaryChannelLayout),
    /* 2 */ MethodRecord("UserDataZQK as QTUserDataZQK", &rbGetMovieUserData),
    /* 3 */ MethodRecord("ScaleMovieSegmentZQK(startTime as integer, oldDuration as integer, newDuration as integer) "
                         "as integer",
                         &rbScaleMovieSegment),
    /* 4 */ MethodRecord("InsertMovieSegmentZQK(dest as movie, srcIn as integer, srcDuration as integer, "
                         "dstIn as integer) as integer",
                         &rbInsertMovieSegment),
    /* 5 */ MethodRecord("InsertEmptyMovieSegmentZQK(time as integer, Duration as integer) as integer",
                         &rbInsertEmptyMovieSegment),
    /* 6 */ MethodRecord("DeleteMovieSegmentZQK(time as integer, Duration as integer) as integer",
                         &rbDeleteMovieSegment),
    /* 7 */ MethodRecord("AddTextTrackZQK(chapters() as QTChapterDataZQK, type as string, isChapterTrack as boolean) "
                         "as QTChapterTrackZQK",
                         &AddTextTrack),
    /* 8 */ MethodRecord("RemoveTextTrackZQK(index as integer) as integer", &RemoveIndTextTrack),
    /* 9 */ MethodRecord("ChapterTrackZQK as QTChapterTrackZQK", &GetChapterTrackForMovie),
    /* 10 */ MethodRecord("HasQTChapterTrackZQK as Boolean", &MovieHasAChapterTrack),
    /* 11 */ PropertyMethod("RateChangesPreservePitchZQK as Boolean", &GetRateChangesPreservePitch,
                            &SetRateChangesPreservePitch),
    /* 12 */ PropertyMethod("PitchZQK as double", &GetPitch, &SetPitch),
    /* 13 */ MethodRecord("TrackCountZQK as integer", &TrackCountZQK),
    /* 14 */ MethodRecord("GetTrackIndexZQK(index as integer) as QTTrackZQK", &GetTrackIndexZQK),
    /* 15 */ MethodRecord("GetTrackIDZQK(id as integer) as QTTrackZQK", &GetTrackIDZQK),
    /* 16 */ MethodRecord("GetTextTrackZQK(index as integer, EnabledTracksOnly as boolean = false) as QTChapterTrackZQK",
                          &GetTextTrackIndexZQK),
    /* 17 */ MethodRecord("GetVideoTrackZQK(index as integer, EnabledTracksOnly as boolean = false) as QTTrackZQK",
                          &GetVideoTrackIndexZQK),
    /* 18 */ MethodRecord("GetSoundTrackZQK(index as integer, EnabledTracksOnly as boolean = false) as QTTrackZQK",
                          &GetSoundTrackIndexZQK),
    /* 19 */ MethodRecord("DeleteTimeCodeTracksZQK", &DeleteTimeCodeTracks),
    /* 20 */ MethodRecord("HasTimeCodeTrackZQK as boolean", &MovieHasTimeCodeTrack),
    /* 21 */ MethodRecord("CurrentTimeCodeStringZQK as string", &GetCurrentTimeCodeString),
    /* 22 */ MethodRecord("AddTimeCodeToMovieZQK(parameters as QTTimeCodeCreationParametersZQK) as integer",
                          &AddTimeCodeToMovie),
    /* 23 */ PropertyMethod("TimeCodeDisplayedZQK as boolean", &Movie_GetTimeCodeDisplay, &Movie_SetTimeCodeDisplay),
    /* 24 */ MethodRecord("MetaDataZQK as QTMetaDataZQK", &rbQTCopyMovieMetaData),
    /* 25 */ MethodRecord("GenerateMovieApertureModeDimensionsZQK as integer", &GenerateMovieApertureModeDimensionsZQK),
    /* 26 */ MethodRecord("RemoveMovieApertureModeDimensionsZQK as integer", &RemoveMovieApertureModeDimensionsZQK),
    /* 27 */ MethodRecord("SetMovieApertureModeZQK(theApertureMode as string) as integer", &SetMovieApertureModeZQK),
    /* 28 */ MethodRecord("GetMovieApertureModeZQK as string", &GetMovieApertureModeZQK),
};

}  // namespace

// No instance data, constructor or properties: only methods. Its size stays 0
// and is not rounded.
REALclassDefinition MovieExtensionClass = ClassRecord({
    .name = "movie",
    .methods = kMovieMethods,
});
