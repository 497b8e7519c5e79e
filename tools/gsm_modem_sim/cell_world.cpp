#include "tools/gsm_modem_sim/cell_world.h"

#include <algorithm>
#include <cstdio>

namespace modemsim {

namespace {

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, pattern, args...);
  return buffer;
}

int RxLev(int level) { return std::clamp(level + 110, 0, 63); }

constexpr const char* kServingHeader =
    "chann rs  dBm MCC MNC  LAC  cell NCC BCC PWR RxLev  C1  C2 RxQFull TA I TS timAdv chann  dBm Q ChMod";
constexpr const char* kNeighbourHeader = "chann rs  dBm NCC BCC  cell PWR RxLev  C1  C2";

}  // namespace

CellWorld::CellWorld(std::uint32_t seed, int neighbours, SimBand band) : random_(seed), band_(band) {
  static constexpr int kNetworks[] = {1, 2, 99};
  // Mostly the three home networks, now and then another one.
  mnc_ = std::uniform_int_distribution<int>(0, 9)(random_) == 0 ? 20 : kNetworks[random_() % 3];
  lac_ = std::uniform_int_distribution<int>(0x0100, 0x2700)(random_);
  serving_ = newCell(-85, -60);
  quality_ = std::uniform_int_distribution<int>(0, 2)(random_);
  timingAdvance_ = std::uniform_int_distribution<int>(0, 6)(random_);
  for (int i = 0; i < std::clamp(neighbours, 0, 6); ++i) neighbours_.push_back(newCell(-105, -70));
}

int CellWorld::randomChannel() {
  switch (band_) {
    case SimBand::gsm900:
      return std::uniform_int_distribution<int>(1, 124)(random_);
    case SimBand::gsm1800:
      return std::uniform_int_distribution<int>(512, 885)(random_);
    case SimBand::egsm:
      return std::uniform_int_distribution<int>(975, 1023)(random_);
    case SimBand::mixed:
      break;
  }
  const int pick = std::uniform_int_distribution<int>(0, 19)(random_);
  if (pick < 9) return std::uniform_int_distribution<int>(1, 124)(random_);
  if (pick < 16) return std::uniform_int_distribution<int>(512, 885)(random_);
  if (pick < 19) return std::uniform_int_distribution<int>(975, 1023)(random_);
  return std::uniform_int_distribution<int>(125, 511)(random_);  // outside the three bands
}

SimCell CellWorld::newCell(int levelLow, int levelHigh) {
  SimCell cell;
  cell.channel = randomChannel();
  cell.level = std::uniform_int_distribution<int>(levelLow, levelHigh)(random_);
  cell.ncc = std::uniform_int_distribution<int>(0, 7)(random_);
  cell.bcc = std::uniform_int_distribution<int>(0, 7)(random_);
  cell.cellId = std::uniform_int_distribution<int>(0x0010, 0x1869E)(random_);
  return cell;
}

int CellWorld::wander(int value, int step, int low, int high) {
  return std::clamp(value + std::uniform_int_distribution<int>(-step, step)(random_), low, high);
}

void CellWorld::Advance() {
  serving_.level = wander(serving_.level, 2, -110, -50);
  // Quality follows the level: good above -85 dBm, worse towards the edge of coverage.
  const int target = serving_.level > -85 ? 0 : std::min(7, (-85 - serving_.level) / 4);
  if (quality_ < target) ++quality_;
  if (quality_ > target) --quality_;
  if (std::uniform_int_distribution<int>(0, 9)(random_) == 0) timingAdvance_ = wander(timingAdvance_, 1, 0, 12);
  for (SimCell& cell : neighbours_) {
    cell.level = wander(cell.level, 3, -112, -55);
    // A neighbour that fades out is replaced by another one coming into view.
    if (cell.level <= -110 && std::uniform_int_distribution<int>(0, 3)(random_) == 0) cell = newCell(-108, -95);
  }
  std::sort(neighbours_.begin(), neighbours_.end(),
            [](const SimCell& a, const SimCell& b) { return a.level > b.level; });
  timeslot_ = (timeslot_ + 1) % 8;
}

void CellWorld::Reselect() {
  if (neighbours_.empty()) {
    serving_ = newCell(-85, -60);
  } else {
    // The report lists the neighbours strongest first.
    std::swap(serving_, neighbours_.front());
    // The modem reselects to a cell that is heard better than the one it leaves.
    serving_.level = std::clamp(std::max(serving_.level, neighbours_.front().level + 4), -110, -50);
    std::sort(neighbours_.begin(), neighbours_.end(),
              [](const SimCell& a, const SimCell& b) { return a.level > b.level; });
  }
  if (++reselections_ % 2 == 0) lac_ = lac_ >= 0x2700 ? 0x0100 : lac_ + 1;
}

std::vector<std::string> CellWorld::ServingReport(bool inCall) const {
  const SimCell& s = serving_;
  const int lev = RxLev(s.level);
  std::string values =
      Format("%5d %2d %4d %3d  %02d %04X %5X %3d %3d %3d %5d %3d %3d %7d %2d I", s.channel, lev / 2, s.level, 250, mnc_,
             lac_, s.cellId, s.ncc, s.bcc, 33, lev, lev - 4, lev - 4, quality_, timingAdvance_);
  if (inCall) {
    values += Format(" %d %6d %5d %4d %d  EFR", timeslot_, timingAdvance_, s.channel, s.level + 1, quality_);
  } else {
    values += " No connection";
  }
  return {"Serving Cell", kServingHeader, values};
}

std::vector<std::string> CellWorld::NeighbourReport() const {
  std::vector<std::string> lines{kNeighbourHeader};
  for (const SimCell& n : neighbours_) {
    const int lev = RxLev(n.level);
    lines.push_back(Format("%5d %2d %4d %3d %3d %5X %3d %5d %3d %3d", n.channel, lev / 2, n.level, n.ncc, n.bcc,
                           n.cellId, 33, lev, lev - 4, lev - 4));
  }
  return lines;
}

}  // namespace modemsim
