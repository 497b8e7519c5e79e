#pragma once
// Telit's reports: AT#RFSTS (GSM, UMTS with its active set, LTE; told apart by where the IMSI
// stands), AT#MONI ("KEY:value" of the serving cell), AT#SERVINFO (GSM, UMTS, LTE).

#include <string_view>

#include "dialects/cell_report.h"

namespace dialects {

CellReport ReadTelitRadioStatus(std::string_view response);
CellReport ReadTelitMonitor(std::string_view response);
CellReport ReadTelitServingInfo(std::string_view response);

}  // namespace dialects
