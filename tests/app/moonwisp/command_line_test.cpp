// The moonwisp command line as one table: XScreenSaver's single-dash options
// and the double-dash ones, window ids in decimal and hex, sizes, the window
// system chosen from the session, and the combinations that make no sense;
// then the settings given for one run, as the saver reads them.
#include "app/moonwisp/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "prefs/VelPreferenceHandler.h"
#include "prefs/VelPreferenceKeys.h"
#include "support/files.h"

namespace moonwisp {
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
      {{}, nullptr, "window 1280x800 x11"}, {{}, "wayland-0", "window 1280x800 wayland"},
      {{}, "", "window 1280x800 x11"}, {{"-root"}, "wayland-0", "root x11"},
      {{"-window-id", "0x1A00003"}, "wayland-0", "window-id id 27262979 x11"},
      {{"--window-id", "0X1fffffff"}, nullptr, "window-id id 536870911 x11"},
      {{"-preview", "-window-id", "4242", "-fps"}, nullptr, "window-id id 4242 preview fps x11"},
      {{"-root", "-window-id", "77"}, nullptr, "window-id id 77 x11"},  // id appended wins
      {{"--fullscreen"}, "/run/user/1000/wayland-1", "fullscreen wayland"},
      {{"-x11", "--fullscreen"}, "wayland-0", "fullscreen x11"}, {{"--wayland"}, nullptr, "window 1280x800 wayland"},
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
      {{"--interval-us", "10000001"}, nullptr, "error: --interval-us"}, {{"-rot"}, nullptr, "error: "},
  };
  for (const auto& c : cases) {
    const std::string got = summary(c.arguments, c.waylandDisplay);
    SCOPED_TRACE(testing::PrintToString(c.arguments) + " -> " + got);
    // An error is one line that names what is wrong.
    if (c.expected.rfind("error: ", 0) != 0) EXPECT_EQ(got, c.expected);
    else EXPECT_TRUE(got.rfind(c.expected, 0) == 0 && got.find('\n') == std::string::npos && got.size() > 20);
  }
}

// The settings a run sees: those given on its command line, read by the
// stored settings' rules (out of range as the file's values would be), over
// the stored ones, which hold for everything not given.
TEST(CommandLine, SettingsGivenForOneRunWinOverTheStoredOnes) {
  moonwisp::test::TestFolder folder;
  const std::string stored = folder / "stored.ini";
  const std::string before = std::string("[") + velPrefsGroup() +
                             "]\nquantity=150\nparticleColor=3\nglow=0\nmainscreenonly=true\ncheckForUpdates=false\n";
  moonwisp::test::writeFile(stored, before);

  const struct {
    std::vector<std::string> arguments;
    std::string file;      // the stored settings' path, or none stored
    std::string expected;  // quantity, colour, glow, main display only; or the start of the error
  } cases[] = {
      {{}, "", "77 6 1 0"}, {{}, stored, "150 3 0 1"}, {{"--count", "100"}, stored, "100 3 0 1"},
      {{"-count", "220", "-colour-scheme", "0", "-glow", "-all-displays"}, stored, "220 0 1 0"},
      {{"--no-glow", "--main-display-only"}, "", "77 6 0 1"},
      {{"--count", "5"}, "", "20 6 1 0"}, {{"--count", "500"}, stored, "220 3 0 1"},
      {{"--count", "-5"}, stored, "20 3 0 1"},
      {{"--count", "-9223372036854775808"}, stored, "20 3 0 1"},
      {{"--colour-scheme", "9"}, stored, "150 6 0 1"}, {{"--colour-scheme", "258"}, "", "77 2 1 0"},
      {{"--colour-scheme", "-1"}, stored, "150 6 0 1"},
      {{"--count", "20", "--colour-scheme", "7", "--root"}, stored, "20 7 0 1"},
      {{"--count", "ten"}, "", "error: --count wants a whole number"},
      {{"--count", "9223372036854775808"}, "", "error: --count wants a whole number"},
      {{"--colour-scheme", "2.5"}, "", "error: --colour-scheme wants a whole number"},
      {{"--glow", "--no-glow"}, "", "error: --glow and --no-glow cannot be combined"},
      {{"--main-display-only", "--all-displays"}, "", "error: --main-display-only and --all-displays"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.begin(), "moonwisp");
    CommandLine line;
    std::string error, got;
    if (!moonwisp::parseCommandLine(arguments, &line, &error)) {
      got = "error: " + error;
    } else {
      VelPreferenceHandler handler(c.file.empty() ? folder / "none.ini" : c.file);
      handler.setOverrides(line.settings);
      VelPrefs prefs{};
      handler.getVelPrefs(&prefs);
      got = std::to_string(prefs.quantity) + " " + std::to_string(prefs.particleColor) + " " +
            std::to_string(prefs.glow) + " " + (prefs.mainscreenonly ? "1" : "0");
      // What is not a command-line setting is the stored one.
      EXPECT_EQ(prefs.checkForUpdates, c.file.empty());
    }
    SCOPED_TRACE(testing::PrintToString(c.arguments) + " -> " + got);
    EXPECT_EQ(got.rfind(c.expected, 0), 0u);
  }
  // Reading never writes, and nothing made a file where none was stored.
  EXPECT_EQ(moonwisp::test::readFile(stored), before);
  const std::vector<std::string> files = folder.list();
  EXPECT_EQ(std::count(files.begin(), files.end(), "none.ini"), 0);
}

// Every option XScreenSaver's dialog can pass (moonwisp.xml) is one that
// moonwisp takes, and changes the setting it is named for.
TEST(CommandLine, XScreenSaversDialogPassesOnlyOptionsItTakes) {
  const std::string xml = moonwisp::test::readFile(MOONWISP_SOURCE_DIR "/src/app/moonwisp/moonwisp.xml");
  static const std::regex kArgument("(arg|arg-set|arg-unset)=\"([^\"]*)\"");
  std::vector<std::string> keys;
  for (std::sregex_iterator at(xml.begin(), xml.end(), kArgument), end; at != end; ++at) {
    std::istringstream words(std::regex_replace((*at)[2].str(), std::regex("%"), "150"));
    std::vector<std::string> arguments{"moonwisp"};
    for (std::string word; words >> word;) arguments.push_back(word);
    CommandLine line;
    std::string error;
    SCOPED_TRACE((*at)[2].str());
    EXPECT_TRUE(moonwisp::parseCommandLine(arguments, &line, &error)) << error;
    for (const VelPrefOverride& setting : line.settings) keys.push_back(setting.key);
  }
  // The slider, seven colour schemes (the default passes none), two check boxes.
  EXPECT_EQ(keys.size(), 1u + 7u + 2u);
  for (const char* key : {kVelPrefQuantity, kVelPrefParticleColor, kVelPrefGlow, kVelPrefMainScreenOnly})
    EXPECT_NE(std::find(keys.begin(), keys.end(), std::string(key)), keys.end()) << key;
}

}  // namespace
}  // namespace moonwisp
