#include "platform/xscreensaver/programs_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/keyfile/durable_file.h"
#include "platform/xscreensaver/programs_list.h"

namespace moonwisp {
namespace {

// Far more than any real settings file; a bigger one is not XScreenSaver's.
constexpr size_t kMaxFileSize = 4 << 20;

enum class ReadState { Read, Missing, Failed };

ReadState readWhole(const std::string& path, std::string* text, mode_t* mode, std::string* reason) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return ReadState::Missing;
    *reason = "it cannot be read (" + std::string(std::strerror(errno)) + ")";
    return ReadState::Failed;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    *reason = "it is not a plain file";
    return ReadState::Failed;
  }
  *mode = info.st_mode & 07777;
  text->clear();
  char buffer[65536];
  while (true) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      *reason = "it cannot be read (" + std::string(std::strerror(errno)) + ")";
      return ReadState::Failed;
    }
    if (got == 0) break;
    text->append(buffer, static_cast<size_t>(got));
    if (text->size() > kMaxFileSize) {
      close(fd);
      *reason = "it is over 4 MiB, too big to be XScreenSaver's";
      return ReadState::Failed;
    }
  }
  close(fd);
  return ReadState::Read;
}

ProgramsFileResult failed(const std::string& reason) {
  ProgramsFileResult result;
  result.status = ProgramsFileResult::Status::Failed;
  result.reason = reason;
  return result;
}

}  // namespace

std::string xscreensaverUserFile() {
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.xscreensaver";
}

std::string programsBackupPath(const std::string& userFile) { return userFile + ".backup"; }

ProgramsFileResult changeXScreenSaverPrograms(const ProgramsFileChange& change) {
  // A file kept elsewhere behind a link (a dotfiles folder) is changed where
  // it is, and the link stays.
  std::string path = change.userFile;
  if (char* resolved = realpath(change.userFile.c_str(), nullptr)) {
    path = resolved;
    std::free(resolved);
  }
  std::string text;
  mode_t mode = 0644;  // what XScreenSaver gives a new file
  std::string reason;
  const ReadState state = readWhole(path, &text, &mode, &reason);
  if (state == ReadState::Failed) return failed(reason);

  ProgramsEdit edit;
  if (change.kind == ProgramsFileChange::Kind::Remove) {
    edit = removeProgram(text, change.program);
  } else {
    std::string appDefaults;
    mode_t ignored = 0;
    std::string why;
    std::optional<std::string> defaults;
    if (readWhole(change.appDefaultsFile, &appDefaults, &ignored, &why) == ReadState::Read)
      defaults = userProgramsFromAppDefaults(appDefaults);
    edit = addProgram(text, defaults.value_or(""), change.program, change.entry);
  }
  ProgramsFileResult result;
  switch (edit.outcome) {
    case ProgramsEdit::Outcome::NoList:
      return failed("it has no list of display modes, and XScreenSaver's own list cannot be read from " +
                    change.appDefaultsFile + " (is XScreenSaver installed?)");
    case ProgramsEdit::Outcome::Unparsable:
      return failed("it cannot be read as XScreenSaver's settings: " + edit.reason);
    case ProgramsEdit::Outcome::AlreadyThere:
    case ProgramsEdit::Outcome::NotThere:
      result.status = ProgramsFileResult::Status::Unchanged;
      result.disabled = edit.disabled;
      return result;
    case ProgramsEdit::Outcome::Changed:
      break;
  }
  std::string error;
  if (state == ReadState::Read && !replaceFileDurably(programsBackupPath(path), text, mode, &error))
    return failed("its backup " + programsBackupPath(path) + " cannot be written (" + error + ")");
  if (!replaceFileDurably(path, edit.text, mode, &error)) return failed("it cannot be written (" + error + ")");
  result.status = ProgramsFileResult::Status::Changed;
  result.created = state == ReadState::Missing;
  return result;
}

}  // namespace moonwisp
