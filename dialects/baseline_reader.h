#pragma once
// The 3GPP TS 27.007 answers every modem gives: registration (+CREG, +CGREG, +CEREG: state, LAC
// or TAC and cell identity in hex, the access technology), the operator (+COPS, numeric with the
// access technology), the levels (+CSQ, +CESQ). A poll cycle collects them into BaselineFacts,
// answer by answer, and makes one serving cell of them at its end.

#include <optional>
#include <string>
#include <string_view>

#include "dialects/cell_report.h"

namespace dialects {

struct RegistrationFacts {
  std::optional<radio::Registration> state;
  std::optional<long long> area;  // LAC or TAC
  std::optional<long long> cellId;
  std::optional<int> accessTech;  // <AcT> of 27.007
};

struct BaselineFacts {
  RegistrationFacts circuit;  // +CREG
  RegistrationFacts packet;   // +CGREG
  RegistrationFacts eps;      // +CEREG
  std::string plmn;           // numeric operator, "25001"
  std::string operatorName;   // the operator's name where the modem gives a name instead
  std::optional<int> operatorTech;
  std::optional<int> csqRssiDbm;
  std::optional<int> csqQuality;  // 0..7
  std::optional<int> rxLevelDbm;  // +CESQ
  std::optional<double> rscpDbm, ecnoDb, rsrqDb, rsrpDbm;
};

// Reads every baseline line of an answer (unsolicited ones included) into facts.
void ReadBaselineAnswer(std::string_view response, BaselineFacts& facts);

// The serving cell the facts describe: the technology of the access technology reported (the
// registered domain's first), the operator, area and cell, and the levels of that technology.
// No serving cell when nothing names a technology, an operator or a level.
CellReport BaselineReport(const BaselineFacts& facts);

// The technology of a 27.007 <AcT>: GSM 0, 1, 3; UTRAN 2, 4, 5, 6; E-UTRAN 7..10 and 13 (EN-DC
// is served by LTE); NR 11, 12.
std::optional<radio::Tech> TechOfAccess(int accessTech);

// The registration of a <stat> value.
std::optional<radio::Registration> RegistrationOfStat(std::optional<long long> stat);

}  // namespace dialects
