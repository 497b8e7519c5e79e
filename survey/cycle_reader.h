#pragma once
// A measurement log read as poll cycles: each cycle is the run of value records up to the next
// checksum record, with its time and position records when the writer left them. Streaming: the
// file is read in chunks and each cycle is handed on as soon as its seal has been checked.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gps/gps_fix.h"
#include "log/log_reader.h"
#include "radio/cell_text.h"
#include "survey/survey_text.h"

namespace survey {

inline constexpr int kCycleCells = 7;  // 0 the serving cell, 1..6 the neighbours

// Value texts of one cell as logged (Windows-1251); empty when the cycle did not report them.
struct CellTexts {
  std::string channel, bsic, cell, level, band;
};

struct SurveyCycle {
  long number = 0;              // from 1, in file order
  std::optional<IsoTime> time;  // the cycle's time record, when there is a readable one
  std::optional<gps::Fix> fix;  // the cycle's position record, when there is a readable one
  std::string country, operatorName, lac, quality, bitError, distance;  // the serving cell's
  std::array<CellTexts, kCycleCells> cells;
  radio::CellLineReader otherCells;  // cells of other technologies than GSM, as typed cells
  // The texts of the run's event records held with this cycle (history/cell_events.h reads them);
  // the events held before a seal without values wait for the next cycle.
  std::vector<std::string> events;
};

// Collects records into cycles: feed every record in file order. A cycle ends at a matching seal
// after at least one of its measured values (gsmlog::IsCycleRecord), as the verdict counts them.
class CycleAssembler {
 public:
  // One record. True when it closed a cycle: Cycle() holds it until the next record comes.
  bool Add(const gsmlog::LogRecord& record);
  const SurveyCycle& Cycle() const { return done_; }
  // Event records after the last cycle (the end of the run).
  const std::vector<std::string>& PendingEvents() const { return open_.events; }

 private:
  SurveyCycle open_;
  SurveyCycle done_;
  bool hasValues_ = false;
  long count_ = 0;
};

struct CycleReadResult {
  bool ok = false;             // the file was read to its end, whole or cut short after its last cycle
  bool damaged = false;        // a checksum record did not match, a byte stopped reading, or no seal matched
  bool stopped = false;        // the consumer asked to stop
  std::string error;           // the Russian message (Windows-1251) when !ok and !stopped
  long cycles = 0;             // cycles handed on
  gsmlog::LogVerdict verdict;  // how far the file holds, once read (gsmlog::VerdictMessage says it)
  std::vector<std::string> trailingEvents;  // event records after the last cycle, once read
};

// Called with each cycle whose seal matched; false stops reading.
using CycleConsumer = std::function<bool(const SurveyCycle&)>;
// Told the bytes read so far and the file's size after each chunk; false stops reading.
using ReadProgress = gsmlog::LogReadProgress;

// Reads the named log (Windows-1251 name, as the report takes it). A cycle whose seal does not
// match is not handed on, and reading ends there (damaged). Records after the last seal belong to
// no cycle.
CycleReadResult ReadLogCycles(const std::string& fileName, const CycleConsumer& consumer,
                              const ReadProgress& progress = {});

}  // namespace survey
