#pragma once
// The texts of a poll cycle's own log records: its local time and its GPS position. Numbers are
// written and read the same whatever the process locale (decimal points, never commas).

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "gps/gps_fix.h"

namespace survey {

// A calendar time as written in ISO 8601: date, time to the millisecond, and the zone if given.
struct IsoTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  std::optional<int> offsetMinutes;  // east of UTC; 0 for "Z"; nothing when the text has no zone
  bool utc = false;                  // written "Z" rather than "+00:00"
};

// Local time of the machine with milliseconds and UTC offset: "2026-12-09T22:48:15.123+03:00".
std::string FormatLocalTime(std::chrono::system_clock::time_point time);
// UTC with milliseconds: "2026-12-09T19:48:14.000Z".
std::string FormatUtcTime(std::chrono::system_clock::time_point time);
// "YYYY-MM-DDTHH:MM:SS", optional ".f" (1 to 9 digits, kept to the millisecond), optional "Z" or
// "+HH:MM" / "-HH:MM". Nothing for any other text or an impossible date or time.
std::optional<IsoTime> ParseIsoTime(std::string_view text);
// The same instant as an ISO text in the form given (its own zone, "Z" for UTC, none if absent).
std::string FormatIsoTime(const IsoTime& time);
// The instant of a time with a zone; nothing without one, or beyond the clock's reach (years
// before 1685 or after 2255).
std::optional<std::chrono::system_clock::time_point> ToTimePoint(const IsoTime& time);

// "55.7558260;37.6173000;156.3;3;17.1;2026-12-09T19:48:14.000Z": latitude, longitude, altitude
// (empty when unknown), fix mode, horizontal error (empty when unknown), fix time (empty when unknown).
std::string FormatPosition(const gps::Fix& fix);
// The fix of a position text; nothing unless it has six fields, finite coordinates within range
// and mode 2 or 3. An unreadable optional field reads as unknown.
std::optional<gps::Fix> ParsePosition(std::string_view text);

}  // namespace survey
