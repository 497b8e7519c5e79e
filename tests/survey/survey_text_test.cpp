// The texts of a cycle's time and position records: written the same in any locale and time
// zone form, read back, and hostile texts refused.

#include "survey/survey_text.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>
#include <ctime>

#include "survey/level_colour.h"

namespace {

using namespace std::chrono_literals;
using std::chrono::system_clock;

// 2026-12-09 19:48:15.123 UTC.
const system_clock::time_point kInstant = system_clock::from_time_t(1'796'845'695) + 123ms;

class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = ::getenv("TZ")) saved_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~TimeZone() {
    if (saved_.empty()) {
      ::unsetenv("TZ");
    } else {
      ::setenv("TZ", saved_.c_str(), 1);
    }
    ::tzset();
  }

 private:
  std::string saved_;
};

TEST(CycleTime, LocalTimeWithMillisecondsAndOffset) {
  struct Case {
    const char* zone;
    const char* text;
  };
  const Case cases[] = {{"Europe/Moscow", "2026-12-09T22:48:15.123+03:00"},
                        {"UTC", "2026-12-09T19:48:15.123+00:00"},
                        {"America/St_Johns", "2026-12-09T16:18:15.123-03:30"},
                        {"Asia/Kathmandu", "2026-12-10T01:33:15.123+05:45"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zone);
    const TimeZone zone(c.zone);
    EXPECT_EQ(survey::FormatLocalTime(kInstant), c.text);
    const auto parsed = survey::ParseIsoTime(c.text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(survey::FormatIsoTime(*parsed), c.text);
    EXPECT_EQ(survey::ToTimePoint(*parsed), kInstant);
  }
  EXPECT_EQ(survey::FormatUtcTime(kInstant), "2026-12-09T19:48:15.123Z");
  EXPECT_EQ(survey::ToTimePoint(*survey::ParseIsoTime("2026-12-09T19:48:15.123Z")), kInstant);
}

TEST(CycleTime, ReadsIsoFormsAndRefusesTheRest) {
  struct Case {
    const char* text;
    bool ok;
    int millisecond;
  };
  const Case cases[] = {
      {"2026-12-09T22:48:15+03:00", true, 0},
      {"2026-12-09T22:48:15.5Z", true, 500},
      {"2026-12-09T22:48:15.123456789-01:00", true, 123},
      {"2026-12-09T22:48:15", true, 0},
      {"2024-02-29T00:00:00Z", true, 0},
      {"2026-02-29T00:00:00Z", false, 0},
      {"2026-13-09T22:48:15Z", false, 0},
      {"2026-12-09T24:00:00Z", false, 0},
      {"2026-12-09 22:48:15Z", false, 0},
      {"2026-12-09T22:48:15.Z", false, 0},
      {"2026-12-09T22:48:15+3:00", false, 0},
      {"2026-12-09T22:48:15+03:00 ", false, 0},
      {"2026-12-09T22:48:15.1234567890Z", false, 0},
      {"", false, 0},
      {"дата", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = survey::ParseIsoTime(c.text);
    EXPECT_EQ(parsed.has_value(), c.ok);
    if (parsed) {
      EXPECT_EQ(parsed->millisecond, c.millisecond);
    }
  }
  EXPECT_FALSE(survey::ToTimePoint(*survey::ParseIsoTime("2026-12-09T22:48:15")));
  // Beyond the clock's reach (nanoseconds in 64 bits): no instant, and no overflow on the way.
  EXPECT_FALSE(survey::ToTimePoint(*survey::ParseIsoTime("1013-12-09T19:48:14.000Z")));
  EXPECT_FALSE(survey::ToTimePoint(*survey::ParseIsoTime("9999-12-31T23:59:59.999-23:59")));
  EXPECT_TRUE(survey::ToTimePoint(*survey::ParseIsoTime("1980-01-06T00:00:00Z")));
}

TEST(CyclePosition, WrittenWithDecimalPointsInAnyLocaleAndReadBack) {
  // A locale with a decimal comma, where one exists on this machine.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_ALL, "ru_RU.UTF-8");

  gps::Fix fix;
  fix.latitude = 55.755826;
  fix.longitude = -37.6173;
  fix.altitude = 156.34;
  fix.mode = 3;
  fix.horizontalError = 17.06;
  fix.time = kInstant - 1123ms;
  const std::string text = survey::FormatPosition(fix);
  EXPECT_EQ(text, "55.7558260;-37.6173000;156.3;3;17.1;2026-12-09T19:48:14.000Z");

  gps::Fix flat = fix;
  flat.mode = 2;
  flat.altitude = NAN;
  flat.horizontalError = NAN;
  flat.time = {};
  EXPECT_EQ(survey::FormatPosition(flat), "55.7558260;-37.6173000;;2;;");
  std::setlocale(LC_ALL, saved.c_str());

  const auto back = survey::ParsePosition(text);
  ASSERT_TRUE(back);
  EXPECT_DOUBLE_EQ(back->latitude, 55.755826);
  EXPECT_DOUBLE_EQ(back->longitude, -37.6173);
  EXPECT_DOUBLE_EQ(back->altitude, 156.3);
  EXPECT_EQ(back->mode, 3);
  EXPECT_DOUBLE_EQ(back->horizontalError, 17.1);
  EXPECT_EQ(back->time, fix.time);
  const auto flatBack = survey::ParsePosition("55.7558260;-37.6173000;;2;;");
  ASSERT_TRUE(flatBack);
  EXPECT_TRUE(std::isnan(flatBack->altitude));
  EXPECT_EQ(flatBack->time, system_clock::time_point{});
}

TEST(CyclePosition, HostileTextsAreNoPosition) {
  const char* refused[] = {"",
                           "55.7;37.6;1;3;1",
                           "55.7;37.6;1;3;1;;",
                           "55,7;37.6;1;3;1;",
                           "91;37.6;1;3;1;",
                           "55.7;-180.5;1;3;1;",
                           "nan;37.6;1;3;1;",
                           "inf;37.6;1;3;1;",
                           "55.7;37.6;1;1;1;",
                           "55.7;37.6;1;;1;",
                           "55.7;37.6;1;33;1;",
                           "55.7 ;37.6;1;3;1;"};
  for (const char* text : refused) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(survey::ParsePosition(text));
  }
  // A fix time the clock cannot hold is unknown.
  const auto ancient = survey::ParsePosition("55.7;37.6;1;3;1;1013-12-09T19:48:14.000Z");
  ASSERT_TRUE(ancient);
  EXPECT_EQ(ancient->time, system_clock::time_point{});
  // Optional fields that cannot be read are unknown, not a reason to lose the position.
  const auto partial = survey::ParsePosition("55.7;37.6;high;3;-1;yesterday");
  ASSERT_TRUE(partial);
  EXPECT_TRUE(std::isnan(partial->altitude));
  EXPECT_TRUE(std::isnan(partial->horizontalError));
  EXPECT_EQ(partial->time, system_clock::time_point{});
}

TEST(LevelColour, TheScaleIsTheFootOfTheGraphsColumn) {
  EXPECT_EQ(survey::ScaleColour(-47), 0x00FF00u);   // green
  EXPECT_EQ(survey::ScaleColour(-75), 0x00FFFFu);   // yellow
  EXPECT_EQ(survey::ScaleColour(-85), 0x0000FFu);   // red
  EXPECT_EQ(survey::ScaleColour(-113), 0xFFFFFFu);  // white
  EXPECT_EQ(survey::ScaleColour(-20), survey::ScaleColour(-47));
  EXPECT_EQ(survey::ScaleColour(-130), survey::ScaleColour(-113));
  EXPECT_EQ(survey::ScaleColour(-60), survey::LevelColour(-60, 0, 98));
}

}  // namespace
