#pragma once
// The fleet database as a collector writes it: connected (and its schema brought up to date) on
// the first batch and again after the link broke, then each batch in a transaction of its own.

#include <memory>
#include <string>

#include "fleetdb/connection.h"
#include "fleetdb/cycle_batch.h"
#include "fleetdb/partitions.h"

namespace fleetdb {

class FleetWriter {
 public:
  explicit FleetWriter(std::string url) : url_(std::move(url)) {}

  // Connects and migrates unless connected; false with why in error.
  bool Connect(std::string& error);
  // The batch, committed; false with why when nothing of it is stored (the next call connects
  // again when the link broke).
  bool Write(const CycleBatch& batch, WriteCounts& counts, std::string& error);

 private:
  const std::string url_;
  std::unique_ptr<Connection> connection_;
  Partitions partitions_;
};

}  // namespace fleetdb
