#include "dialects/cell_report.h"

#include <variant>

namespace dialects {
namespace {

template <class T>
void Fill(std::optional<T>& value, const std::optional<T>& other) {
  if (!value) value = other;
}

void FillMeasures(radio::GsmMeasures& m, const radio::GsmMeasures& o) {
  Fill(m.bsic, o.bsic);
  Fill(m.rxLevelDbm, o.rxLevelDbm);
  Fill(m.rxQual, o.rxQual);
  Fill(m.berPercent, o.berPercent);
  Fill(m.c1, o.c1);
  Fill(m.c2, o.c2);
  Fill(m.timingAdvance, o.timingAdvance);
  Fill(m.distanceKm, o.distanceKm);
}
void FillMeasures(radio::WcdmaMeasures& m, const radio::WcdmaMeasures& o) {
  Fill(m.psc, o.psc);
  Fill(m.rscpDbm, o.rscpDbm);
  Fill(m.ecnoDb, o.ecnoDb);
}
void FillMeasures(radio::LteMeasures& m, const radio::LteMeasures& o) {
  Fill(m.pci, o.pci);
  Fill(m.rsrpDbm, o.rsrpDbm);
  Fill(m.rsrqDb, o.rsrqDb);
  Fill(m.rssiDbm, o.rssiDbm);
  Fill(m.sinrDb, o.sinrDb);
}
void FillMeasures(radio::NrMeasures& m, const radio::NrMeasures& o) {
  Fill(m.pci, o.pci);
  Fill(m.rsrpDbm, o.rsrpDbm);
  Fill(m.rsrqDb, o.rsrqDb);
  Fill(m.sinrDb, o.sinrDb);
}

}  // namespace

void FillAbsent(radio::Cell& cell, const radio::Cell& other) {
  if (cell.tech() != other.tech()) return;
  std::visit(
      [&other](auto& measures) {
        using M = std::decay_t<decltype(measures)>;
        FillMeasures(measures, std::get<M>(other.measures));
      },
      cell.measures);
  Fill(cell.channel, other.channel);
  if (cell.band.empty()) cell.band = other.band;
  Fill(cell.mcc, other.mcc);
  Fill(cell.mnc, other.mnc);
  Fill(cell.lac, other.lac);
  Fill(cell.tac, other.tac);
  Fill(cell.cellId, other.cellId);
  if (cell.countryName.empty()) cell.countryName = other.countryName;
  if (cell.operatorName.empty()) cell.operatorName = other.operatorName;
}

void MergeReport(radio::Cycle& cycle, const CellReport& report) {
  if (report.serving) {
    if (!cycle.serving) {
      cycle.serving = report.serving;
    } else {
      const radio::Cell& given = *report.serving;
      const bool sameChannel = !cycle.serving->channel || !given.channel || cycle.serving->channel == given.channel;
      if (cycle.serving->tech() == given.tech() && sameChannel) FillAbsent(*cycle.serving, given);
    }
  }
  if (cycle.secondary.empty()) cycle.secondary = report.secondary;
  if (cycle.neighbours.empty()) cycle.neighbours = report.neighbours;
  if (report.registration && cycle.registration == radio::Registration::unknown) {
    cycle.registration = *report.registration;
  }
}

}  // namespace dialects
