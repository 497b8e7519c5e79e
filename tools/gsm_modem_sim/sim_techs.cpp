#include "tools/gsm_modem_sim/sim_techs.h"

namespace modemsim {

SimLteCell LteServing(const CellWorld& world) {
  const SimCell& gsm = world.Serving();
  SimLteCell cell;
  cell.earfcn = 1300;
  cell.band = 3;
  cell.pci = gsm.cellId % 504;
  cell.tac = world.Lac();
  cell.cellId = 0x1A00000L + gsm.cellId;
  cell.rsrpDbm = gsm.level - 25;
  cell.rsrqDb = -9 - (gsm.level < -90 ? 3 : 0);
  cell.rssiDbm = gsm.level - 5;
  cell.sinrDb = (gsm.level + 120) / 4;
  return cell;
}

std::vector<SimWcdmaCell> WcdmaNeighbours(const CellWorld& world) {
  // Two cells whose codes follow from the serving cell (the neighbours' order changes as their
  // levels wander), their levels below it.
  const SimCell& serving = world.Serving();
  return {{10700, (serving.cellId * 7) % 512, serving.level - 12, -6},
          {10700, (serving.cellId * 7 + 13) % 512, serving.level - 18, -9}};
}

SimNrCell NrLeg(const CellWorld& world) {
  const SimCell& gsm = world.Serving();
  return {627264, 78, (gsm.cellId * 3) % 1008, gsm.level - 30, -11, 12};
}

int BsicOf(const SimCell& cell) { return cell.ncc * 8 + cell.bcc; }

int GsmCellIdOf(const SimCell& cell) { return cell.cellId % 0xFFFF; }

}  // namespace modemsim
