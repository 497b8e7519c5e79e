#pragma once
// The collector: subscribes to the cycles, statuses and events that sites publish to a broker and
// writes each site's cycles into log files of its own, through the log recorder and writer the
// monitor uses: a folder per IMEI, a file per day of the cycles' own dates (DDMMYYYY.log, a new
// run of the site or of the collector the same day DDMMYYYY-2.log and so on, nothing
// overwritten), sealed after every cycle and completed with the run summary when the site's run
// ends ("offline", "stopped"), when the day changes, when the site starts a new run and when the
// collector stops. A message that is not a
// sound cycle, status or event is counted and skipped; repeats of a cycle (QoS 1 delivers at
// least once) are written once.

#include <cstdint>
#include <string>

#include "sites/site_publisher.h"

namespace cli {

struct CollectOptions {
  sites::MqttSettings mqtt;  // url, passwordFile, caFile
  std::string dir;
};

// What the collector did with the messages it received.
struct CollectCounts {
  std::uint64_t cycles = 0;     // written into a log
  std::uint64_t repeats = 0;    // a cycle already written
  std::uint64_t malformed = 0;  // skipped
  std::uint64_t statuses = 0;
  std::uint64_t events = 0;
};

// Runs until SIGINT, SIGTERM or SIGHUP. Exit status 0, or 1 when the address, the password file
// or the folder is unusable.
int RunCollector(const CollectOptions& options);

}  // namespace cli
