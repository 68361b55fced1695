// The moonwisp command line as one table: XScreenSaver's single-dash options
// and the double-dash ones, window ids in decimal and hex, sizes, the window
// system chosen from the session, and the combinations that make no sense.
#include "app/moonwisp/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using moonwisp::CommandLine;

// What the arguments ask for, in one line, or "error: " and the message.
std::string summary(std::vector<std::string> arguments, const char* waylandDisplay) {
  arguments.insert(arguments.begin(), "moonwisp");
  CommandLine line;
  std::string error;
  if (!moonwisp::parseCommandLine(arguments, &line, &error)) return "error: " + error;
  static const char* const kModes[] = {"window", "fullscreen", "root", "window-id"};
  const bool wayland = moonwisp::chooseBackend(line, waylandDisplay) == CommandLine::Backend::Wayland;
  std::ostringstream out;
  out << kModes[static_cast<int>(line.mode)];
  if (line.mode == CommandLine::Mode::Window) out << " " << line.width << "x" << line.height;
  if (line.windowId != 0) out << " id " << line.windowId;
  if (line.frames != 0) out << " frames " << line.frames;
  if (line.intervalUs >= 0) out << " us " << line.intervalUs;
  out << (line.preview ? " preview" : "") << (line.fps ? " fps" : "") << (wayland ? " wayland" : " x11");
  return out.str();
}

TEST(CommandLine, EachArgumentListMeansOneThingOrGetsAClearError) {
  const struct {
    std::vector<std::string> arguments;
    const char* waylandDisplay;
    std::string expected;  // the whole summary, or the start of the error
  } cases[] = {
      {{}, nullptr, "window 1280x800 x11"},
      {{}, "wayland-0", "window 1280x800 wayland"},
      {{}, "", "window 1280x800 x11"},
      {{"-root"}, "wayland-0", "root x11"},
      {{"-window-id", "0x1A00003"}, "wayland-0", "window-id id 27262979 x11"},
      {{"--window-id", "0X1fffffff"}, nullptr, "window-id id 536870911 x11"},
      {{"-preview", "-window-id", "4242", "-fps"}, nullptr, "window-id id 4242 preview fps x11"},
      {{"-root", "-window-id", "77"}, nullptr, "window-id id 77 x11"},  // id appended wins
      {{"--fullscreen"}, "/run/user/1000/wayland-1", "fullscreen wayland"},
      {{"-x11", "--fullscreen"}, "wayland-0", "fullscreen x11"},
      {{"--wayland"}, nullptr, "window 1280x800 wayland"},
      {{"--geometry", "1x32767", "--frames", "100000", "--interval-us", "0"}, nullptr,
       "window 1x32767 frames 100000 us 0 x11"},
      {{"--geometry", "0x10"}, nullptr, "error: --geometry wants WIDTHxHEIGHT"},
      {{"--geometry", "32768x10"}, nullptr, "error: --geometry wants WIDTHxHEIGHT"},
      {{"--root", "--geometry", "5x5"}, nullptr, "error: --geometry applies only"},
      {{"--window-id", "0"}, nullptr, "error: --window-id wants a window id"},
      {{"--window-id", "12abc"}, nullptr, "error: --window-id wants a window id"},
      {{"--window-id", "0x20000000"}, nullptr, "error: --window-id wants a window id"},
      {{"--window-id", "99999999999999999999999"}, nullptr, "error: --window-id wants a window id"},
      {{"--fullscreen", "--root"}, nullptr, "error: --fullscreen cannot be combined"},
      {{"--preview"}, nullptr, "error: --preview needs --window-id"},
      {{"--x11", "--wayland"}, nullptr, "error: --x11 and --wayland cannot be combined"},
      {{"--wayland", "-root"}, nullptr, "error: --root and --window-id draw into X11 windows"},
      {{"--frames", "-1"}, nullptr, "error: --frames wants a whole number"},
      {{"--frames", "99999999999999999999999"}, nullptr, "error: --frames wants a whole number"},
      {{"--interval-us", "10000001"}, nullptr, "error: --interval-us"},
      {{"-rot"}, nullptr, "error: "},
  };
  for (const auto& c : cases) {
    const std::string got = summary(c.arguments, c.waylandDisplay);
    SCOPED_TRACE(testing::PrintToString(c.arguments) + " -> " + got);
    if (c.expected.rfind("error: ", 0) != 0) {
      EXPECT_EQ(got, c.expected);
      continue;
    }
    // One line that names what is wrong.
    EXPECT_EQ(got.rfind(c.expected, 0), 0u);
    EXPECT_EQ(got.find('\n'), std::string::npos);
    EXPECT_GT(got.size(), 20u);
  }
}

}  // namespace
