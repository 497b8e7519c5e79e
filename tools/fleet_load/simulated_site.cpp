#include "tools/fleet_load/simulated_site.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "platform/text_encoding.h"

namespace fleetload {
namespace {

constexpr double kMetresPerDegree = 111'320;
constexpr double kCycleSeconds = 0.4;
constexpr int kNeighbours = 6;
// A handover when a neighbour is this much stronger than the serving cell.
constexpr double kHandoverMarginDb = 6;
constexpr int kLevelThresholdDbm = history::EventDetector::kDefaultThreshold;

constexpr std::array<double, 8> kBitErrorPercent = {0.14, 0.28, 0.57, 1.13, 2.26, 4.53, 9.05, 18.1};

// A 15-digit IMEI: a type allocation code, a serial, and the Luhn check digit.
std::string ImeiOf(std::uint64_t seed, int index) {
  const unsigned long serial =
      static_cast<unsigned long>((seed * 7919 + static_cast<std::uint64_t>(index)) % 1'000'000);
  char digits[16];
  std::snprintf(digits, sizeof digits, "35693803%06lu", serial);
  int sum = 0;
  for (int i = 0; i < 14; ++i) {
    int digit = digits[i] - '0';
    if (i % 2 == 1) digit = digit * 2 > 9 ? digit * 2 - 9 : digit * 2;
    sum += digit;
  }
  return std::string(digits, 14) + static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string Hex(std::int64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llX", static_cast<long long>(value));
  return text;
}

}  // namespace

SimulatedSite::SimulatedSite(std::uint64_t seed, int index)
    : random_(seed * std::uint64_t{0x9E3779B97F4A7C15} ^ static_cast<std::uint64_t>(index)) {
  lte_ = index % 4 == 3;
  identity_.imei = ImeiOf(seed, index);
  identity_.manufacturer = "Quectel";
  identity_.model = lte_ ? "EC25" : "EC21";
  identity_.firmware = "EC25EFAR06A06M4G";
  identity_.dialect = "quectel";
  mnc_ = std::array{1, 2, 20, 99}[static_cast<std::size_t>(Whole(0, 3))];
  areaBase_ = Whole(1000, 60000);
  // Somewhere within 10 km of the city's centre.
  latitude_ = 55.7558 + (Unit() - 0.5) * 0.18;
  longitude_ = 37.6173 + (Unit() - 0.5) * 0.32;
  altitude_ = 140 + Whole(0, 60);
  headingRad_ = Unit() * 2 * std::numbers::pi;
  speedMps_ = Whole(0, 14);
  for (int i = 0; i <= kNeighbours; ++i) {
    Seen cell = NewCell();
    cell.levelDbm = i == 0 ? Whole(-75, -60) : Whole(-105, -80);
    cells_.push_back(cell);
  }
  lastServing_ = cells_[0];
  timingAdvance_ = Whole(0, 8);
}

int SimulatedSite::Whole(int low, int high) {
  return low + static_cast<int>(random_() % static_cast<std::uint64_t>(high - low + 1));
}

double SimulatedSite::Unit() { return static_cast<double>(random_() >> 11) * 0x1p-53; }

SimulatedSite::Seen SimulatedSite::NewCell() {
  Seen cell;
  // Two areas around the site's place; a new cell now and then lies in the other one.
  cell.area = areaBase_ + (Unit() < 0.8 ? 0 : 1);
  if (lte_) {
    cell.cellId = std::int64_t{Whole(1, 0xFFFFFF)} * 256 + Whole(1, 3);
    cell.channel = std::array{1300, 1850, 3400, 6300}[static_cast<std::size_t>(Whole(0, 3))];
    cell.physicalId = Whole(0, 503);
  } else {
    cell.cellId = Whole(1, 0xFFFF);
    cell.channel = Unit() < 0.6 ? Whole(1, 124) : Whole(512, 885);
    cell.physicalId = Whole(0, 63);
  }
  cell.levelDbm = -105;
  return cell;
}

radio::Cell SimulatedSite::ServingCell() const {
  const Seen& seen = cells_[0];
  radio::Cell cell;
  cell.mcc = 250;
  cell.mnc = mnc_;
  cell.countryName = platform::Utf8ToCp1251("Россия");
  cell.cellId = seen.cellId;
  cell.channel = seen.channel;
  if (lte_) {
    radio::LteMeasures lte;
    lte.pci = seen.physicalId;
    lte.rsrpDbm = seen.levelDbm;
    lte.rsrqDb = std::clamp(std::round(-11 + (seen.levelDbm + 95) / 5), -20.0, -3.0);
    lte.rssiDbm = std::clamp(seen.levelDbm + 26, -110.0, -25.0);
    lte.sinrDb = std::clamp(std::round((seen.levelDbm + 112) / 2), -5.0, 30.0);
    cell.measures = lte;
    cell.tac = seen.area;
    cell.band = cell.channel == 1300 || cell.channel == 1850 ? "B3" : (cell.channel == 3400 ? "B7" : "B20");
  } else {
    radio::GsmMeasures gsm;
    gsm.bsic = seen.physicalId;
    gsm.rxLevelDbm = static_cast<int>(seen.levelDbm);
    const int quality = seen.levelDbm > -85 ? 0 : (seen.levelDbm > -95 ? 1 : (seen.levelDbm > -102 ? 3 : 6));
    gsm.rxQual = quality;
    gsm.berPercent = kBitErrorPercent[static_cast<std::size_t>(quality)];
    gsm.timingAdvance = timingAdvance_;
    gsm.distanceKm = std::round(timingAdvance_ * 553.5) / 1000;
    cell.measures = gsm;
    cell.lac = seen.area;
    cell.band = cell.channel < 512 ? "GSM900" : "GSM1800";
  }
  return cell;
}

radio::Cell SimulatedSite::NeighbourCell(const Seen& seen) const {
  radio::Cell cell;
  cell.channel = seen.channel;
  if (lte_) {
    radio::LteMeasures lte;
    lte.pci = seen.physicalId;
    lte.rsrpDbm = seen.levelDbm;
    lte.rsrqDb = std::clamp(std::round(-13 + (seen.levelDbm + 95) / 5), -20.0, -3.0);
    cell.measures = lte;
  } else {
    radio::GsmMeasures gsm;
    gsm.bsic = seen.physicalId;
    gsm.rxLevelDbm = static_cast<int>(seen.levelDbm);
    cell.measures = gsm;
    cell.band = cell.channel < 512 ? "GSM900" : "GSM1800";
    cell.cellId = seen.cellId;
  }
  return cell;
}

void SimulatedSite::Move() {
  // A car in town: it turns a little, speeds up and slows down, stops at lights.
  headingRad_ += (Unit() - 0.5) * 0.3;
  if (Unit() < 0.02) {
    speedMps_ = 0;
  } else {
    speedMps_ = std::clamp(speedMps_ + (Unit() - 0.45) * 2, 0.0, 16.0);
  }
  const double metres = speedMps_ * kCycleSeconds;
  latitude_ += metres * std::cos(headingRad_) / kMetresPerDegree;
  longitude_ += metres * std::sin(headingRad_) / (kMetresPerDegree * std::cos(latitude_ * std::numbers::pi / 180));
  altitude_ = std::clamp(altitude_ + (Unit() - 0.5), 100.0, 250.0);
}

void SimulatedSite::Drift() {
  const double low = lte_ ? -125 : -110;
  const double high = lte_ ? -70 : -48;
  for (Seen& cell : cells_) cell.levelDbm = std::clamp(cell.levelDbm + Whole(-3, 3), low, high);
  // Now and then a cell comes into view in place of the weakest neighbour.
  if (Unit() < 1.0 / 150) {
    const auto weakest = std::min_element(cells_.begin() + 1, cells_.end(),
                                          [](const Seen& a, const Seen& b) { return a.levelDbm < b.levelDbm; });
    *weakest = NewCell();
  }
  const auto strongest = std::max_element(cells_.begin() + 1, cells_.end(),
                                          [](const Seen& a, const Seen& b) { return a.levelDbm < b.levelDbm; });
  if (strongest->levelDbm > cells_[0].levelDbm + kHandoverMarginDb) {
    std::swap(cells_[0], *strongest);
    timingAdvance_ = Whole(0, 8);
  } else if (Unit() < 0.05) {
    timingAdvance_ = std::clamp(timingAdvance_ + Whole(-1, 1), 0, 63);
  }
}

std::vector<history::CellEvent> SimulatedSite::Events(std::chrono::system_clock::time_point time) {
  std::vector<history::CellEvent> events;
  const Seen& now = cells_[0];
  const auto name = [](const Seen& cell) {
    return Hex(cell.cellId) + " (" + std::to_string(cell.channel) + ", " + std::to_string(cell.physicalId) + ")";
  };
  if (n_ == 1) events.push_back({history::EventKind::connectionStarted, {}, {}, 0, time});
  if (now.cellId != lastServing_.cellId) {
    events.push_back({history::EventKind::servingCell, name(lastServing_), name(now), 0, time});
    if (now.area != lastServing_.area) {
      events.push_back({history::EventKind::areaChanged, Hex(lastServing_.area), Hex(now.area), 0, time});
    }
  }
  lastServing_ = now;
  // As the detector does: held for a few cycles, and back only clearly above the threshold.
  const bool other =
      below_ ? now.levelDbm >= kLevelThresholdDbm + history::kLevelHysteresisDb : now.levelDbm < kLevelThresholdDbm;
  streak_ = other ? streak_ + 1 : 0;
  if (streak_ >= history::kLevelHoldCycles) {
    below_ = !below_;
    streak_ = 0;
    events.push_back(
        {below_ ? history::EventKind::levelLow : history::EventKind::levelRestored, {}, {}, kLevelThresholdDbm, time});
  }
  return events;
}

SiteStep SimulatedSite::Next(std::chrono::system_clock::time_point time) {
  time = std::chrono::time_point_cast<std::chrono::milliseconds>(time);
  ++n_;
  if (n_ > 1) {
    Move();
    Drift();
  }
  SiteStep step;
  radio::Cycle& cycle = step.cycle;
  cycle.n = n_;
  cycle.time = time;
  cycle.identity = {identity_.imei, identity_.manufacturer, identity_.model, identity_.firmware, {}};
  cycle.registration = radio::Registration::home;
  // A fix lost now and then (a tunnel, a bridge).
  if (Unit() >= 0.03) {
    radio::Position fix;
    fix.latitude = std::round(latitude_ * 1e7) / 1e7;
    fix.longitude = std::round(longitude_ * 1e7) / 1e7;
    fix.altitude = std::round(altitude_ * 10) / 10;
    fix.mode = 3;
    fix.horizontalError = Whole(20, 90) / 10.0;
    fix.time = time;
    cycle.position = fix;
  }
  cycle.serving = ServingCell();
  for (std::size_t i = 1; i < cells_.size(); ++i) cycle.neighbours.push_back(NeighbourCell(cells_[i]));
  step.events = Events(time);
  return step;
}

}  // namespace fleetload
