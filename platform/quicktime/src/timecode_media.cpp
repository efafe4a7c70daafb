// The time code media handler's calls. A time code sample is the big-endian frame
// number of its first frame; the description's definition turns elapsed media time
// into frames and frames into time codes.
#include "api_using.h"
#include "file/atoms.h"
#include "timecode.h"

#include <cstring>

namespace qte {

std::unique_ptr<MediaHandlerObject> makeTimeCodeHandler(Media* media) {
  return std::make_unique<TimeCodeHandler>(media);
}

}  // namespace qte

namespace {

using qte::TimeCodeHandler;
namespace tc = qte::timecode;

constexpr size_t kDefinitionEnd = 34;        // where the source reference's items start
constexpr size_t kDescriptionStructSize = 38;  // TimeCodeDescription with an empty srcRef

ComponentResult finish(ComponentResult r) {
  qte::setError(static_cast<OSErr>(r));
  return r;
}

// The handler behind `mh`, or the Component Manager's answer for a dead instance or
// a handler of another kind.
ComponentResult lookup(MediaHandler mh, TimeCodeHandler*& out) {
  auto* h = live<qte::MediaHandlerObject>(mh);
  if (!h) return badComponentInstance;
  out = dynamic_cast<TimeCodeHandler*>(h);
  return out ? ComponentResult(noErr) : badComponentSelector;
}

std::string describe(const TimeCodeDef* d) {
  if (!d) return "NULL";
  return "{flags=" + std::to_string(d->flags) + ",timeScale=" + std::to_string(d->fTimeScale) +
         ",frameDuration=" + std::to_string(d->frameDuration) + ",numFrames=" + std::to_string(d->numFrames) + "}";
}

// A record is shown in the form its definition gives it.
std::string describe(const TimeCodeDef* d, const TimeCodeRecord* r) {
  if (!r) return "NULL";
  if (d && (d->flags & tcCounter)) return "{counter=" + std::to_string(r->c) + "}";
  return "{hours=" + std::to_string(r->t.hours) + ",minutes=" + std::to_string(r->t.minutes) +
         ",seconds=" + std::to_string(r->t.seconds) + ",frames=" + std::to_string(r->t.frames) + "}";
}

std::string describe(const TCTextOptions* o) {
  if (!o) return "NULL";
  auto rgb = [](const RGBColor& c) {
    return "{red=" + std::to_string(c.red) + ",green=" + std::to_string(c.green) + ",blue=" + std::to_string(c.blue) +
           "}";
  };
  return "{font=" + std::to_string(o->txFont) + ",face=" + std::to_string(o->txFace) +
         ",size=" + std::to_string(o->txSize) + ",fore=" + rgb(o->foreColor) + ",back=" + rgb(o->backColor) + "}";
}

const uint8_t* bytesOf(Handle h) { return reinterpret_cast<const uint8_t*>(*h); }

// The description's bytes as far as both its size field and the handle reach.
size_t describedSize(Handle h) {
  size_t have = static_cast<size_t>(GetHandleSize(h));
  if (have < 4) return have;
  const uint8_t* p = bytesOf(h);
  size_t declared = qte::file::get32(p);
  return declared < have ? declared : have;
}

// A new user-data list holding the description's source reference; null when it
// has none. Items that do not parse count as no source: a name is a nicety.
UserData sourceOf(const uint8_t* desc, size_t n) {
  if (n <= kDefinitionEnd) return nullptr;
  std::vector<qte::UserDataItem> items;
  if (qte::UserDataList::parse(desc + kDefinitionEnd, n - kDefinitionEnd, items) != noErr || items.empty())
    return nullptr;
  auto* list = new qte::UserDataList(false);
  list->items = std::move(items);
  return qte::handleOf<UserData>(list);
}

struct TimeCodeAt {
  int32_t frame;
  TimeCodeDef def;
  const Bytes* description;
};

// The frame at media time t: the covering sample's start frame plus the frames
// elapsed since the sample began. `atEnd` admits t equal to the duration, which the
// current time reaches when a movie has played to its end.
OSErr frameAt(const qte::Media& media, int64_t t, bool atEnd, TimeCodeAt& out) {
  const qte::SampleStore& s = media.samples();
  const SampleTable& table = s.table;
  if (table.count() == 0 || t < 0 || t > table.duration() || (t == table.duration() && !atEnd))
    return timeNotInMedia;
  uint32_t i = table.sampleAt(t == table.duration() ? t - 1 : t);
  uint32_t size = table.sizeOf(i);
  if (size < 4) return invalidSampleTable;
  Bytes sample(size);
  if (OSErr err = qte::readSampleBytes(media, i, 1, sample.data())) return err;
  const Bytes& desc = s.descriptions[table.descIndexOf(i) - 1];
  if (OSErr err = tc::definitionOf(desc.data(), desc.size(), out.def)) return err;
  if (out.def.fTimeScale <= 0 || out.def.frameDuration <= 0) return invalidSampleDescription;

  int32_t start = int32_t(qte::file::get32(sample.data()));
  // Both products stay below 2^62: every factor is a positive 32-bit value.
  int64_t elapsed = (t - table.startOf(i)) * out.def.fTimeScale / (int64_t(media.scale) * out.def.frameDuration);
  int64_t frame = start + elapsed;
  if (frame > INT32_MAX) return kQTTimeValueTooBigErr;
  out.frame = static_cast<int32_t>(frame);
  out.description = &desc;
  return noErr;
}

// Fills the outputs only once everything has been worked out, so a failure leaves
// the caller's records as they were.
ComponentResult report(const TimeCodeAt& at, SInt32* frameNum, TimeCodeDef* tcdef, TimeCodeRecord* tcrec,
                       UserData* srcRefH) {
  TimeCodeRecord record{};
  OSErr err = tcrec ? tc::toRecord(at.def, at.frame, record) : OSErr(noErr);
  if (err != noErr) return err;
  if (frameNum) *frameNum = at.frame;
  if (tcdef) *tcdef = at.def;
  if (tcrec) *tcrec = record;
  if (srcRefH) *srcRefH = sourceOf(at.description->data(), at.description->size());
  return noErr;
}

// Media time at the movie's current time, through the track's edits.
OSErr currentMediaTime(const qte::Media& media, int64_t& out) {
  const qte::Track& track = *media.track;
  const EditList& edits = track.edits;
  int64_t now = track.movie->currentTime;
  bool atEnd = now == edits.duration() && edits.size() > 0;
  size_t i = atEnd ? edits.size() - 1 : edits.find(now);
  if (i == edits.size() || edits.edits()[i].empty()) return timeNotInTrack;
  const Edit& e = edits.edits()[i];
  out = e.mediaTime + qte::mediaOffset(now - edits.startOf(i), e.rate, track.scales());
  return noErr;
}

}  // namespace

extern "C" {

HandlerError TCGetTimeCodeAtTime(MediaHandler mh, TimeValue mediaTime, SInt32* frameNum, TimeCodeDef* tcdef,
                                 TimeCodeRecord* tcdata, UserData* srcRefH) {
  QTE_CALL_STATUS("TCGetTimeCodeAtTime", a_.object("mh", mh)("mediaTime", mediaTime)
                                              .pointer("frameNum", frameNum)
                                              .pointer("def", tcdef)
                                              .pointer("record", tcdata)
                                              .pointer("srcRef", srcRefH)) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    TimeCodeAt at{};
    if (OSErr err = frameAt(*h->media, mediaTime, false, at)) return finish(err);
    return finish(report(at, frameNum, tcdef, tcdata, srcRefH));
  };
}

HandlerError TCGetCurrentTimeCode(MediaHandler mh, SInt32* frameNum, TimeCodeDef* tcdef, TimeCodeRecord* tcrec,
                                  UserData* srcRefH) {
  QTE_CALL_STATUS("TCGetCurrentTimeCode", a_.object("mh", mh)
                                               .pointer("frameNum", frameNum)
                                               .pointer("def", tcdef)
                                               .pointer("record", tcrec)
                                               .pointer("srcRef", srcRefH)) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    int64_t mediaTime = 0;
    if (OSErr err = currentMediaTime(*h->media, mediaTime)) return finish(err);
    TimeCodeAt at{};
    if (OSErr err = frameAt(*h->media, mediaTime, true, at)) return finish(err);
    return finish(report(at, frameNum, tcdef, tcrec, srcRefH));
  };
}

HandlerError TCFrameNumberToTimeCode(MediaHandler mh, SInt32 frameNumber, TimeCodeDef* tcdef,
                                     TimeCodeRecord* tcrec) {
  QTE_CALL_STATUS("TCFrameNumberToTimeCode",
                   a_.object("mh", mh)("frameNumber", frameNumber).raw("def", describe(tcdef))) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    if (!tcdef || !tcrec) return finish(paramErr);
    TimeCodeRecord record{};
    if (OSErr err = tc::toRecord(*tcdef, frameNumber, record)) return finish(err);
    *tcrec = record;
    return finish(noErr);
  };
}

HandlerError TCTimeCodeToFrameNumber(MediaHandler mh, TimeCodeDef* tcdef, TimeCodeRecord* tcrec,
                                     SInt32* frameNumber) {
  QTE_CALL_STATUS("TCTimeCodeToFrameNumber",
                   a_.object("mh", mh).raw("def", describe(tcdef)).raw("record", describe(tcdef, tcrec))) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    if (!tcdef || !tcrec || !frameNumber) return finish(paramErr);
    int32_t n = 0;
    if (OSErr err = tc::toFrameNumber(*tcdef, *tcrec, n)) return finish(err);
    *frameNumber = n;
    return finish(noErr);
  };
}

HandlerError TCTimeCodeToString(MediaHandler mh, TimeCodeDef* tcdef, TimeCodeRecord* tcrec, StringPtr tcStr) {
  QTE_CALL_STATUS("TCTimeCodeToString",
                   a_.object("mh", mh).raw("def", describe(tcdef)).raw("record", describe(tcdef, tcrec))) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    if (!tcdef || !tcrec || !tcStr) return finish(paramErr);
    std::string text;
    if (OSErr err = tc::toText(*tcdef, *tcrec, text)) return finish(err);
    tcStr[0] = static_cast<unsigned char>(text.size());
    std::memcpy(tcStr + 1, text.data(), text.size());
    return finish(noErr);
  };
}

HandlerError TCGetSourceRef(MediaHandler mh, TimeCodeDescriptionHandle tcdH, UserData* srefH) {
  QTE_CALL_STATUS("TCGetSourceRef", a_.object("mh", mh)("description", reinterpret_cast<Handle>(tcdH))) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    if (!srefH) return finish(paramErr);
    if (!tcdH) return finish(nilHandleErr);
    Handle desc = reinterpret_cast<Handle>(tcdH);
    size_t n = describedSize(desc);
    TimeCodeDef def;
    if (OSErr err = tc::definitionOf(bytesOf(desc), n, def)) return finish(err);
    *srefH = sourceOf(bytesOf(desc), n);
    return finish(noErr);
  };
}

HandlerError TCSetSourceRef(MediaHandler mh, TimeCodeDescriptionHandle tcdH, UserData srefH) {
  QTE_CALL_STATUS("TCSetSourceRef", a_.object("mh", mh)("description", reinterpret_cast<Handle>(tcdH))
                                         .object("srcRef", srefH)) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    if (!tcdH) return finish(nilHandleErr);
    Handle desc = reinterpret_cast<Handle>(tcdH);
    TimeCodeDef def;
    if (OSErr err = tc::definitionOf(bytesOf(desc), describedSize(desc), def)) return finish(err);
    Bytes items;
    if (srefH) {
      auto* list = live<qte::UserDataList>(srefH);
      if (!list) return finish(paramErr);
      items = list->flatten();
    }
    // Without a source the description keeps the struct's size, its srcRef zero.
    size_t size = items.empty() ? kDescriptionStructSize : kDefinitionEnd + items.size();
    if (size > INT32_MAX) return finish(paramErr);
    SetHandleSize(desc, static_cast<Size>(size));
    if (OSErr err = MemError()) return finish(err);
    auto* p = reinterpret_cast<uint8_t*>(*desc);
    std::memset(p + kDefinitionEnd, 0, size - kDefinitionEnd);
    if (!items.empty()) std::memcpy(p + kDefinitionEnd, items.data(), items.size());
    for (int k = 0; k < 4; ++k) p[k] = uint8_t(size >> (24 - 8 * k));
    return finish(noErr);
  };
}

HandlerError TCSetTimeCodeFlags(MediaHandler mh, SInt32 flags, SInt32 flagsMask) {
  QTE_CALL_STATUS("TCSetTimeCodeFlags", a_.object("mh", mh)("flags", flags)("mask", flagsMask)) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    h->flags = (h->flags & ~flagsMask) | (flags & flagsMask);
    return finish(noErr);
  };
}

HandlerError TCGetTimeCodeFlags(MediaHandler mh, SInt32* flags) {
  QTE_CALL_STATUS("TCGetTimeCodeFlags", a_.object("mh", mh)) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    if (!flags) return finish(paramErr);
    *flags = h->flags;
    return finish(noErr);
  };
}

HandlerError TCSetDisplayOptions(MediaHandler mh, TCTextOptionsPtr textOptions) {
  QTE_CALL_STATUS("TCSetDisplayOptions", a_.object("mh", mh).raw("options", describe(textOptions))) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    if (!textOptions) return finish(paramErr);
    h->options = *textOptions;
    h->options.pad = 0;
    return finish(noErr);
  };
}

HandlerError TCGetDisplayOptions(MediaHandler mh, TCTextOptionsPtr textOptions) {
  QTE_CALL_STATUS("TCGetDisplayOptions", a_.object("mh", mh)) {
    TimeCodeHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    if (!textOptions) return finish(paramErr);
    *textOptions = h->options;
    return finish(noErr);
  };
}

}  // extern "C"
