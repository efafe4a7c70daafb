// Edits: 'edts' and its 'elst' (QTFF "Edit list atom"; ISO 8.6.6).
// Reading and writing side by side.
#include "reader.h"
#include "writer.h"

namespace qte::file {

// --- Reading

// 'edts'/'elst' — QTFF "Edit list atom"; ISO 8.6.6. A second edit list is kept
// as it was, but the model holds one, so no save may rewrite the track.
bool Reader::editList(const Atom& edts, Track& t, TrackOrigin& o, bool& known) {
  Enter e(*this, "edts");
  std::vector<Edit> list;
  bool seen = false;
  const bool ok = children(edts,
                           {{"elst"_4cc, Need::optional, Times::many, Payload::fields,
                             [&](const Atom& a, Cursor& c) {
                               Enter l(*this, "elst");
                               if (seen) {
                                 known = unsavable(o, a, "a second edit list");
                                 return Took::kept;
                               }
                               seen = true;
                               return edits(a, c, list, o, known);
                             }}},
                           &o.edts);
  if (!ok) return false;
  // An 'edts' without an edit list is no edit list: the media plays once.
  known = known && seen;
  if (known) t.edits.assign(std::move(list));
  return true;
}

// Media times below -1 are not edits any player could show; they are read as
// empty time. The atom's length settles a count or version flag at odds with
// it; when it holds no whole number of entries of either size the list is not
// known, so the track plays its media once, as without one, and cannot be saved.
Took Reader::edits(const Atom& a, Cursor& c, std::vector<Edit>& list, TrackOrigin& o, bool& known) {
  auto [version, flags] = c.fullHeader();
  if (version > 1) return took(bad(a.offset, "unknown version " + std::to_string(version)));
  uint32_t n = c.u32();
  if (!c.ok()) return took(truncated(a));
  const size_t body = c.left();
  size_t each = version ? 20 : 12;
  const size_t other = 32 - each;
  if (body == n * uint64_t(other) && body != n * uint64_t(each)) each = other;  // the version flag is wrong
  else if (body % each == 0) n = static_cast<uint32_t>(body / each);  // the count is wrong
  else {
    // Rendered all the same: the save that would write it is refused.
    known = unsavable(o, a, std::to_string(body) + " bytes of edits are no whole number of " +
                                std::to_string(each) + "-byte entries");
    c.skip(body);
    return Took::rendered;
  }
  list.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    int64_t duration = each == 20 ? c.s64() : int64_t(c.u32());
    int64_t mediaTime = each == 20 ? c.s64() : int64_t(c.s32());
    Fixed rate = c.s32();
    if (duration < 0)
      return took(bad(a.offset, "edit " + std::to_string(i + 1) + " has a negative duration", badEditList));
    if (duration == 0) continue;
    list.push_back({duration, mediaTime < 0 ? -1 : mediaTime, rate});
  }
  return Took::rendered;
}

// --- Writing

// 'edts'/'elst' — version 1 when a duration or media time needs 64 bits. A
// track with samples but no edits gets one edit of no length: without a list
// its media would play once, and readers take an empty list for none.
void Writer::editList(Bytes& b, const Track& t, const TrackOrigin* o) {
  const bool kept = o && o->edts.keepsAny();
  const bool list = t.edits.size() > 0 || (t.media && t.media->samples().table.count() > 0);
  if (!list && !kept) return;
  AtomScope edts(b, "edts"_4cc);
  layoutOf(o ? &o->edts : nullptr).write(b, {{"elst"_4cc, [&] { if (list) editEntries(b, t); }}});
}

void Writer::editEntries(Bytes& b, const Track& t) {
  const auto& edits = t.edits.edits();
  {
    bool wide = std::any_of(edits.begin(), edits.end(), [](const Edit& e) {
      return uint64_t(e.duration) > k32 || e.mediaTime > INT32_MAX;
    });
    AtomScope elst(b, "elst"_4cc);
    putFullHeader(b, wide ? 1 : 0, 0);
    put32(b, uint32_t(std::max<size_t>(edits.size(), 1)));
    if (edits.empty()) {
      put32(b, 0);
      put32(b, 0);
      put32(b, kFixedOne);
    }
    for (const Edit& e : edits) {
      if (wide) {
        put64(b, uint64_t(e.duration));
        put64(b, uint64_t(e.empty() ? -1 : e.mediaTime));
      } else {
        put32(b, uint32_t(e.duration));
        put32(b, uint32_t(e.empty() ? -1 : e.mediaTime));
      }
      put32(b, uint32_t(e.rate));
    }
  }
}

}  // namespace qte::file
