#pragma once
// The table of measured fields: one row per field code that the dispatcher accepts, saying
// everything the rest of the program does with that field (the headless tool's name for it, the
// window's controls, the sweep, the log records and statistics, the report). Every module reads
// this table instead of switching on field codes, so a new field is one new row.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "parser/measurement_fields.h"

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

  // The log. logPerCell: a record under the cell-indexed code for every cell.
  LogPlain logPlain = LogPlain::none;
  bool logPerCell = false;
  Statistic statistic = Statistic::none;
  std::string_view logName{};  // the name a log listing gives its records, ASCII
  bool inReport = false;       // the report shows its latest plain record on a line of its own
};

// Every field code DispatchField accepts, in code order.
extern const std::array<FieldInfo, 18> kFieldTable;

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
