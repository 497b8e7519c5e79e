#pragma once
// The collector's filing into the fleet database (fleetdb/): what arrives is gathered into a
// batch, and Commit writes the batch in one transaction; nothing is acknowledged before that.
// A database that cannot be reached or refuses the batch is said once, with its cause, and once
// when it takes batches again; the messages of a failed batch come again from the broker.

#include <cstdint>
#include <functional>
#include <string>

#include "cli/cycle_filing.h"
#include "fleetdb/cycle_batch.h"
#include "fleetdb/fleet_writer.h"

namespace cli {

class DbFiling final : public CycleFiling {
 public:
  // say gets each line for stderr (UTF-8).
  DbFiling(const std::string& url, std::function<void(const std::string&)> say);

  // Connects and brings the schema up to date; false (said) when the database cannot be reached
  // now, which the first commits will try again.
  bool Connect();

  Filed FileCycle(const std::string& site, const sites::ParsedCycle& cycle) override;
  Filed FileEvent(const std::string& site, const std::string& session, const std::string& time,
                  const history::CellEvent& event) override;
  void SiteOnline(const std::string& site, const SiteStatus& status) override;
  void SiteOffline(const std::string& site, const SiteStatus& status, const std::string& reason) override;
  Filed RunEnded(const std::string& site, const std::string& session) override;
  bool Commit() override;
  void CompleteAll() override {}
  std::uint64_t Failures() const override { return failures_; }

  const fleetdb::WriteCounts& Written() const { return written_; }

 private:
  void Failed(const std::string& error);
  void Succeeded();

  const std::string url_;
  const std::string shown_;  // the URL without its password
  const std::function<void(const std::string&)> say_;
  fleetdb::FleetWriter writer_;
  fleetdb::CycleBatch batch_;
  fleetdb::WriteCounts written_;
  std::uint64_t failures_ = 0;
  bool down_ = false;
};

}  // namespace cli
