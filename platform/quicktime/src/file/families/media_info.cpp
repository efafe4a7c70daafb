// Media information and data references: 'minf' with its video or sound header,
// 'dinf' and 'dref' (QTFF "Media information atoms", "Data reference atoms").
// Reading and writing side by side.
#include "reader.h"
#include "writer.h"

namespace qte::file {

// --- Reading

bool Reader::mediaInfo(const Atom& minf, Media& media, TrackOrigin& o) {
  Enter e(*this, "minf");
  return children(
      minf,
      {// The sample table names data references: they are read first.
       {"dinf"_4cc, Need::optional, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(dataRefs(a, media, o)); }},
       // Video media header: graphics mode and op colour, kept by visual handlers.
       {"vmhd"_4cc, Need::optional, Times::once, Payload::fields,
        [&](const Atom&, Cursor& c) {
          c.fullHeader();
          uint16_t mode = c.u16();
          RGBColor op{c.u16(), c.u16(), c.u16()};
          if (auto* v = dynamic_cast<VisualHandler*>(media.handler.get()); v && c.ok()) {
            v->graphicsMode = mode;
            v->opColor = op;
          }
          return Took::rendered;
        }},
       {"smhd"_4cc, Need::optional, Times::once, Payload::fields,
        [&](const Atom&, Cursor& c) {
          c.fullHeader();
          int16_t balance = c.s16();
          c.skip(2);  // reserved
          if (auto* s = dynamic_cast<SoundHandler*>(media.handler.get()); s && c.ok()) s->balance = balance;
          return Took::rendered;
        }},
       {"gmhd"_4cc, Need::optional, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(baseHeader(a, media, o)); }},
       {"hdlr"_4cc, Need::optional, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) {
          o.dataHandler = a.bytes();
          return Took::rendered;
        }},
       {"stbl"_4cc, Need::required, Times::once, Payload::whole,
        [&](const Atom& a, Cursor&) { return took(sampleTable(a, media, o)); }, "media without a sample table"}},
      &o.minf);
}

bool Reader::sampleTable(const Atom& stbl, Media& media, TrackOrigin& o) {
  if (media.dataRefs.empty()) {
    // No reference (no 'dinf', no 'dref', or none in it): in a file that reads,
    // the samples can only be in the file itself.
    media.dataRefs.push_back(fileDataRef(filePath));
    o.selfRefTypes.push_back(AliasDataHandlerSubType);
  }
  Enter s(*this, "stbl");
  // A table the known movie holds already keeps its origin: the same bytes.
  if (auto same = knownTable(stbl, media.dataRefs.size())) {
    media.store = std::move(same);
    return true;
  }
  auto store = std::make_shared<SampleStore>();
  auto kept = std::make_shared<StoreOrigin>();
  if (!readSampleTable(stbl, media.dataRefs, filePath, fileSize, *store, kept->stbl, *this)) return false;
  kept->revision = store->table.revision();
  kept->table = {holder, stbl.start, stbl.size, {}, media.dataRefs.size()};
  store->origin = std::move(kept);
  media.store = std::move(store);
  return true;
}

// 'dinf'/'dref' — QTFF "Data reference atoms".
bool Reader::dataRefs(const Atom& dinf, Media& media, TrackOrigin& o) {
  Enter e(*this, "dinf");
  return children(dinf,
                  {{"dref"_4cc, Need::optional, Times::once, Payload::whole,
                    [&](const Atom& a, Cursor& c) {
                      Enter d(*this, "dref");
                      return took(dataRefEntries(a, c, media, o));
                    }}},
                  &o.dinf);
}

// A self reference is read as a reference to this file, so that sample bytes
// can be fetched through it.
bool Reader::dataRefEntries(const Atom& a, Cursor& c, Media& media, TrackOrigin& o) {
  c.fullHeader();
  uint32_t n = c.u32();
  if (!c.ok()) return truncated(a);
  if (!c.fits(n, 12)) return bad(a.offset, std::to_string(n) + " data references cannot fit");
  std::vector<Atom> refs;
  if (!split(a, refs, 8)) return false;
  if (refs.size() != n)
    return bad(a.offset, "count says " + std::to_string(n) + " data references, atom holds " + std::to_string(refs.size()));
  for (const Atom& r : refs) {
    if (r.payloadSize() < 4) return bad(r.offset, "data reference without version and flags");
    uint32_t flags = get32(r.payload()) & 0xFFFFFF;
    // An alias or URL that names nothing can only mean this file.
    const bool blank = r.payloadSize() == 4 && (r.type == AliasDataHandlerSubType || r.type == URLDataHandlerSubType);
    if ((flags & dataRefSelfReference) || blank) {
      media.dataRefs.push_back(fileDataRef(filePath));
      o.selfRefTypes.push_back(r.type);
    } else {
      media.dataRefs.push_back({r.type, Bytes(r.payload() + 4, r.payload() + r.payloadSize()), int32_t(flags)});
      o.selfRefTypes.push_back(0);
    }
  }
  return true;
}

// --- Writing

void Writer::mediaInfo(Bytes& b, const Media& m, const TrackOrigin* o) {
  AtomScope minf(b, "minf"_4cc, &elsewhere_);
  const auto* sound = dynamic_cast<const SoundHandler*>(m.handler.get());
  const OSType header = m.type == VideoMediaType ? "vmhd"_4cc : sound ? "smhd"_4cc : "gmhd"_4cc;
  layoutOf(o ? &o->minf : nullptr)
      .write(b, {{header, [&] { mediaInfoHeader(b, m, o); }},
                 {"hdlr"_4cc, [&] { dataHandler(b, o); }},
                 {"dinf"_4cc, [&] { dataInfo(b, m, o); }},
                 {"stbl"_4cc, [&] { sampleTable(b, m); }}});
}

// 'vmhd', 'smhd' or 'gmhd', as the media's handler has it.
void Writer::mediaInfoHeader(Bytes& b, const Media& m, const TrackOrigin* o) {
  if (m.type == VideoMediaType) {
    auto* v = dynamic_cast<const VisualHandler*>(m.handler.get());
    AtomScope a(b, "vmhd"_4cc);
    putFullHeader(b, 0, 1);  // flag 1: "no lean ahead", set by every writer
    put16(b, uint16_t(v ? v->graphicsMode : ditherCopy));
    RGBColor op = v ? v->opColor : RGBColor{0x8000, 0x8000, 0x8000};
    put16(b, op.red);
    put16(b, op.green);
    put16(b, op.blue);
  } else if (auto* s = dynamic_cast<const SoundHandler*>(m.handler.get())) {
    AtomScope a(b, "smhd"_4cc);
    putFullHeader(b, 0, 0);
    put16(b, uint16_t(s->balance));
    put16(b, 0);
  } else {
    baseHeader(b, m, o);
  }
}

// 'dinf'/'dref' — references to this file are self references.
void Writer::dataInfo(Bytes& b, const Media& m, const TrackOrigin* o) {
  AtomScope dinf(b, "dinf"_4cc);
  layoutOf(o ? &o->dinf : nullptr).write(b, {{"dref"_4cc, [&] {
    {
      AtomScope dref(b, "dref"_4cc);
      putFullHeader(b, 0, 0);
      put32(b, uint32_t(m.dataRefs.size()));
      for (size_t i = 0; i < m.dataRefs.size(); ++i) {
        const DataRef& r = m.dataRefs[i];
        bool self = target_.allSelf || namesFile(r, target_.path) ||
                    (r.data.empty() && (r.attributes & dataRefSelfReference));
        if (self) {
          OSType type = o && i < o->selfRefTypes.size() && o->selfRefTypes[i] ? o->selfRefTypes[i] : OSType(AliasDataHandlerSubType);
          AtomScope a(b, type);
          putFullHeader(b, 0, dataRefSelfReference);
        } else {
          AtomScope a(b, r.type);
          putFullHeader(b, 0, uint32_t(r.attributes) & ~uint32_t(dataRefSelfReference));
          putBytes(b, r.data);
        }
      }
    }
  }}});
}

}  // namespace qte::file
