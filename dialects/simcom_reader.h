#pragma once
// SIMCom's reports: AT+CPSI? (GSM, WCDMA, LTE with its Cat-M1 and NB-IoT forms, the NR5G lines
// of the 5G modules; the Qualcomm-based modules give LTE levels in tenths of a dB) and the GSM
// engineering mode AT+CENG? with its neighbour list, in each layout the firmware writes.

#include <string_view>

#include "dialects/cell_report.h"

namespace dialects {

CellReport ReadSimcomSystemInfo(std::string_view response);
CellReport ReadSimcomEngineering(std::string_view response);

}  // namespace dialects
