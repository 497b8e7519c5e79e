#include "survey/log_cycle.h"

#include "parser/cycle_fields.h"

namespace survey {
namespace {

void Apply(radio::Cycle& cycle, int code, int cell, const std::string& text) {
  if (!text.empty()) parser::ApplyField(cycle, code, cell, parser::TextValue(text));
}

}  // namespace

radio::Cycle CycleOfLog(const SurveyCycle& logged) {
  radio::Cycle cycle;
  cycle.n = logged.number;
  if (logged.time) {
    if (const auto time = ToTimePoint(*logged.time)) cycle.time = *time;
  }
  cycle.position = logged.fix;
  Apply(cycle, parser::fcCountry, 0, logged.country);
  Apply(cycle, parser::fcOperator, 0, logged.operatorName);
  Apply(cycle, parser::fcLocalArea, 0, logged.lac);
  Apply(cycle, parser::fcRxQuality, 0, logged.quality);
  Apply(cycle, parser::fcBitError, 0, logged.bitError);
  Apply(cycle, parser::fcTimingAdvance, 0, logged.distance);
  for (int cell = 0; cell < kCycleCells; ++cell) {
    const CellTexts& texts = logged.cells[static_cast<std::size_t>(cell)];
    Apply(cycle, parser::fcChannel, cell, texts.channel);
    Apply(cycle, parser::fcBaseStation, cell, texts.bsic);
    Apply(cycle, parser::fcCell, cell, texts.cell);
    Apply(cycle, parser::fcRxLevel, cell, texts.level);
    Apply(cycle, parser::fcFreqBand, cell, texts.band);
  }
  radio::PlaceCells(cycle, logged.otherCells.Cells());
  return cycle;
}

}  // namespace survey
