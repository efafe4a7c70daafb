// Time-code and text media information: 'gmhd' with 'gmin', 'text' and 'tmcd'/'tcmi'.
// Reading and writing side by side.
#include "reader.h"
#include "writer.h"

namespace qte::file {

// --- Reading

// 'gmhd' — base media information header: 'gmin', and for time code media
// 'tmcd'/'tcmi' with the display settings the handler keeps. 'text' is
// rendered for text media only; other media keep what the file had, as they
// keep 'tmcd' when they are not time code media.
bool Reader::baseHeader(const Atom& gmhd, Media& media, TrackOrigin& o) {
  Enter e(*this, "gmhd");
  std::vector<Child> table{{"gmin"_4cc, Need::optional, Times::once, Payload::whole, {}}};
  if (media.type == TextMediaType) table.push_back({"text"_4cc, Need::optional, Times::once, Payload::whole, {}});
  if (auto* tc = dynamic_cast<TimeCodeHandler*>(media.handler.get()))
    table.push_back({"tmcd"_4cc, Need::optional, Times::once, Payload::whole, [&, tc](const Atom& a, Cursor&) {
                       auto tcmi = [&, tc](const Atom& k, Cursor& c) { return took(timeCodeInfo(k, c, *tc, o)); };
                       return took(children(a, {{"tcmi"_4cc, Need::optional, Times::many, Payload::fields, tcmi}},
                                            nullptr));
                     }});
  return children(gmhd, table, &o.gmhd);
}

bool Reader::timeCodeInfo(const Atom& tcmi, Cursor& c, TimeCodeHandler& tc, TrackOrigin& o) {
  c.fullHeader();
  TCTextOptions opt{};
  opt.txFont = c.s16();
  opt.txFace = c.s16();
  opt.txSize = c.s16();
  c.skip(2);
  opt.foreColor = {c.u16(), c.u16(), c.u16()};
  opt.backColor = {c.u16(), c.u16(), c.u16()};
  if (!c.ok()) return truncated(tcmi);
  tc.options = opt;
  // Some writers leave the font name out, length byte and all.
  size_t rest = c.left();
  const uint8_t* name = c.take(rest);
  if (rest > 0 && name[0] < rest) o.timeCodeFontName.assign(name, name + 1 + name[0]);
  return true;
}

// --- Writing

// 'gmhd' — base media information: 'gmin', 'text' for text media (players
// look for it to recognise chapter tracks) and 'tmcd'/'tcmi' for time codes.
void Writer::baseHeader(Bytes& b, const Media& m, const TrackOrigin* o) {
  auto* v = dynamic_cast<const VisualHandler*>(m.handler.get());
  AtomScope gmhd(b, "gmhd"_4cc);
  const auto* tc = dynamic_cast<const TimeCodeHandler*>(m.handler.get());
  layoutOf(o ? &o->gmhd : nullptr)
      .write(b, {{"gmin"_4cc, [&] { baseInfo(b, v); }},
                 {"text"_4cc, [&] { if (m.type == TextMediaType) textInfo(b); }},
                 {"tmcd"_4cc, [&] { if (tc) timeCodeInfo(b, *tc, o); }}});
}

void Writer::baseInfo(Bytes& b, const VisualHandler* v) {
  {
    AtomScope a(b, "gmin"_4cc);
    putFullHeader(b, 0, 0);
    put16(b, uint16_t(v ? v->graphicsMode : ditherCopy));
    RGBColor op = v ? v->opColor : RGBColor{0x8000, 0x8000, 0x8000};
    put16(b, op.red);
    put16(b, op.green);
    put16(b, op.blue);
    put16(b, 0);
    put16(b, 0);
  }
}

void Writer::textInfo(Bytes& b) {
  AtomScope a(b, "text"_4cc);
  MatrixRecord identity{{{kFixedOne, 0, 0}, {0, kFixedOne, 0}, {0, 0, 0x40000000}}};
  putMatrix(b, identity);
}

void Writer::timeCodeInfo(Bytes& b, const TimeCodeHandler& tc, const TrackOrigin* o) {
  {
    AtomScope a(b, "tmcd"_4cc);
    AtomScope tcmi(b, "tcmi"_4cc);
    putFullHeader(b, 0, 0);
    const TCTextOptions& t = tc.options;
    put16(b, uint16_t(t.txFont));
    put16(b, uint16_t(t.txFace));
    put16(b, uint16_t(t.txSize));
    put16(b, 0);
    for (const RGBColor& c : {t.foreColor, t.backColor}) {
      put16(b, c.red);
      put16(b, c.green);
      put16(b, c.blue);
    }
    if (o && !o->timeCodeFontName.empty()) putBytes(b, o->timeCodeFontName);
    else put8(b, 0);
  }
}

}  // namespace qte::file
