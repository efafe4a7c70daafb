// Clipping and aperture: 'clip'/'crgn' of movies and tracks, and a track's 'tapt'.
// Reading and writing side by side.
#include "reader.h"
#include "writer.h"

namespace qte::file {

// --- Reading

// 'clip'/'crgn' — a QuickDraw region in file form, checked scan line by scan line.
bool Reader::clip(const Atom& a, Bytes& region, Layout& layout) {
  Enter e(*this, "clip");
  return children(a,
                  {{"crgn"_4cc, Need::optional, Times::once, Payload::whole,
                    [&](const Atom& k, Cursor&) {
                      RgnHandle rgn = NewRgn();
                      if (!rgn) return took(bad(k.offset, "no memory for the clip region", memFullErr));
                      OSErr err = QDRegionFromFileBytes(rgn, k.payload(), Size(k.payloadSize()));
                      DisposeRgn(rgn);
                      if (err != noErr) return took(bad(k.offset, "malformed clip region ('crgn')"));
                      region.assign(k.payload(), k.payload() + k.payloadSize());
                      return Took::rendered;
                    }}},
                  &layout);
}

// 'tapt' — clean, production and encoded-pixels dimensions, each v/f + 2 × Fixed.
bool Reader::aperture(const Atom& tapt, Track& t, Layout& layout) {
  Enter e(*this, "tapt");
  auto dimensions = [](FixedPoint& p) {
    return [&p](const Atom&, Cursor& c) {
      c.fullHeader();
      p.x = c.s32();
      p.y = c.s32();
      return Took::rendered;
    };
  };
  if (!children(tapt,
                {{"clef"_4cc, Need::optional, Times::once, Payload::fields, dimensions(t.aperture.clean)},
                 {"prof"_4cc, Need::optional, Times::once, Payload::fields, dimensions(t.aperture.production)},
                 {"enof"_4cc, Need::optional, Times::once, Payload::fields, dimensions(t.aperture.encoded)}},
                &layout))
    return false;
  t.aperture.present = true;
  return true;
}

// --- Writing

// 'clip'/'crgn' — the region as the model keeps it, in file form.
void Writer::clip(Bytes& b, const Bytes& region, const Layout* kept) {
  if (region.empty() && !(kept && kept->keepsAny())) return;
  AtomScope c(b, "clip"_4cc);
  layoutOf(kept).write(b, {{"crgn"_4cc, [&] {
                              if (region.empty()) return;
                              AtomScope r(b, "crgn"_4cc);
                              putBytes(b, region);
                            }}});
}

// 'tapt' — clean, production and encoded-pixels dimensions.
void Writer::aperture(Bytes& b, const Track& t, const TrackOrigin* o) {
  if (!t.aperture.present) return;
  AtomScope tapt(b, "tapt"_4cc);
  std::vector<Layout::Part> parts;
  for (auto [type, p] : {std::pair{"clef"_4cc, t.aperture.clean}, std::pair{"prof"_4cc, t.aperture.production},
                         std::pair{"enof"_4cc, t.aperture.encoded}})
    parts.push_back({type, [&b, type = type, p = p] {
                       AtomScope a(b, type);
                       putFullHeader(b, 0, 0);
                       put32(b, uint32_t(p.x));
                       put32(b, uint32_t(p.y));
                     }});
  layoutOf(o ? &o->tapt : nullptr).write(b, parts);
}

}  // namespace qte::file
