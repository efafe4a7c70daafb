// Times as people write them: clock times of chapter lists and time codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tool {

// "HH:MM:SS" or "HH:MM:SS.mmm" (one to three decimals) in milliseconds; nullopt
// when the text is not such a time or minutes or seconds are 60 or more.
std::optional<int64_t> parseClock(std::string_view text);
// Milliseconds as "HH:MM:SS.mmm".
std::string formatClock(int64_t milliseconds);

// A time on an edit command's line: "HH:MM:SS.mmm", seconds ("12.5", up to six
// decimals) or a frame number ("f300", the first frame being f0).
struct EditTime {
  bool isFrame = false;
  int64_t value = 0;  // microseconds, or the frame number
};
std::optional<EditTime> parseEditTime(std::string_view text);
// The forms parseEditTime reads, for messages.
extern const char kEditTimeForms[];
// Microseconds in `scale` units, rounded down: an instant between two units
// belongs to the one before.
int64_t unitsAt(int64_t microseconds, int64_t scale);

// A movie time in `scale` units as milliseconds, rounded to the nearest.
int64_t toMilliseconds(int64_t time, int64_t scale);
int64_t fromMilliseconds(int64_t milliseconds, int64_t scale);

// A time code "HH:MM:SS:FF", or "HH:MM:SS;FF" (any separator ';' marks drop frame).
struct TimeCodeText {
  int hours = 0, minutes = 0, seconds = 0, frames = 0;
  bool dropFrame = false;
};
std::optional<TimeCodeText> parseTimeCode(std::string_view text);

// The frame rates a time code track can count in.
struct FrameRate {
  const char* name;      // as given to --rate
  int32_t timeScale;     // units a second
  int32_t frameDuration; // units a frame
  int framesPerSecond;   // the time code's frame numbers, 0 .. framesPerSecond - 1
  bool dropFrameAllowed;
};
const FrameRate* findFrameRate(std::string_view name);
// The standard rate nearest to `fps`, or nullptr when none is within 1%.
const FrameRate* nearestFrameRate(double fps);
std::string frameRateNames();  // "23.976, 24, ..." for messages

}  // namespace tool
