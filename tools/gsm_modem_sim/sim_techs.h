#pragma once
// The cells of the simulated radio environment as other technologies see them: an LTE serving
// cell over the GSM serving cell (its level and identity drawn from it), WCDMA neighbours, and
// the NR leg of EN-DC. Pure functions of the cell world, so a test can tell what the modem said.

#include <string>
#include <vector>

#include "tools/gsm_modem_sim/cell_world.h"

namespace modemsim {

// What the simulated modem is camped on: GSM only, LTE (WCDMA and GSM neighbours), or LTE with
// an NR leg (EN-DC).
enum class SimTech { gsm, lte, endc };

struct SimLteCell {
  int earfcn = 0;
  int band = 0;
  int pci = 0;
  int tac = 0;
  long cellId = 0;
  int rsrpDbm = 0;
  int rsrqDb = 0;
  int rssiDbm = 0;
  int sinrDb = 0;
};

struct SimWcdmaCell {
  int uarfcn = 0;
  int psc = 0;
  int rscpDbm = 0;
  int ecnoDb = 0;
};

struct SimNrCell {
  int arfcn = 0;
  int band = 0;
  int pci = 0;
  int rsrpDbm = 0;
  int rsrqDb = 0;
  int sinrDb = 0;
};

inline constexpr int kSimMcc = 250;

SimLteCell LteServing(const CellWorld& world);
std::vector<SimWcdmaCell> WcdmaNeighbours(const CellWorld& world);
SimNrCell NrLeg(const CellWorld& world);
// BSIC of a simulated GSM cell.
int BsicOf(const SimCell& cell);
// Its cell identity as the other families report it: 16 bits, as 3GPP has it for GSM (the seed
// family's report shows more).
int GsmCellIdOf(const SimCell& cell);

}  // namespace modemsim
