#include "prefs/VelDateText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

VelDate at(int64_t micros) { return VelDate(std::chrono::microseconds(micros)); }

TEST(VelDateText, FormatsUtcWithMicroseconds) {
  EXPECT_EQ(formatVelDate(at(0)), "1970-01-01T00:00:00.000000Z");
  EXPECT_EQ(formatVelDate(at(1796543561123456)), "2026-12-06T07:52:41.123456Z");
  EXPECT_EQ(formatVelDate(at(-1)), "1969-12-31T23:59:59.999999Z");
  EXPECT_EQ(formatVelDate(at(951782400000000)), "2000-02-29T00:00:00.000000Z");
  EXPECT_EQ(formatVelDate(at(253402300799999999)), "9999-12-31T23:59:59.999999Z");
  EXPECT_EQ(formatVelDate(at(-62167219200000000)), "0000-01-01T00:00:00.000000Z");
  EXPECT_FALSE(formatVelDate(at(253402300800000000)).has_value());
  EXPECT_FALSE(formatVelDate(at(-62167219200000001)).has_value());
}

TEST(VelDateText, ParsesWhatItFormatsAndCommonIsoForms) {
  for (int64_t micros : {int64_t{0}, int64_t{1796543561123456}, int64_t{-1}, int64_t{951782400000000},
                         int64_t{253402300799999999}, int64_t{-62167219200000000}}) {
    EXPECT_EQ(parseVelDate(*formatVelDate(at(micros))), at(micros)) << micros;
  }
  EXPECT_EQ(parseVelDate("2026-12-06T07:52:41Z"), at(1796543561000000));
  EXPECT_EQ(parseVelDate("2026-12-06t07:52:41z"), at(1796543561000000));
  EXPECT_EQ(parseVelDate("2026-12-06T07:52:41.5Z"), at(1796543561500000));
  EXPECT_EQ(parseVelDate("2026-12-06T07:52:41,5Z"), at(1796543561500000));
  EXPECT_EQ(parseVelDate("2026-12-06T07:52:41.123456789Z"), at(1796543561123456));
  EXPECT_EQ(parseVelDate("2026-12-06T08:52:41.123456+01:00"), at(1796543561123456));
  EXPECT_EQ(parseVelDate("2026-12-06T02:22:41-0530"), at(1796543561000000));
  EXPECT_EQ(parseVelDate("2026-12-06T09:52:41+02"), at(1796543561000000));
}

TEST(VelDateText, AnythingElseIsNoDate) {
  for (const char* text :
       {"", "2026-12-06", "2026-12-06T07:52:41", "2026-12-06 07:52:41Z", "2026-12-06T07:52Z", "26-12-06T07:52:41Z",
        "2026-13-06T07:52:41Z", "2026-00-06T07:52:41Z", "2026-02-29T07:52:41Z", "2026-04-31T07:52:41Z",
        "2026-12-00T07:52:41Z", "2026-12-06T24:00:00Z", "2026-12-06T07:60:41Z", "2026-12-06T07:52:60Z",
        "2026-12-06T07:52:41.Z", "2026-12-06T07:52:41.1234567890Z", "2026-12-06T07:52:41Z ",
        " 2026-12-06T07:52:41Z", "2026-12-06T07:52:41+24:00", "2026-12-06T07:52:41+01:60", "2026-12-06T07:52:41+1",
        "2026-12-06T07:52:41+01:", "+2026-12-06T07:52:41Z", "2026-12-06T07:52:41ZZ", "1796543561", "yesterday"}) {
    EXPECT_FALSE(parseVelDate(text).has_value()) << text;
  }
  EXPECT_FALSE(parseVelDate(std::string("2026-12-06T07:52:41Z\0", 21)).has_value());
  // Offsets that carry the time out of the years the text can hold.
  EXPECT_FALSE(parseVelDate("0000-01-01T00:30:00+01:00").has_value());
  EXPECT_FALSE(parseVelDate("9999-12-31T23:30:00-01:00").has_value());
  EXPECT_EQ(parseVelDate("0000-01-01T01:00:00+01:00"), at(-62167219200000000));
}

}  // namespace
