// The media atom, its header and its handlers: 'mdia', 'mdhd', the media handler
// and the data handler (QTFF "Media atoms"; ISO 8.4).
// Reading and writing side by side.
#include "reader.h"
#include "writer.h"

namespace qte::file {

// --- Reading

// 'mdia': the handler names the media type, the header makes the media, and
// its user data and information fill it in.
bool Reader::mediaAtom(const Atom& mdia, Track& t, TrackOrigin& o) {
  Enter e(*this, "mdia");
  OSType mediaType = 0;
  return children(
      mdia,
      {// 'hdlr' — QTFF "Handler reference atom": the component subtype is the media type.
       {"hdlr"_4cc, Need::required, Times::once, Payload::whole,
        [&](const Atom& a, Cursor& h) {
          h.fullHeader();
          h.u32();
          mediaType = h.u32();
          if (!h.ok() || mediaType == 0) return took(bad(a.offset, "media handler without a media type"));
          o.mediaHandler = a.bytes();
          return Took::rendered;
        },
        "media without a media handler"},
       {"mdhd"_4cc, Need::required, Times::once, Payload::fields,
        [&](const Atom& a, Cursor& c) { return took(mediaHeader(a, c, t, mediaType)); }, "media without a media header"},
       {"udta"_4cc, Need::optional, Times::many, Payload::whole,
        [&](const Atom& a, Cursor&) {
          Enter u(*this, "udta");
          auto& items = t.media->userData->items;
          return took(children(a,
                               {{0, Need::optional, Times::many, Payload::whole,
                                 [&](const Atom& k, Cursor&) {
                                   items.push_back({k.type, Bytes(k.payload(), k.payload() + k.payloadSize())});
                                   return Took::rendered;
                                 }}},
                               nullptr));
        }},
       {"minf"_4cc, Need::required, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(mediaInfo(a, *t.media, o)); }, "media without information"}},
      &o.mdia);
}

// 'mdhd' — QTFF "Media header atom"; ISO 8.4.2.
bool Reader::mediaHeader(const Atom& a, Cursor& c, Track& t, OSType mediaType) {
  Enter eh(*this, "mdhd");
  auto [version, flags] = c.fullHeader();
  if (version > 1) return bad(a.offset, "unknown version " + std::to_string(version));
  const auto [created, modified, scale] = readHeaderTimes(c, version);
  const int16_t language = c.s16();
  const int16_t quality = c.s16();
  if (!c.ok()) return truncated(a);
  if (scale <= 0 || scale > INT32_MAX) return bad(a.offset, "time scale " + std::to_string(scale));
  t.media = std::make_unique<Media>(&t, mediaType, static_cast<TimeScale>(scale));
  Media& media = *t.media;
  media.creationTime = created;
  media.modificationTime = modified;
  media.language = language;
  media.quality = quality;
  return true;
}

// --- Writing

void Writer::mediaAtom(Bytes& b, const Media& m, const TrackOrigin* o) {
  AtomScope mdia(b, "mdia"_4cc, &elsewhere_);
  layoutOf(o ? &o->mdia : nullptr)
      .write(b, {{"mdhd"_4cc, [&] { mediaHeader(b, m); }},
                 {"hdlr"_4cc, [&] { mediaHandler(b, m, o); }},
                 {"udta"_4cc, [&] { if (!m.userData->items.empty()) userData(b, *m.userData, nullptr); }},
                 {"minf"_4cc, [&] { mediaInfo(b, m, o); }}});
}

// 'mdhd' — QTFF "Media header atom".
void Writer::mediaHeader(Bytes& b, const Media& m) {
  {
    uint64_t duration = static_cast<uint64_t>(m.samples().table.duration());
    uint8_t v = duration > k32 ? 1 : 0;
    AtomScope a(b, "mdhd"_4cc);
    putFullHeader(b, v, 0);
    putHeaderTimes(b, v, m.creationTime, m.modificationTime, m.scale, duration);
    put16(b, uint16_t(m.language));
    put16(b, uint16_t(m.quality));
  }
}

// The handler as read keeps its name, unless the media changed type since.
void Writer::mediaHandler(Bytes& b, const Media& m, const TrackOrigin* o) {
  if (o && o->mediaHandler.size() >= 20 && get32(o->mediaHandler.data() + 16) == m.type) {
    putBytes(b, o->mediaHandler);
  } else {
    AtomScope a(b, "hdlr"_4cc);
    putFullHeader(b, 0, 0);
    put32(b, "mhlr"_4cc);
    put32(b, m.type);
    b.insert(b.end(), 12, 0);
    putPascal(b, "");
  }
}

// 'hdlr' in 'minf': the data handler as read (ISO files have none), else an alias handler.
void Writer::dataHandler(Bytes& b, const TrackOrigin* o) {
  if (o && !o->dataHandler.empty()) {
    putBytes(b, o->dataHandler);
  } else if (!o) {
    AtomScope a(b, "hdlr"_4cc);
    putFullHeader(b, 0, 0);
    put32(b, "dhlr"_4cc);
    put32(b, AliasDataHandlerSubType);
    b.insert(b.end(), 12, 0);
    putPascal(b, "");
  }
}

}  // namespace qte::file
