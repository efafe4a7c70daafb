// Media calls: creation, samples, descriptions, data references.
#include "api_using.h"
#include "file/atoms.h"

#include <Aliases.h>

#include <algorithm>
#include <cstring>

namespace {

Bytes bytesOf(Handle h) {
  const auto* p = reinterpret_cast<const uint8_t*>(*h);
  return Bytes(p, p + GetHandleSize(h));
}

OSErr fillHandle(Handle h, const void* data, size_t n) {
  SetHandleSize(h, static_cast<Size>(n));
  if (MemError() != noErr) return MemError();
  if (n) std::memcpy(*h, data, n);
  return noErr;
}

const char* handlerName(OSType type) {
  switch (type) {
    case VideoMediaType: return "VideoHandler";
    case SoundMediaType: return "SoundHandler";
    case TextMediaType: return "TextHandler";
    case TimeCodeMediaType: return "TimeCodeHandler";
    default: return "MediaHandler";
  }
}

}  // namespace

extern "C" {

Media NewTrackMedia(Track theTrack, OSType mediaType, TimeScale timeScale, Handle dataRef, OSType dataRefType) {
  QTE_CALL("NewTrackMedia", Media(nullptr), a_.object("track", theTrack)("type", Tag{mediaType})("timeScale", timeScale)(
                                          "dataRef", dataRef)("dataRefType", Tag{dataRefType})) {
    auto* t = need<qte::Track>(theTrack);
    if (timeScale <= 0 || mediaType == 0) return done(paramErr), nullptr;
    auto m = std::make_unique<qte::Media>(t, mediaType, timeScale);
    if (dataRef) {
      if (dataRefType == 0) return done(paramErr), nullptr;
      m->dataRefs.push_back({dataRefType, bytesOf(dataRef), 0});
    } else {
      // No data reference: the media's data lives with the movie itself.
      m->dataRefs.push_back({AliasDataHandlerSubType, {}, dataRefSelfReference});
    }
    // A new media replaces the old one, and the edits that showed it.
    t->edits.clear();
    t->media = std::move(m);
    t->touch();
    done(noErr);
    return qte::handleOf<Media>(t->media.get());
  };
}

void DisposeTrackMedia(Media theMedia) {
  QTE_CALL_VOID("DisposeTrackMedia", a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    qte::Track* t = m->track;
    t->edits.clear();
    t->media.reset();
    t->touch();
    done(noErr);
  };
}

Track GetMediaTrack(Media theMedia) {
  QTE_CALL("GetMediaTrack", Track(nullptr), a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    done(noErr);
    return qte::handleOf<Track>(m->track);
  };
}

MediaHandler GetMediaHandler(Media theMedia) {
  QTE_CALL("GetMediaHandler", MediaHandler(nullptr), a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    done(noErr);
    return qte::handleOf<MediaHandler>(m->handler.get());
  };
}

void GetMediaHandlerDescription(Media theMedia, OSType* mediaType, Str255 creatorName, OSType* creatorManufacturer) {
  QTE_CALL_VOID("GetMediaHandlerDescription", a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    if (mediaType) *mediaType = m->type;
    if (creatorName) {
      const char* name = handlerName(m->type);
      creatorName[0] = static_cast<unsigned char>(std::strlen(name));
      std::memcpy(creatorName + 1, name, creatorName[0]);
    }
    if (creatorManufacturer) *creatorManufacturer = 0;
    done(noErr);
  };
}

TimeScale GetMediaTimeScale(Media theMedia) {
  QTE_CALL("GetMediaTimeScale", TimeScale(0), a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    done(noErr);
    return m->scale;
  };
}

TimeValue GetMediaDuration(Media theMedia) {
  QTE_CALL("GetMediaDuration", TimeValue(0), a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    done(noErr);
    return toTimeValue(m->samples().table.duration());
  };
}

short GetMediaLanguage(Media theMedia) {
  QTE_CALL("GetMediaLanguage", short(0), a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    done(noErr);
    return m->language;
  };
}

void SetMediaLanguage(Media theMedia, short language) {
  QTE_CALL_VOID("SetMediaLanguage", a_.object("media", theMedia)("language", language)) {
    auto* m = need<qte::Media>(theMedia);
    m->language = language;
    done(noErr);
  };
}

UserData GetMediaUserData(Media theMedia) {
  QTE_CALL("GetMediaUserData", UserData(nullptr), a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    done(noErr);
    return qte::handleOf<UserData>(m->userData.get());
  };
}

OSErr BeginMediaEdits(Media theMedia) {
  QTE_CALL_ERR("BeginMediaEdits", a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    m->editing = true;
    return done(noErr);
  };
}

OSErr EndMediaEdits(Media theMedia) {
  QTE_CALL_ERR("EndMediaEdits", a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    // Ending a session that was never begun is harmless, as QuickTime has it.
    m->editing = false;
    return done(noErr);
  };
}

OSErr AddMediaSample(Media theMedia, Handle dataIn, SInt32 inOffset, UInt32 size, TimeValue durationPerSample,
                     SampleDescriptionHandle sampleDescriptionH, SInt32 numberOfSamples, short sampleFlags,
                     TimeValue* sampleTime) {
  QTE_CALL_ERR("AddMediaSample", a_.object("media", theMedia)("data", dataIn)("offset", inOffset)("size", size)(
                                      "durationPerSample", durationPerSample)(
                                      "description", reinterpret_cast<Handle>(sampleDescriptionH))(
                                      "numberOfSamples", numberOfSamples)("flags", sampleFlags)) {
    auto* m = need<qte::Media>(theMedia);
    // Samples are written through an open edit session only.
    if (!m->editing) return done(invalidEditState);
    if (!dataIn) return done(nilHandleErr);
    if (numberOfSamples <= 0 || size == 0 || inOffset < 0) return done(paramErr);
    if (uint64_t(inOffset) + size > uint64_t(GetHandleSize(dataIn))) return done(paramErr);
    if (size % static_cast<UInt32>(numberOfSamples) != 0) return done(paramErr);
    if (durationPerSample <= 0) return done(invalidDuration);
    SampleStore& probe = *m->store;
    int64_t newDuration = probe.table.duration() + int64_t(durationPerSample) * numberOfSamples;
    if (newDuration > INT32_MAX || uint64_t(probe.table.count()) + numberOfSamples >= UINT32_MAX)
      return done(kQTTimeValueTooBigErr);

    Bytes desc;
    if (sampleDescriptionH) {
      Handle h = reinterpret_cast<Handle>(sampleDescriptionH);
      Size have = GetHandleSize(h);
      if (have < 16) return done(invalidSampleDescription);
      uint32_t declared = qte::file::get32(reinterpret_cast<const uint8_t*>(*h));
      if (declared < 16 || declared > uint64_t(have)) return done(invalidSampleDescription);
      desc.assign(reinterpret_cast<const uint8_t*>(*h), reinterpret_cast<const uint8_t*>(*h) + declared);
    } else if (probe.table.count() == 0) {
      return done(invalidSampleDescription);
    }

    SampleStore& s = m->mutableSamples();
    uint32_t descIndex;
    if (desc.empty()) {
      descIndex = s.table.descIndexOf(s.table.count() - 1);
    } else {
      auto it = std::find(s.descriptions.begin(), s.descriptions.end(), desc);
      if (it == s.descriptions.end()) it = s.descriptions.insert(s.descriptions.end(), std::move(desc));
      descIndex = static_cast<uint32_t>(it - s.descriptions.begin() + 1);
    }
    if (sampleTime) *sampleTime = toTimeValue(s.table.duration());
    uint64_t at = s.memory.size();
    const auto* bytes = reinterpret_cast<const uint8_t*>(*dataIn) + inOffset;
    s.memory.insert(s.memory.end(), bytes, bytes + size);
    s.table.append(static_cast<uint32_t>(numberOfSamples), static_cast<uint32_t>(durationPerSample),
                   size / static_cast<UInt32>(numberOfSamples), descIndex, !(sampleFlags & mediaSampleNotSync), true,
                   at);
    m->modificationTime = qte::nowMacTime();
    return done(noErr);
  };
}

OSErr GetMediaSample(Media theMedia, Handle dataOut, SInt32 maxSizeToGrow, SInt32* size, TimeValue time,
                     TimeValue* sampleTime, TimeValue* durationPerSample, SampleDescriptionHandle sampleDescriptionH,
                     SInt32* sampleDescriptionIndex, SInt32 maxNumberOfSamples, SInt32* numberOfSamples,
                     short* sampleFlags) {
  QTE_CALL_ERR("GetMediaSample", a_.object("media", theMedia)("data", dataOut)("maxSizeToGrow", maxSizeToGrow)(
                                      "time", time)("description", reinterpret_cast<Handle>(sampleDescriptionH))(
                                      "maxNumberOfSamples", maxNumberOfSamples)) {
    auto* m = need<qte::Media>(theMedia);
    const SampleStore& s = m->samples();
    const SampleTable& t = s.table;
    if (time < 0 || time >= t.duration()) return done(invalidTime);
    uint32_t first = t.sampleAt(time);
    const qte::Chunk& chunk = t.chunkOf(first);

    // Consecutive samples come back together while they share duration, size,
    // description, sync state and chunk; 0 asks for as many as that allows.
    uint32_t limit = chunk.firstSample + chunk.count - first;
    if (maxNumberOfSamples > 0) limit = std::min<uint32_t>(limit, static_cast<uint32_t>(maxNumberOfSamples));
    uint32_t n = 1;
    uint32_t d = t.durationOf(first), sz = t.sizeOf(first);
    bool sync = t.isSync(first);
    while (n < limit && t.durationOf(first + n) == d && t.sizeOf(first + n) == sz && t.isSync(first + n) == sync) ++n;
    if (maxSizeToGrow > 0) {
      if (sz > uint32_t(maxSizeToGrow)) return done(maxSizeToGrowTooSmall);
      n = std::min<uint32_t>(n, static_cast<uint32_t>(maxSizeToGrow) / std::max<uint32_t>(sz, 1));
    }
    uint64_t total = uint64_t(n) * sz;
    if (total > INT32_MAX) return done(paramErr);
    if (dataOut) {
      SetHandleSize(dataOut, static_cast<Size>(total));
      if (MemError() != noErr) return done(MemError());
      OSErr err = qte::readSampleBytes(*m, first, n, reinterpret_cast<uint8_t*>(*dataOut));
      if (err != noErr) return done(err);
    }
    if (sampleDescriptionH) {
      const Bytes& desc = s.descriptions[t.descIndexOf(first) - 1];
      OSErr err = fillHandle(reinterpret_cast<Handle>(sampleDescriptionH), desc.data(), desc.size());
      if (err != noErr) return done(err);
    }
    if (size) *size = static_cast<SInt32>(total);
    if (sampleTime) *sampleTime = toTimeValue(t.startOf(first));
    if (durationPerSample) *durationPerSample = static_cast<TimeValue>(d);
    if (sampleDescriptionIndex) *sampleDescriptionIndex = static_cast<SInt32>(t.descIndexOf(first));
    if (numberOfSamples) *numberOfSamples = static_cast<SInt32>(n);
    if (sampleFlags) *sampleFlags = sync ? 0 : mediaSampleNotSync;
    return done(noErr);
  };
}

SInt32 GetMediaSampleCount(Media theMedia) {
  QTE_CALL("GetMediaSampleCount", SInt32(0), a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    done(noErr);
    return static_cast<SInt32>(m->samples().table.count());
  };
}

SInt32 GetMediaSampleDescriptionCount(Media theMedia) {
  QTE_CALL("GetMediaSampleDescriptionCount", SInt32(0), a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    done(noErr);
    return static_cast<SInt32>(m->samples().descriptions.size());
  };
}

void GetMediaSampleDescription(Media theMedia, SInt32 index, SampleDescriptionHandle descH) {
  QTE_CALL_VOID("GetMediaSampleDescription",
                 a_.object("media", theMedia)("index", index)("descH", reinterpret_cast<Handle>(descH))) {
    auto* m = need<qte::Media>(theMedia);
    if (!descH) return (void)done(nilHandleErr);
    const auto& descs = m->samples().descriptions;
    if (index < 1 || static_cast<size_t>(index) > descs.size()) return (void)done(invalidSampleDescIndex);
    const Bytes& d = descs[static_cast<size_t>(index) - 1];
    done(fillHandle(reinterpret_cast<Handle>(descH), d.data(), d.size()));
  };
}

void ConvertTimeScale(TimeRecord* inout, TimeScale newScale) {
  QTE_CALL_VOID("ConvertTimeScale", a_.pointer("time", inout)("newScale", newScale)) {
    if (!inout || newScale <= 0 || inout->scale <= 0) return (void)done(paramErr);
    int64_t value = (int64_t(inout->value.hi) << 32) | inout->value.lo;
    int64_t converted = qte::rescale(value, newScale, inout->scale);
    inout->value.lo = static_cast<UInt32>(converted);
    inout->value.hi = static_cast<SInt32>(converted >> 32);
    inout->scale = newScale;
    done(noErr);
  };
}

// --- Data references --------------------------------------------------------------

OSErr GetMediaDataRefCount(Media theMedia, short* count) {
  QTE_CALL_ERR("GetMediaDataRefCount", a_.object("media", theMedia)) {
    auto* m = need<qte::Media>(theMedia);
    if (!count) return done(paramErr);
    *count = static_cast<short>(m->dataRefs.size());
    return done(noErr);
  };
}

OSErr GetMediaDataRef(Media theMedia, short index, Handle* dataRef, OSType* dataRefType, SInt32* dataRefAttributes) {
  QTE_CALL_ERR("GetMediaDataRef", a_.object("media", theMedia)("index", index)) {
    auto* m = need<qte::Media>(theMedia);
    if (index < 1 || static_cast<size_t>(index) > m->dataRefs.size()) return done(badDataRefIndex);
    const DataRef& ref = m->dataRefs[static_cast<size_t>(index) - 1];
    if (dataRef) {
      *dataRef = nullptr;
      Handle h = nullptr;
      OSErr err = PtrToHand(ref.data.data(), &h, static_cast<long>(ref.data.size()));
      if (err != noErr) return done(err);
      *dataRef = h;
    }
    if (dataRefType) *dataRefType = ref.type;
    if (dataRefAttributes) *dataRefAttributes = ref.attributes;
    return done(noErr);
  };
}

OSErr SetMediaDataRef(Media theMedia, short index, Handle dataRef, OSType dataRefType) {
  QTE_CALL_ERR("SetMediaDataRef",
                a_.object("media", theMedia)("index", index)("dataRef", dataRef)("dataRefType", Tag{dataRefType})) {
    auto* m = need<qte::Media>(theMedia);
    if (index < 1 || static_cast<size_t>(index) > m->dataRefs.size()) return done(badDataRefIndex);
    if (!dataRef) return done(nilHandleErr);
    if (dataRefType == 0) return done(paramErr);
    m->dataRefs[static_cast<size_t>(index) - 1] = {dataRefType, bytesOf(dataRef), 0};
    return done(noErr);
  };
}

OSErr AddMediaDataRef(Media theMedia, short* index, Handle dataRef, OSType dataRefType) {
  QTE_CALL_ERR("AddMediaDataRef", a_.object("media", theMedia)("dataRef", dataRef)("dataRefType", Tag{dataRefType})) {
    auto* m = need<qte::Media>(theMedia);
    if (!dataRef) return done(nilHandleErr);
    if (dataRefType == 0 || m->dataRefs.size() >= 0x7FFF) return done(paramErr);
    m->dataRefs.push_back({dataRefType, bytesOf(dataRef), 0});
    if (index) *index = static_cast<short>(m->dataRefs.size());
    return done(noErr);
  };
}

OSErr QTNewDataReferenceFromFSRef(const FSRef* fileRef, UInt32 flags, Handle* outDataRef, OSType* outDataRefType) {
  QTE_CALL_ERR("QTNewDataReferenceFromFSRef", a_("path", fileRef ? fileRef->path : "")("flags", flags)) {
    if (!fileRef || !outDataRef || !outDataRefType) return done(paramErr);
    *outDataRef = nullptr;
    AliasHandle alias = nullptr;
    OSErr err = FSNewAlias(nullptr, fileRef, &alias);
    if (err != noErr) return done(err);
    *outDataRef = reinterpret_cast<Handle>(alias);
    *outDataRefType = AliasDataHandlerSubType;
    return done(noErr);
  };
}

}  // extern "C"
