#pragma once
// u-blox reports: AT+UCGED? in its LTE form (mode 2: a line of RAT, service and PLMN, a line of
// the serving cell with coded RSRP and RSRQ; mode 5: "+RSRP:" and "+RSRQ:" lists of PCI, EARFCN
// and level, the serving cell first) and AT+CGED=3 ("KEY:value" of the serving cell, on two
// lines on the 3G modules).

#include <string_view>

#include "dialects/cell_report.h"

namespace dialects {

CellReport ReadUbloxCellInfo(std::string_view response);
CellReport ReadUbloxCellDump(std::string_view response);

}  // namespace dialects
