#include "times.h"

#include <climits>
#include <cmath>
#include <cstdio>

namespace tool {
namespace {

// Reads minDigits to maxDigits decimal digits.
bool readNumber(std::string_view text, size_t& at, size_t minDigits, size_t maxDigits, int& out) {
  size_t start = at;
  out = 0;
  while (at < text.size() && at - start < maxDigits && text[at] >= '0' && text[at] <= '9')
    out = out * 10 + (text[at++] - '0');
  return at - start >= minDigits;
}

bool expect(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

const FrameRate kRates[] = {
    {"23.976", 24000, 1001, 24, false}, {"24", 2400, 100, 24, false},   {"25", 2500, 100, 25, false},
    {"29.97", 2997, 100, 30, true},     {"30", 3000, 100, 30, false},   {"50", 5000, 100, 50, false},
    {"59.94", 5994, 100, 60, true},     {"60", 6000, 100, 60, false},
};

}  // namespace

std::optional<int64_t> parseClock(std::string_view text) {
  size_t at = 0;
  int h, m, s, ms = 0;
  if (!readNumber(text, at, 1, 3, h) || !expect(text, at, ':') || !readNumber(text, at, 2, 2, m) ||
      !expect(text, at, ':') || !readNumber(text, at, 2, 2, s))
    return std::nullopt;
  if (at < text.size()) {
    size_t start = at + 1;
    if (!expect(text, at, '.') || !readNumber(text, at, 1, 3, ms)) return std::nullopt;
    for (size_t digits = at - start; digits < 3; ++digits) ms *= 10;
  }
  if (at != text.size() || m >= 60 || s >= 60) return std::nullopt;
  return ((int64_t(h) * 60 + m) * 60 + s) * 1000 + ms;
}

const char kEditTimeForms[] = "HH:MM:SS.mmm, seconds (12.5) or a frame number (f300)";

std::optional<EditTime> parseEditTime(std::string_view text) {
  if (text.size() > 1 && text[0] == 'f') {
    size_t at = 1;
    int64_t frame = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && frame < INT32_MAX; ++at)
      frame = frame * 10 + (text[at] - '0');
    if (at != text.size()) return std::nullopt;
    return EditTime{true, frame};
  }
  if (text.find(':') != std::string_view::npos) {
    std::optional<int64_t> ms = parseClock(text);
    if (!ms) return std::nullopt;
    return EditTime{false, *ms * 1000};
  }
  size_t at = 0;
  int seconds = 0, fraction = 0;
  // Nine digits of seconds is over thirty years: far past any movie.
  if (!readNumber(text, at, 1, 9, seconds)) return std::nullopt;
  if (at < text.size()) {
    const size_t start = at + 1;
    if (!expect(text, at, '.') || !readNumber(text, at, 1, 6, fraction)) return std::nullopt;
    for (size_t digits = at - start; digits < 6; ++digits) fraction *= 10;
  }
  if (at != text.size()) return std::nullopt;
  return EditTime{false, int64_t(seconds) * 1000000 + fraction};
}

int64_t unitsAt(int64_t microseconds, int64_t scale) {
  return static_cast<int64_t>(static_cast<__int128>(microseconds) * scale / 1000000);
}

std::string formatClock(int64_t milliseconds) {
  const char* sign = milliseconds < 0 ? "-" : "";
  int64_t v = std::llabs(milliseconds);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%02lld:%02lld:%02lld.%03lld", sign, static_cast<long long>(v / 3600000),
                static_cast<long long>(v / 60000 % 60), static_cast<long long>(v / 1000 % 60),
                static_cast<long long>(v % 1000));
  return buf;
}

int64_t toMilliseconds(int64_t time, int64_t scale) {
  if (scale <= 0) return 0;
  return static_cast<int64_t>(std::llround(static_cast<long double>(time) * 1000 / scale));
}

int64_t fromMilliseconds(int64_t milliseconds, int64_t scale) {
  return static_cast<int64_t>(std::llround(static_cast<long double>(milliseconds) * scale / 1000));
}

std::optional<TimeCodeText> parseTimeCode(std::string_view text) {
  TimeCodeText tc;
  size_t at = 0;
  bool drop = false;
  auto separator = [&] {
    if (at < text.size() && (text[at] == ';' || text[at] == ':')) {
      drop = drop || text[at] == ';';
      ++at;
      return true;
    }
    return false;
  };
  if (!readNumber(text, at, 2, 2, tc.hours) || !separator() || !readNumber(text, at, 2, 2, tc.minutes) ||
      !separator() || !readNumber(text, at, 2, 2, tc.seconds) || !separator() ||
      !readNumber(text, at, 2, 3, tc.frames) || at != text.size())
    return std::nullopt;
  if (tc.hours >= 24 || tc.minutes >= 60 || tc.seconds >= 60) return std::nullopt;
  tc.dropFrame = drop;
  return tc;
}

const FrameRate* findFrameRate(std::string_view name) {
  for (const FrameRate& r : kRates)
    if (name == r.name) return &r;
  if (name == "23.98") return &kRates[0];
  return nullptr;
}

const FrameRate* nearestFrameRate(double fps) {
  const FrameRate* best = nullptr;
  double bestError = 0.01;
  for (const FrameRate& r : kRates) {
    double rate = double(r.timeScale) / r.frameDuration;
    double error = std::fabs(fps - rate) / rate;
    if (error < bestError) {
      bestError = error;
      best = &r;
    }
  }
  return best;
}

std::string frameRateNames() {
  std::string names;
  for (const FrameRate& r : kRates) names += (names.empty() ? "" : ", ") + std::string(r.name);
  return names;
}

}  // namespace tool
