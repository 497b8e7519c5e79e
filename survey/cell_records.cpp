#include "survey/cell_records.h"

#include "log/log_record.h"

namespace survey {

bool AddCellRecord(radio::CellLineReader& cells, std::int32_t code, std::string_view text) {
  if (code != gsmlog::kCycleCellCode) return false;
  cells.Add(text);
  return true;
}

}  // namespace survey
