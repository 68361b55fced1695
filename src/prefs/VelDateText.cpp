#include "prefs/VelDateText.h"

#include <cstdint>
#include <cstdio>

namespace moonwisp {

namespace {

constexpr int64_t kMicrosPerSecond = 1000000;
constexpr int64_t kMicrosPerDay = 86400 * kMicrosPerSecond;
// 0000-01-01T00:00:00Z and 9999-12-31T23:59:59.999999Z.
constexpr int64_t kFirstMicros = -62167219200 * kMicrosPerSecond;
constexpr int64_t kLastMicros = 253402300800 * kMicrosPerSecond - 1;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = yoe + era * 400 + (*month <= 2);
}

int daysInMonth(int64_t year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// Reads exactly `count` decimal digits at text[*pos].
bool digits(const std::string& text, size_t* pos, int count, int* value) {
  if (*pos + count > text.size()) return false;
  int v = 0;
  for (int i = 0; i < count; ++i) {
    const char c = text[*pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *pos += count;
  *value = v;
  return true;
}

bool expect(const std::string& text, size_t* pos, char a, char b = '\0') {
  if (*pos >= text.size() || (text[*pos] != a && (b == '\0' || text[*pos] != b))) return false;
  ++*pos;
  return true;
}

}  // namespace

std::optional<std::string> formatVelDate(VelDate date) {
  const int64_t micros = date.time_since_epoch().count();
  if (micros < kFirstMicros || micros > kLastMicros) return std::nullopt;
  const int64_t days = floorDiv(micros, kMicrosPerDay);
  int64_t rest = micros - days * kMicrosPerDay;
  int64_t year;
  int month, day;
  civilFromDays(days, &year, &month, &day);
  const int64_t fraction = rest % kMicrosPerSecond;
  rest /= kMicrosPerSecond;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", static_cast<int>(year), month,
                day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                static_cast<int>(rest % 60), static_cast<int>(fraction));
  return std::string(text);
}

std::optional<VelDate> parseVelDate(const std::string& text) {
  size_t pos = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!digits(text, &pos, 4, &year) || !expect(text, &pos, '-') || !digits(text, &pos, 2, &month) ||
      !expect(text, &pos, '-') || !digits(text, &pos, 2, &day) || !expect(text, &pos, 'T', 't') ||
      !digits(text, &pos, 2, &hour) || !expect(text, &pos, ':') || !digits(text, &pos, 2, &minute) ||
      !expect(text, &pos, ':') || !digits(text, &pos, 2, &second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return std::nullopt;
  }

  int64_t fraction = 0;
  if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
    ++pos;
    int count = 0;
    int64_t scale = 100000;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (++count > 9) return std::nullopt;
      fraction += (text[pos] - '0') * scale;
      scale /= 10;
      ++pos;
    }
    if (count == 0) return std::nullopt;
  }

  int offsetMinutes = 0;
  if (expect(text, &pos, 'Z', 'z')) {
  } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    const int sign = text[pos++] == '-' ? -1 : 1;
    int offsetHours, offsetMins = 0;
    if (!digits(text, &pos, 2, &offsetHours)) return std::nullopt;
    if (pos < text.size()) {
      expect(text, &pos, ':');
      if (!digits(text, &pos, 2, &offsetMins)) return std::nullopt;
    }
    if (offsetHours > 23 || offsetMins > 59) return std::nullopt;
    offsetMinutes = sign * (offsetHours * 60 + offsetMins);
  } else {
    return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;

  const int64_t seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 +
                          second - offsetMinutes * 60;
  const int64_t micros = seconds * kMicrosPerSecond + fraction;
  // An offset may carry the time past the years the stored form can hold.
  if (micros < kFirstMicros || micros > kLastMicros) return std::nullopt;
  return VelDate(std::chrono::microseconds(micros));
}

}  // namespace moonwisp
