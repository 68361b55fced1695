#include "platform/keyfile/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace moonwisp {

FileLock::FileLock(const std::string& lockPath) {
  const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (fd < 0) {
    error_ = std::strerror(errno);
    return;
  }
  int rc;
  do {
    rc = flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    error_ = std::strerror(errno);
    close(fd);
    return;
  }
  fd_ = fd;
}

FileLock::~FileLock() {
  // Closing the descriptor releases the lock. The lock file stays: removing
  // it would let a waiter and a newcomer lock two different files.
  if (fd_ >= 0) close(fd_);
}

}  // namespace moonwisp
