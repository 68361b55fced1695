// A long run with a fast timer: many frames through the whole host and view,
// ending by itself. Under AddressSanitizer its leak check runs at the exit;
// in the optimised build the resident size must not keep growing: the second half of
// the run may not rise above the first half's peak by more than allocator
// slack, which settles early, while any per-frame loss grows with the frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/x_server.h"

namespace {

using moonwisp::test::ChildProcess;
using moonwisp::test::describe;
using moonwisp::test::exitedWith;

constexpr int kFrames = MOONWISP_SOAK_FRAMES;

TEST(MoonwispSoak, ManyFramesEndCleanlyWithoutLeaksOrGrowth) {
  Display* display = XOpenDisplay(nullptr);
  MOONWISP_NEEDS_SERVER(display, "no X display");
  XCloseDisplay(display);
  std::string dir = moonwisp::test::temporaryPattern("moonwisp-soak");
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string configHome = dir;

  // The fewest butterflies and no glow keep the frames cheap enough for this
  // many in a sanitizer build; every frame still runs the whole path.
  for (const auto& [key, value] : {std::pair<const char*, const char*>{"quantity", "20"}, {"glow", "0"}}) {
    ChildProcess tool({MOONWISP_PREFS_PATH, "write", key, value}, {"XDG_CONFIG_HOME=" + configHome});
    ASSERT_TRUE(exitedWith(tool.waitFor(10000), 0)) << tool.output();
  }
  // No quarantine and no fill of fresh blocks: the GL driver allocates and
  // frees large blocks at every draw, and a quarantine filling up would look
  // like growth. The leak check at the exit is what finds lost blocks.
  std::string asanOptions = "detect_leaks=1:quarantine_size_mb=0:max_malloc_fill_size=0";
  if (const char* inherited = std::getenv("ASAN_OPTIONS")) asanOptions = std::string(inherited) + ":" + asanOptions;
  std::vector<std::string> env{"XDG_CONFIG_HOME=" + configHome, "ASAN_OPTIONS=" + asanOptions,
                               // The GL driver renders on our thread: no thread hand-offs per frame.
                               "LP_NUM_THREADS=0", "WAYLAND_DISPLAY"};
  const std::string suppressions = std::string(MOONWISP_SOURCE_DIR) + "/tests/lsan.supp";
  if (access(suppressions.c_str(), R_OK) == 0) env.push_back("LSAN_OPTIONS=suppressions=" + suppressions);

  ChildProcess program({MOONWISP_PATH, "--geometry", "16x16", "--frames", std::to_string(kFrames),
                        "--interval-us", "0"},
                       env);
  ASSERT_TRUE(program.started());
  // Resident sizes while the program draws, read until it ends by itself.
  std::vector<long> samples;
  while (program.running()) {
    const long resident = program.residentKb();
    if (resident > 0) samples.push_back(resident);
    moonwisp::test::sleepMs(50);
  }
  const auto status = program.waitFor(0);
  const std::string output = program.output();
  EXPECT_TRUE(exitedWith(status, 0)) << describe(status) << "\n" << output.substr(0, 8000);
  EXPECT_EQ(output.find("LeakSanitizer"), std::string::npos) << output.substr(0, 8000);
  ASSERT_GE(samples.size(), 8u) << "the program ended too soon to be watched";
  const auto middle = samples.begin() + static_cast<long>(samples.size() / 2);
  const long firstHalf = *std::max_element(samples.begin(), middle);
  const long secondHalf = *std::max_element(middle, samples.end());
  std::printf("%d frames; resident at most %ld kB in the first half, %ld kB in the second\n", kFrames, firstHalf,
              secondHalf);
#ifndef __SANITIZE_ADDRESS__
  // A loss of 80 bytes a frame would add 4 MB over the second half alone.
  // (The sanitizer's allocator keeps its own slack and records every new
  // allocation stack; its build has the leak check above instead.)
  EXPECT_LE(secondHalf - firstHalf, 4096) << "the resident size kept growing";
#endif
  ChildProcess({"/bin/rm", "-rf", configHome}).waitFor(5000);
}

}  // namespace
