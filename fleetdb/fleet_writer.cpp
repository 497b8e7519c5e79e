#include "fleetdb/fleet_writer.h"

#include "fleetdb/schema.h"

namespace fleetdb {

bool FleetWriter::Connect(std::string& error) {
  if (connection_ && !connection_->Broken()) return true;
  connection_.reset();
  auto connection = Connection::Open(url_, error);
  if (!connection) return false;
  if (Migrate(*connection, error) < 0 || !CycleBatch::PrepareSession(*connection, error)) return false;
  connection_ = std::move(connection);
  return true;
}

bool FleetWriter::Write(const CycleBatch& batch, WriteCounts& counts, std::string& error) {
  if (!Connect(error)) return false;
  if (batch.Empty()) return true;
  if (batch.Write(*connection_, partitions_, counts, error)) return true;
  // A partition dropped meanwhile, or a server that restarted, is looked at afresh next time.
  partitions_.Forget();
  if (connection_->Broken()) connection_.reset();
  return false;
}

}  // namespace fleetdb
