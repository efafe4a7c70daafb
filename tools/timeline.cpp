#include "timeline.h"

#include <cmath>
#include <stdexcept>

namespace tool {

using rt::Value;

void checkAddressable(const std::string& path, int64_t duration, int64_t scale) {
  if (scale <= 0) throw FileError(path, "the movie has no time scale");
  if (duration <= kMaxMovieTime) return;
  throw FileError(path, "the movie lasts " + formatClock(toMilliseconds(duration, scale)) + ", " +
                            std::to_string(duration) + " units of 1/" + std::to_string(scale) +
                            " s; the editing members take 32-bit times, which at that time scale reach only " +
                            formatClock(toMilliseconds(kMaxMovieTime, scale)));
}

int64_t movieDuration(rt::Runtime& rt, const Value& movie) {
  return std::llround(rt.get(movie, "Duration").asDouble() * double(rt.get(movie, "TimeScale").asInteger()));
}

int64_t rescaled(int64_t time, int64_t from, int64_t to) {
  return static_cast<int64_t>(std::llround(static_cast<long double>(time) * to / from));
}

Timeline::Timeline(MovieFile& file, const Value& movie, std::string path) : file_(file), path_(std::move(path)) {
  rt::Runtime& rt = file.runtime();
  scale_ = rt.get(movie, "TimeScale").asInteger();
  duration_ = movieDuration(rt, movie);
  checkAddressable(path_, duration_, scale_);
  video_ = file.call(movie, "GetVideoTrackZQK", {Value::integer(1), Value::boolean(true)});
}

// Searching back from just after `time` finds the last frame that starts at or before it.
int64_t Timeline::frameStart(int64_t time) const {
  if (video_.isNil() || time >= duration_) return time;
  std::vector<Value> args = {Value::integer(time + 1), Value::integer(0), Value::real(-1.0)};
  file_.runtime().call(video_, "NextInterestingTimeZQK", args, {true, true, false});
  const int64_t start = args[0].asInteger();
  return start >= 0 && start <= time ? start : time;  // before the first frame: as given
}

int64_t Timeline::frameNumbered(int64_t frame, const char* option) const {
  if (video_.isNil()) throw FileError(path_, std::string(option) + ": the movie has no video, so no frames to count");
  int64_t time = 0;
  for (int64_t n = 0;; ++n) {
    std::vector<Value> args = {Value::integer(time), Value::integer(0)};
    file_.runtime().call(video_, "NextInterestingTimeZQK", args, {true, true});
    const int64_t found = args[0].asInteger();
    if (found < 0 || found >= duration_)
      throw FileError(path_, std::string(option) + " f" + std::to_string(frame) + ": the movie has only " +
                                 std::to_string(n) + " frames (f0 to f" + std::to_string(n - 1) + ")");
    if (n == frame) return found;
    time = found + 1;
  }
}

int64_t Timeline::at(const std::string& text, const char* option) const {
  std::optional<EditTime> t = parseEditTime(text);
  if (!t) throw std::invalid_argument(std::string(option) + " wants " + kEditTimeForms + ", not '" + text + "'");
  if (t->isFrame) return frameNumbered(t->value, option);
  const int64_t units = unitsAt(t->value, scale_);
  if (units > duration_)
    throw FileError(path_, std::string(option) + " " + text + " is past the end of the movie at " + clock(duration_));
  return frameStart(units);
}

Span Timeline::span(const std::optional<std::string>& from, const char* fromOption,
                    const std::optional<std::string>& to, const char* toOption) const {
  Span s{from ? at(*from, fromOption) : 0, to ? at(*to, toOption) : duration_};
  const std::string fromText = from ? std::string(fromOption) + " " + *from : "the start";
  const std::string toText = to ? std::string(toOption) + " " + *to : "the end";
  if (s.end < s.start) throw FileError(path_, toText + " comes before " + fromText);
  if (s.end == s.start) throw FileError(path_, "from " + fromText + " to " + toText + " holds no frame");
  return s;
}

}  // namespace tool
