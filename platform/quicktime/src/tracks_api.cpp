// Track calls: settings, segment edits, references and clones.
#include "api_using.h"
#include "edits.h"

#include <algorithm>

namespace {

// The movie's tracks that refer to `target` lose those references.
void dropReferencesTo(qte::Movie& movie, uint32_t id) {
  for (auto& t : movie.tracks) {
    for (auto& ref : t->references) std::erase(ref.trackIDs, id);
    std::erase_if(t->references, [](const qte::TrackReference& r) { return r.trackIDs.empty(); });
  }
}

qte::TrackReference* referencesOf(qte::Track& t, OSType type) {
  for (auto& r : t.references)
    if (r.type == type) return &r;
  return nullptr;
}

}  // namespace

extern "C" {

Track NewMovieTrack(Movie theMovie, Fixed width, Fixed height, short trackVolume) {
  QTE_CALL("NewMovieTrack", Track(nullptr), a_.object("movie", theMovie)("width", Fix{width})("height", Fix{height})(
                                          "volume", trackVolume)) {
    auto* movie = need<qte::Movie>(theMovie);
    auto t = std::make_unique<qte::Track>(movie, movie->takeTrackID());
    t->width = width;
    t->height = height;
    t->volume = trackVolume;
    movie->tracks.push_back(std::move(t));
    done(noErr);
    return qte::handleOf<Track>(movie->tracks.back().get());
  };
}

void DisposeMovieTrack(Track theTrack) {
  QTE_CALL_VOID("DisposeMovieTrack", a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    qte::Movie& movie = *t->movie;
    uint32_t id = t->id;
    movie.tracks.erase(movie.tracks.begin() + movie.indexOf(t));
    dropReferencesTo(movie, id);
    done(noErr);
  };
}

Movie GetTrackMovie(Track theTrack) {
  QTE_CALL("GetTrackMovie", Movie(nullptr), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return qte::handleOf<Movie>(t->movie);
  };
}

SInt32 GetTrackID(Track theTrack) {
  QTE_CALL("GetTrackID", SInt32(0), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return static_cast<SInt32>(t->id);
  };
}

TimeValue GetTrackDuration(Track theTrack) {
  QTE_CALL("GetTrackDuration", TimeValue(0), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return toTimeValue(t->edits.duration());
  };
}

TimeValue GetTrackOffset(Track theTrack) {
  QTE_CALL("GetTrackOffset", TimeValue(0), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    const auto& e = t->edits.edits();
    return !e.empty() && e.front().empty() ? toTimeValue(e.front().duration) : 0;
  };
}

void SetTrackOffset(Track theTrack, TimeValue movieOffsetTime) {
  QTE_CALL_VOID("SetTrackOffset", a_.object("track", theTrack)("offset", movieOffsetTime)) {
    auto* t = need<qte::Track>(theTrack);
    if (movieOffsetTime < 0) return (void)done(invalidTime);
    std::vector<Edit> edits = t->edits.edits();
    if (!edits.empty() && edits.front().empty()) edits.erase(edits.begin());
    // A track without material has nothing to offset.
    if (!edits.empty() && movieOffsetTime > 0) edits.insert(edits.begin(), {movieOffsetTime, -1, kFixedOne});
    t->edits.assign(std::move(edits));
    t->touch();
    done(noErr);
  };
}

short GetTrackLayer(Track theTrack) {
  QTE_CALL("GetTrackLayer", short(0), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return t->layer;
  };
}

void SetTrackLayer(Track theTrack, short layer) {
  QTE_CALL_VOID("SetTrackLayer", a_.object("track", theTrack)("layer", layer)) {
    auto* t = need<qte::Track>(theTrack);
    t->layer = layer;
    t->touch();
    done(noErr);
  };
}

UInt32 GetTrackCreationTime(Track theTrack) {
  QTE_CALL("GetTrackCreationTime", UInt32(0), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return t->creationTime;
  };
}

UInt32 GetTrackModificationTime(Track theTrack) {
  QTE_CALL("GetTrackModificationTime", UInt32(0), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return t->modificationTime;
  };
}

Boolean GetTrackEnabled(Track theTrack) {
  QTE_CALL("GetTrackEnabled", Boolean(false), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return t->enabled;
  };
}

void SetTrackEnabled(Track theTrack, Boolean isEnabled) {
  QTE_CALL_VOID("SetTrackEnabled", a_.object("track", theTrack)("enabled", isEnabled)) {
    auto* t = need<qte::Track>(theTrack);
    t->enabled = isEnabled != 0;
    done(noErr);
  };
}

void GetTrackDimensions(Track theTrack, Fixed* width, Fixed* height) {
  QTE_CALL_VOID("GetTrackDimensions", a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    if (width) *width = t->width;
    if (height) *height = t->height;
    done(noErr);
  };
}

void SetTrackDimensions(Track theTrack, Fixed width, Fixed height) {
  QTE_CALL_VOID("SetTrackDimensions",
                 a_.object("track", theTrack)("width", Fix{width})("height", Fix{height})) {
    auto* t = need<qte::Track>(theTrack);
    t->width = width;
    t->height = height;
    t->touch();
    done(noErr);
  };
}

short GetTrackVolume(Track theTrack) {
  QTE_CALL("GetTrackVolume", short(0), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return t->volume;
  };
}

void SetTrackVolume(Track theTrack, short volume) {
  QTE_CALL_VOID("SetTrackVolume", a_.object("track", theTrack)("volume", volume)) {
    auto* t = need<qte::Track>(theTrack);
    t->volume = volume;
    t->touch();
    done(noErr);
  };
}

void GetTrackMatrix(Track theTrack, MatrixRecord* matrix) {
  QTE_CALL_VOID("GetTrackMatrix", a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    if (!matrix) return (void)done(paramErr);
    *matrix = t->matrix;
    done(noErr);
  };
}

void SetTrackMatrix(Track theTrack, const MatrixRecord* matrix) {
  QTE_CALL_VOID("SetTrackMatrix", a_.object("track", theTrack)("matrix", matrix)) {
    auto* t = need<qte::Track>(theTrack);
    // A null matrix means identity.
    if (matrix) t->matrix = *matrix; else SetIdentityMatrix(&t->matrix);
    t->touch();
    done(noErr);
  };
}

Media GetTrackMedia(Track theTrack) {
  QTE_CALL("GetTrackMedia", Media(nullptr), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return qte::handleOf<Media>(t->media.get());
  };
}

UserData GetTrackUserData(Track theTrack) {
  QTE_CALL("GetTrackUserData", UserData(nullptr), a_.object("track", theTrack)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    return qte::handleOf<UserData>(t->userData.get());
  };
}

// --- Segments -------------------------------------------------------------------

OSErr InsertTrackSegment(Track srcTrack, Track dstTrack, TimeValue srcIn, TimeValue srcDuration, TimeValue dstIn) {
  QTE_CALL_ERR("InsertTrackSegment", a_.object("srcTrack", srcTrack).object("dstTrack", dstTrack)("srcIn", srcIn)(
                                          "srcDuration", srcDuration)("dstIn", dstIn)) {
    auto* src = need<qte::Track>(srcTrack);
    auto* dst = need<qte::Track>(dstTrack);
    if (srcDuration < 0) return done(invalidDuration);
    if (srcIn < 0 || srcIn > src->edits.duration() || dstIn < 0) return done(invalidTime);
    if (srcDuration == 0) return done(noErr);
    return done(qte::insertSegment(*src, *dst, srcIn, srcDuration, dstIn));
  };
}

OSErr InsertEmptyTrackSegment(Track dstTrack, TimeValue dstIn, TimeValue dstDuration) {
  QTE_CALL_ERR("InsertEmptyTrackSegment",
                a_.object("track", dstTrack)("dstIn", dstIn)("dstDuration", dstDuration)) {
    auto* t = need<qte::Track>(dstTrack);
    if (dstDuration < 0) return done(invalidDuration);
    // Empty time cannot be added at or past the end of a track.
    if (dstIn < 0 || dstIn >= t->edits.duration()) return done(invalidTime);
    if (dstDuration == 0) return done(noErr);
    t->edits.insert(dstIn, {{dstDuration, -1, kFixedOne}}, t->scales());
    t->touch();
    return done(noErr);
  };
}

OSErr DeleteTrackSegment(Track theTrack, TimeValue startTime, TimeValue duration) {
  QTE_CALL_ERR("DeleteTrackSegment", a_.object("track", theTrack)("startTime", startTime)("duration", duration)) {
    auto* t = need<qte::Track>(theTrack);
    if (duration < 0) return done(invalidDuration);
    if (startTime < 0 || startTime > t->edits.duration()) return done(invalidTime);
    if (duration == 0) return done(noErr);
    t->edits.erase(startTime, duration, t->scales());
    t->touch();
    return done(noErr);
  };
}

OSErr ScaleTrackSegment(Track theTrack, TimeValue startTime, TimeValue oldDuration, TimeValue newDuration) {
  QTE_CALL_ERR("ScaleTrackSegment", a_.object("track", theTrack)("startTime", startTime)(
                                         "oldDuration", oldDuration)("newDuration", newDuration)) {
    auto* t = need<qte::Track>(theTrack);
    if (oldDuration <= 0 || newDuration <= 0) return done(invalidDuration);
    if (startTime < 0 || int64_t(startTime) + oldDuration > t->edits.duration()) return done(invalidTime);
    if (!t->edits.scale(startTime, oldDuration, newDuration, t->scales())) return done(invalidDuration);
    t->touch();
    return done(noErr);
  };
}

OSErr InsertMediaIntoTrack(Track theTrack, TimeValue trackStart, TimeValue mediaTime, TimeValue mediaDuration,
                           Fixed mediaRate) {
  QTE_CALL_ERR("InsertMediaIntoTrack", a_.object("track", theTrack)("trackStart", trackStart)(
                                            "mediaTime", mediaTime)("mediaDuration", mediaDuration)(
                                            "mediaRate", Fix{mediaRate})) {
    auto* t = need<qte::Track>(theTrack);
    if (!t->media) return done(invalidMedia);
    if (mediaRate <= 0) return done(paramErr);
    if (mediaDuration < 0) return done(invalidDuration);
    if (trackStart < -1 || mediaTime < -1) return done(invalidTime);
    int64_t mediaLength = t->media->samples().table.duration();
    // mediaTime -1 inserts empty time of that length.
    if (mediaTime >= 0) {
      if (mediaTime > mediaLength) return done(invalidTime);
      if (int64_t(mediaTime) + mediaDuration > mediaLength) return done(invalidDuration);
    }
    if (mediaDuration == 0) return done(noErr);
    int64_t duration = qte::trackDurationOf(mediaDuration, mediaRate, t->scales());
    if (duration <= 0) return done(invalidDuration);
    int64_t at = trackStart == -1 ? t->edits.duration() : trackStart;
    t->edits.insert(at, {{duration, mediaTime, mediaRate}}, t->scales());
    t->touch();
    return done(noErr);
  };
}

// --- Clones -----------------------------------------------------------------------

OSErr AddClonedTrackToMovie(Track srcTrack, Movie dstMovie, SInt32 flags, Track* dstTrack) {
  QTE_CALL_ERR("AddClonedTrackToMovie",
                a_.object("srcTrack", srcTrack).object("dstMovie", dstMovie)("flags", flags)) {
    if (dstTrack) *dstTrack = nullptr;
    auto* src = need<qte::Track>(srcTrack);
    auto* movie = need<qte::Movie>(dstMovie);
    if (!(flags & kQTCloneShareSamples) || !src->media) return done(paramErr);
    qte::Track* clone = qte::addTrackLike(*movie, *src);
    // The clone's media shares the sample store until either side changes it.
    clone->media->store = src->media->store;
    clone->media->dataRefs = src->media->dataRefs;
    if (!(flags & kQTCloneDontCopyEdits)) clone->edits = src->edits;
    if (movie->scale != src->movie->scale) clone->edits.changeScale(src->movie->scale, movie->scale);
    if (dstTrack) *dstTrack = qte::handleOf<Track>(clone);
    return done(noErr);
  };
}

// --- References -----------------------------------------------------------------

OSErr AddTrackReference(Track theTrack, Track refTrack, OSType refType, SInt32* addedIndex) {
  QTE_CALL_ERR("AddTrackReference",
                a_.object("track", theTrack).object("refTrack", refTrack)("type", Tag{refType})) {
    if (addedIndex) *addedIndex = 0;
    auto* t = need<qte::Track>(theTrack);
    auto* r = need<qte::Track>(refTrack);
    if (t->movie != r->movie) return done(trackNotInMovie);
    if (refType == 0 || t == r) return done(paramErr);
    qte::TrackReference* refs = referencesOf(*t, refType);
    if (!refs) {
      t->references.push_back({refType, {}});
      refs = &t->references.back();
    }
    auto it = std::find(refs->trackIDs.begin(), refs->trackIDs.end(), r->id);
    if (it == refs->trackIDs.end()) it = refs->trackIDs.insert(refs->trackIDs.end(), r->id);
    if (addedIndex) *addedIndex = static_cast<SInt32>(it - refs->trackIDs.begin() + 1);
    t->touch();
    return done(noErr);
  };
}

OSErr DeleteTrackReference(Track theTrack, OSType refType, SInt32 index) {
  QTE_CALL_ERR("DeleteTrackReference", a_.object("track", theTrack)("type", Tag{refType})("index", index)) {
    auto* t = need<qte::Track>(theTrack);
    qte::TrackReference* refs = referencesOf(*t, refType);
    if (!refs || index < 1 || static_cast<size_t>(index) > refs->trackIDs.size()) return done(badTrackIndex);
    // Later references of the type move down one index.
    refs->trackIDs.erase(refs->trackIDs.begin() + (index - 1));
    std::erase_if(t->references, [](const qte::TrackReference& r) { return r.trackIDs.empty(); });
    t->touch();
    return done(noErr);
  };
}

OSErr SetTrackReference(Track theTrack, Track refTrack, OSType refType, SInt32 index) {
  QTE_CALL_ERR("SetTrackReference", a_.object("track", theTrack).object("refTrack", refTrack)(
                                         "type", Tag{refType})("index", index)) {
    auto* t = need<qte::Track>(theTrack);
    qte::TrackReference* refs = referencesOf(*t, refType);
    if (!refs || index < 1 || static_cast<size_t>(index) > refs->trackIDs.size()) return done(badTrackIndex);
    auto* r = need<qte::Track>(refTrack);
    if (r->movie != t->movie) return done(trackNotInMovie);
    if (r == t) return done(paramErr);
    refs->trackIDs[static_cast<size_t>(index) - 1] = r->id;
    t->touch();
    return done(noErr);
  };
}

Track GetTrackReference(Track theTrack, OSType refType, SInt32 index) {
  QTE_CALL("GetTrackReference", Track(nullptr), a_.object("track", theTrack)("type", Tag{refType})("index", index)) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    qte::TrackReference* refs = referencesOf(*t, refType);
    if (!refs || index < 1 || static_cast<size_t>(index) > refs->trackIDs.size()) return nullptr;
    return qte::handleOf<Track>(t->movie->trackByID(refs->trackIDs[static_cast<size_t>(index) - 1]));
  };
}

OSType GetNextTrackReferenceType(Track theTrack, OSType refType) {
  QTE_CALL("GetNextTrackReferenceType", OSType(0), a_.object("track", theTrack)("type", Tag{refType})) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    if (t->references.empty()) return 0;
    if (refType == 0) return t->references.front().type;
    for (size_t i = 0; i + 1 < t->references.size(); ++i)
      if (t->references[i].type == refType) return t->references[i + 1].type;
    return 0;
  };
}

SInt32 GetTrackReferenceCount(Track theTrack, OSType refType) {
  QTE_CALL("GetTrackReferenceCount", SInt32(0), a_.object("track", theTrack)("type", Tag{refType})) {
    auto* t = need<qte::Track>(theTrack);
    done(noErr);
    qte::TrackReference* refs = referencesOf(*t, refType);
    return refs ? static_cast<SInt32>(refs->trackIDs.size()) : 0;
  };
}

}  // extern "C"
