#pragma once
// Quectel's engineering reports: AT+QENG="servingcell" (GSM, WCDMA, LTE and its Cat-M and NB-IoT
// forms, NR5G-SA, and EN-DC: an LTE line and an NR5G-NSA line under the state line),
// AT+QENG="neighbourcell" (LTE intra and inter frequency, WCDMA, GSM), and the 2G modules'
// AT+QENG? after AT+QENG=1 (serving line 0, neighbours packed on line 1).

#include <string_view>

#include "dialects/cell_report.h"

namespace dialects {

CellReport ReadQuectelServingCell(std::string_view response);
CellReport ReadQuectelNeighbourCells(std::string_view response);
CellReport ReadQuectelEngineering2g(std::string_view response);

}  // namespace dialects
