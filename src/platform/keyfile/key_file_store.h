#pragma once
// A key file on disk that several processes share. Reads have no side
// effects and always yield a usable (possibly empty) key file. Updates are a
// read-modify-write under an exclusive lock on "<file>.lock", so concurrent
// writers of different keys lose nothing, and end in an atomic, durable
// replacement. A file that cannot be parsed is kept aside under a timestamped
// name before it is replaced. Failures are logged through the system log.
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

#include "platform/keyfile/key_file.h"

namespace moonwisp {

enum class KeyFileState {
  Missing,     // no file (or a dangling link)
  Loaded,      // parsed
  Unparsable,  // not a key file
  TooLarge,    // over the size limit; not read
  NotAFile,    // a folder, device, pipe or socket
  Unreadable,  // permissions or an I/O error
};

struct KeyFileSnapshot {
  KeyFileState state = KeyFileState::Missing;
  KeyFile file;        // empty unless Loaded
  std::string reason;  // why it is not Loaded (not for Missing)
  mode_t mode = 0600;  // permission bits of the file found
};

class KeyFileStore {
 public:
  // Files larger than this are refused: a settings file never grows so big.
  static constexpr size_t kMaxFileSize = 1024 * 1024;

  explicit KeyFileStore(std::string path);

  const std::string& path() const { return path_; }
  std::string lockPath() const { return path_ + ".lock"; }

  // Reads the file as it is now; creates and changes nothing.
  KeyFileSnapshot read() const;

  // An edit changes the key file and returns whether it changed anything.
  using Edit = std::function<bool(KeyFile&)>;
  // Applies the edit to the current file and writes the result back (not
  // when the edit changed nothing). Creates the folder (0700) and the file
  // (0600) when missing. False when nothing could be written: the previous
  // file stays as it was and one line says why in the system log.
  bool update(const Edit& edit) const;

 private:
  std::string path_;
};

// Reads one file with the store's rules (size limit, regular files only).
KeyFileSnapshot readKeyFile(const std::string& path);

}  // namespace moonwisp
