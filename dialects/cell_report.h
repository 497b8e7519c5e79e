#pragma once
// What one answer of a modem says about the cells: the serving cell, the cells beside it (the NR
// leg of EN-DC), the neighbours in the order listed, the registration. Readers return one; a poll
// cycle merges the reports of its commands into the cycle record, the first report that names
// a value winning.

#include <optional>
#include <vector>

#include "radio/cell_values.h"
#include "radio/cycle.h"

namespace dialects {

struct CellReport {
  std::optional<radio::Cell> serving;
  std::vector<radio::Cell> secondary;
  std::vector<radio::Cell> neighbours;
  std::optional<radio::Registration> registration;
  bool Empty() const { return !serving && secondary.empty() && neighbours.empty() && !registration; }
};

// Merges report into cycle. A serving cell fills a cycle without one; a serving cell of the
// same technology (and channel, where both know it) fills only the values still absent. The
// secondary cells and neighbours of the first report that gives any are taken; a registration
// fills an unknown one.
void MergeReport(radio::Cycle& cycle, const CellReport& report);

// Fills the values of cell that are absent from other (same technology assumed).
void FillAbsent(radio::Cell& cell, const radio::Cell& other);

}  // namespace dialects
