#include "cli/display_model.h"

#include "parser/measurement_fields.h"

namespace cli {
namespace {

using namespace parser;

constexpr int kIdentityFields[] = {fcImei, fcManufacturer, fcModel, fcFirmware};
constexpr int kServingFields[] = {fcCountry, fcOperator, fcRxQuality, fcBitError};
constexpr int kGridFields[] = {fcRxLevel, fcChannel, fcBaseStation, fcCell, fcFreqBand};

bool IsIdentity(int fieldCode) {
  for (const int f : kIdentityFields) {
    if (f == fieldCode) return true;
  }
  return false;
}

}  // namespace

DisplayModel::DisplayModel() {
  const std::string na(kNotAvailable);
  for (const int f : kIdentityFields) fields_[{f, 0}] = {na, false};
  for (const int f : kServingFields) fields_[{f, 0}] = {na, false};
  for (const int f : kGridFields) {
    for (int cell = 0; cell < kCellCount; ++cell) fields_[{f, cell}] = {na, false};
  }
}

void DisplayModel::Show(int fieldCode, int cellIndex, const std::string& text) {
  const auto it = fields_.find({fieldCode, cellIndex});
  if (it == fields_.end()) return;
  it->second = {text, text != kNotAvailable};
}

void DisplayModel::Mark(bool withIdentity, int pass) {
  for (auto& [key, field] : fields_) {
    if (!withIdentity && IsIdentity(key.first)) continue;
    if (pass == 0) {
      field.fresh = false;
    } else if (!field.fresh) {
      field.text = kNotAvailable;
    }
  }
}

std::string DisplayModel::Text(int fieldCode, int cellIndex) const {
  const auto it = fields_.find({fieldCode, cellIndex});
  return it == fields_.end() ? std::string(kNotAvailable) : it->second.text;
}

}  // namespace cli
