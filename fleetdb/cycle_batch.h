#pragma once
// What a collector received since its last commit, as rows of the fleet database, and their
// writing in one transaction: cycles (their other cells in the cycle's own row) through COPY, and
// when some of them are there already through a temporary table and INSERT ... ON CONFLICT DO
// NOTHING, so that a cycle that comes again (a redelivery, a restarted collector, a second
// collector) never makes a second row. Texts come as Windows-1251 and are stored as UTF-8.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "fleetdb/connection.h"
#include "fleetdb/partitions.h"
#include "radio/cycle.h"

namespace fleetdb {

// A site's status message.
struct SiteStatusRow {
  std::string imei;  // the site's topic level
  std::string manufacturer, model, firmware, session, status, reason, dialect;
};

struct EventRow {
  std::string site, session;
  std::chrono::system_clock::time_point time;
  std::string event, from, to;
  std::optional<int> thresholdDbm;
};

struct WriteCounts {
  std::uint64_t cycles = 0;   // rows made
  std::uint64_t repeats = 0;  // cycles already there
};

class CycleBatch {
 public:
  void AddCycle(const std::string& site, const std::string& session, const radio::Cycle& cycle);
  void AddEvent(EventRow event);
  void AddStatus(SiteStatusRow status);
  void AddRunEnd(const std::string& site, const std::string& session);
  std::size_t Cycles() const { return cycles_; }
  bool Empty() const;
  void Clear();

  // The batch in one transaction (the partitions it needs made first); false with why in error,
  // when nothing of it is stored. The temporary tables must exist (PrepareSession).
  bool Write(Connection& connection, Partitions& partitions, WriteCounts& counts, std::string& error) const;
  // Makes the session's temporary tables; once per connection.
  static bool PrepareSession(Connection& connection, std::string& error);

 private:
  // COPY text rows by key (site, session, n, microseconds of time): one row a key, in key order.
  std::map<std::tuple<std::string, std::string, long, std::int64_t>, std::string> cycleRows_;
  // The time span of each run (site, session) in the batch.
  std::map<std::pair<std::string, std::string>,
           std::pair<std::chrono::system_clock::time_point, std::chrono::system_clock::time_point>>
      runs_;
  std::size_t cycles_ = 0;
  std::set<int> months_;
  std::vector<EventRow> events_;
  std::vector<SiteStatusRow> statuses_;
  std::vector<std::pair<std::string, std::string>> runEnds_;
};

// The cell columns the tables have: radio/cell_values.h's names.
const std::vector<std::string>& CellColumns();

}  // namespace fleetdb
