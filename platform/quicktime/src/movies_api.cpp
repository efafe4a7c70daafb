// Movie calls: creation, time, track lookup, movie segments and properties.
#include "api_using.h"
#include "edits.h"
#include "aperture.h"
#include "channel_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace qte {

namespace {

// Movie-level segment calls reach every track whose time the segment touches.
template <class PerTrack>
OSErr forEachTrack(Movie& movie, PerTrack&& perTrack) {
  for (auto& t : movie.tracks) {
    OSErr err = perTrack(*t);
    if (err != noErr) return err;
  }
  return noErr;
}

bool sameSettings(const Track& a, const Track& b) {
  return a.media && b.media && a.media->type == b.media->type;
}

// The destination track that receives a source track's material, made when none fits.
Track* matchTrack(Movie& dst, const Track& src, std::vector<Track*>& used) {
  auto unused = [&](Track* t) { return std::find(used.begin(), used.end(), t) == used.end(); };
  Track* match = nullptr;
  for (auto& t : dst.tracks)
    if (unused(t.get()) && sameSettings(*t, src) && t->id == src.id) match = t.get();
  if (!match)
    for (auto& t : dst.tracks)
      if (!match && unused(t.get()) && sameSettings(*t, src)) match = t.get();
  if (!match) match = addTrackLike(dst, src);
  used.push_back(match);
  return match;
}

bool hasMediaIn(const Track& t, int64_t in, int64_t duration) {
  for (const Edit& e : t.edits.extract(in, duration, t.scales()))
    if (!e.empty()) return true;
  return false;
}

}  // namespace

}  // namespace qte

extern "C" {

Movie NewMovie(SInt32 flags) {
  QTE_CALL("NewMovie", Movie(nullptr), a_("flags", flags)) {
    auto* movie = new qte::Movie();
    done(noErr);
    return qte::handleOf<Movie>(movie);
  };
}

void DisposeMovie(Movie theMovie) {
  QTE_CALL_VOID("DisposeMovie", a_.object("movie", theMovie)) {
    auto* movie = need<qte::Movie>(theMovie);
    delete movie;
    done(noErr);
  };
}

TimeScale GetMovieTimeScale(Movie theMovie) {
  QTE_CALL("GetMovieTimeScale", TimeScale(0), a_.object("movie", theMovie)) {
    auto* movie = need<qte::Movie>(theMovie);
    done(noErr);
    return movie->scale;
  };
}

void SetMovieTimeScale(Movie theMovie, TimeScale timeScale) {
  QTE_CALL_VOID("SetMovieTimeScale", a_.object("movie", theMovie)("timeScale", timeScale)) {
    auto* movie = need<qte::Movie>(theMovie);
    if (timeScale <= 0) return (void)done(paramErr);
    for (auto& t : movie->tracks) t->edits.changeScale(movie->scale, timeScale);
    movie->currentTime = qte::rescale(movie->currentTime, timeScale, movie->scale);
    movie->scale = timeScale;
    done(noErr);
  };
}

TimeValue GetMovieDuration(Movie theMovie) {
  QTE_CALL("GetMovieDuration", TimeValue(0), a_.object("movie", theMovie)) {
    auto* movie = need<qte::Movie>(theMovie);
    done(noErr);
    return toTimeValue(movie->duration());
  };
}

TimeValue GetMovieTime(Movie theMovie, TimeRecord* currentTime) {
  QTE_CALL("GetMovieTime", TimeValue(0), a_.object("movie", theMovie).pointer("currentTime", currentTime)) {
    auto* movie = need<qte::Movie>(theMovie);
    if (currentTime) {
      currentTime->value.lo = static_cast<UInt32>(movie->currentTime);
      currentTime->value.hi = static_cast<SInt32>(movie->currentTime >> 32);
      currentTime->scale = movie->scale;
      currentTime->base = nullptr;
    }
    done(noErr);
    return toTimeValue(movie->currentTime);
  };
}

void SetMovieTimeValue(Movie theMovie, TimeValue newtime) {
  QTE_CALL_VOID("SetMovieTimeValue", a_.object("movie", theMovie)("time", newtime)) {
    auto* movie = need<qte::Movie>(theMovie);
    // The current time stays inside the movie, as a time base pinned to it does.
    movie->currentTime = std::clamp<int64_t>(newtime, 0, movie->duration());
    done(noErr);
  };
}

short GetMovieVolume(Movie theMovie) {
  QTE_CALL("GetMovieVolume", short(0), a_.object("movie", theMovie)) {
    auto* movie = need<qte::Movie>(theMovie);
    done(noErr);
    return movie->volume;
  };
}

void SetMovieVolume(Movie theMovie, short volume) {
  QTE_CALL_VOID("SetMovieVolume", a_.object("movie", theMovie)("volume", volume)) {
    auto* movie = need<qte::Movie>(theMovie);
    movie->volume = volume;
    done(noErr);
  };
}

void GetMovieMatrix(Movie theMovie, MatrixRecord* matrix) {
  QTE_CALL_VOID("GetMovieMatrix", a_.object("movie", theMovie)) {
    auto* movie = need<qte::Movie>(theMovie);
    if (!matrix) return (void)done(paramErr);
    *matrix = movie->matrix;
    done(noErr);
  };
}

void SetMovieMatrix(Movie theMovie, const MatrixRecord* matrix) {
  QTE_CALL_VOID("SetMovieMatrix", a_.object("movie", theMovie)("matrix", matrix)) {
    auto* movie = need<qte::Movie>(theMovie);
    if (matrix) movie->matrix = *matrix; else SetIdentityMatrix(&movie->matrix);
    done(noErr);
  };
}

SInt32 GetMovieTrackCount(Movie theMovie) {
  QTE_CALL("GetMovieTrackCount", SInt32(0), a_.object("movie", theMovie)) {
    auto* movie = need<qte::Movie>(theMovie);
    done(noErr);
    return static_cast<SInt32>(movie->tracks.size());
  };
}

Track GetMovieIndTrack(Movie theMovie, SInt32 index) {
  QTE_CALL("GetMovieIndTrack", Track(nullptr), a_.object("movie", theMovie)("index", index)) {
    auto* movie = need<qte::Movie>(theMovie);
    if (index < 1 || static_cast<size_t>(index) > movie->tracks.size()) return done(badTrackIndex), nullptr;
    done(noErr);
    return qte::handleOf<Track>(movie->tracks[static_cast<size_t>(index) - 1].get());
  };
}

Track GetMovieTrack(Movie theMovie, SInt32 trackID) {
  QTE_CALL("GetMovieTrack", Track(nullptr), a_.object("movie", theMovie)("trackID", trackID)) {
    auto* movie = need<qte::Movie>(theMovie);
    qte::Track* t = trackID > 0 ? movie->trackByID(static_cast<uint32_t>(trackID)) : nullptr;
    if (!t) return done(trackIDNotFound), nullptr;
    done(noErr);
    return qte::handleOf<Track>(t);
  };
}

Track GetMovieIndTrackType(Movie theMovie, SInt32 index, OSType trackType, SInt32 flags) {
  QTE_CALL("GetMovieIndTrackType", Track(nullptr),
            a_.object("movie", theMovie)("index", index)("type", Tag{trackType})("flags", flags)) {
    auto* movie = need<qte::Movie>(theMovie);
    bool byType = flags & movieTrackMediaType;
    bool byCharacteristic = flags & movieTrackCharacteristic;
    if (byType == byCharacteristic) return done(paramErr), nullptr;
    bool enabledOnly = flags & movieTrackEnabledOnly;
    SInt32 seen = 0;
    if (index >= 1) {
      for (auto& t : movie->tracks) {
        if (enabledOnly && !t->enabled) continue;
        if (!t->media) continue;
        bool keep = byType ? t->media->type == trackType : qte::hasCharacteristic(t->media->type, trackType);
        if (keep && ++seen == index) {
          done(noErr);
          return qte::handleOf<Track>(t.get());
        }
      }
    }
    done(badTrackIndex);
    return nullptr;
  };
}

OSErr InsertMovieSegment(Movie srcMovie, Movie dstMovie, TimeValue srcIn, TimeValue srcDuration, TimeValue dstIn) {
  QTE_CALL_ERR("InsertMovieSegment", a_.object("srcMovie", srcMovie).object("dstMovie", dstMovie)("srcIn", srcIn)(
                                          "srcDuration", srcDuration)("dstIn", dstIn)) {
    auto* src = need<qte::Movie>(srcMovie);
    auto* dst = need<qte::Movie>(dstMovie);
    if (srcDuration < 0) return done(invalidDuration);
    if (srcIn < 0 || srcIn > src->duration() || dstIn < 0) return done(invalidTime);
    if (srcDuration == 0) return done(noErr);

    int64_t dstDuration = qte::rescale(srcDuration, dst->scale, src->scale);
    std::vector<qte::Track*> sources;
    for (auto& t : src->tracks)
      if (qte::hasMediaIn(*t, srcIn, srcDuration)) sources.push_back(t.get());
    std::vector<qte::Track*> used;
    std::vector<std::pair<qte::Track*, qte::Track*>> pairs;
    for (qte::Track* s : sources) {
      qte::Track* d = src == dst ? s : qte::matchTrack(*dst, *s, used);
      if (src == dst) used.push_back(s);
      pairs.emplace_back(s, d);
    }
    // Tracks that receive nothing still open the gap, so the movie stays in step.
    for (auto& t : dst->tracks) {
      if (std::find(used.begin(), used.end(), t.get()) != used.end()) continue;
      if (dstIn < t->edits.duration()) {
        t->edits.insert(dstIn, {{dstDuration, -1, kFixedOne}}, t->scales());
        t->touch();
      }
    }
    for (auto& [s, d] : pairs) {
      OSErr err = insertSegment(*s, *d, srcIn, srcDuration, dstIn);
      if (err != noErr) return done(err);
    }
    return done(noErr);
  };
}

OSErr InsertEmptyMovieSegment(Movie dstMovie, TimeValue dstIn, TimeValue dstDuration) {
  QTE_CALL_ERR("InsertEmptyMovieSegment",
                a_.object("movie", dstMovie)("dstIn", dstIn)("dstDuration", dstDuration)) {
    auto* movie = need<qte::Movie>(dstMovie);
    if (dstDuration < 0) return done(invalidDuration);
    // Empty time cannot be added at or past the end of a movie.
    if (dstIn < 0 || dstIn >= movie->duration()) return done(invalidTime);
    if (dstDuration == 0) return done(noErr);
    return done(qte::forEachTrack(*movie, [&](qte::Track& t) {
      if (dstIn < t.edits.duration()) {
        t.edits.insert(dstIn, {{dstDuration, -1, kFixedOne}}, t.scales());
        t.touch();
      }
      return OSErr(noErr);
    }));
  };
}

OSErr DeleteMovieSegment(Movie theMovie, TimeValue startTime, TimeValue duration) {
  QTE_CALL_ERR("DeleteMovieSegment", a_.object("movie", theMovie)("startTime", startTime)("duration", duration)) {
    auto* movie = need<qte::Movie>(theMovie);
    if (duration < 0) return done(invalidDuration);
    if (startTime < 0 || startTime > movie->duration()) return done(invalidTime);
    return done(qte::forEachTrack(*movie, [&](qte::Track& t) {
      if (startTime < t.edits.duration() && duration > 0) {
        t.edits.erase(startTime, duration, t.scales());
        t.touch();
      }
      return OSErr(noErr);
    }));
  };
}

OSErr ScaleMovieSegment(Movie theMovie, TimeValue startTime, TimeValue oldDuration, TimeValue newDuration) {
  QTE_CALL_ERR("ScaleMovieSegment", a_.object("movie", theMovie)("startTime", startTime)(
                                         "oldDuration", oldDuration)("newDuration", newDuration)) {
    auto* movie = need<qte::Movie>(theMovie);
    if (oldDuration <= 0 || newDuration <= 0) return done(invalidDuration);
    if (startTime < 0 || startTime >= movie->duration()) return done(invalidTime);
    // Check every track first so that a failure changes nothing.
    std::vector<std::pair<qte::Track*, EditList>> saved;
    for (auto& t : movie->tracks) {
      saved.emplace_back(t.get(), t->edits);
      if (!t->edits.scale(startTime, oldDuration, newDuration, t->scales())) {
        for (auto& [track, edits] : saved) track->edits = edits;
        return done(invalidDuration);
      }
    }
    for (auto& t : movie->tracks) t->touch();
    return done(noErr);
  };
}

UserData GetMovieUserData(Movie theMovie) {
  QTE_CALL("GetMovieUserData", UserData(nullptr), a_.object("movie", theMovie)) {
    auto* movie = need<qte::Movie>(theMovie);
    done(noErr);
    return qte::handleOf<UserData>(movie->userData.get());
  };
}

}  // extern "C"

// --- Properties ---------------------------------------------------------------

namespace {

struct PropertyInfo {
  QTPropertyValueType type;
  ByteCount size;
  UInt32 flags;
};

std::optional<PropertyInfo> moviePropertyInfo(QTPropertyClass cls, QTPropertyID id) {
  constexpr UInt32 rw = kQTPropertyFlagCanGet | kQTPropertyFlagCanSet;
  if (cls == kQTPropertyClass_Audio && id == kQTAudioPropertyID_RateChangesPreservePitch)
    return PropertyInfo{"bool"_4cc, sizeof(Boolean), rw};
  if (cls == kQTPropertyClass_Audio && id == kQTAudioPropertyID_Pitch)
    return PropertyInfo{"fl32"_4cc, sizeof(Float32), rw};
  if (cls == kQTPropertyClass_Visual && id == kQTVisualPropertyID_HasApertureModeDimensions)
    return PropertyInfo{"bool"_4cc, sizeof(Boolean), kQTPropertyFlagCanGet};
  if (cls == kQTPropertyClass_Visual && id == kQTVisualPropertyID_ApertureMode)
    return PropertyInfo{"type"_4cc, sizeof(OSType), rw};
  return std::nullopt;
}

// The movie's summary channel layout: variable in size, answered apart.
bool isSummaryLayout(QTPropertyClass cls, QTPropertyID id) {
  return cls == kQTPropertyClass_Audio && id == kQTAudioPropertyID_SummaryChannelLayout;
}

}  // namespace

extern "C" {

OSErr QTGetMoviePropertyInfo(Movie inMovie, QTPropertyClass inPropClass, QTPropertyID inPropID,
                             QTPropertyValueType* outPropType, ByteCount* outPropValueSize,
                             UInt32* outPropertyFlags) {
  QTE_CALL_ERR("QTGetMoviePropertyInfo",
                a_.object("movie", inMovie)("class", Tag{inPropClass})("id", Tag{inPropID})) {
    auto* movie = need<qte::Movie>(inMovie);
    if (isSummaryLayout(inPropClass, inPropID)) {
      Bytes layout = qte::summaryLayout(*movie);
      if (layout.empty()) return done(kQTPropertyNotSupportedErr);
      qte::layoutPropertyInfo(layout, kQTPropertyFlagCanGet, outPropType, outPropValueSize, outPropertyFlags);
      return done(noErr);
    }
    auto info = moviePropertyInfo(inPropClass, inPropID);
    if (!info) return done(kQTPropertyNotSupportedErr);
    if (outPropType) *outPropType = info->type;
    if (outPropValueSize) *outPropValueSize = info->size;
    if (outPropertyFlags) *outPropertyFlags = info->flags;
    return done(noErr);
  };
}

OSErr QTGetMovieProperty(Movie inMovie, QTPropertyClass inPropClass, QTPropertyID inPropID,
                         ByteCount inPropValueSize, QTPropertyValuePtr outPropValueAddress,
                         ByteCount* outPropValueSizeUsed) {
  QTE_CALL_ERR("QTGetMovieProperty", a_.object("movie", inMovie)("class", Tag{inPropClass})(
                                          "id", Tag{inPropID})("size", inPropValueSize)) {
    auto* movie = need<qte::Movie>(inMovie);
    if (isSummaryLayout(inPropClass, inPropID)) {
      Bytes layout = qte::summaryLayout(*movie);
      if (layout.empty()) return done(kQTPropertyNotSupportedErr);
      return done(qte::copyLayoutProperty(layout, inPropValueSize, outPropValueAddress, outPropValueSizeUsed));
    }
    auto info = moviePropertyInfo(inPropClass, inPropID);
    if (!info) return done(kQTPropertyNotSupportedErr);
    if (!outPropValueAddress) return done(paramErr);
    if (inPropValueSize < info->size) return done(kQTPropertyBadValueSizeErr);
    if (inPropID == kQTAudioPropertyID_RateChangesPreservePitch) {
      *static_cast<Boolean*>(outPropValueAddress) = movie->ratePreservesPitch;
    } else if (inPropID == kQTAudioPropertyID_Pitch) {
      std::memcpy(outPropValueAddress, &movie->pitch, sizeof movie->pitch);
    } else if (inPropID == kQTVisualPropertyID_HasApertureModeDimensions) {
      *static_cast<Boolean*>(outPropValueAddress) = qte::hasApertureDimensions(*movie);
    } else {
      std::memcpy(outPropValueAddress, &movie->apertureMode, sizeof(OSType));
    }
    if (outPropValueSizeUsed) *outPropValueSizeUsed = info->size;
    return done(noErr);
  };
}

OSErr QTSetMovieProperty(Movie inMovie, QTPropertyClass inPropClass, QTPropertyID inPropID,
                         ByteCount inPropValueSize, ConstQTPropertyValuePtr inPropValueAddress) {
  QTE_CALL_ERR("QTSetMovieProperty", {
    a_.object("movie", inMovie)("class", Tag{inPropClass})("id", Tag{inPropID})("size", inPropValueSize);
    if (inPropValueAddress && inPropValueSize == 1) a_("value", *static_cast<const Boolean*>(inPropValueAddress));
    if (inPropValueAddress && inPropValueSize == 4 && inPropID == kQTAudioPropertyID_Pitch) {
      Float32 f;
      std::memcpy(&f, inPropValueAddress, 4);
      a_.raw("value", std::to_string(f));
    } else if (inPropValueAddress && inPropValueSize == 4) {
      OSType v;
      std::memcpy(&v, inPropValueAddress, 4);
      a_("value", Tag{v});
    }
  }) {
    auto* movie = need<qte::Movie>(inMovie);
    if (isSummaryLayout(inPropClass, inPropID)) return done(kQTPropertyReadOnlyErr);
    auto info = moviePropertyInfo(inPropClass, inPropID);
    if (!info) return done(kQTPropertyNotSupportedErr);
    if (!(info->flags & kQTPropertyFlagCanSet)) return done(kQTPropertyReadOnlyErr);
    if (!inPropValueAddress) return done(paramErr);
    if (inPropValueSize != info->size) return done(kQTPropertyBadValueSizeErr);
    if (inPropID == kQTAudioPropertyID_RateChangesPreservePitch) {
      movie->ratePreservesPitch = *static_cast<const Boolean*>(inPropValueAddress) != 0;
    } else if (inPropID == kQTAudioPropertyID_Pitch) {
      Float32 pitch;
      std::memcpy(&pitch, inPropValueAddress, sizeof pitch);
      if (!std::isfinite(pitch)) return done(paramErr);
      movie->pitch = pitch;
    } else {
      OSType mode;
      std::memcpy(&mode, inPropValueAddress, sizeof mode);
      if (!qte::knownApertureMode(mode)) return done(paramErr);
      movie->apertureMode = mode;
      qte::applyApertureMode(*movie);
    }
    return done(noErr);
  };
}

}  // extern "C"
