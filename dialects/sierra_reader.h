#pragma once
// Sierra Wireless AT!GSTATUS?: labelled values in two columns ("System mode:", "LTE Rx chan:",
// "RSRP (dBm):", "TAC:", "Cell ID:", "WCDMA channel:", "LAC:"), hex identities written
// "HEX (decimal)", whitespace as the firmware or a copy left it.

#include <string_view>

#include "dialects/cell_report.h"

namespace dialects {

CellReport ReadSierraStatus(std::string_view response);

}  // namespace dialects
