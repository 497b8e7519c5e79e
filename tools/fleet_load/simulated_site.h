#pragma once
// A monitored site made up for load: a modem of its own (a distinct IMEI) driving about a city,
// its serving cell and six neighbours with levels that wander, a handover when a neighbour grows
// clearly stronger, now and then a new cell in view or another area, a fix that is sometimes
// lost, and the events such a run gives. GSM mostly; every fourth site is on LTE. The same seed
// and index give the same run, cycle for cycle, whatever the times handed in, so a reader of its
// messages can make the cycles again and compare.

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "history/cell_events.h"
#include "radio/cycle.h"
#include "sites/site_publisher.h"

namespace fleetload {

// A cycle and the events it brought, in the order a site publishes them.
struct SiteStep {
  radio::Cycle cycle;
  std::vector<history::CellEvent> events;
};

class SimulatedSite {
 public:
  SimulatedSite(std::uint64_t seed, int index);

  const sites::SiteIdentity& Identity() const { return identity_; }
  // The next cycle (numbered from 1), taken at time; the first one also starts the connection.
  SiteStep Next(std::chrono::system_clock::time_point time);
  // Cycles made so far.
  long Cycles() const { return n_; }

 private:
  // A cell in view: its identity and the level the site would see it at.
  struct Seen {
    std::int64_t cellId = 0;
    std::int64_t area = 0;  // LAC, or TAC on LTE
    int channel = 0;
    int physicalId = 0;  // BSIC or PCI
    double levelDbm = -90;
  };

  Seen NewCell();
  int Whole(int low, int high);
  double Unit();  // [0, 1)
  radio::Cell ServingCell() const;
  radio::Cell NeighbourCell(const Seen& seen) const;
  void Move();
  void Drift();
  std::vector<history::CellEvent> Events(std::chrono::system_clock::time_point time);

  std::mt19937_64 random_;
  sites::SiteIdentity identity_;
  bool lte_ = false;
  int mnc_ = 1;
  std::int64_t areaBase_ = 0;
  long n_ = 0;
  double latitude_ = 0, longitude_ = 0, altitude_ = 0, headingRad_ = 0, speedMps_ = 0;
  std::vector<Seen> cells_;  // [0] serves
  Seen lastServing_;
  int timingAdvance_ = 0;
  // The level events: below the threshold or not, and for how many cycles the other way.
  bool below_ = false;
  int streak_ = 0;
};

}  // namespace fleetload
