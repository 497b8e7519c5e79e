#include "survey/survey_text.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <vector>

namespace survey {
namespace {

using std::chrono::system_clock;

std::string Digits(int value, int width) {
  std::string text = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
  return value < 0 ? "-" + text : text;
}

std::string Fixed(double value, int decimals) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return error == std::errc{} ? std::string(buffer, end) : std::string();
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Reads exactly width decimal digits at text[pos].
bool ReadDigits(std::string_view text, std::size_t& pos, int width, int& value) {
  if (pos + static_cast<std::size_t>(width) > text.size()) return false;
  value = 0;
  for (int i = 0; i < width; ++i) {
    const char c = text[pos++];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

IsoTime Split(system_clock::time_point time, bool local) {
  const auto since = time.time_since_epoch();
  auto seconds = std::chrono::floor<std::chrono::seconds>(since);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since - seconds).count();
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm parts{};
  if (local) {
    localtime_r(&whole, &parts);
  } else {
    gmtime_r(&whole, &parts);
  }
  IsoTime t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec;
  t.millisecond = static_cast<int>(millis);
  t.offsetMinutes = local ? static_cast<int>(parts.tm_gmtoff / 60) : 0;
  return t;
}

std::vector<std::string_view> SplitFields(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    fields.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

bool ReadDouble(std::string_view text, double& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size() && std::isfinite(value);
}

}  // namespace

std::string FormatIsoTime(const IsoTime& t) {
  std::string text = Digits(t.year, 4) + "-" + Digits(t.month, 2) + "-" + Digits(t.day, 2) + "T" + Digits(t.hour, 2) +
                     ":" + Digits(t.minute, 2) + ":" + Digits(t.second, 2) + "." + Digits(t.millisecond, 3);
  if (!t.offsetMinutes) return text;
  if (t.utc) return text + "Z";
  const int offset = *t.offsetMinutes;
  const int magnitude = offset < 0 ? -offset : offset;
  return text + (offset < 0 ? "-" : "+") + Digits(magnitude / 60, 2) + ":" + Digits(magnitude % 60, 2);
}

std::string FormatLocalTime(system_clock::time_point time) { return FormatIsoTime(Split(time, true)); }

std::string FormatUtcTime(system_clock::time_point time) {
  IsoTime t = Split(time, false);
  t.utc = true;
  return FormatIsoTime(t);
}

std::optional<IsoTime> ParseIsoTime(std::string_view text) {
  IsoTime t;
  std::size_t pos = 0;
  if (!ReadDigits(text, pos, 4, t.year) || !Expect(text, pos, '-') || !ReadDigits(text, pos, 2, t.month) ||
      !Expect(text, pos, '-') || !ReadDigits(text, pos, 2, t.day) || !Expect(text, pos, 'T') ||
      !ReadDigits(text, pos, 2, t.hour) || !Expect(text, pos, ':') || !ReadDigits(text, pos, 2, t.minute) ||
      !Expect(text, pos, ':') || !ReadDigits(text, pos, 2, t.second)) {
    return std::nullopt;
  }
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    int digits = 0;
    int scale = 100;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++digits, scale /= 10) {
      if (digits < 3) t.millisecond += (text[pos] - '0') * scale;
    }
    if (digits == 0 || digits > 9) return std::nullopt;
  }
  if (pos < text.size() && text[pos] == 'Z') {
    ++pos;
    t.offsetMinutes = 0;
    t.utc = true;
  } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    const bool negative = text[pos++] == '-';
    int hours = 0;
    int minutes = 0;
    if (!ReadDigits(text, pos, 2, hours) || !Expect(text, pos, ':') || !ReadDigits(text, pos, 2, minutes) ||
        hours > 23 || minutes > 59) {
      return std::nullopt;
    }
    t.offsetMinutes = (negative ? -1 : 1) * (hours * 60 + minutes);
  }
  if (pos != text.size()) return std::nullopt;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month) || t.hour > 23 ||
      t.minute > 59 || t.second > 60) {
    return std::nullopt;
  }
  return t;
}

std::optional<system_clock::time_point> ToTimePoint(const IsoTime& t) {
  if (!t.offsetMinutes) return std::nullopt;
  const long long seconds = DaysFromCivil(t.year, t.month, t.day) * 86400LL + t.hour * 3600LL + t.minute * 60LL +
                            t.second - *t.offsetMinutes * 60LL;
  // The clock counts nanoseconds in 64 bits: about 292 years either side of 1970.
  constexpr long long kReach = 9'000'000'000LL;
  if (seconds < -kReach || seconds > kReach) return std::nullopt;
  return system_clock::time_point(std::chrono::duration_cast<system_clock::duration>(
      std::chrono::seconds(seconds) + std::chrono::milliseconds(t.millisecond)));
}

std::string FormatPosition(const gps::Fix& fix) {
  std::string text = Fixed(fix.latitude, 7) + ";" + Fixed(fix.longitude, 7) + ";";
  if (std::isfinite(fix.altitude)) text += Fixed(fix.altitude, 1);
  text += ";" + std::to_string(fix.mode) + ";";
  if (std::isfinite(fix.horizontalError)) text += Fixed(fix.horizontalError, 1);
  text += ";";
  if (fix.time != system_clock::time_point{}) text += FormatUtcTime(fix.time);
  return text;
}

std::optional<gps::Fix> ParsePosition(std::string_view text) {
  const auto fields = SplitFields(text, ';');
  if (fields.size() != 6) return std::nullopt;
  gps::Fix fix;
  if (!ReadDouble(fields[0], fix.latitude) || !ReadDouble(fields[1], fix.longitude) || std::abs(fix.latitude) > 90 ||
      std::abs(fix.longitude) > 180) {
    return std::nullopt;
  }
  if (fields[3] != "2" && fields[3] != "3") return std::nullopt;
  fix.mode = fields[3][0] - '0';
  if (double altitude = 0; ReadDouble(fields[2], altitude)) fix.altitude = altitude;
  if (double error = 0; ReadDouble(fields[4], error) && error >= 0) fix.horizontalError = error;
  if (const auto time = ParseIsoTime(fields[5])) {
    if (const auto point = ToTimePoint(*time)) fix.time = *point;
  }
  return fix;
}

}  // namespace survey
