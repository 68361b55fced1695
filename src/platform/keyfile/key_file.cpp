#include "platform/keyfile/key_file.h"

#include <glib.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace moonwisp {
namespace {

constexpr GKeyFileFlags kParseFlags =
    static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);

// GLib's parse errors quote the offending line; from a hostile file that may
// be anything, so only a short, printable version of it reaches the log.
std::string printable(const char* message) {
  constexpr int kMaxCharacters = 160;
  gchar* valid = g_utf8_make_valid(message, -1);
  std::string out;
  int count = 0;
  for (const gchar* c = valid; *c; c = g_utf8_next_char(c)) {
    if (++count > kMaxCharacters) {
      out += "...";
      break;
    }
    const gunichar ch = g_utf8_get_char(c);
    if (g_unichar_iscntrl(ch) || ch == 0xfffd) {
      out += '?';
    } else {
      out.append(c, g_utf8_next_char(c) - c);
    }
  }
  g_free(valid);
  return out;
}

}  // namespace

KeyFile::KeyFile() : file_(g_key_file_new()) {}

KeyFile::~KeyFile() {
  if (file_) g_key_file_free(file_);
}

KeyFile::KeyFile(KeyFile&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}

KeyFile& KeyFile::operator=(KeyFile&& other) noexcept {
  std::swap(file_, other.file_);
  return *this;
}

bool KeyFile::parse(const char* data, size_t size, std::string* error) {
  g_key_file_free(file_);
  file_ = g_key_file_new();
  // GKeyFile silently drops a line's text after a NUL byte; such a file
  // would not survive a rewrite, so it does not count as a key file.
  if (size > 0 && std::memchr(data, '\0', size) != nullptr) {
    if (error) *error = "the file contains NUL bytes";
    return false;
  }
  GError* err = nullptr;
  if (g_key_file_load_from_data(file_, size > 0 ? data : "", size, kParseFlags, &err)) return true;
  if (error) *error = printable(err->message);
  g_error_free(err);
  g_key_file_free(file_);
  file_ = g_key_file_new();
  return false;
}

std::string KeyFile::serialize() const {
  gsize length = 0;
  gchar* text = g_key_file_to_data(file_, &length, nullptr);
  std::string out(text, length);
  g_free(text);
  return out;
}

std::optional<int64_t> KeyFile::integer(const char* group, const char* key) const {
  GError* err = nullptr;
  const gint64 value = g_key_file_get_int64(file_, group, key, &err);
  if (err) {
    g_error_free(err);
    return std::nullopt;
  }
  // g_key_file_get_int64 saturates a number outside 64 bits instead of
  // refusing it; such a number is no valid integer.
  if (value == G_MAXINT64 || value == G_MININT64) {
    gchar* text = g_key_file_get_value(file_, group, key, nullptr);
    errno = 0;
    g_ascii_strtoll(text, nullptr, 10);
    const bool overflow = errno == ERANGE;
    g_free(text);
    if (overflow) return std::nullopt;
  }
  return value;
}

std::optional<bool> KeyFile::boolean(const char* group, const char* key) const {
  GError* err = nullptr;
  const gboolean value = g_key_file_get_boolean(file_, group, key, &err);
  if (err) {
    g_error_free(err);
    return std::nullopt;
  }
  return value != FALSE;
}

std::optional<std::string> KeyFile::string(const char* group, const char* key) const {
  gchar* value = g_key_file_get_string(file_, group, key, nullptr);
  if (!value) return std::nullopt;
  std::string out(value);
  g_free(value);
  return out;
}

bool KeyFile::hasKey(const char* group, const char* key) const {
  return g_key_file_has_key(file_, group, key, nullptr) != FALSE;
}

void KeyFile::setInteger(const char* group, const char* key, int64_t value) {
  g_key_file_set_int64(file_, group, key, value);
}

void KeyFile::setBoolean(const char* group, const char* key, bool value) {
  g_key_file_set_boolean(file_, group, key, value ? TRUE : FALSE);
}

void KeyFile::setString(const char* group, const char* key, const std::string& value) {
  g_key_file_set_string(file_, group, key, value.c_str());
}

bool KeyFile::remove(const char* group, const char* key) {
  return g_key_file_remove_key(file_, group, key, nullptr) != FALSE;
}

}  // namespace moonwisp
