#pragma once
// The table of measured fields: one row per field code that the dispatcher accepts, saying
// everything the rest of the program does with that field (the headless tool's name for it, the
// window's controls, the sweep, the log records and statistics, the report). Every module reads
// this table for what it does with a field, so a new field is one new row (and, when a modem
// reports it, its column in parser/column_table.cpp; parser/cycle_fields.cpp types it).

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"

namespace parser {

// Which display sweep turns a field to "(n/a)" when no value came: the identity is swept only at
// the start of a connection, the measurements after every poll cycle.
enum class Sweep : std::uint8_t { none, identity, everyCycle };

// How a field's own code reaches a log file (its cell records aside): not at all; kept and
// written with the run summary (the identity); written as each serving-cell value arrives; or
// only as the run's average in the summary.
enum class LogPlain : std::uint8_t { none, kept, record, summary };

// Which run statistics a serving-cell value feeds.
enum class Statistic : std::uint8_t { none, rxLevel, bitError, distance, band };

struct FieldInfo {
  FieldCode code{};
  std::string_view key{};  // the headless tool's name (CSV column "field"), ASCII

  // The window. control: the edit of the serving cell's value ("" none), with its caption
  // (Windows-1251) and the unit shown after a value, a blank between. gridRow: the row of the
  // cell grid (edits "txt" + cell + gridSuffix), which is also the row of the report's cell table
  // and of the headless table; -1 when the field is not in the grid.
  std::string_view control{};
  std::string_view label{};
  std::string_view unit{};
  int gridRow = -1;
  std::string_view gridSuffix{};
  std::string_view gridLabel{};  // Windows-1251
  bool levelBar = false;         // each grid cell has a level bar "i" + gridSuffix + cell
  bool graph = false;            // the serving cell's value feeds the receive-level graph
  Sweep sweep = Sweep::none;

  bool servingOnly = false;  // always sent under cell index 0, whatever report row it came from

  // The log. logPerCell: a record under the cell-indexed code for every cell; logCycleValue: the
  // serving cell's value also as it arrives, under 16384 + code (the summary only folds it).
  LogPlain logPlain = LogPlain::none;
  bool logPerCell = false;
  bool logCycleValue = false;
  Statistic statistic = Statistic::none;
  std::string_view logName{};  // the name a log listing gives its records, ASCII
  bool inReport = false;       // the report shows its latest plain record on a line of its own
};

namespace field_rows {
using namespace platform::literals;  // captions are Windows-1251 bytes

// Every field code DispatchField accepts, in code order. A new field is a new row.
inline constexpr auto kRows = std::to_array<FieldInfo>({
    {.code = fcImei,
     .key = "imei",
     .control = "txtImei",
     .label = "IMEI:",
     .sweep = Sweep::identity,
     .servingOnly = true,
     .logPlain = LogPlain::kept,
     .logName = "imei",
     .inReport = true},
    {.code = fcManufacturer,
     .key = "manufacturer",
     .control = "txtManufacturer",
     .label = "Производитель:"_cp1251,
     .sweep = Sweep::identity,
     .servingOnly = true},
    {.code = fcModel,
     .key = "model",
     .control = "txtModel",
     .label = "Модель:"_cp1251,
     .sweep = Sweep::identity,
     .servingOnly = true,
     .logPlain = LogPlain::kept,
     .logName = "model",
     .inReport = true},
    {.code = fcFirmware,
     .key = "firmware",
     .control = "txtFirmware",
     .label = "Версия:"_cp1251,
     .sweep = Sweep::identity,
     .servingOnly = true},
    {.code = fcImsi,
     .key = "imsi",
     .servingOnly = true,
     .logPlain = LogPlain::kept,
     .logName = "imsi",
     .inReport = true},
    {.code = fcReserved, .key = "reserved"},
    {.code = fcCountry,
     .key = "country",
     .control = "txtCountry",
     .label = "Страна:"_cp1251,
     .sweep = Sweep::everyCycle,
     .logPlain = LogPlain::record,
     .logName = "country",
     .inReport = true},
    {.code = fcOperator,
     .key = "operator",
     .control = "txtOperator",
     .label = "Оператор:"_cp1251,
     .sweep = Sweep::everyCycle,
     .logPlain = LogPlain::record,
     .logName = "operator",
     .inReport = true},
    // The window has no control for the location area.
    {.code = fcLocalArea, .key = "lac", .logPlain = LogPlain::record, .logName = "lac", .inReport = true},
    {.code = fcFreqBand,
     .key = "band",
     .control = "txtFreqBand",
     .label = "Диапазон:"_cp1251,
     .gridRow = 4,
     .gridSuffix = "Band",
     .gridLabel = "GSM:",
     .sweep = Sweep::everyCycle,
     .logPerCell = true,
     .statistic = Statistic::band,
     .logName = "band"},
    {.code = fcBaseStation,
     .key = "bsic",
     .control = "txtBaseStation",
     .label = "BSIC:",
     .gridRow = 2,
     .gridSuffix = "BSIC",
     .gridLabel = "BSIC:",
     .sweep = Sweep::everyCycle,
     .logPlain = LogPlain::record,
     .logPerCell = true,
     .logName = "bsic",
     .inReport = true},
    {.code = fcCell,
     .key = "cell_id",
     .control = "txtCell",
     .label = "Сота:"_cp1251,
     .gridRow = 3,
     .gridSuffix = "Cell",
     .gridLabel = "Сота:"_cp1251,
     .sweep = Sweep::everyCycle,
     .logPlain = LogPlain::record,
     .logPerCell = true,
     .logName = "cellid",
     .inReport = true},
    {.code = fcRxLevel,
     .key = "rxlevel_dbm",
     .control = "txtRxLevel",
     .label = "Уровень:"_cp1251,
     .unit = "dBm",
     .gridRow = 0,
     .gridSuffix = "Rx",
     .gridLabel = "Уровень:"_cp1251,
     .levelBar = true,
     .graph = true,
     .sweep = Sweep::everyCycle,
     .logPerCell = true,
     .statistic = Statistic::rxLevel,
     .logName = "rxlevel"},
    {.code = fcChannel,
     .key = "channel",
     .control = "txtChannel",
     .label = "Канал:"_cp1251,
     .gridRow = 1,
     .gridSuffix = "Ch",
     .gridLabel = "Канал:"_cp1251,
     .sweep = Sweep::everyCycle,
     .logPerCell = true,
     .logName = "channel"},
    {.code = fcRxQuality,
     .key = "rxqual",
     .control = "txtRxQuality",
     .label = "Качество:"_cp1251,
     .sweep = Sweep::everyCycle,
     .logCycleValue = true,
     .logName = "rxqual"},
    {.code = fcBitError,
     .key = "ber_percent",
     .control = "txtBitError",
     .label = "Потери:"_cp1251,
     .unit = "%",
     .sweep = Sweep::everyCycle,
     .servingOnly = true,
     .logCycleValue = true,
     .statistic = Statistic::bitError,
     .logName = "ber"},
    // A distance in km; the window has no control for it.
    {.code = fcTimingAdvance,
     .key = "distance_km",
     .unit = "km",
     .logPlain = LogPlain::summary,
     .logCycleValue = true,
     .statistic = Statistic::distance,
     .logName = "distance",
     .inReport = true},
    {.code = fcPhoneState, .key = "phone_state", .servingOnly = true},
});

}  // namespace field_rows

inline constexpr const auto& kFieldTable = field_rows::kRows;

// The row of a field code, or null for a code that names no field.
const FieldInfo* FindField(int fieldCode);

// The position of a field's row in kFieldTable, or -1 for a code that names no field.
int FieldIndex(int fieldCode);

// The row of a grid row (0 .. kGridRows - 1); never null for a row in range.
inline constexpr int kGridRows = 5;
const FieldInfo& GridField(int gridRow);

// Whether a sweep covers the field: the measurements always, the identity only withIdentity.
constexpr bool SweptBy(const FieldInfo& field, bool withIdentity) {
  return field.sweep == Sweep::everyCycle || (withIdentity && field.sweep == Sweep::identity);
}

// The display sweep around a poll cycle: the reset clears every refresh mark, the marking pass
// turns each field that got no value since into "(n/a)".
enum class SweepPass : int { reset = 0, markMissing = 1 };

// The one rule of the sweep, for a field whose refresh mark is fresh: true when the field must
// now show "(n/a)". A shown value sets the mark unless it is "(n/a)" (MarksFresh).
constexpr bool SweepTurnsToNotAvailable(bool& fresh, SweepPass pass) {
  if (pass == SweepPass::reset) {
    fresh = false;
    return false;
  }
  return !fresh;
}
constexpr bool MarksFresh(std::string_view text) { return text != kNotAvailable; }

}  // namespace parser
