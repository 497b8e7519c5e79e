#pragma once
// A log's cycle as the cycle record: its logged texts put in with parser::ApplyField, as the live
// report's values were, so that an export carries the same numbers as the live outputs.

#include "radio/cycle.h"
#include "survey/cycle_reader.h"

namespace survey {

// The cycle's number, its time (when its time record has a zone), its position and its cells (the
// GSM cells of its field records first, then those of its records of other technologies); a text
// the log does not hold leaves the measure absent.
radio::Cycle CycleOfLog(const SurveyCycle& logged);

}  // namespace survey
