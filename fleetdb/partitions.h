#pragma once
// The monthly partitions of the cycles table (calendar months of UTC), made before a batch needs
// them: cycles_y2026m12 holds December 2026. An old month goes with DROP TABLE of its partition
// (docs/fleet-database.md).

#include <chrono>
#include <set>
#include <string>

#include "fleetdb/connection.h"

namespace fleetdb {

// A month as one number: year * 12 + (month - 1), UTC.
int MonthOf(std::chrono::system_clock::time_point time);
// "y2026m12"
std::string MonthSuffix(int month);

// The partitions known to exist, made when a month is new to them.
class Partitions {
 public:
  // Makes the missing partitions of months, in a transaction of its own under an advisory lock
  // (collectors making the same month at once make it once). False with why in error.
  bool Ensure(Connection& connection, const std::set<int>& months, std::string& error);
  // Partitions may have been dropped meanwhile: every month is looked at again.
  void Forget() { made_.clear(); }

 private:
  std::set<int> made_;
};

}  // namespace fleetdb
