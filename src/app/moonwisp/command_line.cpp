#include "app/moonwisp/command_line.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>

#include "app/help_texts.h"
#include "prefs/VelPreferenceKeys.h"

namespace moonwisp {
namespace {

// XIDs are 29-bit values.
constexpr unsigned long kMaxXid = 0x1fffffffUL;
// Largest window side X accepts.
constexpr unsigned long long kMaxSide = 32767;

bool parseUnsigned(const std::string& text, int base, unsigned long long* value) {
  if (text.empty()) return false;
  for (char c : text)
    if (base == 10 ? !std::isdigit(static_cast<unsigned char>(c)) : !std::isxdigit(static_cast<unsigned char>(c)))
      return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtoull(text.c_str(), &end, base);
  return errno == 0 && end && *end == '\0';
}

// XScreenSaver's single-dash long options become the double-dash ones.
std::string normalised(const std::string& argument) {
  static const char* const kLongNames[] = {"root", "window-id", "preview", "fullscreen",
                                           "geometry", "fps", "help", "version",
                                           "x11", "wayland", "count", "colour-scheme",
                                           "glow", "no-glow", "main-display-only", "all-displays"};
  if (argument.size() > 2 && argument[0] == '-' && argument[1] != '-') {
    const std::string name = argument.substr(1);
    for (const char* known : kLongNames)
      if (name == known) return "--" + name;
  }
  return argument;
}

// A whole number as the settings file would hold it: decimal, 64 bits.
bool parseSetting(const std::string& text, int64_t* value) {
  const bool negative = !text.empty() && text[0] == '-';
  unsigned long long magnitude = 0;
  if (!parseUnsigned(negative ? text.substr(1) : text, 10, &magnitude)) return false;
  if (magnitude > (negative ? 1ULL << 63 : (1ULL << 63) - 1)) return false;
  *value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

}  // namespace

bool parseWindowId(const std::string& text, unsigned long* id) {
  unsigned long long value = 0;
  bool ok;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    ok = parseUnsigned(text.substr(2), 16, &value);
  else
    ok = parseUnsigned(text, 10, &value);
  if (!ok || value == 0 || value > kMaxXid) return false;
  *id = static_cast<unsigned long>(value);
  return true;
}

CommandLine::Backend chooseBackend(const CommandLine& options, const char* waylandDisplay) {
  if (options.backend != CommandLine::Backend::Auto) return options.backend;
  // XScreenSaver's modes name X11 windows.
  if (options.mode == CommandLine::Mode::Root || options.mode == CommandLine::Mode::WindowId)
    return CommandLine::Backend::X11;
  return waylandDisplay && *waylandDisplay ? CommandLine::Backend::Wayland : CommandLine::Backend::X11;
}

bool parseGeometry(const std::string& text, int* width, int* height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  unsigned long long w = 0;
  unsigned long long h = 0;
  if (!parseUnsigned(text.substr(0, x), 10, &w) || !parseUnsigned(text.substr(x + 1), 10, &h)) return false;
  if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  return true;
}

bool parseCommandLine(const std::vector<std::string>& arguments, CommandLine* result, std::string* error) {
  CLI::App app{_("moonwisp: butterflies flying over black, as a screen saver.\n"
                 "Without options it shows them in a window of its own (q or Escape ends it).\n"
                 "The settings are changed with moonwisp-config; a setting given here wins for this run only."),
               "moonwisp"};
  translateHelp(app);
  std::string geometry;
  std::string windowId;
  bool fullScreen = false;
  bool root = false;
  bool version = false;
  bool x11 = false;
  bool wayland = false;
  app.add_option("--geometry", geometry, _("size of the window in pixels (default 1280x800)"))->type_name("WxH");
  app.add_flag("--fullscreen", fullScreen, _("one borderless window over each monitor"));
  app.add_flag("--root", root,
               _("draw into XScreenSaver's window ($XSCREENSAVER_WINDOW), or the root window"));
  app.add_option("--window-id", windowId, _("draw into this existing window (decimal or 0x hex)"))->type_name("ID");
  app.add_flag("--x11", x11, _("draw on the X server ($DISPLAY) even when a Wayland session is running"));
  app.add_flag("--wayland", wayland, _("draw on the Wayland compositor ($WAYLAND_DISPLAY)"));
  app.add_flag("--preview", result->preview, _("draw the small preview (with --window-id)"));
  app.add_flag("--fps", result->fps, _("print frames per second and CPU use once a second on stderr"));
  app.add_flag("--version", version, _("print the version and end"));
  // The settings, for this run only: they win over the stored ones, which
  // hold for every setting not given; nothing is written.
  const std::string settingsGroup = _("Settings for this run");
  std::string count;
  std::string colourScheme;
  app.add_option("--count", count, _("number of butterflies, 20 to 220"))->type_name("N")->group(settingsGroup);
  app.add_option("--colour-scheme", colourScheme,
                 _("colour scheme: 0 green, 1 blue, 2 yellow, 3 violet, 4 red, 5 one of them at random, "
                   "6 changing every 30 seconds, 7 changing every 5 seconds"))
      ->type_name("N")
      ->group(settingsGroup);
  CLI::Option* glowOn = app.add_flag("--glow")->description(_("glow on"))->group(settingsGroup);
  CLI::Option* glowOff = app.add_flag("--no-glow")->description(_("glow off"))->group(settingsGroup);
  CLI::Option* mainOnly = app.add_flag("--main-display-only")
                              ->description(_("the butterflies on the main display only, the others black"))
                              ->group(settingsGroup);
  CLI::Option* allDisplays =
      app.add_flag("--all-displays")->description(_("the butterflies on every display"))->group(settingsGroup);
  // For tests and benchmarks: a fixed number of frames, a faster timer.
  // Read as text: a number type would take "-1" as the largest count.
  std::string frames;
  app.add_option("--frames", frames, _("end after this many frames, 0 for no limit (for tests and benchmarks)"))
      ->type_name("N")
      ->group(_("Tests and benchmarks"));
  app.add_option("--interval-us", result->intervalUs,
                 _("timer period in microseconds, 0 to 10000000, instead of 1/60 s (for tests and benchmarks)"))
      ->type_name("US")
      ->check(CLI::Range(int64_t{0}, int64_t{10000000}).description(""))
      ->group(_("Tests and benchmarks"));

  std::vector<std::string> reversed;  // CLI11 takes the arguments last first
  for (size_t i = arguments.size(); i > 1; --i) reversed.push_back(normalised(arguments[i - 1]));
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    result->message = app.help();
    return true;
  } catch (const CLI::ParseError& e) {
    *error = e.what();
    return false;
  }
  if (version) {
    result->message = std::string("moonwisp ") + MOONWISP_VERSION + "\n";
    return true;
  }

  // A settings panel may append -window-id to a command line that already
  // says -root; the window it names is the one to draw into.
  if (root && !windowId.empty()) root = false;
  const int modes = (fullScreen ? 1 : 0) + (root ? 1 : 0) + (!windowId.empty() ? 1 : 0);
  if (modes > 1) {
    *error = _("--fullscreen cannot be combined with --root or --window-id");
    return false;
  }
  if (!geometry.empty() && modes != 0) {
    *error = _("--geometry applies only to a window of moonwisp's own");
    return false;
  }
  if (!geometry.empty() && !parseGeometry(geometry, &result->width, &result->height)) {
    *error = formatTranslated(_("--geometry wants WIDTHxHEIGHT with each side from 1 to 32767, not \"%s\""), geometry);
    return false;
  }
  unsigned long long frameCount = 0;
  if (!frames.empty() && !parseUnsigned(frames, 10, &frameCount)) {
    *error = formatTranslated(_("--frames wants a whole number of frames, 0 or more, not \"%s\""), frames);
    return false;
  }
  result->frames = frameCount;
  const struct {
    const std::string& text;
    const char* option;
    const char* key;
  } numbers[] = {{count, "--count", kVelPrefQuantity}, {colourScheme, "--colour-scheme", kVelPrefParticleColor}};
  for (const auto& number : numbers) {
    if (number.text.empty()) continue;
    int64_t value = 0;
    if (!parseSetting(number.text, &value)) {
      *error = formatTranslated(_("%s wants a whole number, not \"%s\""), {number.option, number.text});
      return false;
    }
    result->settings.push_back({number.key, value});
  }
  const struct {
    const CLI::Option* on;
    const CLI::Option* off;
    const char* key;
  } switches[] = {{glowOn, glowOff, kVelPrefGlow}, {mainOnly, allDisplays, kVelPrefMainScreenOnly}};
  for (const auto& flag : switches) {
    if (flag.on->count() > 0 && flag.off->count() > 0) {
      *error = formatTranslated(_("%s and %s cannot be combined"), {flag.on->get_name(), flag.off->get_name()});
      return false;
    }
    if (flag.on->count() > 0 || flag.off->count() > 0) result->settings.push_back({flag.key, flag.on->count() > 0});
  }
  if (!windowId.empty() && !parseWindowId(windowId, &result->windowId)) {
    *error = formatTranslated(_("--window-id wants a window id in decimal or 0x hex, not \"%s\""), windowId);
    return false;
  }
  if (x11 && wayland) {
    *error = _("--x11 and --wayland cannot be combined");
    return false;
  }
  if (wayland && (root || !windowId.empty())) {
    *error = _("--root and --window-id draw into X11 windows; they cannot be combined with --wayland");
    return false;
  }
  result->backend = x11       ? CommandLine::Backend::X11
                    : wayland ? CommandLine::Backend::Wayland
                              : CommandLine::Backend::Auto;
  if (result->preview && windowId.empty()) {
    *error = _("--preview needs --window-id");
    return false;
  }
  result->mode = fullScreen      ? CommandLine::Mode::FullScreen
                 : root          ? CommandLine::Mode::Root
                 : !windowId.empty() ? CommandLine::Mode::WindowId
                                 : CommandLine::Mode::Window;
  return true;
}

}  // namespace moonwisp
