// The Movie Toolbox: movies, tracks, media, samples, edits, references and user data.
// Widths are QuickTime's: TimeValue and TimeScale are 32-bit, results are 16-bit OSErr.
#pragma once

#include <Files.h>
#include <MacMemory.h>
#include <MacTypes.h>
#include <QuickDraw.h>
#include <QuickTime/AudioLayout.h>
#include <QuickTime/ImageCompression.h>
#include <QuickTime/QuickTimeErrors.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MovieType** Movie;
typedef struct TrackType** Track;
typedef struct MediaType** Media;
typedef struct UserDataRecord** UserData;
typedef struct TimeBaseRecord* TimeBase;
typedef struct ComponentRecord* Component;
typedef struct ComponentInstanceRecord* ComponentInstance;
typedef ComponentInstance MediaHandler;
typedef SInt32 ComponentResult;

typedef SInt32 TimeValue;
typedef SInt32 TimeScale;
typedef SInt64 TimeValue64;
typedef UInt32 ByteCount;

// A signed 64-bit value in two halves, low word first as on Intel Macs.
typedef struct wide {
  UInt32 lo;
  SInt32 hi;
} wide;
typedef wide CompTimeValue;

// base == NULL: the record is a duration.
typedef struct TimeRecord {
  CompTimeValue value;
  TimeScale scale;
  TimeBase base;
} TimeRecord;

// Sample descriptions travel as their stsd entry bytes, big-endian, exactly as a
// movie file stores them; this struct only names the header's fields.
typedef struct SampleDescription {
  SInt32 descSize;
  SInt32 dataFormat;
  SInt32 resvd1;
  SInt16 resvd2;
  SInt16 dataRefIndex;
} SampleDescription;
typedef SampleDescription* SampleDescriptionPtr;
typedef SampleDescriptionPtr* SampleDescriptionHandle;

typedef void* QTPropertyValuePtr;
typedef const void* ConstQTPropertyValuePtr;
typedef OSType QTPropertyClass;
typedef OSType QTPropertyID;
typedef OSType QTPropertyValueType;

enum {
  VideoMediaType = FOUR_CHAR_CODE('v', 'i', 'd', 'e'),
  SoundMediaType = FOUR_CHAR_CODE('s', 'o', 'u', 'n'),
  TextMediaType = FOUR_CHAR_CODE('t', 'e', 'x', 't'),
  BaseMediaType = FOUR_CHAR_CODE('g', 'n', 'r', 'c'),
  MPEGMediaType = FOUR_CHAR_CODE('M', 'P', 'E', 'G'),
  MusicMediaType = FOUR_CHAR_CODE('m', 'u', 's', 'i'),
  TimeCodeMediaType = FOUR_CHAR_CODE('t', 'm', 'c', 'd'),
  SpriteMediaType = FOUR_CHAR_CODE('s', 'p', 'r', 't'),
  FlashMediaType = FOUR_CHAR_CODE('f', 'l', 's', 'h'),
  MovieMediaType = FOUR_CHAR_CODE('m', 'o', 'o', 'v'),
  TweenMediaType = FOUR_CHAR_CODE('t', 'w', 'e', 'n'),
  ThreeDeeMediaType = FOUR_CHAR_CODE('q', 'd', '3', 'd'),
  SkinMediaType = FOUR_CHAR_CODE('s', 'k', 'i', 'n'),
  HandleDataHandlerSubType = FOUR_CHAR_CODE('h', 'n', 'd', 'l'),
  PointerDataHandlerSubType = FOUR_CHAR_CODE('p', 't', 'r', ' '),
  NullDataHandlerSubType = FOUR_CHAR_CODE('n', 'u', 'l', 'l'),
  ResourceDataHandlerSubType = FOUR_CHAR_CODE('r', 's', 'r', 'c'),
  URLDataHandlerSubType = FOUR_CHAR_CODE('u', 'r', 'l', ' '),
  AliasDataHandlerSubType = FOUR_CHAR_CODE('a', 'l', 'i', 's'),
  VisualMediaCharacteristic = FOUR_CHAR_CODE('e', 'y', 'e', 's'),
  AudioMediaCharacteristic = FOUR_CHAR_CODE('e', 'a', 'r', 's'),
  kCharacteristicCanStep = FOUR_CHAR_CODE('s', 't', 'e', 'p'),
};

enum {
  kTrackReferenceChapterList = FOUR_CHAR_CODE('c', 'h', 'a', 'p'),
  kTrackReferenceTimeCode = FOUR_CHAR_CODE('t', 'm', 'c', 'd'),
  kTrackReferenceModifier = FOUR_CHAR_CODE('s', 's', 'r', 'c'),
};

// GetMovieIndTrackType flags.
enum {
  movieTrackMediaType = 1 << 0,
  movieTrackCharacteristic = 1 << 1,
  movieTrackEnabledOnly = 1 << 2,
};

// GetTrackNextInterestingTime flags.
enum {
  nextTimeMediaSample = 1 << 0,
  nextTimeMediaEdit = 1 << 1,
  nextTimeTrackEdit = 1 << 2,
  nextTimeSyncSample = 1 << 3,
  nextTimeStep = 1 << 4,
  nextTimePartialSyncSample = 1 << 5,
  nextTimeEdgeOK = 1 << 14,
  nextTimeIgnoreActiveSegment = 1 << 15,
};

// AddMediaSample / GetMediaSample flags.
enum {
  mediaSampleNotSync = 1 << 0,
  mediaSampleShadowSync = 1 << 1,
};

enum {
  kQTCloneShareSamples = 1 << 0,
  kQTCloneDontCopyEdits = 1 << 1,
};

// Data reference attributes.
enum {
  dataRefSelfReference = 1 << 0,
  dataRefWasNotResolved = 1 << 1,
};

enum {
  newMovieActive = 1 << 0,
  newMovieDontAskUnresolvedDataRefs = 1 << 5,
};

// Movie properties.
enum {
  kQTPropertyClass_Audio = FOUR_CHAR_CODE('a', 'u', 'd', 'i'),
  kQTAudioPropertyID_RateChangesPreservePitch = FOUR_CHAR_CODE('a', 'u', 'c', 'p'),
  kQTAudioPropertyID_Pitch = FOUR_CHAR_CODE('p', 'i', 't', 'c'),
  kQTPropertyClass_Visual = FOUR_CHAR_CODE('v', 'i', 's', 'u'),
  kQTVisualPropertyID_HasApertureModeDimensions = FOUR_CHAR_CODE('h', 'a', 'm', 'd'),
  kQTVisualPropertyID_ApertureMode = FOUR_CHAR_CODE('a', 'p', 'm', 'd'),
  kQTApertureMode_Classic = FOUR_CHAR_CODE('c', 'l', 'a', 's'),
  kQTApertureMode_CleanAperture = FOUR_CHAR_CODE('c', 'l', 'e', 'a'),
  kQTApertureMode_ProductionAperture = FOUR_CHAR_CODE('p', 'r', 'o', 'd'),
  kQTApertureMode_EncodedPixels = FOUR_CHAR_CODE('e', 'n', 'c', 'o'),
  kQTPropertyFlagCanGet = 1 << 0,
  kQTPropertyFlagCanSet = 1 << 1,
};

// User data item types used across the toolbox.
enum {
  kUserDataName = FOUR_CHAR_CODE('n', 'a', 'm', 'e'),
  kUserDataMovieControllerType = FOUR_CHAR_CODE('c', 't', 'y', 'p'),
  kUserDataTextFullName = (OSType)0xA96E616D,  // '©nam'
  kUserDataTextCopyright = (OSType)0xA9637079, // '©cpy'
  kUserDataTextComment = (OSType)0xA9636D74,   // '©cmt'
};

// --- Errors ---------------------------------------------------------------
OSErr EnterMovies(void);
void ExitMovies(void);
OSErr GetMoviesError(void);
OSErr GetMoviesStickyError(void);
void ClearMoviesStickyError(void);

// --- Movies ---------------------------------------------------------------
Movie NewMovie(SInt32 flags);
void DisposeMovie(Movie theMovie);
TimeScale GetMovieTimeScale(Movie theMovie);
void SetMovieTimeScale(Movie theMovie, TimeScale timeScale);
TimeValue GetMovieDuration(Movie theMovie);
TimeValue GetMovieTime(Movie theMovie, TimeRecord* currentTime);
void SetMovieTimeValue(Movie theMovie, TimeValue newtime);
short GetMovieVolume(Movie theMovie);
void SetMovieVolume(Movie theMovie, short volume);
void GetMovieMatrix(Movie theMovie, MatrixRecord* matrix);
void SetMovieMatrix(Movie theMovie, const MatrixRecord* matrix);
SInt32 GetMovieTrackCount(Movie theMovie);
Track GetMovieIndTrack(Movie theMovie, SInt32 index);
Track GetMovieTrack(Movie theMovie, SInt32 trackID);
Track GetMovieIndTrackType(Movie theMovie, SInt32 index, OSType trackType, SInt32 flags);
OSErr InsertMovieSegment(Movie srcMovie, Movie dstMovie, TimeValue srcIn, TimeValue srcDuration, TimeValue dstIn);
OSErr InsertEmptyMovieSegment(Movie dstMovie, TimeValue dstIn, TimeValue dstDuration);
OSErr DeleteMovieSegment(Movie theMovie, TimeValue startTime, TimeValue duration);
OSErr ScaleMovieSegment(Movie theMovie, TimeValue startTime, TimeValue oldDuration, TimeValue newDuration);
UserData GetMovieUserData(Movie theMovie);
OSErr QTGetMoviePropertyInfo(Movie inMovie, QTPropertyClass inPropClass, QTPropertyID inPropID,
                             QTPropertyValueType* outPropType, ByteCount* outPropValueSize,
                             UInt32* outPropertyFlags);
OSErr QTGetMovieProperty(Movie inMovie, QTPropertyClass inPropClass, QTPropertyID inPropID,
                         ByteCount inPropValueSize, QTPropertyValuePtr outPropValueAddress,
                         ByteCount* outPropValueSizeUsed);
OSErr QTSetMovieProperty(Movie inMovie, QTPropertyClass inPropClass, QTPropertyID inPropID,
                         ByteCount inPropValueSize, ConstQTPropertyValuePtr inPropValueAddress);
OSErr GenerateMovieApertureModeDimensions(Movie movie);
// Clip regions come back as new regions the caller disposes of (NULL: none, with
// GetMoviesError noErr); setting stores a copy, NULL removes the clip.
RgnHandle GetMovieClipRgn(Movie theMovie);
void SetMovieClipRgn(Movie theMovie, RgnHandle theClip);
OSErr RemoveMovieApertureModeDimensions(Movie movie);

// --- Tracks ---------------------------------------------------------------
Track NewMovieTrack(Movie theMovie, Fixed width, Fixed height, short trackVolume);
void DisposeMovieTrack(Track theTrack);
Movie GetTrackMovie(Track theTrack);
SInt32 GetTrackID(Track theTrack);
TimeValue GetTrackDuration(Track theTrack);
TimeValue GetTrackOffset(Track theTrack);
void SetTrackOffset(Track theTrack, TimeValue movieOffsetTime);
short GetTrackLayer(Track theTrack);
void SetTrackLayer(Track theTrack, short layer);
UInt32 GetTrackCreationTime(Track theTrack);
UInt32 GetTrackModificationTime(Track theTrack);
Boolean GetTrackEnabled(Track theTrack);
void SetTrackEnabled(Track theTrack, Boolean isEnabled);
void GetTrackDimensions(Track theTrack, Fixed* width, Fixed* height);
void SetTrackDimensions(Track theTrack, Fixed width, Fixed height);
short GetTrackVolume(Track theTrack);
void SetTrackVolume(Track theTrack, short volume);
void GetTrackMatrix(Track theTrack, MatrixRecord* matrix);
void SetTrackMatrix(Track theTrack, const MatrixRecord* matrix);
Media GetTrackMedia(Track theTrack);
Fixed GetTrackEditRate(Track theTrack, TimeValue atTime);
OSErr InsertTrackSegment(Track srcTrack, Track dstTrack, TimeValue srcIn, TimeValue srcDuration, TimeValue dstIn);
OSErr InsertEmptyTrackSegment(Track dstTrack, TimeValue dstIn, TimeValue dstDuration);
OSErr DeleteTrackSegment(Track theTrack, TimeValue startTime, TimeValue duration);
OSErr ScaleTrackSegment(Track theTrack, TimeValue startTime, TimeValue oldDuration, TimeValue newDuration);
OSErr InsertMediaIntoTrack(Track theTrack, TimeValue trackStart, TimeValue mediaTime, TimeValue mediaDuration,
                           Fixed mediaRate);
void GetTrackNextInterestingTime(Track theTrack, short interestingTimeFlags, TimeValue time, Fixed rate,
                                 TimeValue* interestingTime, TimeValue* interestingDuration);
TimeValue TrackTimeToMediaTime(TimeValue value, Track theTrack);
OSErr AddClonedTrackToMovie(Track srcTrack, Movie dstMovie, SInt32 flags, Track* dstTrack);
OSErr AddTrackReference(Track theTrack, Track refTrack, OSType refType, SInt32* addedIndex);
OSErr DeleteTrackReference(Track theTrack, OSType refType, SInt32 index);
OSErr SetTrackReference(Track theTrack, Track refTrack, OSType refType, SInt32 index);
Track GetTrackReference(Track theTrack, OSType refType, SInt32 index);
OSType GetNextTrackReferenceType(Track theTrack, OSType refType);
SInt32 GetTrackReferenceCount(Track theTrack, OSType refType);
UserData GetTrackUserData(Track theTrack);
OSErr GenerateTrackApertureModeDimensions(Track track);
OSErr RemoveTrackApertureModeDimensions(Track track);
OSErr SetTrackApertureModeDimensionsUsingSampleDescription(Track track, SampleDescriptionHandle sampleDesc);
RgnHandle GetTrackClipRgn(Track theTrack);
void SetTrackClipRgn(Track theTrack, RgnHandle theClip);
// Track properties: kQTPropertyClass_Audio / kQTAudioPropertyID_ChannelLayout on sound
// tracks (QuickTime/AudioLayout.h).
OSErr QTGetTrackPropertyInfo(Track inTrack, QTPropertyClass inPropClass, QTPropertyID inPropID,
                             QTPropertyValueType* outPropType, ByteCount* outPropValueSize,
                             UInt32* outPropertyFlags);
OSErr QTGetTrackProperty(Track inTrack, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         QTPropertyValuePtr outPropValueAddress, ByteCount* outPropValueSizeUsed);
OSErr QTSetTrackProperty(Track inTrack, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         ConstQTPropertyValuePtr inPropValueAddress);

// --- Media ----------------------------------------------------------------
Media NewTrackMedia(Track theTrack, OSType mediaType, TimeScale timeScale, Handle dataRef, OSType dataRefType);
void DisposeTrackMedia(Media theMedia);
Track GetMediaTrack(Media theMedia);
MediaHandler GetMediaHandler(Media theMedia);
void GetMediaHandlerDescription(Media theMedia, OSType* mediaType, Str255 creatorName, OSType* creatorManufacturer);
TimeScale GetMediaTimeScale(Media theMedia);
TimeValue GetMediaDuration(Media theMedia);
short GetMediaLanguage(Media theMedia);
void SetMediaLanguage(Media theMedia, short language);
UserData GetMediaUserData(Media theMedia);
OSErr BeginMediaEdits(Media theMedia);
OSErr EndMediaEdits(Media theMedia);
OSErr AddMediaSample(Media theMedia, Handle dataIn, SInt32 inOffset, UInt32 size, TimeValue durationPerSample,
                     SampleDescriptionHandle sampleDescriptionH, SInt32 numberOfSamples, short sampleFlags,
                     TimeValue* sampleTime);
OSErr GetMediaSample(Media theMedia, Handle dataOut, SInt32 maxSizeToGrow, SInt32* size, TimeValue time,
                     TimeValue* sampleTime, TimeValue* durationPerSample, SampleDescriptionHandle sampleDescriptionH,
                     SInt32* sampleDescriptionIndex, SInt32 maxNumberOfSamples, SInt32* numberOfSamples,
                     short* sampleFlags);
SInt32 GetMediaSampleCount(Media theMedia);
SInt32 GetMediaSampleDescriptionCount(Media theMedia);
void GetMediaSampleDescription(Media theMedia, SInt32 index, SampleDescriptionHandle descH);
void MediaTimeToSampleNum(Media theMedia, TimeValue time, SInt32* sampleNum, TimeValue* sampleTime,
                          TimeValue* sampleDuration);
void SampleNumToMediaTime(Media theMedia, SInt32 logicalSampleNum, TimeValue* sampleTime,
                          TimeValue* sampleDuration);
void GetMediaNextInterestingTime(Media theMedia, short interestingTimeFlags, TimeValue time, Fixed rate,
                                 TimeValue* interestingTime, TimeValue* interestingDuration);
// Rescales a duration record: value * newScale / scale, rounded half away from zero.
void ConvertTimeScale(TimeRecord* inout, TimeScale newScale);

OSErr GetMediaDataRefCount(Media theMedia, short* count);
OSErr GetMediaDataRef(Media theMedia, short index, Handle* dataRef, OSType* dataRefType, SInt32* dataRefAttributes);
OSErr SetMediaDataRef(Media theMedia, short index, Handle dataRef, OSType dataRefType);
OSErr AddMediaDataRef(Media theMedia, short* index, Handle dataRef, OSType dataRefType);
// An 'alis' data reference holding an alias to the file.
OSErr QTNewDataReferenceFromFSRef(const FSRef* fileRef, UInt32 flags, Handle* outDataRef, OSType* outDataRefType);

// --- User data ------------------------------------------------------------
OSErr NewUserData(UserData* theUserData);
OSErr DisposeUserData(UserData theUserData);
OSErr GetUserData(UserData theUserData, Handle data, OSType udType, SInt32 index);
OSErr AddUserData(UserData theUserData, Handle data, OSType udType);
OSErr RemoveUserData(UserData theUserData, OSType udType, SInt32 index);
short CountUserDataType(UserData theUserData, OSType udType);
SInt32 GetNextUserDataType(UserData theUserData, OSType udType);
OSErr GetUserDataItem(UserData theUserData, void* data, SInt32 size, OSType udType, SInt32 index);
OSErr SetUserDataItem(UserData theUserData, void* data, SInt32 size, OSType udType, SInt32 index);
OSErr GetUserDataText(UserData theUserData, Handle data, OSType udType, SInt32 index, short itlRegionTag);
OSErr AddUserDataText(UserData theUserData, Handle data, OSType udType, SInt32 index, short itlRegionTag);
OSErr RemoveUserDataText(UserData theUserData, OSType udType, SInt32 index, short itlRegionTag);
// The flattened form is the list of item atoms, as a udta atom's payload.
OSErr PutUserDataIntoHandle(UserData theUserData, Handle h);
OSErr NewUserDataFromHandle(Handle h, UserData* theUserData);

#ifdef __cplusplus
}
#endif
