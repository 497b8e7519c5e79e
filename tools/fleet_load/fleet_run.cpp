#include "tools/fleet_load/fleet_run.h"

#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sites/cycle_message.h"
#include "sites/event_message.h"
#include "tools/fleet_load/simulated_site.h"

namespace fleetload {
namespace {

using Clock = std::chrono::steady_clock;

// As fast as the broker takes them: a site queues no more than this beyond what it has in flight.
constexpr std::size_t kFlatOutWaiting = 100;

// What the sites tell of the broker, each text once for the whole fleet: a thousand sites losing
// the same broker is one line.
sites::BrokerReport OnceEach() {
  struct Said {
    std::mutex mutex;
    std::set<std::string> texts;
  };
  return [said = std::make_shared<Said>()](sites::BrokerEvent event, const std::string& text) {
    if (event == sites::BrokerEvent::connecting) return;
    std::lock_guard lock(said->mutex);
    if (said->texts.insert(text).second) std::cerr << text + "\n" << std::flush;
  };
}

// Sleeps until when, in short steps so that a stop is noticed; false when stopped.
bool SleepUntil(Clock::time_point when, const std::atomic<int>& stops) {
  while (stops.load() == 0) {
    const auto now = Clock::now();
    if (now >= when) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(when - now, std::chrono::milliseconds(100)));
  }
  return false;
}

}  // namespace

FleetTotals RunFleet(const FleetOptions& options, const std::atomic<int>& stops) {
  const sites::BrokerReport report = OnceEach();
  std::vector<SimulatedSite> simulated;
  std::vector<std::unique_ptr<sites::SitePublisher>> publishers;
  for (int i = 0; i < options.sites; ++i) {
    simulated.emplace_back(options.seed, options.firstSite + i);
    mqtt::BrokerUrl broker = options.broker;
    if (options.userPerSite) broker.user = simulated.back().Identity().imei;
    publishers.push_back(
        std::make_unique<sites::SitePublisher>(broker, options.mqtt, simulated.back().Identity(), report));
    publishers.back()->Start();
  }

  FleetTotals totals;
  const auto start = Clock::now();
  const auto sites = static_cast<std::size_t>(options.sites);
  const auto over = [&] {
    return stops.load() > 0 || (options.duration.count() > 0 && Clock::now() >= start + options.duration);
  };
  bool ended = false;
  for (long round = 0; !ended && (options.cycles == 0 || round < options.cycles); ++round) {
    for (std::size_t i = 0; i < sites && !ended; ++i) {
      if (options.flatOut) {
        while (!(ended = over()) && publishers[i]->Counts().waiting >= kFlatOutWaiting) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      } else {
        // Each site at its own moment of the interval, as sites that started at different times.
        const auto due = start + round * kCycleInterval + kCycleInterval * static_cast<long>(i) / options.sites;
        ended = !SleepUntil(due, stops) || over();
      }
      if (ended) break;
      const SiteStep step = simulated[i].Next(std::chrono::system_clock::now());
      publishers[i]->Cycle(sites::CycleObject(step.cycle, ""));
      ++totals.cycles;
      for (const history::CellEvent& event : step.events) {
        publishers[i]->Event(sites::EventObject(event));
        ++totals.events;
      }
    }
  }
  // The runs end as a monitor's run ends when it is stopped.
  for (std::size_t i = 0; i < sites; ++i) {
    if (simulated[i].Cycles() == 0) continue;
    publishers[i]->Event(
        sites::EventObject({history::EventKind::connectionEnded, {}, {}, 0, std::chrono::system_clock::now()}));
    ++totals.events;
  }

  // What is acknowledged is counted before the sites' last words (their "offline" status), which
  // their publishers count too.
  const auto deadline = Clock::now() + options.finishWait;
  const auto waiting = [&] {
    std::size_t sum = 0;
    for (const auto& publisher : publishers) sum += publisher->Counts().waiting;
    return sum;
  };
  while (waiting() > 0 && Clock::now() < deadline && stops.load() < 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  totals.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (const auto& publisher : publishers) {
    const mqtt::Publisher::Counts counts = publisher->Counts();
    totals.acknowledged += counts.acknowledged;
    totals.dropped += counts.dropped;
  }
  for (const auto& publisher : publishers) {
    publisher->Finish(Clock::now(), [&stops] { return stops.load() >= 2; });
    totals.unsent += publisher->Counts().unsent;
  }
  return totals;
}

}  // namespace fleetload
