#pragma once
// Where the collector files what the sites publish: logs in a folder (log_filing.h), or another
// store behind the same calls. A cycle is stored once by its site, its run's session and its
// number, whatever order the runs' messages come in and however often one comes again. What
// reports failed is not stored and must come again: the collector does not acknowledge it, nor
// anything filed since the last commit. Every call comes from one thread.

#include <cstdint>
#include <string>

#include "history/cell_events.h"
#include "sites/cycle_message.h"

namespace cli {

enum class Filed { written, repeat, failed };

// A site's status: its modem and its run (Windows-1251 texts).
struct SiteStatus {
  std::string imei, model, session;
  std::string manufacturer, firmware, dialect;
};

class CycleFiling {
 public:
  virtual ~CycleFiling() = default;
  // A cycle of a site's run (cycle.session).
  virtual Filed FileCycle(const std::string& site, const sites::ParsedCycle& cycle) = 0;
  // An event of a site's run, time as the site wrote it: stored with that run's cycles, in order.
  virtual Filed FileEvent(const std::string& site, const std::string& session, const std::string& time,
                          const history::CellEvent& event) = 0;
  // The site announced a run.
  virtual void SiteOnline(const std::string& site, const SiteStatus& status) = 0;
  // The site went offline (reason "stopped", "lost", ...).
  virtual void SiteOffline(const std::string& /*site*/, const SiteStatus& /*status*/, const std::string& /*reason*/) {}
  // The site's run ended: what is stored of it is complete.
  virtual Filed RunEnded(const std::string& site, const std::string& session) = 0;
  // What was filed since the last commit is made durable before it is acknowledged; false when
  // none of it is, and all of it must come again.
  virtual bool Commit() { return true; }
  // The collector stops: everything is completed.
  virtual void CompleteAll() = 0;
  // Stores that failed so far.
  virtual std::uint64_t Failures() const = 0;
};

}  // namespace cli
