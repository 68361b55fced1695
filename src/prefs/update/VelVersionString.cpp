#include "prefs/update/VelVersionString.h"

#include <climits>

namespace moonwisp {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Value of the digits in [begin, end), held at INT32_MAX (or INT32_MIN when
// negative) instead of overflowing.
int32_t saturatedValue(const std::string& text, size_t begin, size_t end, bool negative) {
  int64_t value = 0;
  for (size_t i = begin; i < end; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value);
}

size_t digitRunEnd(const std::string& text, size_t pos) {
  while (pos < text.size() && isDigit(text[pos])) ++pos;
  return pos;
}

// Like "%d": leading blanks and one sign, then digits; anything else ends it.
int32_t scanMajor(const std::string& text, size_t end) {
  size_t pos = 0;
  while (pos < end && isBlank(text[pos])) ++pos;
  bool negative = false;
  if (pos < end && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  size_t digitsEnd = pos;
  while (digitsEnd < end && isDigit(text[digitsEnd])) ++digitsEnd;
  return saturatedValue(text, pos, digitsEnd, negative);
}

int32_t sign(int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

std::optional<VelVersion> parseVelVersionString(const std::string& text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u == 0 || u > 0x7f) return std::nullopt;
  }
  VelVersion version;
  const size_t dot = text.find('.');
  const size_t majorEnd = dot == std::string::npos ? text.size() : dot;
  if (majorEnd > kVelVersionMaxPartLength) return std::nullopt;
  version.major = scanMajor(text, majorEnd);
  if (dot == std::string::npos) return version;

  const size_t minorBegin = dot + 1;
  const size_t minorEnd = digitRunEnd(text, minorBegin);
  if (minorEnd - minorBegin > kVelVersionMaxPartLength) return std::nullopt;
  version.minor = saturatedValue(text, minorBegin, minorEnd, false);
  if (minorEnd >= text.size()) return version;

  // Whatever character ends the minor run separates it from the patch.
  const size_t patchBegin = minorEnd + 1;
  const size_t patchEnd = digitRunEnd(text, patchBegin);
  if (patchEnd - patchBegin > kVelVersionMaxPartLength) return std::nullopt;
  version.patch = saturatedValue(text, patchBegin, patchEnd, false);
  if (patchEnd < text.size() && text[patchEnd] >= 'a' && text[patchEnd] <= 'z') {
    version.letter = text[patchEnd] - 'a' + 1;
  }
  return version;
}

int32_t compareVelVersions(const VelVersion& a, const VelVersion& b) {
  if (a.major != b.major) return sign(a.major, b.major);
  if (a.minor != b.minor) return sign(a.minor, b.minor);
  if (a.patch != b.patch) return sign(a.patch, b.patch);
  if (a.letter != 0 && b.letter == 0) return -1;
  if (a.letter == 0 && b.letter != 0) return 1;
  return sign(a.letter, b.letter);
}

int32_t compareVelVersionStrings(const std::string& a, const std::string& b) {
  const auto va = parseVelVersionString(a);
  const auto vb = parseVelVersionString(b);
  if (!va || !vb) return sign(va.has_value(), vb.has_value());
  return compareVelVersions(*va, *vb);
}

}  // namespace moonwisp
