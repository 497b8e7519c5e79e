#pragma once
// A measurement log as the monitor writes it with positions: two poll cycles through the log
// writer, the first with a fresh 3D fix, the second without one.

#include <chrono>
#include <string>

#include "log/log_writer.h"
#include "platform/text_encoding.h"
#include "survey/cycle_stamp.h"

namespace testsupport {

// One poll cycle's values as the dispatcher hands them to the log writer.
inline void LogSurveyCycle(int level, bool withNeighbour) {
  using namespace platform::literals;
  gsmlog::LogField(257, 0, std::string("Россия"_cp1251));
  gsmlog::LogField(258, 0, std::string("МТС"_cp1251));
  gsmlog::LogField(259, 0, "5580");
  gsmlog::LogField(386, 0, "69777");
  gsmlog::LogField(385, 0, "5.4");
  gsmlog::LogField(388, 0, "121");
  gsmlog::LogField(265, 0, "900");
  gsmlog::LogField(387, 0, std::to_string(level));
  gsmlog::LogField(389, 0, "2");
  gsmlog::LogField(390, 0, "0,57");
  gsmlog::LogField(391, 0, "5,5");
  gsmlog::LogField(392, 0, std::string("Соединено"_cp1251));
  if (withNeighbour) {
    gsmlog::LogField(388, 6, "996");
    gsmlog::LogField(265, 6, "EGSM");
    gsmlog::LogField(387, 6, "-101");
    gsmlog::LogField(385, 6, "6.0");
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

// Writes the two cycles and the run summary to path (the writer must be idle); false when the
// file could not be created.
inline bool WriteSurveyLog(const std::string& path) {
  if (!gsmlog::CreateLogFile(path).ok) return false;
  LogSurveyCycle(-63, true);
  survey::HoldCycleRecords({kSurveyCycleTime, SurveyFix()});
  gsmlog::SealLogFile();
  LogSurveyCycle(-70, false);
  survey::HoldCycleRecords({kSurveyCycleTime + std::chrono::seconds(1), std::nullopt});
  gsmlog::SealLogFile();
  return gsmlog::CompleteLogFile();
}

}  // namespace testsupport
