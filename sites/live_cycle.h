#pragma once
// Until the live run hands out its cycle record: the record of the values a cycle delivered, each
// put in with parser::ApplyField, with the cycle's stamp.

#include <vector>

#include "radio/cycle.h"
#include "survey/cycle_stamp.h"

namespace sites {

radio::Cycle CycleOfDelivered(long n, const survey::CycleStamp& stamp, std::vector<radio::DeliveredField> delivered);

}  // namespace sites
