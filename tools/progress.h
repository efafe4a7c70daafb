// Progress of a long operation, shown on stderr when it is a terminal and the
// operation takes long enough to notice; silent otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tool {

class Progress {
 public:
  // `total` 0: a count without an end.
  Progress(std::string label, int64_t total = 0);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void update(int64_t done);
  // Clears the line.
  void finish();

  // Whether stderr is a terminal (false also when PELORIN_NO_PROGRESS is set).
  static bool shown();

 private:
  void draw(int64_t done);

  std::string label_;
  int64_t total_;
  bool active_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace tool
