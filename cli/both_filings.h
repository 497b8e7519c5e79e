#pragma once
// Logs in a folder and the fleet database at once: every message filed into both, the logs
// first (their answer is the collector's), and acknowledged only when both hold it.

#include "cli/cycle_filing.h"

namespace cli {

class BothFilings final : public CycleFiling {
 public:
  BothFilings(CycleFiling& logs, CycleFiling& database) : logs_(logs), database_(database) {}

  Filed FileCycle(const std::string& site, const sites::ParsedCycle& cycle) override {
    const Filed filed = logs_.FileCycle(site, cycle);
    if (filed != Filed::failed) database_.FileCycle(site, cycle);
    return filed;
  }
  Filed FileEvent(const std::string& site, const std::string& session, const std::string& time,
                  const history::CellEvent& event) override {
    const Filed filed = logs_.FileEvent(site, session, time, event);
    if (filed != Filed::failed) database_.FileEvent(site, session, time, event);
    return filed;
  }
  void SiteOnline(const std::string& site, const SiteStatus& status) override {
    logs_.SiteOnline(site, status);
    database_.SiteOnline(site, status);
  }
  void SiteOffline(const std::string& site, const SiteStatus& status, const std::string& reason) override {
    logs_.SiteOffline(site, status, reason);
    database_.SiteOffline(site, status, reason);
  }
  Filed RunEnded(const std::string& site, const std::string& session) override {
    const Filed filed = logs_.RunEnded(site, session);
    if (filed != Filed::failed) database_.RunEnded(site, session);
    return filed;
  }
  bool Commit() override { return logs_.Commit() && database_.Commit(); }
  void CompleteAll() override {
    logs_.CompleteAll();
    database_.CompleteAll();
  }
  std::uint64_t Failures() const override { return logs_.Failures() + database_.Failures(); }

 private:
  CycleFiling& logs_;
  CycleFiling& database_;
};

}  // namespace cli
