// AddTextTrackZQK: a new text track built from an array of QTChapterDataZQK, one
// sample per chapter, placed below the main track and, when asked, made its
// chapter track.
//
// Chapter text is always stored as UTF-16 (big-endian, with a byte-order mark)
// and the sample is marked with the Unicode encoding, so any text survives.
#include <FixMath.h>
#include <QuickDraw.h>
#include <QuickTime/ImageCompression.h>
#include <QuickTime/TextMedia.h>

#include <cstdint>
#include <cstdlib>

#include "host/exceptions.h"
#include "host/host.h"
#include "host/text.h"
#include "host/values.h"
#include "movie/chapter_data.h"
#include "movie/chapters.h"
#include "plugin/instance.h"
#include "qt/qt.h"
#include "track/track.h"

namespace {

constexpr TextEncoding kUnicodeEncoding = 0x100;
constexpr short kChapterTrackHeight = 20;

int16_t To16(RBInteger value) { return static_cast<int16_t>(value); }
bool IsSet(RBBoolean value) { return (value & 0xFF) != 0; }

Style StyleOf(const ChapterDataInstance& c) {
  Style style = 0;
  if (IsSet(c.bold)) style |= bold;
  if (IsSet(c.italic)) style |= italic;
  if (IsSet(c.underline)) style |= underline;
  if (IsSet(c.outline)) style |= outline;
  if (IsSet(c.shadow)) style |= shadow;
  if (IsSet(c.condense)) style |= condense;
  if (IsSet(c.extend)) style |= extend;
  return style;
}

// The chapter's text box; a zero width or height takes the main track's.
Rect TextBoxOf(const ChapterDataInstance& c, Fixed mainWidth, Fixed mainHeight) {
  const uint32_t width = static_cast<uint32_t>(c.width ? c.width : Fix2Long(mainWidth));
  const uint32_t height = static_cast<uint32_t>(c.height ? c.height : Fix2Long(mainHeight));
  const uint32_t left = static_cast<uint32_t>(c.left), top = static_cast<uint32_t>(c.top);
  Rect box;
  box.top = static_cast<int16_t>(top);
  box.left = static_cast<int16_t>(left);
  box.bottom = static_cast<int16_t>(top + height);
  box.right = static_cast<int16_t>(left + width);
  return box;
}

// FrameDuration is in movie time; the sample's duration is in media time.
TimeValue SampleDuration(const ChapterDataInstance& c, Movie movie, Media media) {
  TimeRecord record{};
  record.value.lo = static_cast<UInt32>(c.frameDuration);
  record.value.hi = 0;
  record.scale = GetMovieTimeScale(movie);
  record.base = nullptr;
  ConvertTimeScale(&record, GetMediaTimeScale(media));
  return static_cast<TimeValue>(record.value.lo);
}

// One chapter as one text sample. A chapter whose text cannot be buffered, or
// that QuickTime refuses (a zero duration, say), adds nothing.
void AddChapterSample(MediaHandler handler, Media media, Movie movie, const ChapterDataInstance& c, Fixed mainWidth,
                      Fixed mainHeight) {
  Rect box = TextBoxOf(c, mainWidth, mainHeight);
  const TimeValue duration = SampleDuration(c, movie, media);
  RGBColor textColor = HostColorToRGB(c.textColor);
  RGBColor backColor = HostColorToRGB(c.backColor);
  RGBColor highlightColor = HostColorToRGB(c.highLightColor);

  rbText text(c.text);
  const rbText::Form<uint16_t>& utf16 = text.UTF16();
  const int64_t units = utf16.length > 0 ? utf16.length : 0;
  // Mark, text, and room to spare; it must stay a positive 32-bit size.
  const int64_t bufferSize = 2 * units + 12;
  if (bufferSize > INT32_MAX) return;
  auto* buffer = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(bufferSize)));
  if (!buffer) return;
  buffer[0] = 0xFE;
  buffer[1] = 0xFF;
  for (int64_t i = 0; i < units; ++i) {
    buffer[2 + 2 * i] = static_cast<uint8_t>(utf16.data[i] >> 8);
    buffer[3 + 2 * i] = static_cast<uint8_t>(utf16.data[i]);
  }

  TextEncoding encoding = kUnicodeEncoding;
  TextMediaSetTextSampleData(handler, &encoding, kTextEncoding);
  TextMediaAddTextSample(handler, reinterpret_cast<Ptr>(buffer), static_cast<UInt32>(2 * units + 2),
                         To16(c.fontNumber), To16(c.fontSize), StyleOf(c), IsSet(c.hasTextColor) ? &textColor : nullptr,
                         IsSet(c.hasBackColor) ? &backColor : nullptr, To16(c.textJustification), &box,
                         static_cast<SInt32>(c.displayFlags), static_cast<TimeValue>(c.scrollDelay),
                         To16(c.highLightStart), To16(c.highLightEnd),
                         IsSet(c.hasHighLightColor) ? &highlightColor : nullptr, duration, nullptr);
  std::free(buffer);
}

void AddChapterSamples(MediaHandler handler, Media media, Movie movie, REALobjectArray chapters, int16_t count,
                       Fixed mainWidth, Fixed mainHeight) {
  for (int16_t i = 0; i < count; ++i) {
    // The bound is read again in case the array is no longer what it was; every
    // index after the first one beyond it is beyond it too.
    const RBInteger upperBound = REALGetArrayUBound(chapters);
    if (i > upperBound) {
      RaiseOutOfBoundsException(i, upperBound + 1);
      return;
    }
    REALobject element = REALGetArrayObject(chapters, i);
    if (!element) continue;
    if (const auto* chapter = InstanceData<ChapterDataInstance>(QTChapterDataZQKClass, element))
      AddChapterSample(handler, media, movie, *chapter, mainWidth, mainHeight);
    REALUnlockObject(element);
  }
}

// `type` names the main track's media type. The new track is returned even when
// its media, its samples or its insertion failed: it is in the movie either way,
// and user code can still remove it.
REALobject AddChapterTrack(REALmovie movie, Movie qtMovie, REALobjectArray chapters, REALstring type,
                           bool isChapterTrack) {
  if (!chapters) return nullptr;
  // A 16-bit count: a very long array wraps, as it always has.
  const int16_t count = static_cast<int16_t>(REALGetArrayUBound(chapters) + 1);

  Track mainTrack = GetMovieIndTrackType(qtMovie, 1, REALstringToOSType(type), movieTrackMediaType);
  if (!mainTrack) return nullptr;
  Fixed mainWidth = 0, mainHeight = 0;
  GetTrackDimensions(mainTrack, &mainWidth, &mainHeight);
  const TimeScale scale = GetMediaTimeScale(GetTrackMedia(mainTrack));

  Track textTrack = NewMovieTrack(qtMovie, mainWidth, FixRatio(kChapterTrackHeight, 1), 0);
  if (!textTrack) return nullptr;
  Media media = NewTrackMedia(textTrack, TextMediaType, scale, nullptr, 0);
  MediaHandler handler = media ? GetMediaHandler(media) : nullptr;
  if (media && handler) {
    MatrixRecord matrix;
    GetTrackMatrix(textTrack, &matrix);
    TranslateMatrix(&matrix, 0, mainHeight);
    SetTrackMatrix(textTrack, &matrix);
    SetTrackEnabled(textTrack, true);

    if (BeginMediaEdits(media) == noErr && count >= 1)
      AddChapterSamples(handler, media, qtMovie, chapters, count, mainWidth, mainHeight);
    if (EndMediaEdits(media) == noErr &&
        InsertMediaIntoTrack(textTrack, 0, 0, GetMediaDuration(media), fixed1) == noErr && isChapterTrack)
      AddTrackReference(mainTrack, textTrack, kTrackReferenceChapterList, nullptr);
  }
  if (!movie) return nullptr;
  return NewTrackObject(movie, textTrack, "QTChapterTrackZQK");
}

}  // namespace

REALobject AddTextTrack(REALmovie movie, REALobjectArray chapters, REALstring type, bool isChapterTrack) {
  return MovieMember(movie,
                     [&](Movie qtMovie) { return AddChapterTrack(movie, qtMovie, chapters, type, isChapterTrack); });
}
