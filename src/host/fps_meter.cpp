#include "host/fps_meter.h"

#include <sys/resource.h>

#include <cstdio>

namespace moonwisp {
namespace {

int64_t cpuMicroseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (static_cast<int64_t>(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000 +
         usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
}

}  // namespace

void FpsMeter::start(int64_t nowNs, uint64_t frames) {
  since_ = nowNs;
  frames_ = frames;
  cpuUs_ = cpuMicroseconds();
}

void FpsMeter::reportIfDue(int64_t nowNs, uint64_t frames) {
  if (nowNs - since_ < kSecondNs) return;
  const int64_t cpu = cpuMicroseconds();
  const double seconds = static_cast<double>(nowNs - since_) / kSecondNs;
  std::fprintf(stderr, "moonwisp: %.1f frames/s, CPU %.1f%%\n", static_cast<double>(frames - frames_) / seconds,
               static_cast<double>(cpu - cpuUs_) / 1e6 / seconds * 100.0);
  since_ = nowNs;
  frames_ = frames;
  cpuUs_ = cpu;
}

}  // namespace moonwisp
