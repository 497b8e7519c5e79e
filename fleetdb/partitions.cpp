#include "fleetdb/partitions.h"

#include <cstdio>

namespace fleetdb {
namespace {

// The first instant of a month, as PostgreSQL reads it.
std::string MonthStart(int month) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-01 00:00:00+00", month / 12, month % 12 + 1);
  return text;
}

}  // namespace

int MonthOf(std::chrono::system_clock::time_point time) {
  const auto days = std::chrono::floor<std::chrono::days>(time);
  const std::chrono::year_month_day date{days};
  return static_cast<int>(date.year()) * 12 + static_cast<int>(static_cast<unsigned>(date.month())) - 1;
}

std::string MonthSuffix(int month) {
  char text[16];
  std::snprintf(text, sizeof text, "y%04dm%02d", month / 12, month % 12 + 1);
  return text;
}

bool Partitions::Ensure(Connection& connection, const std::set<int>& months, std::string& error) {
  std::string sql;
  for (const int month : months) {
    if (made_.contains(month)) continue;
    sql += "CREATE TABLE IF NOT EXISTS cycles_" + MonthSuffix(month) + " PARTITION OF cycles FOR VALUES FROM ('" +
           MonthStart(month) + "') TO ('" + MonthStart(month + 1) + "');";
  }
  if (sql.empty()) return true;
  if (!connection.Exec("BEGIN; SELECT pg_advisory_xact_lock(7243502);" + sql + "COMMIT", error)) {
    std::string ignored;
    connection.Exec("ROLLBACK", ignored);
    return false;
  }
  made_.insert(months.begin(), months.end());
  return true;
}

}  // namespace fleetdb
