#pragma once
// A parsed key file (groups of key=value lines with comments) with typed
// access. Everything the file held, known or not, survives a parse and a
// serialize, so an edit touches only the keys it sets or removes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct _GKeyFile;

namespace moonwisp {

class KeyFile {
 public:
  KeyFile();
  ~KeyFile();
  KeyFile(KeyFile&& other) noexcept;
  KeyFile& operator=(KeyFile&& other) noexcept;
  KeyFile(const KeyFile&) = delete;
  KeyFile& operator=(const KeyFile&) = delete;

  // Replaces the content with the parsed text. False (content left empty, the
  // reason in *error) when the text is not a key file.
  bool parse(const char* data, size_t size, std::string* error);
  std::string serialize() const;

  // Each getter yields nothing when the key is missing or its text is not of
  // the type: integers are decimal and must fit in 64 bits; booleans are
  // true/false/1/0; strings must be valid UTF-8.
  std::optional<int64_t> integer(const char* group, const char* key) const;
  std::optional<bool> boolean(const char* group, const char* key) const;
  std::optional<std::string> string(const char* group, const char* key) const;
  bool hasKey(const char* group, const char* key) const;

  void setInteger(const char* group, const char* key, int64_t value);
  void setBoolean(const char* group, const char* key, bool value);
  void setString(const char* group, const char* key, const std::string& value);
  // True when the key was there.
  bool remove(const char* group, const char* key);

 private:
  _GKeyFile* file_;
};

}  // namespace moonwisp
