// A long run with a fast timer: many frames through the whole host and view,
// ending by itself. Under AddressSanitizer its leak check runs at the exit;
// in every build the resident size must stay flat after the first second.
#include <gtest/gtest.h>

#include "../../platform/host/x_test_support.h"

namespace {

using moonwisp::test::ChildProcess;
using moonwisp::test::describe;
using moonwisp::test::exitedWith;

constexpr int kFrames = MOONWISP_SOAK_FRAMES;

TEST(MoonwispSoak, ManyFramesEndCleanlyWithoutLeaksOrGrowth) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) GTEST_SKIP() << "no X display";
  XCloseDisplay(display);
  char dir[] = "/tmp/moonwisp-soak-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string configHome = dir;

  // The fewest butterflies and no glow keep the frames cheap enough for this
  // many in a sanitizer build; every frame still runs the whole path.
  for (const auto& [key, value] : {std::pair<const char*, const char*>{"quantity", "20"}, {"glow", "0"}}) {
    ChildProcess tool({MOONWISP_PREFS_PATH, "write", key, value}, {"XDG_CONFIG_HOME=" + configHome});
    ASSERT_TRUE(exitedWith(tool.waitFor(10000), 0)) << tool.output();
  }
  // A small quarantine and no fill of fresh blocks: the GL driver allocates
  // and frees large blocks at every draw, and those would dominate.
  std::string asanOptions = "detect_leaks=1:quarantine_size_mb=16:max_malloc_fill_size=0";
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
  moonwisp::test::sleepMs(1000);
  long afterFirstSecond = 0;
  long largest = 0;
  // The first reading that shows the program drawing sets the baseline.
  while (program.running()) {
    const long resident = program.residentKb();
    if (resident > 0) {
      if (afterFirstSecond == 0) afterFirstSecond = resident;
      largest = std::max(largest, resident);
    }
    moonwisp::test::sleepMs(100);
  }
  const auto status = program.waitFor(0);
  const std::string output = program.output();
  EXPECT_TRUE(exitedWith(status, 0)) << describe(status) << "\n" << output.substr(0, 8000);
  EXPECT_EQ(output.find("LeakSanitizer"), std::string::npos) << output.substr(0, 8000);
  std::printf("%d frames; resident %ld kB after 1 s, %ld kB at most later\n", kFrames, afterFirstSecond, largest);
  ASSERT_GT(afterFirstSecond, 0) << "the program ended within its first second";
  // Allocator slack, not a leak: a per-frame loss of a few bytes over this
  // many frames would be far above it.
  EXPECT_LE(largest - afterFirstSecond, 3072) << "resident " << afterFirstSecond << " kB after 1 s, "
                                              << largest << " kB at most later";
  ChildProcess({"/bin/rm", "-rf", configHome}).waitFor(5000);
}

}  // namespace
