// Clip regions of tracks and movies, and the track's channel-layout property.
#include "api_using.h"
#include "channel_layout.h"

#include <QuickTime/AudioLayout.h>

namespace {

// A new region from a clip kept in file form; null when there is none.
RgnHandle regionOf(const Bytes& clip, OSErr& err) {
  err = noErr;
  if (clip.empty()) return nullptr;
  RgnHandle rgn = NewRgn();
  if (!rgn) return err = memFullErr, nullptr;
  err = QDRegionFromFileBytes(rgn, clip.data(), Size(clip.size()));
  if (err != noErr) {
    DisposeRgn(rgn);
    return nullptr;
  }
  return rgn;
}

// A region in file form; a null region gives an empty clip (none).
OSErr clipOf(RgnHandle rgn, Bytes& out) {
  out.clear();
  if (!rgn) return noErr;
  if (!*rgn) return nilHandleErr;
  Bytes bytes(size_t(QDRegionFileSize(rgn)));
  OSErr err = QDRegionToFileBytes(rgn, bytes.data(), Size(bytes.size()));
  if (err == noErr) out = std::move(bytes);
  return err;
}

bool isLayoutProperty(QTPropertyClass cls, QTPropertyID id) {
  return cls == kQTPropertyClass_Audio && id == kQTAudioPropertyID_ChannelLayout;
}

// The sound media whose layout a track property reaches: the error says why none.
qte::Media* soundMedia(Track theTrack, QTPropertyClass cls, QTPropertyID id, OSErr& err) {
  auto* t = live<qte::Track>(theTrack);
  err = !t                           ? OSErr(invalidTrack)
        : !isLayoutProperty(cls, id) ? OSErr(kQTPropertyNotSupportedErr)
        : !t->media || t->media->type != SoundMediaType ? OSErr(kQTPropertyNotSupportedErr)
                                                          : OSErr(noErr);
  return err == noErr ? t->media.get() : nullptr;
}

constexpr UInt32 kReadWrite = kQTPropertyFlagCanGet | kQTPropertyFlagCanSet;

}  // namespace

extern "C" {

RgnHandle GetTrackClipRgn(Track theTrack) {
  QTE_CALL("GetTrackClipRgn", RgnHandle(nullptr), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    OSErr err;
    RgnHandle rgn = regionOf(t->clip, err);
    done(err);
    return rgn;
  };
}

void SetTrackClipRgn(Track theTrack, RgnHandle theClip) {
  QTE_CALL_VOID("SetTrackClipRgn", a_.object("track", theTrack).pointer("clip", theClip)) {
    auto* t = need<qte::Track>(theTrack);
    Bytes clip;
    OSErr err = clipOf(theClip, clip);
    if (err != noErr) return (void)done(err);
    t->clip = std::move(clip);
    t->touch();
    done(noErr);
  };
}

RgnHandle GetMovieClipRgn(Movie theMovie) {
  QTE_CALL("GetMovieClipRgn", RgnHandle(nullptr), a_.object("movie", theMovie)) {
    auto* m = need<qte::Movie>(theMovie);
    OSErr err;
    RgnHandle rgn = regionOf(m->clip, err);
    done(err);
    return rgn;
  };
}

void SetMovieClipRgn(Movie theMovie, RgnHandle theClip) {
  QTE_CALL_VOID("SetMovieClipRgn", a_.object("movie", theMovie).pointer("clip", theClip)) {
    auto* m = need<qte::Movie>(theMovie);
    Bytes clip;
    OSErr err = clipOf(theClip, clip);
    if (err != noErr) return (void)done(err);
    m->clip = std::move(clip);
    done(noErr);
  };
}

// A sound track without a layout yet (no descriptions, none set) answers
// kQTPropertyAskLaterErr: adding samples or setting one gives it one.
OSErr QTGetTrackPropertyInfo(Track inTrack, QTPropertyClass inPropClass, QTPropertyID inPropID,
                             QTPropertyValueType* outPropType, ByteCount* outPropValueSize,
                             UInt32* outPropertyFlags) {
  QTE_CALL_ERR("QTGetTrackPropertyInfo",
                a_.object("track", inTrack)("class", Tag{inPropClass})("id", Tag{inPropID})) {
    OSErr err;
    qte::Media* media = soundMedia(inTrack, inPropClass, inPropID, err);
    if (!media) return done(err);
    Bytes layout = qte::layoutOfMedia(*media);
    if (layout.empty()) return done(kQTPropertyAskLaterErr);
    qte::layoutPropertyInfo(layout, kReadWrite, outPropType, outPropValueSize, outPropertyFlags);
    return done(noErr);
  };
}

OSErr QTGetTrackProperty(Track inTrack, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         QTPropertyValuePtr outPropValueAddress, ByteCount* outPropValueSizeUsed) {
  QTE_CALL_ERR("QTGetTrackProperty", a_.object("track", inTrack)("class", Tag{inPropClass})(
                                          "id", Tag{inPropID})("size", inPropValueSize)) {
    OSErr err;
    qte::Media* media = soundMedia(inTrack, inPropClass, inPropID, err);
    if (!media) return done(err);
    Bytes layout = qte::layoutOfMedia(*media);
    if (layout.empty()) return done(kQTPropertyAskLaterErr);
    return done(qte::copyLayoutProperty(layout, inPropValueSize, outPropValueAddress, outPropValueSizeUsed));
  };
}

OSErr QTSetTrackProperty(Track inTrack, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         ConstQTPropertyValuePtr inPropValueAddress) {
  QTE_CALL_ERR("QTSetTrackProperty", a_.object("track", inTrack)("class", Tag{inPropClass})(
                                          "id", Tag{inPropID})("size", inPropValueSize)) {
    OSErr err;
    qte::Media* media = soundMedia(inTrack, inPropClass, inPropID, err);
    if (!media) return done(err);
    if (!inPropValueAddress) return done(paramErr);
    Bytes layout;
    if (!qte::layoutFromNative(inPropValueAddress, inPropValueSize, layout)) return done(kQTPropertyBadValueSizeErr);
    media->channelLayout = std::move(layout);
    media->track->touch();
    return done(noErr);
  };
}

}  // extern "C"
