#pragma once
// Atomic, durable replacement of a file's content: the new text goes to a
// temporary file beside the target, is flushed to disk, renamed over the
// target, and the folder is flushed too. A crash at any moment leaves either
// the old or the new file, never a mix.
#include <sys/types.h>

#include <string>

namespace moonwisp {

// The temporary file's name for a target; callers that hold the target's lock
// may find a stale one from a writer that was killed, and it is removed first.
std::string temporaryPathFor(const std::string& path);

// False (target untouched, the reason in *error) on any failure.
bool replaceFileDurably(const std::string& path, const std::string& content, mode_t mode,
                        std::string* error);

}  // namespace moonwisp
