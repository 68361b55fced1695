#pragma once
// --fps: frames per second and the process's CPU share, printed on stderr
// once a second by whichever host loop runs.
#include <cstdint>

namespace moonwisp {

class FpsMeter {
 public:
  // Starts the first one-second window at now (monotonic nanoseconds).
  void start(int64_t nowNs, uint64_t frames);
  // When the current window ends.
  int64_t nextReport() const { return since_ + kSecondNs; }
  // Prints one line when a second has passed since the last one.
  void reportIfDue(int64_t nowNs, uint64_t frames);

 private:
  static constexpr int64_t kSecondNs = 1000000000;
  int64_t since_ = 0;
  uint64_t frames_ = 0;
  int64_t cpuUs_ = 0;
};

}  // namespace moonwisp
