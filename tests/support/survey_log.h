#pragma once
// A measurement log as the monitor writes it with positions: two poll cycles through the log
// writer, the first with a fresh 3D fix, the second without one.

#include <chrono>
#include <string>
#include <utility>

#include "log/log_writer.h"
#include "platform/text_encoding.h"
#include "survey/cycle_stamp.h"

namespace testsupport {

// One poll cycle's values as the dispatcher hands them to the log writer.
inline void LogSurveyCycle(gsmlog::TLogWriter& writer, int level, bool withNeighbour) {
  using namespace platform::literals;
  const auto log = [&writer](int code, int cell, std::string text) {
    writer.Field(code, cell, parser::TextValue(std::move(text)));
  };
  log(257, 0, std::string("Россия"_cp1251));
  log(258, 0, std::string("МТС"_cp1251));
  log(259, 0, "5580");
  log(386, 0, "69777");
  log(385, 0, "5.4");
  log(388, 0, "121");
  log(265, 0, "900");
  log(387, 0, std::to_string(level));
  log(389, 0, "2");
  log(390, 0, "0,57");
  log(391, 0, "5,5");
  log(392, 0, std::string("Соединено"_cp1251));
  if (withNeighbour) {
    log(388, 6, "996");
    log(265, 6, "EGSM");
    log(387, 6, "-101");
    log(385, 6, "6.0");
  }
}

// 2026-12-09 19:48:15 UTC and the fix of one second before.
inline const std::chrono::system_clock::time_point kSurveyCycleTime =
    std::chrono::system_clock::from_time_t(1'796'845'695) + std::chrono::milliseconds(123);

inline gps::Fix SurveyFix() {
  gps::Fix fix;
  fix.latitude = 55.7558;
  fix.longitude = 37.6173;
  fix.altitude = 150.2;
  fix.mode = 3;
  fix.horizontalError = 4.5;
  fix.time = std::chrono::system_clock::from_time_t(1'796'845'694);
  return fix;
}

// Writes the two cycles and the run summary to path with a writer of its own; false when the
// file could not be created.
inline bool WriteSurveyLog(const std::string& path) {
  gsmlog::TLogWriter writer;
  if (!writer.Create(path).ok) return false;
  LogSurveyCycle(writer, -63, true);
  survey::HoldCycleRecords(writer, {kSurveyCycleTime, SurveyFix()});
  writer.Seal();
  LogSurveyCycle(writer, -70, false);
  survey::HoldCycleRecords(writer, {kSurveyCycleTime + std::chrono::seconds(1), std::nullopt});
  writer.Seal();
  return writer.Complete();
}

}  // namespace testsupport
