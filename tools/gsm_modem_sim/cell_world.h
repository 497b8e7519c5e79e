#pragma once
// The simulated radio environment: a serving cell and up to six neighbours whose levels wander
// slowly, rendered as the modem's cell report lines. Deterministic for a given seed.

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace modemsim {

// Where the channels of the cells lie: all three bands (now and then none), or one band only.
enum class SimBand { mixed, gsm900, gsm1800, egsm };

struct SimCell {
  int channel = 0;
  int level = 0;  // dBm
  int ncc = 0;
  int bcc = 0;
  int cellId = 0;
};

class CellWorld {
 public:
  CellWorld(std::uint32_t seed, int neighbours, SimBand band = SimBand::mixed);

  // One step of the slow drift; called once per serving report.
  void Advance();
  // A cell reselection: the strongest neighbour becomes the serving cell and the serving cell a
  // neighbour (a new cell comes into view when there are no neighbours). Every second one also
  // enters another location area.
  void Reselect();

  // Title, column header and value line of the serving report; the dedicated-channel section
  // carries values while inCall, "No connection" otherwise.
  std::vector<std::string> ServingReport(bool inCall) const;
  // Column header and one line per neighbour.
  std::vector<std::string> NeighbourReport() const;

  const SimCell& Serving() const { return serving_; }
  const std::vector<SimCell>& Neighbours() const { return neighbours_; }
  int Mnc() const { return mnc_; }
  int Lac() const { return lac_; }

 private:
  SimCell newCell(int levelLow, int levelHigh);
  int randomChannel();
  int wander(int value, int step, int low, int high);

  std::mt19937 random_;
  SimBand band_ = SimBand::mixed;
  int mnc_ = 1;
  int lac_ = 0;
  SimCell serving_;
  int quality_ = 0;
  int timingAdvance_ = 0;
  int timeslot_ = 0;
  std::vector<SimCell> neighbours_;
  long reselections_ = 0;
};

}  // namespace modemsim
