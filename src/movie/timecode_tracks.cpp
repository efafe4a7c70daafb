// Time code tracks of a movie. The time code track is always the movie's first
// track of media type 'tmcd'; its media handler counts and draws the time code.
#include "movie/timecode_tracks.h"

#include <FixMath.h>
#include <MacMemory.h>
#include <QuickTime/ImageCompression.h>
#include <QuickTime/TimeCodeMedia.h>

#include <algorithm>
#include <cstdint>

#include "host/framework.h"
#include "host/host.h"
#include "host/values.h"
#include "movie/chapters.h"
#include "movie/timecode_parameters.h"
#include "plugin/instance.h"
#include "plugin/members.h"
#include "qt/qt.h"

namespace {

constexpr SInt32 kByMediaType = movieTrackMediaType;
constexpr Size kDescriptionSize = 38;  // TimeCodeDescription with an empty source
constexpr size_t kDefinitionOffset = 20;
constexpr OSType kSourceNameType = FOUR_CHAR_CODE('n', 'a', 'm', 'e');
constexpr int16_t kDefaultFace = 0;
constexpr int16_t kDefaultSize = 12;

bool IsSet(RBBoolean value) { return (value & 0xFF) != 0; }

Track TimeCodeTrack(Movie movie) { return GetMovieIndTrackType(movie, 1, TimeCodeMediaType, kByMediaType); }

// The handler of the movie's time code track, or null when any link is missing.
MediaHandler TimeCodeHandlerOf(Movie movie, Track* trackOut = nullptr) {
  Track track = TimeCodeTrack(movie);
  if (trackOut) *trackOut = track;
  Media media = track ? GetTrackMedia(track) : nullptr;
  return media ? GetMediaHandler(media) : nullptr;
}

// The height in pixels of one line of text in a font, face and size, measured
// in the current port. Without the Font Manager's metrics a line is taken as the
// size and a quarter, plus the two pixels of margin that a measured line gets.
int16_t LineHeight(int16_t font, int16_t face, int16_t size) {
  if (auto textFont = _TextFont.get()) textFont(font);
  if (auto textFace = _TextFace.get()) textFace(face);
  if (auto textSize = _TextSize.get()) textSize(size);
  auto getFontInfo = _GetFontInfo.get();
  if (!getFontInfo) {
    const int16_t points = size > 0 ? size : kDefaultSize;
    return static_cast<int16_t>(points + points / 4 + 2);
  }
  FontInfo info{};
  getFontInfo(&info);
  return static_cast<int16_t>(info.ascent + info.descent + 2);
}

// The height the track is made with: `Height` in pixels, never less than one
// line of its text (which is then handed back in `Height`), and within
// QuickDraw's coordinates. Once the display font is set the track becomes
// exactly one line high.
int32_t StartHeight(RBInteger& height, int16_t lineHeight) {
  if (height < lineHeight) height = lineHeight;
  return static_cast<int32_t>(std::min<RBInteger>(height, INT16_MAX));
}

void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// The description's bytes as a movie file stores them: big-endian, the
// definition after the header, no source yet.
void FillDescription(Handle desc, const TimeCodeDef& definition) {
  auto* p = reinterpret_cast<uint8_t*>(*desc);
  Put32(p, kDescriptionSize);
  Put32(p + 4, TimeCodeMediaType);
  uint8_t* def = p + kDefinitionOffset;
  Put32(def, static_cast<uint32_t>(definition.flags));
  Put32(def + 4, static_cast<uint32_t>(definition.fTimeScale));
  Put32(def + 8, static_cast<uint32_t>(definition.frameDuration));
  def[12] = definition.numFrames;
  def[13] = definition.padding;
}

// Names the source in the description's user data. Failing here costs only the
// name, so the caller carries on; the status is reported if nothing later fails.
OSErr SetSourceName(MediaHandler mh, Handle desc, const Str255 sourceName) {
  UserData userData = nullptr;
  OSErr status = NewUserData(&userData);
  if (status != noErr) return status;
  Handle text = nullptr;
  status = PtrToHand(sourceName + 1, &text, sourceName[0]);
  if (status == noErr) status = AddUserDataText(userData, text, kSourceNameType, 1, 0);
  if (status == noErr) {
    TCSetSourceRef(mh, reinterpret_cast<TimeCodeDescriptionHandle>(desc), userData);
    status = noErr;
  }
  if (text) DisposeHandle(text);
  DisposeUserData(userData);
  return status;
}

// Adds a time code track under (or over) the first video track and links it from
// there. 0 on success, and also when QuickTime could not make the track, media or
// handler; -50 without parameters; -2030 without video; otherwise the code of
// the step that failed.
RBInteger AddTimeCode(Movie qtMovie, REALobject parameters) {
  auto* p = InstanceData<TimeCodeParametersInstance>(QTTimeCodeCreationParametersZQKClass, parameters);
  if (!p) return paramErr;

  Str255 sourceName, fontName;
  PutSystemString(sourceName, p->sourceName);
  PutSystemString(fontName, p->fontName);
  int16_t fontNumber = 0;
  if (auto getFNum = _GetFNum.get()) getFNum(fontName, &fontNumber);

  const int16_t face = p->fontFace < 0 ? kDefaultFace : static_cast<int16_t>(p->fontFace);
  const int16_t size = p->fontSize < 0 ? kDefaultSize : static_cast<int16_t>(p->fontSize);
  const int16_t firstLine = LineHeight(fontNumber, face, size);

  Track videoTrack = GetMovieIndTrackType(qtMovie, 1, VideoMediaType, kByMediaType);
  if (!videoTrack) return trackNotInMovie;
  Fixed videoWidth = 0, videoHeight = 0;
  GetTrackDimensions(videoTrack, &videoWidth, &videoHeight);

  Track tcTrack = NewMovieTrack(qtMovie, videoWidth, Long2Fix(StartHeight(p->height, firstLine)), 0);
  Media tcMedia = tcTrack ? NewTrackMedia(tcTrack, TimeCodeMediaType, GetMovieTimeScale(qtMovie), nullptr, 0) : nullptr;
  MediaHandler mh = tcMedia ? GetMediaHandler(tcMedia) : nullptr;
  if (!mh) return noErr;

  TimeCodeDef definition{};
  TimeCodeRecord timeCode{};
  if (IsSet(p->useTimeCode)) {
    definition.flags = (IsSet(p->dropFrames) ? tcDropFrame : 0) | (IsSet(p->isNeg) ? tcNegTimesOK : 0) |
                       (IsSet(p->use24Hours) ? tc24HourMax : 0);
    timeCode.t.hours = static_cast<UInt8>(p->hours);
    timeCode.t.minutes = static_cast<UInt8>(p->minutes);
    timeCode.t.seconds = static_cast<UInt8>(p->seconds);
    timeCode.t.frames = static_cast<UInt8>(p->frames);
    if (IsSet(p->isNeg)) timeCode.t.minutes |= tctNegFlag;
  } else {
    definition.flags = tcCounter;
    timeCode.c = static_cast<SInt32>(p->counterStartValue);
  }
  definition.fTimeScale = static_cast<TimeScale>(p->timeScale);
  definition.frameDuration = static_cast<TimeValue>(p->frameDuration);
  definition.numFrames = static_cast<UInt8>(p->numberOfFrames);
  definition.padding = 0;

  TCTextOptions options{};
  TCGetDisplayOptions(mh, &options);
  if (p->fontFace >= 0) options.txFace = static_cast<short>(p->fontFace);
  if (p->fontSize >= 0) options.txSize = static_cast<short>(p->fontSize);
  options.txFont = fontNumber;
  // Red keeps whatever lies above bit 23 before the × 257, cut to 16 bits.
  options.foreColor = HostColorToRGBUnmasked(p->fontForeColor);
  options.backColor = HostColorToRGBUnmasked(p->fontBackColor);
  TCSetDisplayOptions(mh, &options);

  SetTrackDimensions(tcTrack, videoWidth, Long2Fix(LineHeight(options.txFont, options.txFace, options.txSize)));

  MatrixRecord matrix;
  GetTrackMatrix(tcTrack, &matrix);
  if (IsSet(p->displayBelowVideo)) TranslateMatrix(&matrix, 0, videoHeight);
  SetTrackMatrix(tcTrack, &matrix);

  const bool display = IsSet(p->displayTimeCode);
  SetTrackEnabled(tcTrack, display);
  TCSetTimeCodeFlags(mh, display ? tcdfShowTimeCode : 0, tcdfShowTimeCode);

  OSErr status = noErr;
  TimeValue duration = 0;
  Handle desc = nullptr, sample = nullptr;
  if (BeginMediaEdits(tcMedia) == noErr) {
    desc = NewHandleClear(kDescriptionSize);
    if (!desc) return noErr;
    FillDescription(desc, definition);
    status = SetSourceName(mh, desc, sourceName);

    sample = NewHandle(4);
    if (!sample) {
      DisposeHandle(desc);
      return status;
    }
    // The handler takes the definition in this machine's byte order, not the
    // description's.
    SInt32 frameNumber = 0;
    TCTimeCodeToFrameNumber(mh, &definition, &timeCode, &frameNumber);
    Put32(reinterpret_cast<uint8_t*>(*sample), static_cast<uint32_t>(frameNumber));

    duration = GetMovieDuration(qtMovie);
    status = AddMediaSample(tcMedia, sample, 0, 4, duration, reinterpret_cast<SampleDescriptionHandle>(desc), 1, 0,
                            nullptr);
    if (status != noErr) {
      DisposeHandle(desc);
      DisposeHandle(sample);
      return status;
    }
  }
  status = EndMediaEdits(tcMedia);
  if (status == noErr) status = InsertMediaIntoTrack(tcTrack, 0, 0, duration, fixed1);
  if (status == noErr) status = AddTrackReference(videoTrack, tcTrack, kTrackReferenceTimeCode, nullptr);
  if (desc) DisposeHandle(desc);
  if (sample) DisposeHandle(sample);
  return WidenOSErr(status);
}

}  // namespace

RBInteger AddTimeCodeToMovie(REALmovie movie, REALobject parameters) {
  return MovieMember(movie, [&](Movie qtMovie) { return AddTimeCode(qtMovie, parameters); }, kNoMovie);
}

// Removes time code tracks until none is left, each with every reference to it.
// A track that stays (QuickTime would not dispose of it) ends the loop, as does
// running out of rounds.
void DeleteTimeCodeTracks(REALmovie movie) {
  MovieMember(movie, [](Movie qtMovie) {
    Track track = TimeCodeTrack(qtMovie);
    for (SInt32 rounds = GetMovieTrackCount(qtMovie); track && rounds > 0; --rounds) {
      QTUtils_DeleteAllReferencesToTrack(track);
      DisposeMovieTrack(track);
      Track next = TimeCodeTrack(qtMovie);
      if (next == track) break;
      track = next;
    }
  });
}

bool MovieHasTimeCodeTrack(REALmovie movie) {
  return MovieMember(movie, [](Movie qtMovie) { return TimeCodeTrack(qtMovie) != nullptr; });
}

// The time code at the movie's current time, as the handler writes it
// ("01:00:00;00"), or nil.
REALstring GetCurrentTimeCodeString(REALmovie movie) {
  return MovieMember(movie, [](Movie qtMovie) -> REALstring {
    MediaHandler mh = TimeCodeHandlerOf(qtMovie);
    if (!mh) return nullptr;
    TimeCodeDef definition{};
    TimeCodeRecord timeCode{};
    Str255 text;
    text[0] = 0;
    if (TCGetCurrentTimeCode(mh, nullptr, &definition, &timeCode, nullptr) != noErr ||
        TCTimeCodeToString(mh, &definition, &timeCode, text) != noErr)
      return nullptr;
    return REALBuildUnicodeString(text + 1, text[0], kREALEncodingASCII);
  });
}

bool Movie_GetTimeCodeDisplay(REALmovie movie) {
  return MovieMember(movie, [](Movie qtMovie) {
    MediaHandler mh = TimeCodeHandlerOf(qtMovie);
    SInt32 flags = 0;
    if (mh) TCGetTimeCodeFlags(mh, &flags);
    return (flags & tcdfShowTimeCode) != 0;
  });
}

// Showing the time code also enables its track, hiding it disables the track.
void Movie_SetTimeCodeDisplay(REALmovie movie, bool value) {
  MovieMember(movie, [&](Movie qtMovie) {
    Track track = nullptr;
    MediaHandler mh = TimeCodeHandlerOf(qtMovie, &track);
    if (!mh) return;
    SInt32 flags = 0;
    TCGetTimeCodeFlags(mh, &flags);
    flags = value ? (flags | tcdfShowTimeCode) : (flags & ~tcdfShowTimeCode);
    TCSetTimeCodeFlags(mh, flags, tcdfShowTimeCode);
    SetTrackEnabled(track, value);
  });
}
