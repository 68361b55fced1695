#pragma once
// An exclusive advisory lock (flock) on a lock file, held for the object's
// lifetime. Cooperating processes that take it before a read-modify-write of
// the file beside it never interleave their updates.
#include <string>

namespace moonwisp {

class FileLock {
 public:
  // Creates the lock file (mode 0600) when needed and blocks until the lock
  // is held. On failure locked() is false and error() says why.
  explicit FileLock(const std::string& lockPath);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool locked() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

}  // namespace moonwisp
