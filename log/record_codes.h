#pragma once
// What every record code of a log means: its kind, its machine name (units in the name), the unit
// of its value and, for the cell-indexed codes, the cell and the field. The writer, the listing,
// the report and the cycle reader all take a code's meaning from here.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "log/log_record.h"
#include "parser/measurement_fields.h"

namespace gsmlog {

enum class RecordKind : std::uint8_t {
  unknown,
  identity,       // the modem's identity, written with the run summary
  network,        // a serving-network value as it arrives (the plain copies of BSIC and cell identity too)
  cell,           // a field of one cell, cell-indexed
  servingCycle,   // a serving-cell value per cycle (16384 + field)
  summary,        // a run statistic or the run's date and times
  checksum,       // a seal
  cycleTime,      // the cycle's local time
  cyclePosition,  // the cycle's GPS position
  event,          // an event of the run
  cycleCell,      // a cell of another technology than GSM, of one cycle
  runSession,     // a collected log: the publishing run's session
  cycleNumber,    // a collected log: a cycle's number in the publishing run
};

struct RecordCodeInfo {
  std::int32_t code = 0;
  RecordKind kind = RecordKind::unknown;
  std::string_view name{};  // ASCII, units in the name: "rxlevel_dbm"
  std::string_view unit{};  // the unit of the value text ("dBm", "%", "km"), empty for none
  int field = 0;            // the measured field's code, for network, cell and servingCycle records
  int cell = -1;            // cell records: 0 the serving cell, 1..6 the neighbours
};

// Every code of fixed meaning, in code order. Cell records are not listed: a cell-indexed code
// is 1024 × (cell + 1) + field for a field of kCellFields.
inline constexpr RecordCodeInfo kFixedCodes[] = {
    {1, RecordKind::identity, "imei", "", parser::fcImei},
    {3, RecordKind::identity, "model", "", parser::fcModel},
    {129, RecordKind::identity, "imsi", "", parser::fcImsi},
    {257, RecordKind::network, "country_name", "", parser::fcCountry},
    {258, RecordKind::network, "operator_name", "", parser::fcOperator},
    {259, RecordKind::network, "lac", "", parser::fcLocalArea},
    {385, RecordKind::network, "bsic", "", parser::fcBaseStation},
    {386, RecordKind::network, "cell_id", "", parser::fcCell},
    {391, RecordKind::summary, "distance_km", "km", parser::fcTimingAdvance},
    {kSummaryDateCode, RecordKind::summary, "date", ""},
    {kSummaryStartCode, RecordKind::summary, "start_time", ""},
    {kSummaryEndCode, RecordKind::summary, "end_time", ""},
    {kRxLevelMaxCode, RecordKind::summary, "rxlevel_dbm_max", "dBm"},
    {kRxLevelMinCode, RecordKind::summary, "rxlevel_dbm_min", "dBm"},
    {kRxLevelAverageCode, RecordKind::summary, "rxlevel_dbm_avg", "dBm"},
    {kBitErrorMaxCode, RecordKind::summary, "ber_percent_max", "%"},
    {kBitErrorMinCode, RecordKind::summary, "ber_percent_min", "%"},
    {kBitErrorAverageCode, RecordKind::summary, "ber_percent_avg", "%"},
    {kBand900ShareCode, RecordKind::summary, "gsm900_percent", "%"},
    {kBand1800ShareCode, RecordKind::summary, "gsm1800_percent", "%"},
    {kChecksumCode, RecordKind::checksum, "checksum", ""},
    {kCycleValueBase + parser::fcRxQuality, RecordKind::servingCycle, "rxqual", "", parser::fcRxQuality},
    {kCycleValueBase + parser::fcBitError, RecordKind::servingCycle, "ber_percent", "%", parser::fcBitError},
    {kCycleValueBase + parser::fcTimingAdvance, RecordKind::servingCycle, "distance_km", "km", parser::fcTimingAdvance},
    {kCycleTimeCode, RecordKind::cycleTime, "time", ""},
    {kCyclePositionCode, RecordKind::cyclePosition, "position", ""},
    {kCycleEventCode, RecordKind::event, "event", ""},
    {kCycleCellCode, RecordKind::cycleCell, "cell", ""},
    {kRunSessionCode, RecordKind::runSession, "session", ""},
    {kRunCycleNumberCode, RecordKind::cycleNumber, "number", ""},
};

struct CellFieldName {
  int field = 0;
  std::string_view name;
  std::string_view unit;
};

// The fields every cell is written with, under its cell-indexed code.
inline constexpr CellFieldName kCellFields[] = {
    {parser::fcFreqBand, "band", ""},          {parser::fcBaseStation, "bsic", ""}, {parser::fcCell, "cell_id", ""},
    {parser::fcRxLevel, "rxlevel_dbm", "dBm"}, {parser::fcChannel, "channel", ""},
};

// The code's meaning; kind unknown (and an empty name) for a code of none.
RecordCodeInfo DescribeRecordCode(std::int32_t code);

inline constexpr std::int32_t kRecordCodeTable = 1 << 16;  // no code of meaning lies above
extern const std::array<bool, kRecordCodeTable> kCycleRecordCodes;

// Whether a record of the code is a measured value of a poll cycle: a cycle is the run of records
// up to a matching seal that holds at least one of them. Asked for every record a reader reads.
inline bool IsCycleRecord(std::int32_t code) {
  return code >= 0 && code < kRecordCodeTable && kCycleRecordCodes[static_cast<std::size_t>(code)];
}

// The code's name with its place, as a listing gives it: "serving.rxlevel_dbm",
// "neighbour1.bsic", "summary.rxlevel_dbm_avg", "network.country_name", "checksum", "cycle.time";
// "unknown" for a code of no meaning.
std::string RecordCodeName(std::int32_t code);

}  // namespace gsmlog
