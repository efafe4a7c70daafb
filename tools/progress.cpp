#include "progress.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace tool {
namespace {

// Operations shorter than this show nothing; the line is redrawn at most this often.
constexpr auto kQuiet = std::chrono::milliseconds(300);
constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

bool Progress::shown() { return isatty(STDERR_FILENO) && !std::getenv("PELORIN_NO_PROGRESS"); }

Progress::Progress(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), active_(shown()), start_(std::chrono::steady_clock::now()),
      last_(start_) {}

Progress::~Progress() { finish(); }

void Progress::update(int64_t done) {
  if (!active_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - start_ < kQuiet || now - last_ < kRedraw) return;
  last_ = now;
  draw(done);
}

void Progress::draw(int64_t done) {
  if (total_ > 0)
    std::fprintf(stderr, "\r%s %lld/%lld (%lld%%)", label_.c_str(), static_cast<long long>(done),
                 static_cast<long long>(total_), static_cast<long long>(done * 100 / total_));
  else
    std::fprintf(stderr, "\r%s %lld", label_.c_str(), static_cast<long long>(done));
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::finish() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace tool
