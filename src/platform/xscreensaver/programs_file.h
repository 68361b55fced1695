#pragma once
// The user's XScreenSaver file (~/.xscreensaver) changed while XScreenSaver
// may run: XScreenSaver rereads the file when it changes, so the new one is
// put in place by one atomic rename (it sees the old file or the new one,
// never a mix), and the previous one is kept beside it as a backup. On any
// failure nothing is changed.
#include <string>

namespace moonwisp {

struct ProgramsFileChange {
  enum class Kind { Add, Remove };
  Kind kind = Kind::Add;
  std::string userFile;         // ~/.xscreensaver, or a link to it
  std::string appDefaultsFile;  // where XScreenSaver's own list is, for a user without a file
  std::string program;          // the command's first word, as programs_list.h takes it
  std::string entry;            // the line to add
};

struct ProgramsFileResult {
  enum class Status { Changed, Unchanged, Failed };
  Status status = Status::Failed;
  std::string reason;     // Failed: why, as a sentence's end ("... because <reason>")
  bool disabled = false;  // Unchanged by Add: the entry is there but marked off
  bool created = false;   // Changed: there was no file before
};

// $HOME/.xscreensaver, as XScreenSaver names it.
std::string xscreensaverUserFile();
// Where a change keeps the file it replaced.
std::string programsBackupPath(const std::string& userFile);

ProgramsFileResult changeXScreenSaverPrograms(const ProgramsFileChange& change);

}  // namespace moonwisp
