#pragma once
// Fuzz harness of a log read as poll cycles: the input is a whole log file, read through a memory
// file in the reader's chunks, each cycle made the cycle record; and the same bytes as the text of
// a time, a position or a cell record.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "log/log_reader.h"
#include "log/log_record.h"
#include "radio/cell_text.h"
#include "radio/cell_values.h"
#include "survey/cycle_reader.h"
#include "survey/log_cycle.h"
#include "survey/survey_text.h"

namespace fuzzing {

inline void CheckFix(const gps::Fix& fix) {
  FUZZ_CHECK(std::isfinite(fix.latitude) && std::abs(fix.latitude) <= 90);
  FUZZ_CHECK(std::isfinite(fix.longitude) && std::abs(fix.longitude) <= 180);
  FUZZ_CHECK(fix.mode == 2 || fix.mode == 3);
}

// A cell read back is written within the record's limit, and what that text reads back as is
// written the same way again.
inline void CheckCellLines(const radio::CellLineReader& reader) {
  for (const radio::PlacedCell& placed : reader.Cells()) {
    const auto lines = radio::CellLines(placed.role, placed.cell, gsmlog::kMaxLogText);
    radio::CellLineReader again;
    for (const std::string& line : lines) {
      FUZZ_CHECK(!line.empty() && line.size() <= gsmlog::kMaxLogText);
      FUZZ_CHECK(again.Add(line));
    }
    FUZZ_CHECK(again.Cells().size() == 1 && again.Cells()[0].role == placed.role);
    FUZZ_CHECK(radio::CellLines(placed.role, again.Cells()[0].cell, gsmlog::kMaxLogText) == lines);
  }
}

inline void RunSurveyCycles(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto time = survey::ParseIsoTime(text)) {
    FUZZ_CHECK(time->month >= 1 && time->month <= 12 && time->day >= 1 && time->day <= 31);
    FUZZ_CHECK(time->millisecond >= 0 && time->millisecond <= 999);
    const auto again = survey::ParseIsoTime(survey::FormatIsoTime(*time));
    FUZZ_CHECK(again && survey::FormatIsoTime(*again) == survey::FormatIsoTime(*time));
  }
  if (const auto fix = survey::ParsePosition(text)) {
    CheckFix(*fix);
    const auto again = survey::ParsePosition(survey::FormatPosition(*fix));
    FUZZ_CHECK(again && again->mode == fix->mode);
  }
  radio::CellLineReader cells;
  cells.Add(text);
  CheckCellLines(cells);

  const int fd = ::memfd_create("survey", MFD_CLOEXEC);
  if (fd < 0) return;
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  long expected = 1;
  const auto result = survey::ReadLogCycles("/proc/self/fd/" + std::to_string(fd), [&](const survey::SurveyCycle& c) {
    FUZZ_CHECK(c.number == expected);
    ++expected;
    if (c.fix) CheckFix(*c.fix);
    CheckCellLines(c.otherCells);
    const radio::Cycle cycle = survey::CycleOfLog(c);
    FUZZ_CHECK(cycle.n == c.number);
    return true;
  });
  ::close(fd);
  FUZZ_CHECK(result.cycles == expected - 1);
  FUZZ_CHECK(!result.stopped);
  FUZZ_CHECK(result.ok == result.error.empty());
  FUZZ_CHECK(!(result.ok && result.damaged));
  // The cycles handed on are the ones the verdict counts, and the file's verdict is the listing's.
  if (result.ok || result.damaged) {
    FUZZ_CHECK(result.verdict.cycles == result.cycles);
    FUZZ_CHECK(result.damaged == !result.verdict.ReadToEnd());
    const gsmlog::LogVerdict listed = gsmlog::ReadLogVerdict(data, size);
    FUZZ_CHECK(listed.state == result.verdict.state && listed.cycles == result.verdict.cycles);
  }
}

}  // namespace fuzzing
