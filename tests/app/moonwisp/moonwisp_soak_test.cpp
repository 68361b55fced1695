// A long run with a fast timer: many frames through the whole host and view,
// ending by itself. Under AddressSanitizer its leak check runs at the exit;
// in the optimised build the resident size must not keep growing: the second
// half of the run may not rise above the first half's peak by more than
// allocator slack, which settles early, while any per-frame loss grows with
// the frames.
#include <gtest/gtest.h>

#include "support/files.h"
#include "support/x_server.h"

namespace {

using namespace moonwisp::test;

TEST(MoonwispSoak, ManyFramesEndCleanlyWithoutLeaksOrGrowth) {
  MOONWISP_NEEDS_SERVER(std::getenv("DISPLAY"), "no X display");
  const TestFolder config;
  // The fewest butterflies and no glow keep this many frames cheap enough for
  // a sanitizer build; every frame still runs the whole path.
  for (const auto& [key, value] : {std::pair<const char*, const char*>{"quantity", "20"}, {"glow", "0"}}) {
    ChildProcess tool({MOONWISP_PREFS_PATH, "write", key, value}, {"XDG_CONFIG_HOME=" + config.path()});
    ASSERT_TRUE(exitedWith(tool.waitFor(10000), 0)) << tool.output();
  }
  // No quarantine and no fill of fresh blocks: the GL driver allocates and
  // frees large blocks at every draw, and a quarantine filling up would look
  // like growth. The leak check at the exit is what finds lost blocks.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::vector<std::string> env{
      "XDG_CONFIG_HOME=" + config.path(), "WAYLAND_DISPLAY",
      "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":detect_leaks=1:quarantine_size_mb=0" +
          ":max_malloc_fill_size=0",
      "LSAN_OPTIONS=suppressions=" MOONWISP_LSAN_SUPPRESSIONS,
      "LP_NUM_THREADS=0"};  // the GL driver renders on our thread: no hand-offs per frame
  ChildProcess program({MOONWISP_PATH, "--geometry", "16x16", "--frames", "100000", "--interval-us", "0"}, env);
  std::vector<long> samples;  // resident sizes, read until it ends by itself
  while (program.running()) {
    if (const long resident = program.residentKb(); resident > 0) samples.push_back(resident);
    sleepMs(50);
  }
  const std::string report = program.report().substr(0, 8000);
  EXPECT_TRUE(exitedWith(program.waitFor(0), 0)) << report;
  EXPECT_EQ(report.find("LeakSanitizer"), std::string::npos) << report;
  ASSERT_GE(samples.size(), 8u) << "the program ended too soon to be watched";
  const auto middle = samples.begin() + static_cast<long>(samples.size() / 2);
  const long firstHalf = *std::max_element(samples.begin(), middle);
  const long secondHalf = *std::max_element(middle, samples.end());
  std::printf("resident at most %ld kB in the first half, %ld kB in the second\n", firstHalf, secondHalf);
#ifndef __SANITIZE_ADDRESS__
  // A loss of 80 bytes a frame would add 4 MB over the second half alone. (The
  // sanitizer's allocator keeps its own slack; its build has the leak check.)
  EXPECT_LE(secondHalf - firstHalf, 4096) << "the resident size kept growing";
#endif
}

}  // namespace
