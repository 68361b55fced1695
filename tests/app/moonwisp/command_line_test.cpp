// The moonwisp command line: XScreenSaver's single-dash options, window ids in
// decimal and hex, sizes, and the combinations that make no sense.
#include "app/moonwisp/command_line.h"

#include <gtest/gtest.h>

namespace {

using moonwisp::CommandLine;

bool parse(std::vector<std::string> arguments, CommandLine* result, std::string* error = nullptr) {
  arguments.insert(arguments.begin(), "moonwisp");
  std::string ignored;
  return moonwisp::parseCommandLine(arguments, result, error ? error : &ignored);
}

TEST(CommandLine, ModesInBothSpellings) {
  CommandLine plain;
  ASSERT_TRUE(parse({}, &plain));
  EXPECT_EQ(plain.mode, CommandLine::Mode::Window);
  EXPECT_EQ(plain.width, 1280);
  EXPECT_EQ(plain.height, 800);
  EXPECT_EQ(plain.intervalUs, -1);
  EXPECT_EQ(plain.frames, 0u);

  for (const char* root : {"-root", "--root"}) {
    CommandLine line;
    ASSERT_TRUE(parse({root}, &line)) << root;
    EXPECT_EQ(line.mode, CommandLine::Mode::Root);
  }
  for (const char* option : {"-window-id", "--window-id"}) {
    CommandLine line;
    ASSERT_TRUE(parse({option, "0x1A00003"}, &line)) << option;
    EXPECT_EQ(line.mode, CommandLine::Mode::WindowId);
    EXPECT_EQ(line.windowId, 0x1a00003ul);
  }
  CommandLine preview;
  ASSERT_TRUE(parse({"-preview", "-window-id", "4242", "-fps"}, &preview));
  EXPECT_TRUE(preview.preview);
  EXPECT_TRUE(preview.fps);
  EXPECT_EQ(preview.windowId, 4242ul);

  CommandLine both;  // a window id appended to a -root command line wins
  ASSERT_TRUE(parse({"-root", "-window-id", "77"}, &both));
  EXPECT_EQ(both.mode, CommandLine::Mode::WindowId);

  CommandLine sized;
  ASSERT_TRUE(parse({"--geometry", "1x32767", "--frames", "100000", "--interval-us", "0"}, &sized));
  EXPECT_EQ(sized.width, 1);
  EXPECT_EQ(sized.height, 32767);
  EXPECT_EQ(sized.frames, 100000u);
  EXPECT_EQ(sized.intervalUs, 0);

  CommandLine help;
  ASSERT_TRUE(parse({"--help"}, &help));
  EXPECT_NE(help.message.find("--window-id"), std::string::npos);
}

TEST(CommandLine, BadArgumentsSayWhatIsWrong) {
  const std::vector<std::vector<std::string>> bad = {
      {"--geometry", "0x10"},      {"--geometry", "32768x10"}, {"--geometry", "10x"},
      {"--geometry", "-5x10"},     {"--window-id", "0"},       {"--window-id", "0x"},
      {"--window-id", "12abc"},    {"--window-id", "0x20000000"}, {"--window-id", "-3"},
      {"--fullscreen", "--root"},  {"--fullscreen", "--window-id", "5"}, {"--root", "--geometry", "5x5"},
      {"--preview"},               {"--interval-us", "10000001"}, {"-rot"},
      {"stray"},                   {"--x11", "--wayland"},     {"--wayland", "-root"},
      {"--wayland", "--window-id", "5"},
      {"stray"},                   {"--frames", "-1"},         {"--frames", "1.5"},
      {"--frames", "99999999999999999999999"},
  };
  for (const auto& arguments : bad) {
    CommandLine line;
    std::string error;
    EXPECT_FALSE(parse(arguments, &line, &error)) << arguments[0];
    EXPECT_FALSE(error.empty()) << arguments[0];
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    // The message names the option at fault, in plain words.
    if (arguments[0] == "--frames") {
      EXPECT_EQ(error.find("--frames wants a whole number"), 0u) << error;
    }
  }
}

// Wayland when a compositor is named, unless XScreenSaver's modes or an
// option say otherwise.
TEST(CommandLine, WindowSystemFollowsTheSessionUnlessForced) {
  using Backend = CommandLine::Backend;
  struct Case {
    std::vector<std::string> arguments;
    const char* waylandDisplay;
    Backend expected;
  };
  const Case cases[] = {
      {{}, "wayland-0", Backend::Wayland},
      {{"--fullscreen"}, "/run/user/1000/wayland-1", Backend::Wayland},
      {{}, nullptr, Backend::X11},
      {{}, "", Backend::X11},
      {{"-root"}, "wayland-0", Backend::X11},
      {{"-window-id", "0x400001"}, "wayland-0", Backend::X11},
      {{"--x11"}, "wayland-0", Backend::X11},
      {{"-x11", "--fullscreen"}, "wayland-0", Backend::X11},
      {{"--wayland"}, nullptr, Backend::Wayland},
      {{"--x11", "-root"}, nullptr, Backend::X11},
  };
  for (const Case& c : cases) {
    CommandLine line;
    ASSERT_TRUE(parse(c.arguments, &line)) << testing::PrintToString(c.arguments);
    EXPECT_EQ(moonwisp::chooseBackend(line, c.waylandDisplay), c.expected)
        << testing::PrintToString(c.arguments) << " with WAYLAND_DISPLAY "
        << (c.waylandDisplay ? c.waylandDisplay : "unset");
  }
}

TEST(CommandLine, WindowIdsAndGeometries) {
  unsigned long id = 0;
  EXPECT_TRUE(moonwisp::parseWindowId("0x1fffffff", &id));
  EXPECT_EQ(id, 0x1ffffffful);
  EXPECT_TRUE(moonwisp::parseWindowId("0XaB", &id));
  EXPECT_EQ(id, 0xabul);
  EXPECT_FALSE(moonwisp::parseWindowId("", &id));
  EXPECT_FALSE(moonwisp::parseWindowId(" 12", &id));
  EXPECT_FALSE(moonwisp::parseWindowId("99999999999999999999999", &id));
  int width = 0;
  int height = 0;
  EXPECT_TRUE(moonwisp::parseGeometry("640X480", &width, &height));
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_FALSE(moonwisp::parseGeometry("640x480x2", &width, &height));
  EXPECT_FALSE(moonwisp::parseGeometry("x480", &width, &height));
}

}  // namespace
