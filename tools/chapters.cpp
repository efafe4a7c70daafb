#include "chapters.h"

#include "progress.h"
#include "text.h"
#include "timeline.h"

#include <algorithm>

namespace tool {

using rt::Value;

namespace {

// The media type of the track the chapters belong to: video, else sound.
std::string mainTrackType(MovieFile& file, const Value& movie) {
  for (const char* type : {"vide", "soun"}) {
    const char* member = type[0] == 'v' ? "GetVideoTrackZQK" : "GetSoundTrackZQK";
    if (!file.call(movie, member, {Value::integer(1)}).isNil()) return type;
  }
  throw FileError(file.path(), "the movie has no video or sound track to give chapters to");
}

// Removes every text track that is some track's chapter track; the count removed.
int removeChapterTracks(MovieFile& file, const Value& movie) {
  int removed = 0;
  for (int64_t i = 1;;) {
    Value track = file.call(movie, "GetTextTrackZQK", {Value::integer(i)});
    if (track.isNil()) return removed;
    if (!file.call(track, "IsChapterTrack").asBoolean()) {
      ++i;
      continue;
    }
    track = Value();
    if (file.call(movie, "RemoveTextTrackZQK", {Value::integer(i)}).asInteger() != 0)
      throw FileError(file.path(), "the chapter track could not be removed");
    ++removed;
  }
}

// Counts, and removes when asked, the movie's 'chpl' user data: the chapter
// list some writers keep beside the chapter track.
int64_t chapterLists(MovieFile& file, const Value& movie, bool remove) {
  Value list = file.call(movie, "UserDataZQK");
  if (list.isNil()) return 0;
  Value type = file.runtime().string("chpl");
  const int64_t count = file.call(list, "CountType", {type}).asInteger();
  for (int64_t i = 0; remove && i < count; ++i) file.call(list, "RemoveData", {type, Value::integer(1)});
  return count;
}

// The 'chpl' list: version 1, no flags, 4 reserved bytes, an 8-bit count, then
// each chapter's start in 100 ns units and its title as UTF-8 after an 8-bit
// length. Readers that know no chapter track (or no UTF-16 text samples) show
// chapters from it. Its count allows 255 chapters: more get no list at all.
void addChapterList(MovieFile& file, const Value& movie, const std::vector<ChapterInfo>& chapters, int64_t scale) {
  if (chapters.size() > 255) return;
  std::string bytes{'\x01', 0, 0, 0, 0, 0, 0, 0, char(chapters.size())};
  for (const ChapterInfo& c : chapters) {
    const auto start = uint64_t(rescaled(c.start, scale, 10'000'000));
    for (int shift = 56; shift >= 0; shift -= 8) bytes += char(start >> shift);
    // 255 bytes at most, cut before a character rather than inside one.
    size_t length = std::min<size_t>(c.title.size(), 255);
    while (length < c.title.size() && (uint8_t(c.title[length]) & 0xC0) == 0x80) --length;
    bytes += char(length);
    bytes.append(c.title, 0, length);
  }
  Value list = file.call(movie, "UserDataZQK");
  if (list.isNil()) throw FileError(file.path(), "the movie has no user data list for its chapter list");
  file.call(list, "AddData", {file.runtime().string("chpl"), file.runtime().string(bytes, kREALEncodingUnknown)});
  if (const int64_t err = file.runtime().get(list, "Lasterror").asInteger())
    throw FileError(file.path(), "the chapter list could not be added (" + std::to_string(err) + ")");
}

}  // namespace

std::vector<ChapterInfo> chaptersOf(MovieFile& f, const Value& movie) {
  std::vector<ChapterInfo> chapters;
  Value track = f.call(movie, "ChapterTrackZQK");
  if (track.isNil()) return chapters;
  Progress progress("reading chapters");
  const std::string cls = f.runtime().className(track);
  const Value zero = Value::integer(0);
  const rt::Member title = f.member(cls, "ChapterText", {zero}), next = f.member(cls, "GetNextChapterTime", {zero});
  // Chapter by chapter from the first: each step is a search of the track's
  // sample table, so the walk stays linear in the number of chapters.
  for (int64_t t = f.call(track, "GetFirstChapterTime").asInteger(); t >= 0;) {
    chapters.push_back({t, textOf(f.runtime(), f.call(title, track, {Value::integer(t)}))});
    progress.update(int64_t(chapters.size()));
    const int64_t after = f.call(next, track, {Value::integer(t)}).asInteger();
    if (after <= t) break;
    t = after;
  }
  return chapters;
}

int removeChapters(MovieFile& file, const Value& movie) {
  return removeChapterTracks(file, movie) + int(chapterLists(file, movie, true));
}

bool hasChapters(MovieFile& file, const Value& movie) {
  return !file.call(movie, "ChapterTrackZQK").isNil() || chapterLists(file, movie, false) > 0;
}

void writeChapters(MovieFile& file, const Value& movie, const std::vector<ChapterInfo>& list) {
  rt::Runtime& rt = file.runtime();
  const std::string mainType = mainTrackType(file, movie);
  const int64_t end = movieDuration(rt, movie);
  if (list.size() > 32767) throw FileError(file.path(), "a chapter track holds at most 32767 chapters");

  // Each chapter lasts until the next one starts, the last until the movie ends.
  std::vector<Value> records;
  records.reserve(list.size());
  Progress progress("preparing chapters", int64_t(list.size()));
  for (size_t i = 0; i < list.size(); ++i) {
    const int64_t next = i + 1 < list.size() ? list[i + 1].start : end;
    Value c = rt.newObject("QTChapterDataZQK");
    rt.set(c, "Text", rt.string(list[i].title));
    rt.set(c, "FrameDuration", Value::integer(next - list[i].start));
    records.push_back(std::move(c));
    progress.update(int64_t(i + 1));
  }
  progress.finish();
  Value chapters = rt.newObjectArray(records);
  records.clear();
  Value track = file.call(movie, "AddTextTrackZQK", {chapters, rt.string(mainType), Value::boolean(true)});
  if (track.isNil()) throw FileError(file.path(), "the chapter track could not be made");
  // Its samples count in the main track's media time scale, where a chapter
  // shorter than one unit has no length and is left out: say so, saving nothing.
  const auto placed = size_t(file.call(track, "MediaSampleCount").asInteger());
  if (placed != list.size())
    throw FileError(file.path(), "only " + std::to_string(placed) + " of the " + std::to_string(list.size()) +
                                     " chapters fit: the " + mainType +
                                     " track counts time too coarsely for chapters this short; nothing was saved");
  // The track's samples start at 0; a first chapter later than that starts after an empty stretch.
  if (list.front().start > 0)
    file.call(track, "InsertEmptyTrackSegment", {Value::integer(0), Value::integer(list.front().start)});
  // The chapters must read back as written (their starts as the main track's
  // time scale places them). A damaged chapter reference ahead of the new one
  // (naming a missing track, the main track itself or a sound track) would
  // hide them from this tool, though not from every reader.
  const std::vector<ChapterInfo> check = chaptersOf(file, movie);
  bool shown = check.size() == list.size();
  for (size_t i = 0; shown && i < list.size(); ++i) shown = check[i].title == list[i].title;
  if (!shown)
    throw FileError(file.path(), "the movie's chapter reference names a track that holds no chapters (the file is "
                                 "damaged), which would hide the new ones; nothing was saved");
  addChapterList(file, movie, check, rt.get(movie, "TimeScale").asInteger());
}

void relistChapters(MovieFile& file, const Value& movie) {
  chapterLists(file, movie, true);
  const std::vector<ChapterInfo> chapters = chaptersOf(file, movie);
  if (!chapters.empty()) addChapterList(file, movie, chapters, file.runtime().get(movie, "TimeScale").asInteger());
}

std::vector<ChapterInfo> chaptersAfter(const std::vector<ChapterPiece>& pieces) {
  std::vector<ChapterInfo> after;
  const ChapterInfo* last = nullptr;  // the chapter showing at the end of the piece before
  for (const ChapterPiece& p : pieces) {
    if (p.to <= p.from || p.until <= p.at) continue;
    const std::vector<ChapterInfo>& source = *p.source;
    // The chapter showing at the piece's start: the last one starting at or before it.
    auto it = std::upper_bound(source.begin(), source.end(), p.from,
                               [](int64_t t, const ChapterInfo& c) { return t < c.start; });
    if (it != source.begin()) --it;
    for (; it != source.end() && it->start < p.to; ++it) {
      if (&*it == last) continue;  // the same chapter going on across the join
      const int64_t start =
          it->start <= p.from ? p.at : p.at + (it->start - p.from) * (p.until - p.at) / (p.to - p.from);
      // Two starts that fall on one time unit: the later chapter is the one shown.
      if (!after.empty() && after.back().start >= start) after.pop_back();
      after.push_back({start, it->title});
      last = &*it;
    }
  }
  return after;
}

void followChapters(MovieFile& file, const Value& movie, const std::vector<ChapterPiece>& pieces) {
  bool had = false;
  for (const ChapterPiece& p : pieces) had = had || !p.source->empty();
  if (!had) {
    // A 'chpl' list without a chapter track names chapters as they were.
    chapterLists(file, movie, true);
    return;
  }
  const std::vector<ChapterInfo> after = chaptersAfter(pieces);
  removeChapters(file, movie);
  if (!after.empty()) writeChapters(file, movie, after);
}

}  // namespace tool
