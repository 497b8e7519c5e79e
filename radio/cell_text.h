#pragma once
// A cell as plain text, for a record that must stay one short line (the log's): its role in the
// cycle, then its present values as "name=value" under the machine names (radio/cell_values.h),
// separated by ";": "serving;tech=lte;mcc=250;mnc=1;tac=7001;cell_id=26132481;channel=1850;
// band=B3;pci=123;rsrp_dbm=-95.5". Values that do not fit into one text go on in further texts
// that start with "+": "+;rssi_dbm=-65;sinr_db=12.5". And the way back.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "radio/cycle.h"

namespace radio {

// Where a cell stands in its cycle: the serving cell, a cell beside it (the NR leg of EN-DC), a
// neighbour.
enum class CellRole : std::uint8_t { serving, secondary, neighbour };

// "serving", "secondary", "neighbour".
std::string_view CellRoleName(CellRole role);
std::optional<CellRole> CellRoleNamed(std::string_view name);

// The shortest text limit CellLines keeps to: a role, a tech and any one value fit into it.
inline constexpr std::size_t kShortestCellLine = 80;

// The texts of a cell in its role, none longer than maxBytes (kShortestCellLine at least): the
// first names the role and the technology, the others continue it. Names and bands have ";" and
// bytes below 0x20 replaced by "?" and are cut to 40 bytes; numbers are written as machine outputs
// write them (decimal point, shortest round trip). An absent value is left out.
std::vector<std::string> CellLines(CellRole role, const Cell& cell, std::size_t maxBytes);

struct PlacedCell {
  CellRole role = CellRole::neighbour;
  Cell cell;
};

// Reads such texts back, in the order they were written.
class CellLineReader {
 public:
  // Cells kept at most: more than any modem reports in a cycle, few enough that a hostile log
  // cannot make a cycle grow without bound.
  static constexpr std::size_t kMostCells = 64;

  // One text. False for a text that is no cell's: an unknown role, no technology as the first
  // value, a continuation with no cell before it; and for a cell beyond kMostCells. A value that is not one of its name
  // (no such name for the technology, out of range, not a number) is left absent; the rest are kept.
  bool Add(std::string_view text);
  const std::vector<PlacedCell>& Cells() const { return cells_; }
  void Clear() { cells_.clear(); }

 private:
  std::vector<PlacedCell> cells_;
};

// Puts cells read back into cycle: a serving cell takes the cycle's serving place, a secondary
// cell follows its secondary cells, a neighbour takes the first place of its neighbour list that
// holds a GSM cell without any value (where the log's field records skipped it), or follows them.
void PlaceCells(Cycle& cycle, const std::vector<PlacedCell>& cells);

}  // namespace radio
