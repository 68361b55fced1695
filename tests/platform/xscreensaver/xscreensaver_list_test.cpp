// Moonwisp listed in and taken out of XScreenSaver's display modes with
// moonwisp-prefs, over real files: each file as XScreenSaver or a user may
// have left it, what the command makes of it (every other line byte for byte,
// the previous file as the backup), and that a file it cannot read or write
// stays as it was, with one clear line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "support/process.h"

namespace {

using namespace moonwisp::test;

// Moonwisp's line as the command writes it, without its "\n" and backslash.
const std::string M = "  GL: \t\t\t\tmoonwisp --root\t\t\t\t    ";

// XScreenSaver's defaults: a list whose last entry ends the resource.
const std::string kAppDefaults =
    "! XScreenSaver's defaults\n"
    "*mode:\t\trandom\n"
    "*programs:\t\t\\\n"
    "\t\tmaze --root\t\\n\\\n"
    "  GL: \t\tsuperquadrics --root\t\\n\\\n"
    "-\t\tpyro --root\t\\n\n"
    "*pointerHysteresis: 10\n";
// The same list as XScreenSaver writes it into a user's file.
const std::string kDefaultList =
    "programs:\t\t\\\n"
    "\t\tmaze --root\t\\n\\\n"
    "  GL: \t\tsuperquadrics --root\t\\n\\\n"
    "-\t\tpyro --root\t\\n\\\n";

// A user's file as xscreensaver-settings writes it.
const std::string kHead = "# XScreenSaver Preferences File\n\nmode:\t\tone\nselected:\t";
const std::string kList = "\n\nprograms:\t\\\n\t\tmaze --root\t\\n\\\n  GL: \t\tsuperquadrics --root\t\\n\\\n";
const std::string kTail = "\n\npointerHysteresis:  10\n";
std::string written(int selected, const std::string& extra = "") {
  return kHead + std::to_string(selected) + kList + extra + kTail;
}

struct Case {
  const char* what;
  std::optional<std::string> before;  // nothing: no file
  const char* command;                // add or remove
  int status;
  std::optional<std::string> after;   // nothing: as before (and no backup made)
  const char* says;                   // in the output (stdout, or stderr on failure)
};

TEST(XScreenSaverList, EachFileGetsMoonwispAddedOrRemovedAndNothingElse) {
  const std::string withM = written(1, M + "\\n\\\n");
  const Case cases[] = {
      {"no file: XScreenSaver's own list and Moonwisp", std::nullopt, "add", 0, kDefaultList + M + "\\n\\\n\n",
       "made with XScreenSaver's own list"},
      {"XScreenSaver's file", written(1), "add", 0, withM, "now in"},
      {"listed already", withM, "add", 0, std::nullopt, "already"},
      {"listed but switched off", written(1, "-" + M + "\\n\\\n"), "add", 0, std::nullopt, "switched off"},
      {"listed by its full path", written(1, "  GL: /usr/libexec/xscreensaver/moonwisp -root \\n\\\n"), "add", 0,
       std::nullopt, "already"},
      {"taken out again", withM, "remove", 0, written(1), "no longer"},
      {"not listed", written(1), "remove", 0, std::nullopt, "not in"},
      {"no file to remove from", std::nullopt, "remove", 0, std::nullopt, "not in"},
      // "selected:" counts the entries: Moonwisp was the third of four.
      {"after the selected one", written(1, M + "\\n\\\n\t\tqix --root\t\\n\\\n"), "remove", 0,
       written(1, "\t\tqix --root\t\\n\\\n"), "no longer"},
      {"before the selected one", written(3, M + "\\n\\\n\t\tqix --root\t\\n\\\n"), "remove", 0,
       written(2, "\t\tqix --root\t\\n\\\n"), "no longer"},
      {"the selected one", written(2, M + "\\n\\\n"), "remove", 0, written(-1), "no longer"},
      {"a last entry without a backslash", "a: 1\nprograms: \\\n  qix -root \\n\\\n  maze -root \\n\nb: 2\n", "add",
       0, "a: 1\nprograms: \\\n  qix -root \\n\\\n  maze -root \\n\\\n" + M + "\\n\nb: 2\n", "now in"},
      {"the last entry, without a backslash", "programs: \\\n  qix -root \\n\\\n" + M + "\\n\nb: 2", "remove", 0,
       "programs: \\\n  qix -root \\n\nb: 2", "no longer"},
      {"a last entry without its \\n", "programs: \\\n  qix -root \\\n\n", "add", 0,
       "programs: \\\n  qix -root \\\n\\n" + M + "\\n\\\n\n", "now in"},
      {"other settings only", "timeout: 0:10:00", "add", 0, "timeout: 0:10:00\n\n" + kDefaultList + M + "\\n\\\n\n",
       "now in"},
      {"a list that never ends", "programs: \\\n  qix -root \\n\\", "add", 1, std::nullopt, "runs on to the end"},
      {"two lists", "programs: qix\nprograms: maze\n", "add", 1, std::nullopt, "two lists"},
      {"not text", std::string("programs: qix\n\0\n", 16), "add", 1, std::nullopt, "not a text file"},
      {"Moonwisp sharing a line", "programs: \\\n qix -root \\n moonwisp -root \\n\n", "remove", 1, std::nullopt,
       "shares its line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestFolder home;
    const std::string file = home / ".xscreensaver";
    writeFile(home / "app-defaults", kAppDefaults);
    if (c.before) {
      writeFile(file, *c.before);
      chmod(file.c_str(), 0600);
    }
    const ChildResult run =
        runChild({MOONWISP_PREFS_PATH, "xscreensaver", c.command, "--app-defaults", home / "app-defaults"},
                 {"HOME=" + home.path()});
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    const std::string& said = c.status == 0 ? run.out : run.err;
    EXPECT_TRUE(said.find(c.says) != std::string::npos && std::count(said.begin(), said.end(), '\n') == 1) << said;
    if (c.status != 0) {
      EXPECT_EQ(said.rfind("moonwisp-prefs: " + file + " was not changed, because ", 0), 0u);
    }
    const auto content = [](const std::string& path) {
      return exists(path) ? std::optional(readFile(path)) : std::nullopt;
    };
    EXPECT_EQ(content(file), c.after ? c.after : c.before);
    // The previous file is the backup; a file made anew had none.
    EXPECT_EQ(content(file + ".backup"), c.after && c.before ? c.before : std::nullopt);
    EXPECT_TRUE(!c.before || modeOf(file) == 0600u);
    EXPECT_FALSE(exists(file + ".tmp"));
  }
}

// What cannot be done leaves every file as it was; a file behind a link is
// changed where it is and the link stays.
TEST(XScreenSaverList, FailuresChangeNothingAndALinkedFileIsChangedInPlace) {
  namespace fs = std::filesystem;
  TestFolder home;
  const std::string file = home / ".xscreensaver";
  writeFile(home / "app-defaults", kAppDefaults);
  const struct {
    const char* blocked;  // a folder made under this name; "" for none
    const char* says;     // "" when it succeeds
  } cases[] = {
      {".xscreensaver.backup/in-the-way", "backup"},  // the backup cannot be written
      {".xscreensaver.tmp/in-the-way", "cannot be written"},  // nor the file replaced
      {".xscreensaver/in-the-way", "not a plain file"},  // a folder where the file should be
      {"", ""},  // kept elsewhere behind a link
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    fs::remove_all(file);
    if (*c.blocked) {
      writeFile(home / "dotfiles", written(0));
      if (std::string(c.blocked).rfind(".xscreensaver/", 0) != 0) writeFile(file, written(0));
      fs::create_directories(home / c.blocked);
    } else {
      fs::create_symlink(home / "dotfiles", file);
    }
    const ChildResult run = runChild(
        {MOONWISP_PREFS_PATH, "xscreensaver", "add", "--app-defaults", home / "app-defaults"}, {"HOME=" + home.path()});
    EXPECT_EQ(run.status, *c.says ? 1 : 0) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    if (*c.blocked) {
      EXPECT_TRUE(fs::is_directory(file) || readFile(file) == written(0));
      fs::remove_all(home / fs::path(c.blocked).parent_path());
    }
  }
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_EQ(readFile(home / "dotfiles"), written(0, M + "\\n\\\n"));
  EXPECT_EQ(readFile(home / "dotfiles.backup"), written(0));
  // No file and no XScreenSaver: no list to start from.
  fs::remove(file);
  const ChildResult run = runChild({MOONWISP_PREFS_PATH, "xscreensaver", "add", "--app-defaults", home / "missing"},
                                   {"HOME=" + home.path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is XScreenSaver installed?"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(file));
}

}  // namespace
