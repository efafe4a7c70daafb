// A movie's time as the edit commands address it: times people write resolved
// to movie time units, snapped to the frames the first video track shows, and
// checked against the movie and the 32-bit times the editing members take.
#pragma once

#include "movie_file.h"
#include "times.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tool {

// The longest time the editing members address: their times are 32-bit.
constexpr int64_t kMaxMovieTime = INT32_MAX;

// Refuses a duration the editing members cannot address at `scale`, naming `path`.
void checkAddressable(const std::string& path, int64_t duration, int64_t scale);

// A movie's duration in its own time units.
int64_t movieDuration(rt::Runtime& rt, const rt::Value& movie);
// A time in `from` units as `to` units, rounded to the nearest.
int64_t rescaled(int64_t time, int64_t from, int64_t to);

// A stretch of movie time, [start, end).
struct Span {
  int64_t start = 0, end = 0;
  int64_t length() const { return end - start; }
};

class Timeline {
 public:
  // The movie's time scale and duration; `path` names it in messages.
  Timeline(MovieFile& file, const rt::Value& movie, std::string path);

  int64_t scale() const { return scale_; }
  int64_t duration() const { return duration_; }

  // The movie time of `text` given to `option`: the start of the frame shown
  // at that time (the movie's end is a time too, after the last frame).
  int64_t at(const std::string& text, const char* option) const;
  // [from, to): the frame shown at `from` up to, not including, the one at `to`;
  // without `from` from the start, without `to` to the end. Reversed or empty
  // spans are refused.
  Span span(const std::optional<std::string>& from, const char* fromOption, const std::optional<std::string>& to,
            const char* toOption) const;

  std::string clock(int64_t time) const { return formatClock(toMilliseconds(time, scale_)); }

 private:
  int64_t frameStart(int64_t time) const;
  int64_t frameNumbered(int64_t frame, const char* option) const;

  MovieFile& file_;
  std::string path_;
  rt::Value video_;  // the first video track, nil without one
  int64_t scale_ = 0, duration_ = 0;
};

}  // namespace tool
