#pragma once
// A fleet of simulated sites on a broker, each a site publisher of its own (its own connection,
// client id, retained "online" status and last will), publishing its cycles and events at QoS 1:
// every site at the real rate (a cycle per 0.4 s, the sites spread over that interval), or as
// fast as the broker takes them, each site keeping a bounded number of messages waiting.

#include <atomic>
#include <chrono>
#include <cstdint>

#include "mqtt/broker_url.h"
#include "sites/site_publisher.h"

namespace fleetload {

inline constexpr std::chrono::milliseconds kCycleInterval{400};
// libmosquitto's network threads wait in select(), which takes descriptors below 1024 only, and
// each site takes three (its socket and a pair that wakes its thread).
inline constexpr int kMostSitesPerProcess = 300;

struct FleetOptions {
  mqtt::BrokerUrl broker;
  sites::MqttSettings mqtt;  // its caFile and queue
  int sites = 10;
  int firstSite = 0;                      // the index of the first: processes of one fleet take sites of their own
  long cycles = 0;                        // per site; 0: until duration or a stop
  std::chrono::milliseconds duration{0};  // 0: until cycles or a stop
  bool flatOut = false;                   // as fast as the broker takes them
  bool userPerSite = false;               // each site logs in as its IMEI (the URL's password)
  std::uint64_t seed = 1;
  std::chrono::seconds finishWait{60};  // for what is still queued at the end
};

struct FleetTotals {
  std::uint64_t cycles = 0;        // queued by the sites
  std::uint64_t events = 0;        // queued by the sites
  std::uint64_t acknowledged = 0;  // of those, confirmed by the broker
  std::uint64_t dropped = 0;       // pushed out of a full queue
  std::uint64_t unsent = 0;        // still queued when the wait at the end ran out
  double seconds = 0;              // from the first cycle until all was acknowledged (or given up)
};

// Publishes until the cycles or the duration are done or stops turns 1; then waits for the queues
// (a second stop ends the wait), ends every site's run and disconnects.
FleetTotals RunFleet(const FleetOptions& options, const std::atomic<int>& stops);

}  // namespace fleetload
