#pragma once
// The collector: subscribes to the cycles, statuses and events that sites publish to a broker and
// files each run's cycles and events (cli/log_filing.h: a log per run and day). A message that is
// not a sound cycle, status or event is counted and skipped; repeats of a cycle (QoS 1 delivers
// at least once, and again after a restart) are written once. What cannot be stored is not
// acknowledged: the collector drops its link and the broker's persistent session keeps it.

#include <cstdint>
#include <string>

#include "sites/site_publisher.h"

namespace cli {

struct CollectOptions {
  sites::MqttSettings mqtt;  // url, passwordFile, caFile
  std::string dir;
  // A shared subscription's group: collectors of one group divide the sites' messages between
  // them. "" subscribes alone.
  std::string share;
};

// What the collector did with the messages it received.
struct CollectCounts {
  std::uint64_t cycles = 0;     // written into a log
  std::uint64_t repeats = 0;    // a cycle already written
  std::uint64_t malformed = 0;  // skipped
  std::uint64_t statuses = 0;
  std::uint64_t events = 0;
  std::uint64_t missing = 0;   // cycle numbers of a run that never came (between ones that did)
  std::uint64_t failures = 0;  // stores that failed (and were not acknowledged)
};

// Runs until SIGINT, SIGTERM or SIGHUP. Exit status 0, or 1 when the address, the password file
// or the folder is unusable.
int RunCollector(const CollectOptions& options);

}  // namespace cli
