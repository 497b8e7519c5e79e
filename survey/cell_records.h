#pragma once
// The log's records of cells of other technologies than GSM (code 20484), read into the cycle
// they belong to.

#include <cstdint>
#include <string_view>

#include "radio/cell_text.h"

namespace survey {

// True when code is such a record: its cell goes into cells (a text that is no cell's is
// skipped). False for every other code, which cells leaves alone.
bool AddCellRecord(radio::CellLineReader& cells, std::int32_t code, std::string_view text);

}  // namespace survey
