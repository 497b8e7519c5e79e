#include "cli/display_model.h"

#include "parser/field_table.h"

namespace cli {

DisplayModel::DisplayModel() {
  const std::string na(parser::kNotAvailable);
  for (const parser::FieldInfo& field : parser::kFieldTable) {
    const bool shown = !field.control.empty() || field.gridRow >= 0;
    if (!shown) continue;
    const int cells = field.gridRow >= 0 ? parser::kCellCount : 1;
    for (int cell = 0; cell < cells; ++cell) fields_[{field.code, cell}] = {na, false};
  }
}

void DisplayModel::Show(int fieldCode, int cellIndex, const std::string& text) {
  const auto it = fields_.find({fieldCode, cellIndex});
  if (it == fields_.end()) return;
  it->second = {text, parser::MarksFresh(text)};
}

void DisplayModel::Mark(bool withIdentity, parser::SweepPass pass) {
  for (auto& [key, field] : fields_) {
    if (!parser::SweptBy(*parser::FindField(key.first), withIdentity)) continue;
    if (parser::SweepTurnsToNotAvailable(field.fresh, pass)) field.text = parser::kNotAvailable;
  }
}

std::string DisplayModel::Text(int fieldCode, int cellIndex) const {
  const auto it = fields_.find({fieldCode, cellIndex});
  return it == fields_.end() ? std::string(parser::kNotAvailable) : it->second.text;
}

}  // namespace cli
