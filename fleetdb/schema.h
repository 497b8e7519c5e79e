#pragma once
// The fleet database's schema, made and brought up to date by the program: ordered migration
// steps, each applied once and recorded in the table schema_version, all pending ones in one
// transaction under an advisory lock (collectors starting together apply them once).
// docs/fleet-database.md describes the tables, the views and the styles.

#include <string>
#include <vector>

#include "fleetdb/connection.h"

namespace fleetdb {

struct Migration {
  int version;
  std::string sql;
};

// Every step, in order; a released step is never changed, a change is a new step.
const std::vector<Migration>& Migrations();

// Applies the steps the database lacks; the version it is at, or -1 with why in error.
int Migrate(Connection& connection, std::string& error);

}  // namespace fleetdb
