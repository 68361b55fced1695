// moonwisp-prefs: reads the saver's settings as the saver sees them, and
// stores or removes single keys, for users and scripts.
//
//   moonwisp-prefs read               one "field value" line per record field
//   moonwisp-prefs write KEY VALUE    store one key (no range check)
//   moonwisp-prefs delete KEY         remove one key (its default applies)
//   moonwisp-prefs path               the settings file's path
//   moonwisp-prefs xscreensaver add     list Moonwisp in ~/.xscreensaver
//   moonwisp-prefs xscreensaver remove  take it out again
//
// Exit status: 0 done (or nothing to do), 1 the file could not be read or
// written (nothing changed), 2 bad usage, an unknown key or a value that is
// not of the key's type.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "platform/core/system_log.h"
#include "prefs/VelDateText.h"
#include "prefs/VelPreferenceEditor.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/VelPreferenceKeys.h"
#include "prefs/xscreensaver_listing.h"

namespace {

constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;

const char* typeName(VelPrefType type) {
  switch (type) {
    case VelPrefType::Integer:
      return "an integer";
    case VelPrefType::Boolean:
      return "true or false";
    case VelPrefType::Date:
      return "an ISO 8601 date with a time zone, such as 2026-12-06T07:52:41Z";
  }
  return "";
}

std::string keyList() {
  std::string list;
  for (const VelPrefKey& key : kVelPrefKeys) list += std::string(list.empty() ? "" : ", ") + key.name;
  return list;
}

void printRecord(const VelPrefs& prefs) {
  std::printf("quantity %d\n", static_cast<int>(prefs.quantity));
  std::printf("particleSize %g\n", static_cast<double>(prefs.particleSize));
  std::printf("particleSpeed %g\n", static_cast<double>(prefs.particleSpeed));
  std::printf("particleColor %d\n", static_cast<int>(prefs.particleColor));
  std::printf("particleType %d\n", static_cast<int>(prefs.particleType));
  std::printf("glow %d\n", static_cast<int>(prefs.glow));
  std::printf("mainscreenonly %s\n", prefs.mainscreenonly ? "true" : "false");
  std::printf("checkForUpdates %s\n", prefs.checkForUpdates ? "true" : "false");
  const std::optional<std::string> date =
      prefs.lastUpdateCheck ? formatVelDate(*prefs.lastUpdateCheck) : std::nullopt;
  std::printf("lastUpdateCheck %s\n", date ? date->c_str() : "null");
}

int report(VelPrefEditResult result, const std::string& key, const std::string& value) {
  switch (result) {
    case VelPrefEditResult::Done:
      return 0;
    case VelPrefEditResult::UnknownKey:
      std::fprintf(stderr, "moonwisp-prefs: unknown key \"%s\"; the keys are %s\n", key.c_str(), keyList().c_str());
      return kExitUsage;
    case VelPrefEditResult::InvalidValue:
      std::fprintf(stderr, "moonwisp-prefs: \"%s\" is not a valid value for %s: expected %s\n", value.c_str(),
                   key.c_str(), typeName(findVelPrefKey(key)->type));
      return kExitUsage;
    case VelPrefEditResult::WriteFailed:
      return kExitWriteFailed;  // the store has said why
  }
  return kExitWriteFailed;
}

int changeXScreenSaverList(bool add, const std::string& userFile, const std::string& appDefaults) {
  const moonwisp::XScreenSaverListing listing = moonwisp::changeXScreenSaverListing(add, userFile, appDefaults);
  if (!listing.ok) {
    std::fprintf(stderr, "moonwisp-prefs: %s\n", listing.message.c_str());
    return kExitWriteFailed;
  }
  std::printf("%s\n", listing.message.c_str());
  return std::fflush(stdout) == 0 ? 0 : kExitWriteFailed;
}

}  // namespace

int main(int argc, char** argv) {
  // A command-line tool reports on stderr, where the user sees it.
  moonwisp::setSystemLogSink([](const std::string& line) { std::fprintf(stderr, "moonwisp-prefs: %s\n", line.c_str()); });

  CLI::App app{"Reads and changes the Moonwisp screen saver's settings."};
  // The usage line names the program as the user typed it, without its folder.
  const std::string invoked = argc > 0 && argv[0] ? argv[0] : "moonwisp-prefs";
  app.name(invoked.substr(invoked.find_last_of('/') + 1));
  app.require_subcommand(1);
  app.set_version_flag("--version", "moonwisp-prefs " MOONWISP_VERSION);
  std::string file;
  app.add_option("--file", file, "Use this settings file instead of the user's");

  CLI::App* read = app.add_subcommand("read", "Print the settings as the saver reads them");
  std::string key, value;
  CLI::App* write = app.add_subcommand("write", "Store one setting (keys: " + keyList() + ")");
  write->add_option("key", key, "The setting's key")->required();
  write->add_option("value", value, "Its value")->required();
  CLI::App* erase = app.add_subcommand("delete", "Remove one setting, so that its default applies");
  erase->add_option("key", key, "The setting's key")->required();
  CLI::App* path = app.add_subcommand("path", "Print the settings file's path");
  CLI::App* xscreensaver =
      app.add_subcommand("xscreensaver", "List Moonwisp in XScreenSaver's display modes (~/.xscreensaver), or not");
  xscreensaver->require_subcommand(1);
  std::string userFile;
  std::string appDefaults = moonwisp::kXScreenSaverAppDefaults;
  xscreensaver->add_option("--user-file", userFile, "XScreenSaver's settings file (default: ~/.xscreensaver)");
  xscreensaver->add_option("--app-defaults", appDefaults,
                           "XScreenSaver's defaults, whose list a new settings file starts from")
      ->capture_default_str();
  // The options may come after add or remove too.
  CLI::App* listAdd = xscreensaver->add_subcommand("add", "Add Moonwisp to the list (nothing to do when it is there)")
                          ->fallthrough();
  xscreensaver->add_subcommand("remove", "Take Moonwisp out of the list (nothing to do when it is not there)")
      ->fallthrough();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitUsage;
  }

  if (*xscreensaver) return changeXScreenSaverList(static_cast<bool>(*listAdd), userFile, appDefaults);

  const VelPreferenceHandler handler = file.empty() ? VelPreferenceHandler() : VelPreferenceHandler(file);
  if (*read) {
    VelPrefs prefs;
    handler.getVelPrefs(&prefs);
    printRecord(prefs);
    return std::fflush(stdout) == 0 ? 0 : kExitWriteFailed;
  }
  if (*path) {
    std::printf("%s\n", handler.path().c_str());
    return std::fflush(stdout) == 0 ? 0 : kExitWriteFailed;
  }
  const VelPreferenceEditor editor(handler.path());
  if (*write) return report(editor.writeValue(key, value), key, value);
  if (*erase) return report(editor.deleteValue(key), key, value);
  return kExitUsage;
}
