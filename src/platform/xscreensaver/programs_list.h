#pragma once
// XScreenSaver's list of display modes, the "programs:" resource of the
// user's ~/.xscreensaver: one program's entry added or removed as a text edit.
// Every line the edit is not about stays byte for byte; at most the line
// before or after the entry gains or loses the backslash that continues the
// list. The list's entries are counted as XScreenSaver counts them, so that
// "selected:" (an index into the list) keeps naming the same program.
#include <optional>
#include <string>

namespace moonwisp {

struct ProgramsEdit {
  enum class Outcome {
    Changed,       // text holds the new file
    AlreadyThere,  // nothing to add (disabled: the entry is there, marked off with "-")
    NotThere,      // nothing to remove
    Unparsable,    // reason says why; nothing may be changed
    NoList,        // to add: the file has no list, and no defaultList was given
  };
  Outcome outcome = Outcome::Unparsable;
  std::string text;
  std::string reason;
  bool disabled = false;
};

// The "*programs:" resource of XScreenSaver's app-defaults file, written as
// XScreenSaver writes it into the user's file: "programs:", each entry on a
// line of its own ending in "\n\", then an empty line. Nothing when the file
// has no such resource or it does not end.
std::optional<std::string> userProgramsFromAppDefaults(const std::string& appDefaults);

// Adds entry (a line's text such as "  GL: moonwisp --root", without the
// "\n" that ends it) as the last entry of the list, unless an entry running
// program (its command's first word, any folder) is there already. A file
// without a list (empty for a file that does not exist) gets defaultList
// (from userProgramsFromAppDefaults) with the entry, as XScreenSaver would
// have listed everything else.
ProgramsEdit addProgram(const std::string& text, const std::string& defaultList, const std::string& program,
                        const std::string& entry);

// Removes every entry running program.
ProgramsEdit removeProgram(const std::string& text, const std::string& program);

}  // namespace moonwisp
