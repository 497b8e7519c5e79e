#include "dialects/baseline_reader.h"

#include "dialects/cell_fields.h"
#include "dialects/response_text.h"

namespace dialects {
namespace {

using radio::Registration;

// <n>,<stat>[,<lac>,<ci>[,<AcT>...]] as the read form gives it, or <stat>[,<lac>,<ci>[,<AcT>]] as
// an unsolicited line does. Four fields are the read form when the second is a state.
RegistrationFacts ReadRegistration(const std::string& entry) {
  const std::vector<std::string> fields = SplitFields(entry);
  std::size_t stat = 1;
  if (fields.size() == 1 || fields.size() == 3) stat = 0;
  if (fields.size() == 4 && !Within(Decimal(fields[1]), 0, 11)) stat = 0;
  RegistrationFacts facts;
  facts.state = RegistrationOfStat(Decimal(FieldAt(fields, stat)));
  facts.area = Hex(FieldAt(fields, stat + 1));
  facts.cellId = Hex(FieldAt(fields, stat + 2));
  facts.accessTech = Within(Decimal(FieldAt(fields, stat + 3)), 0, 13);
  // Some firmware writes a field of its own (a routing area) between the area and the cell.
  if (!Decimal(FieldAt(fields, stat + 3)) && fields.size() > stat + 4) {
    if (const auto accessTech = Within(Decimal(fields[stat + 4]), 0, 13)) {
      facts.cellId = Hex(fields[stat + 3]);
      facts.accessTech = accessTech;
    }
  }
  return facts;
}

bool Registered(const RegistrationFacts& facts) {
  return facts.state == Registration::home || facts.state == Registration::roaming;
}

}  // namespace

std::optional<radio::Tech> TechOfAccess(int accessTech) {
  switch (accessTech) {
    case 0:
    case 1:
    case 3:
      return radio::Tech::gsm;
    case 2:
    case 4:
    case 5:
    case 6:
      return radio::Tech::wcdma;
    case 7:
    case 8:
    case 9:
    case 10:
    case 13:
      return radio::Tech::lte;
    case 11:
    case 12:
      return radio::Tech::nr;
    default:
      return std::nullopt;
  }
}

std::optional<Registration> RegistrationOfStat(std::optional<long long> stat) {
  if (!stat) return std::nullopt;
  switch (*stat) {
    case 0:
    case 8:
      return Registration::notRegistered;
    case 1:
    case 6:
    case 9:
      return Registration::home;
    case 2:
      return Registration::searching;
    case 3:
      return Registration::denied;
    case 4:
      return Registration::unknown;
    case 5:
    case 7:
    case 10:
      return Registration::roaming;
    default:
      return std::nullopt;
  }
}

void ReadBaselineAnswer(std::string_view response, BaselineFacts& facts) {
  for (const std::string& entry : PrefixedEntries(response, "+CREG:")) facts.circuit = ReadRegistration(entry);
  for (const std::string& entry : PrefixedEntries(response, "+CGREG:")) facts.packet = ReadRegistration(entry);
  for (const std::string& entry : PrefixedEntries(response, "+CEREG:")) facts.eps = ReadRegistration(entry);
  for (const std::string& entry : PrefixedEntries(response, "+COPS:")) {
    if (entry.starts_with("(")) continue;  // the list of a network scan
    const std::vector<std::string> fields = SplitFields(entry);
    if (fields.size() < 3) continue;
    const auto format = Decimal(fields[1]);
    if (format == 2) {
      facts.plmn = fields[2];
    } else if (format == 0 || format == 1) {
      facts.operatorName = fields[2];
    }
    facts.operatorTech = Within(Decimal(FieldAt(fields, 3)), 0, 13);
  }
  for (const std::string& entry : PrefixedEntries(response, "+CSQ:")) {
    const std::vector<std::string> fields = SplitFields(entry);
    const auto rssi = Within(Decimal(FieldAt(fields, 0)), 0, 31);
    facts.csqRssiDbm = rssi ? std::optional<int>(-113 + 2 * *rssi) : std::nullopt;
    facts.csqQuality = Within(Decimal(FieldAt(fields, 1)), 0, 7);
  }
  for (const std::string& entry : PrefixedEntries(response, "+CESQ:")) {
    const std::vector<std::string> fields = SplitFields(entry);
    facts.rxLevelDbm = RxLevToDbm(Decimal(FieldAt(fields, 0)));
    const auto rscp = Within(Decimal(FieldAt(fields, 2)), 0, 96);
    const auto ecno = Within(Decimal(FieldAt(fields, 3)), 0, 49);
    const auto rsrq = Within(Decimal(FieldAt(fields, 4)), 0, 34);
    const auto rsrp = Within(Decimal(FieldAt(fields, 5)), 0, 97);
    facts.rscpDbm = rscp ? std::optional<double>(-121 + *rscp) : std::nullopt;
    facts.ecnoDb = ecno ? std::optional<double>(-24.5 + *ecno / 2.0) : std::nullopt;
    facts.rsrqDb = rsrq ? std::optional<double>(-20 + *rsrq / 2.0) : std::nullopt;
    facts.rsrpDbm = rsrp ? std::optional<double>(-141 + *rsrp) : std::nullopt;
  }
}

CellReport BaselineReport(const BaselineFacts& facts) {
  CellReport report;
  // The domain the modem is registered in speaks for the cell; EPS first, as LTE modules keep
  // a stale circuit-switched area.
  const RegistrationFacts* chosen = nullptr;
  for (const RegistrationFacts* domain : {&facts.eps, &facts.packet, &facts.circuit}) {
    if (chosen == nullptr && Registered(*domain)) chosen = domain;
  }
  if (chosen == nullptr) {
    for (const RegistrationFacts* domain : {&facts.circuit, &facts.packet, &facts.eps}) {
      if (chosen == nullptr && domain->state) chosen = domain;
    }
  }
  std::optional<radio::Tech> tech;
  if (chosen != nullptr && chosen->accessTech) tech = TechOfAccess(*chosen->accessTech);
  if (!tech && facts.operatorTech) tech = TechOfAccess(*facts.operatorTech);
  if (!tech && chosen == &facts.eps) tech = radio::Tech::lte;
  if (!tech) {
    // A cell identity longer than GSM's 16 bits is UTRAN's at least.
    const bool longCellId = chosen != nullptr && chosen->cellId && *chosen->cellId > 0xFFFF;
    if (facts.rsrpDbm) {
      tech = radio::Tech::lte;
    } else if (facts.rscpDbm || longCellId) {
      tech = radio::Tech::wcdma;
    } else if (facts.rxLevelDbm || facts.csqRssiDbm || !facts.plmn.empty() || chosen != nullptr) {
      tech = radio::Tech::gsm;
    }
  }
  if (chosen != nullptr) report.registration = chosen->state;
  if (!tech) return report;

  radio::Cell cell = radio::MakeCell(*tech);
  SetPlmnText(cell, facts.plmn);
  cell.operatorName = facts.operatorName;
  if (chosen != nullptr) {
    // +CREG and +CGREG give a LAC, +CEREG a TAC: an area only of the cell's own kind.
    const bool trackingArea = *tech == radio::Tech::lte || *tech == radio::Tech::nr;
    if (trackingArea == (chosen == &facts.eps)) SetArea(cell, chosen->area);
    SetCellId(cell, chosen->cellId);
  }
  const auto rssi = AsReal(facts.csqRssiDbm ? std::optional<long long>(*facts.csqRssiDbm) : std::nullopt);
  if (auto* gsm = std::get_if<radio::GsmMeasures>(&cell.measures)) {
    gsm->rxLevelDbm = facts.rxLevelDbm ? facts.rxLevelDbm : facts.csqRssiDbm;
    gsm->rxQual = facts.csqQuality;
  } else if (auto* wcdma = std::get_if<radio::WcdmaMeasures>(&cell.measures)) {
    wcdma->rscpDbm = RscpDbm(facts.rscpDbm);
    wcdma->ecnoDb = EcnoDb(facts.ecnoDb);
  } else if (auto* lte = std::get_if<radio::LteMeasures>(&cell.measures)) {
    lte->rsrpDbm = LteRsrpDbm(facts.rsrpDbm);
    lte->rsrqDb = LteRsrqDb(facts.rsrqDb);
    lte->rssiDbm = RssiDbm(rssi);
  }
  report.serving = std::move(cell);
  return report;
}

}  // namespace dialects
