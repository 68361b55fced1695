#include "platform/keyfile/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace moonwisp {
namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool fail(std::string* error, const char* what) {
  if (error) *error = std::string(what) + ": " + std::strerror(errno);
  return false;
}

}  // namespace

std::string temporaryPathFor(const std::string& path) { return path + ".tmp"; }

bool replaceFileDurably(const std::string& path, const std::string& content, mode_t mode,
                        std::string* error) {
  const std::string temporary = temporaryPathFor(path);
  if (unlink(temporary.c_str()) != 0 && errno != ENOENT) return fail(error, "cannot remove the old temporary file");

  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, mode);
  if (fd < 0) return fail(error, "cannot create the temporary file");
  // The umask may have narrowed the mode given to open().
  bool ok = fchmod(fd, mode) == 0 || fail(error, "cannot set the file's mode");
  ok = ok && (writeAll(fd, content.data(), content.size()) || fail(error, "cannot write"));
  ok = ok && (fsync(fd) == 0 || fail(error, "cannot flush to disk"));
  if (close(fd) != 0 && ok) ok = fail(error, "cannot write");
  ok = ok && (rename(temporary.c_str(), path.c_str()) == 0 || fail(error, "cannot replace the file"));
  if (!ok) {
    const int saved = errno;
    unlink(temporary.c_str());
    errno = saved;
    return false;
  }

  // The rename is durable only once the folder's entry is on disk.
  const int dir = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return fail(error, "cannot open the folder to flush it");
  // Some file systems cannot flush a folder (EINVAL); their renames are as
  // durable as they get.
  const bool synced = fsync(dir) == 0 || errno == EINVAL || fail(error, "cannot flush the folder to disk");
  close(dir);
  return synced;
}

}  // namespace moonwisp
