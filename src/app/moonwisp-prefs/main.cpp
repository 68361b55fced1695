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

#include "app/help_texts.h"
#include "platform/core/bundle.h"
#include "platform/core/system_log.h"
#include "platform/core/translation.h"
#include "prefs/VelDateText.h"
#include "prefs/VelPreferenceEditor.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/VelPreferenceKeys.h"
#include "prefs/xscreensaver_listing.h"

using namespace moonwisp;

namespace {

constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;

const char* typeName(VelPrefType type) {
  switch (type) {
    case VelPrefType::Integer:
      return _("an integer");
    case VelPrefType::Boolean:
      return _("true or false");
    case VelPrefType::Date:
      return _("an ISO 8601 date with a time zone, such as 2026-12-06T07:52:41Z");
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
      std::fprintf(stderr, "moonwisp-prefs: %s\n",
                   moonwisp::formatTranslated(_("unknown key \"%s\"; the keys are %s"), {key, keyList()}).c_str());
      return kExitUsage;
    case VelPrefEditResult::InvalidValue:
      std::fprintf(stderr, "moonwisp-prefs: %s\n",
                   moonwisp::formatTranslated(_("\"%s\" is not a valid value for %s: expected %s"),
                                    {value, key, typeName(findVelPrefKey(key)->type)})
                       .c_str());
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

  moonwisp::useTranslations(moonwisp::Bundle::main());
  CLI::App app{_("Reads and changes the Moonwisp screen saver's settings.")};
  moonwisp::translateHelp(app);
  // The usage line names the program as the user typed it, without its folder.
  const std::string invoked = argc > 0 && argv[0] ? argv[0] : "moonwisp-prefs";
  app.name(invoked.substr(invoked.find_last_of('/') + 1));
  app.require_subcommand(1);
  app.set_version_flag("--version", "moonwisp-prefs " MOONWISP_VERSION, _("print the version and end"));
  std::string file;
  app.add_option("--file", file, _("Use this settings file instead of the user's"))->type_name(_("FILE"));

  CLI::App* read = app.add_subcommand("read", _("Print the settings as the saver reads them"));
  std::string key, value;
  CLI::App* write = app.add_subcommand("write", moonwisp::formatTranslated(_("Store one setting (keys: %s)"), keyList()));
  write->add_option("key", key, _("The setting's key"))->required()->type_name(_("KEY"));
  write->add_option("value", value, _("Its value"))->required()->type_name(_("VALUE"));
  CLI::App* erase = app.add_subcommand("delete", _("Remove one setting, so that its default applies"));
  erase->add_option("key", key, _("The setting's key"))->required()->type_name(_("KEY"));
  CLI::App* path = app.add_subcommand("path", _("Print the settings file's path"));
  CLI::App* xscreensaver =
      app.add_subcommand("xscreensaver", _("List Moonwisp in XScreenSaver's display modes (~/.xscreensaver), or not"));
  xscreensaver->require_subcommand(1);
  std::string userFile;
  std::string appDefaults = moonwisp::kXScreenSaverAppDefaults;
  xscreensaver->add_option("--user-file", userFile, _("XScreenSaver's settings file (default: ~/.xscreensaver)"))
      ->type_name(_("FILE"));
  xscreensaver
      ->add_option("--app-defaults", appDefaults, _("XScreenSaver's defaults, whose list a new settings file starts from"))
      ->type_name(_("FILE"))
      ->capture_default_str();
  // The options may come after add or remove too.
  CLI::App* listAdd =
      xscreensaver->add_subcommand("add", _("Add Moonwisp to the list (nothing to do when it is there)"))->fallthrough();
  CLI::App* listRemove =
      xscreensaver->add_subcommand("remove", _("Take Moonwisp out of the list (nothing to do when it is not there)"))
          ->fallthrough();
  for (CLI::App* command : {read, write, erase, path, xscreensaver, listAdd, listRemove}) command->group(_("Commands"));

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
