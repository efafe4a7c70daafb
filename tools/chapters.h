// A movie's chapters as the tool writes them: a chapter track made through
// AddTextTrackZQK, with a 'chpl' list beside it for readers that look for one,
// and the chapters carried through an edit of the movie's time.
#pragma once

#include "movie_file.h"
#include "movie_report.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tool {

// The chapters of `movie`, starts in its time units, in order.
std::vector<ChapterInfo> chaptersOf(MovieFile& file, const rt::Value& movie);

// Removes the chapter tracks and 'chpl' lists of `movie`; how many there were.
int removeChapters(MovieFile& file, const rt::Value& movie);
// Whether `movie` has a chapter track or a 'chpl' list.
bool hasChapters(MovieFile& file, const rt::Value& movie);

// Gives `movie` (which has none) these chapters, starts in its time units,
// increasing and before its end: each lasts until the next, the last until the
// movie ends.
void writeChapters(MovieFile& file, const rt::Value& movie, const std::vector<ChapterInfo>& chapters);

// Where part of the edited movie's time comes from: [from, to) of a movie
// whose chapters are `source` (read before the edit) now plays at [at, until).
struct ChapterPiece {
  const std::vector<ChapterInfo>* source;
  int64_t from, to, at, until;
};

// The chapters as they fall after an edit: one inside a span that no piece
// plays goes; the one showing where a piece starts starts with it (a chapter
// cut through keeps its title at the cut); the rest move with their piece.
std::vector<ChapterInfo> chaptersAfter(const std::vector<ChapterPiece>& pieces);

// After an edit described by `pieces`, replaces the chapters of `movie` by
// those chaptersAfter() gives; a movie whose sources had none is left without.
void followChapters(MovieFile& file, const rt::Value& movie, const std::vector<ChapterPiece>& pieces);

// Writes the 'chpl' list of `movie` anew from its chapter track, after an edit
// that moved the track without changing its chapters.
void relistChapters(MovieFile& file, const rt::Value& movie);

}  // namespace tool
