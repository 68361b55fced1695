#include "prefs/xscreensaver_listing.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/core/translation.h"
#include "platform/xscreensaver/programs_file.h"

namespace moonwisp {
namespace {

// Moonwisp's line in the list, laid out as XScreenSaver lays out its own.
constexpr char kProgram[] = "moonwisp";
constexpr char kEntry[] = "  GL: \t\t\t\tmoonwisp --root\t\t\t\t    ";

}  // namespace

XScreenSaverListing changeXScreenSaverListing(bool add, const std::string& userFile, const std::string& appDefaults) {
  ProgramsFileChange change;
  change.kind = add ? ProgramsFileChange::Kind::Add : ProgramsFileChange::Kind::Remove;
  change.userFile = userFile.empty() ? xscreensaverUserFile() : userFile;
  change.appDefaultsFile = appDefaults;
  change.program = kProgram;
  change.entry = kEntry;
  const ProgramsFileResult result = changeXScreenSaverPrograms(change);
  const std::string& file = change.userFile;
  const std::string backup = programsBackupPath(file);
  XScreenSaverListing listing;
  listing.ok = result.status != ProgramsFileResult::Status::Failed;
  switch (result.status) {
    case ProgramsFileResult::Status::Failed:
      listing.message = formatTranslated(_("%s was not changed, because %s."), {file, result.reason});
      break;
    case ProgramsFileResult::Status::Unchanged:
      if (!add)
        listing.message =
            formatTranslated(_("Moonwisp is not in XScreenSaver's list of display modes (%s); nothing to do."), file);
      else if (result.disabled)
        listing.message = formatTranslated(_("Moonwisp is in XScreenSaver's list of display modes already (%s), "
                                             "switched off: tick it in xscreensaver-settings to have it chosen."),
                                           file);
      else
        listing.message = formatTranslated(
            _("Moonwisp is in XScreenSaver's list of display modes already (%s); nothing to do."), file);
      break;
    case ProgramsFileResult::Status::Changed:
      if (!add)
        listing.message = formatTranslated(
            _("Moonwisp is no longer in XScreenSaver's list of display modes (%s; the previous file is %s)."),
            {file, backup});
      else if (result.created)
        listing.message = formatTranslated(
            _("Moonwisp is now in XScreenSaver's list of display modes (%s, made with XScreenSaver's own list)."),
            file);
      else
        listing.message = formatTranslated(
            _("Moonwisp is now in XScreenSaver's list of display modes (%s; the previous file is %s)."),
            {file, backup});
      break;
  }
  return listing;
}

bool xscreensaverInstalled() {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && access((folder + "/xscreensaver").c_str(), X_OK) == 0) return true;
  return false;
}

}  // namespace moonwisp
