#include "platform/keyfile/key_file_store.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "platform/core/system_log.h"
#include "platform/keyfile/durable_file.h"
#include "platform/keyfile/file_lock.h"

namespace moonwisp {
namespace {

std::string errnoText() { return std::strerror(errno); }

// Where a write goes: through a link to an existing file (a user who keeps
// the settings elsewhere and links them keeps the link), else the path itself.
std::string writeTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  if (stat(resolved, &st) != 0 || !S_ISREG(st.st_mode)) return path;
  return resolved;
}

std::string utcStamp() {
  const time_t now = time(nullptr);
  struct tm utc;
  gmtime_r(&now, &utc);
  char text[32];
  strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

// Keeps the file under "<path>.broken-<UTC time>" while <path> itself stays
// until the new content replaces it, so a failed write still loses nothing.
bool keepAside(const std::string& path, std::string* backup, std::string* error) {
  const std::string base = path + ".broken-" + utcStamp();
  for (int i = 1; i < 100; ++i) {
    const std::string name = i == 1 ? base : base + "-" + std::to_string(i);
    if (link(path.c_str(), name.c_str()) == 0) {
      *backup = name;
      return true;
    }
    if (errno == EEXIST) continue;
    // A file system without hard links: move it aside instead.
    if (access(name.c_str(), F_OK) == 0) continue;
    if (rename(path.c_str(), name.c_str()) == 0) {
      *backup = name;
      return true;
    }
    break;
  }
  *error = "cannot keep the unreadable file aside: " + errnoText();
  return false;
}

// Reads a regular file's whole content, refusing more than the size limit.
void readContent(int fd, size_t sizeHint, KeyFileSnapshot* snapshot) {
  // Read one byte past the limit: the file may have grown since fstat.
  std::vector<char> data(std::min(sizeHint, KeyFileStore::kMaxFileSize) + 1);
  size_t size = 0;
  for (;;) {
    if (size == data.size()) {
      if (size > KeyFileStore::kMaxFileSize) break;
      data.resize(std::min(size * 2, KeyFileStore::kMaxFileSize + 1));
    }
    const ssize_t n = ::read(fd, data.data() + size, data.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      snapshot->state = KeyFileState::Unreadable;
      snapshot->reason = errnoText();
      return;
    }
    if (n == 0) break;
    size += static_cast<size_t>(n);
  }
  if (size > KeyFileStore::kMaxFileSize) {
    snapshot->state = KeyFileState::TooLarge;
    snapshot->reason = "it is larger than 1 MiB";
  } else if (snapshot->file.parse(data.data(), size, &snapshot->reason)) {
    snapshot->state = KeyFileState::Loaded;
  } else {
    snapshot->state = KeyFileState::Unparsable;
  }
}

}  // namespace

KeyFileSnapshot readKeyFile(const std::string& path) {
  KeyFileSnapshot snapshot;
  // O_NONBLOCK: a pipe in the file's place must not hang the reader.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      snapshot.state = KeyFileState::Missing;
    } else {
      snapshot.state = KeyFileState::Unreadable;
      snapshot.reason = errnoText();
    }
    return snapshot;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    snapshot.state = KeyFileState::Unreadable;
    snapshot.reason = errnoText();
  } else if (!S_ISREG(st.st_mode)) {
    snapshot.state = KeyFileState::NotAFile;
    snapshot.reason = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
  } else {
    snapshot.mode = st.st_mode & 0777;
    if (static_cast<unsigned long long>(st.st_size) > KeyFileStore::kMaxFileSize) {
      snapshot.state = KeyFileState::TooLarge;
      snapshot.reason = "it is larger than 1 MiB";
    } else {
      readContent(fd, static_cast<size_t>(st.st_size), &snapshot);
    }
  }
  close(fd);
  return snapshot;
}

KeyFileStore::KeyFileStore(std::string path) : path_(std::move(path)) {}

KeyFileSnapshot KeyFileStore::read() const { return readKeyFile(path_); }

bool KeyFileStore::update(const Edit& edit) const {
  const auto fail = [this](const std::string& reason) {
    systemLog("cannot write %s: %s", path_.c_str(), reason.c_str());
    return false;
  };

  gchar* folder = g_path_get_dirname(path_.c_str());
  const bool haveFolder = g_mkdir_with_parents(folder, 0700) == 0;
  const std::string why = haveFolder ? std::string() : errnoText();
  const std::string folderName = folder;
  g_free(folder);
  if (!haveFolder) return fail("cannot create the folder " + folderName + ": " + why);

  FileLock lock(lockPath());
  if (!lock.locked()) return fail("cannot lock " + lockPath() + ": " + lock.error());

  const std::string target = writeTarget(path_);
  KeyFileSnapshot current = readKeyFile(target);
  if (current.state == KeyFileState::NotAFile || current.state == KeyFileState::Unreadable) {
    return fail(current.reason);
  }
  if (!edit(current.file)) return true;

  const std::string content = current.file.serialize();
  if (content.size() > kMaxFileSize) return fail("the new content would be larger than 1 MiB");

  if (current.state == KeyFileState::Unparsable || current.state == KeyFileState::TooLarge) {
    std::string backup, error;
    if (!keepAside(target, &backup, &error)) return fail(error);
    systemLog("%s could not be read (%s); kept it as %s", target.c_str(), current.reason.c_str(),
              backup.c_str());
  }

  const mode_t mode = current.state == KeyFileState::Missing ? 0600 : current.mode;
  std::string error;
  if (!replaceFileDurably(target, content, mode, &error)) return fail(error);
  return true;
}

}  // namespace moonwisp
