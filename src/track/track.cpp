// QTTrackZQK: the object, its creation, and the members that work on the track
// itself (times, layer, enabling, dimensions, volume, segments, matrices,
// references, cloning).
//
// Host integers arrive as RBInteger; QuickTime's time values and counts are
// 32 bits, so each is cut to 32 bits on the way in, as a 32-bit host passes it,
// and every 32-bit answer goes back sign-extended.
#include "track/track.h"

#include <FixMath.h>
#include <QuickTime/ImageCompression.h>

#include "host/host.h"
#include "host/values.h"
#include "plugin/instance.h"
#include "qt/qt.h"

namespace {

TimeValue ToTimeValue(RBInteger value) { return static_cast<TimeValue>(value); }
short To16(RBInteger value) { return static_cast<short>(value); }

// 1: the next sample; 16385: the next sample, or one that starts exactly at `time`.
constexpr short kNextSample = nextTimeMediaSample;
constexpr short kNextSampleEdgeOK = nextTimeMediaSample | nextTimeEdgeOK;

// Shared by both overloads: only the flags and the rate differ.
bool NextInterestingTime(TrackCall& call, RBInteger* time, RBInteger* duration, short flags, Fixed rate) {
  TimeValue outTime = ToTimeValue(*time);
  TimeValue outDuration = ToTimeValue(*duration);
  GetTrackNextInterestingTime(call.track(), flags, ToTimeValue(*time), rate, &outTime, &outDuration);
  *time = outTime;
  *duration = outDuration;
  call.RecordMoviesError();
  return true;
}

struct FixedSize {
  Fixed width = 0;
  Fixed height = 0;
};
FixedSize Dimensions(Track track) {
  FixedSize size;
  GetTrackDimensions(track, &size.width, &size.height);
  return size;
}

}  // namespace

// ---- the object ----

TrackInstance* TrackFields(REALobject instance) { return InstanceData<TrackInstance>(QTTrackZQKClass, instance); }

Track TrackOf(REALobject instance) {
  const TrackInstance* fields = TrackFields(instance);
  return fields ? fields->trackHandle : nullptr;
}

Media MediaOf(REALobject instance) {
  Track track = TrackOf(instance);
  return track ? GetTrackMedia(track) : nullptr;
}

MediaHandler HandlerOf(REALobject instance) {
  Media media = MediaOf(instance);
  return media ? GetMediaHandler(media) : nullptr;
}

namespace {
RBInteger* LastErrorField(REALobject instance) {
  TrackInstance* fields = TrackFields(instance);
  return fields ? &fields->lastError : nullptr;
}
}  // namespace

TrackCall::TrackCall(REALobject instance) : lastError_(LastErrorField(instance)), track_(TrackOf(instance)) {}

Media TrackCall::media() const { return track_ ? GetTrackMedia(track_) : nullptr; }

MediaHandler TrackCall::handler() const {
  Media m = media();
  return m ? GetMediaHandler(m) : nullptr;
}

REALobject NewTrackObject(REALmovie movie, Track track, const char* className) {
  REALobject object = REALnewInstance(className);
  // Lasterror keeps the value the object was made with.
  TrackInstance* fields = TrackFields(object);
  if (!fields) return object;
  fields->movie = movie;
  fields->trackHandle = track;
  // The movie owns the track: holding the movie keeps the track valid.
  REALLockObject(movie);
  return object;
}

// The host hands out zeros: no movie, no track, Lasterror 0.
void TrackConstructor(REALobject) {}

// Forgets both references, so running it twice releases nothing twice. The
// track stays with its movie.
void TrackDestructor(REALobject instance) {
  TrackInstance* fields = TrackFields(instance);
  if (!fields) return;
  if (fields->movie) {
    REALUnlockObject(fields->movie);
    fields->movie = nullptr;
  }
  fields->trackHandle = nullptr;
}

// ---- plain properties ----

RBInteger rbGetTrackDuration(REALobject instance) { return WithTrack(instance, GetTrackDuration); }

RBInteger rbGetTrackOffset(REALobject instance) { return WithTrack(instance, GetTrackOffset); }

void rbSetTrackOffset(REALobject instance, RBInteger value) {
  if (Track track = TrackOf(instance)) SetTrackOffset(track, ToTimeValue(value));
}

RBInteger rbGetTrackLayer(REALobject instance) { return WithTrack(instance, GetTrackLayer); }

void rbSetTrackLayer(REALobject instance, RBInteger value) {
  if (Track track = TrackOf(instance)) SetTrackLayer(track, To16(value));
}

// Seconds since 1904 do not fit a signed 32-bit integer after 2040; a 32-bit
// host sees them wrapped, and so does this one.
RBInteger rbGetTrackCreationTime(REALobject instance) {
  return static_cast<int32_t>(WithTrack(instance, GetTrackCreationTime));
}

RBInteger rbGetTrackModificationTime(REALobject instance) {
  return static_cast<int32_t>(WithTrack(instance, GetTrackModificationTime));
}

bool rbGetTrackEnabled(REALobject instance) { return WithTrack(instance, GetTrackEnabled) != 0; }

void rbSetTrackEnabled(REALobject instance, bool value) {
  if (Track track = TrackOf(instance)) SetTrackEnabled(track, value ? 1 : 0);
}

void rbSetTrackDimensions(REALobject instance, double width, double height) {
  if (Track track = TrackOf(instance)) SetTrackDimensions(track, DoubleToFixed(width), DoubleToFixed(height));
}

// The integer part rounds toward minus infinity: -0.5 reads as -1.
RBInteger rbGetTrackWidth(REALobject instance) {
  return WithTrack(instance, [](Track track) { return Dimensions(track).width >> 16; });
}

RBInteger rbGetTrackHeight(REALobject instance) {
  return WithTrack(instance, [](Track track) { return Dimensions(track).height >> 16; });
}

// QuickTime answers a missing track itself.
RBInteger rbGetTrackID(REALobject instance) { return GetTrackID(TrackOf(instance)); }

// The raw 16-bit volume (0x0100 is full), both ways. Reading records success
// whatever QuickTime says.
RBInteger rbGetTrackVolume(REALobject instance) {
  TrackCall call(instance);
  call.Set(noErr);
  return GetTrackVolume(call.track());
}

void rbSetTrackVolume(REALobject instance, RBInteger value) {
  TrackCall call(instance);
  if (!call.track()) return;
  call.Set(noErr);
  SetTrackVolume(call.track(), To16(value));
}

RBInteger rbGetMediaHandle(REALobject instance) { return reinterpret_cast<RBInteger>(MediaOf(instance)); }

RBInteger rbGetMediaHandlerHandle(REALobject instance) { return reinterpret_cast<RBInteger>(HandlerOf(instance)); }

// ---- segment editing: QuickTime answers a missing track itself ----

void rbScaleTrackSegment(REALobject instance, RBInteger startTime, RBInteger oldDuration, RBInteger newDuration) {
  TrackCall call(instance);
  call.Record(ScaleTrackSegment(call.track(), ToTimeValue(startTime), ToTimeValue(oldDuration),
                                ToTimeValue(newDuration)));
}

// This track is the source, `dest` the track that receives the segment.
void rbInsertTrackSegment(REALobject instance, REALobject dest, RBInteger srcIn, RBInteger srcDuration,
                          RBInteger dstIn) {
  TrackCall call(instance);
  if (!dest) return;
  call.Record(InsertTrackSegment(call.track(), TrackOf(dest), ToTimeValue(srcIn), ToTimeValue(srcDuration),
                                 ToTimeValue(dstIn)));
}

void rbInsertEmptyTrackSegment(REALobject instance, RBInteger time, RBInteger duration) {
  TrackCall call(instance);
  call.Record(InsertEmptyTrackSegment(call.track(), ToTimeValue(time), ToTimeValue(duration)));
}

void rbDeleteTrackSegment(REALobject instance, RBInteger time, RBInteger duration) {
  TrackCall call(instance);
  call.Record(DeleteTrackSegment(call.track(), ToTimeValue(time), ToTimeValue(duration)));
}

void rbDeleteTrackReference(REALobject instance, REALstring type, RBInteger index) {
  TrackCall call(instance);
  const OSType referenceType = REALstringToOSType(type);
  call.Record(DeleteTrackReference(call.track(), referenceType, static_cast<SInt32>(index)));
}

// ---- interesting times ----

// From a time at or after zero the sample starting exactly there counts; from a
// negative time, the next one.
bool rbGetTrackNextInterestingTime(REALobject instance, RBInteger* time, RBInteger* duration) {
  TrackCall call(instance);
  if (!call.track()) return false;
  const short flags = ToTimeValue(*time) >= 0 ? kNextSampleEdgeOK : kNextSample;
  return NextInterestingTime(call, time, duration, flags, fixed1);
}

// With a rate only time zero lets the sample at that time count.
bool rbGetTrackNextInterestingTimeAtRate(REALobject instance, RBInteger* time, RBInteger* duration, double rate) {
  TrackCall call(instance);
  if (!call.track()) return false;
  const short flags = ToTimeValue(*time) == 0 ? kNextSampleEdgeOK : kNextSample;
  return NextInterestingTime(call, time, duration, flags, DoubleToFixed(rate));
}

// ---- cloning ----

REALobject rbAddClonedTrackToMovie(REALobject instance, REALmovie dest, RBInteger flags) {
  TrackCall call(instance);
  if (QuickTimeUnavailable() || !call.track() || !dest) return nullptr;
  Track newTrack = nullptr;
  const OSErr err =
      call.Record(AddClonedTrackToMovie(call.track(), REALgetMovieMovie(dest), static_cast<SInt32>(flags), &newTrack));
  if (err != noErr || !newTrack) return nullptr;
  return NewTrackObject(dest, newTrack, "QTTrackZQK");
}

// ---- matrices ----

// Maps the track's own rectangle onto the rectangle at (x, y) of size w × h.
// The edges are 16-bit coordinates, wrapped as QuickDraw's would be. A track
// without area (or edges QuickTime cannot map) has no defined mapping; it is then
// only moved, so that its origin lands at (x, y) and no undefined matrix reaches
// the movie.
void rbSetTrackMatrix(REALobject instance, RBInteger x, RBInteger y, RBInteger w, RBInteger h) {
  TrackCall call(instance);
  if (!call.track()) return;
  const auto [width, height] = Dimensions(call.track());
  const Fixed source[8] = {0, 0, width, 0, width, height, 0, height};

  // The sums wrap in 32 bits before the cut to 16.
  const uint32_t x32 = static_cast<uint32_t>(x), y32 = static_cast<uint32_t>(y);
  const Fixed left = Long2Fix(static_cast<int16_t>(x32));
  const Fixed top = Long2Fix(static_cast<int16_t>(y32));
  const Fixed right = Long2Fix(static_cast<int16_t>(x32 + static_cast<uint32_t>(w)));
  const Fixed bottom = Long2Fix(static_cast<int16_t>(y32 + static_cast<uint32_t>(h)));
  const Fixed destination[8] = {left, top, right, top, right, bottom, left, bottom};

  MatrixRecord matrix;
  if (QuadToQuadMatrix(source, destination, &matrix) != noErr) {
    SetIdentityMatrix(&matrix);
    matrix.matrix[2][0] = left;
    matrix.matrix[2][1] = top;
  }
  SetTrackMatrix(call.track(), &matrix);
  call.RecordMoviesError();
}

// Row by row, the record's raw elements: 16.16 in columns 0 and 1, 2.30 in
// column 2, unconverted.
void rbSetTrackRawMatrix(REALobject instance, RBInteger matrix00, RBInteger matrix01, RBInteger matrix02,
                         RBInteger matrix10, RBInteger matrix11, RBInteger matrix12, RBInteger matrix20,
                         RBInteger matrix21, RBInteger matrix22) {
  TrackCall call(instance);
  if (!call.track()) return;
  const RBInteger values[9] = {matrix00, matrix01, matrix02, matrix10, matrix11,
                               matrix12, matrix20, matrix21, matrix22};
  MatrixRecord matrix;
  for (int i = 0; i < 9; ++i) matrix.matrix[i / 3][i % 3] = static_cast<Fixed>(values[i]);
  SetTrackMatrix(call.track(), &matrix);
  call.RecordMoviesError();
}

void rbGetTrackRawMatrix(REALobject instance, RBInteger* matrix00, RBInteger* matrix01, RBInteger* matrix02,
                         RBInteger* matrix10, RBInteger* matrix11, RBInteger* matrix12, RBInteger* matrix20,
                         RBInteger* matrix21, RBInteger* matrix22) {
  RBInteger* const outputs[9] = {matrix00, matrix01, matrix02, matrix10, matrix11,
                                 matrix12, matrix20, matrix21, matrix22};
  for (RBInteger* out : outputs) *out = 0;
  TrackCall call(instance);
  if (!call.track()) return;
  MatrixRecord matrix = {};
  GetTrackMatrix(call.track(), &matrix);
  call.RecordMoviesError();
  for (int i = 0; i < 9; ++i) *outputs[i] = matrix.matrix[i / 3][i % 3];
}
