#include "fleetdb/cycle_batch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <variant>

#include "platform/text_encoding.h"
#include "radio/cell_values.h"

namespace fleetdb {
namespace {

// Appends a field in COPY's text format: \N for none, the special characters escaped. NUL, which
// no PostgreSQL text holds, is left out: a row the server refuses would stop every batch after it.
void Field(std::string& row, const std::optional<std::string>& text) {
  if (!row.empty() && row.back() != '\n') row += '\t';
  if (!text) {
    row += "\\N";
    return;
  }
  for (const char c : *text) {
    switch (c) {
      case '\\':
        row += "\\\\";
        break;
      case '\t':
        row += "\\t";
        break;
      case '\n':
        row += "\\n";
        break;
      case '\r':
        row += "\\r";
        break;
      case '\0':
        break;
      default:
        row += c;
    }
  }
}

std::optional<std::string> Number(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  return radio::NumberText(value);
}

std::optional<std::string> ValueText(const radio::Value& value) {
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return std::to_string(*whole);
  if (const auto* real = std::get_if<double>(&value)) return Number(*real);
  if (const auto* text = std::get_if<std::string>(&value)) return platform::Cp1251ToUtf8(*text);
  return std::nullopt;
}

// A time as PostgreSQL reads a timestamptz, to the microsecond, UTC.
std::string TimeText(std::chrono::system_clock::time_point time) {
  const auto micros = std::chrono::floor<std::chrono::microseconds>(time);
  const auto days = std::chrono::floor<std::chrono::days>(micros);
  const std::chrono::year_month_day date{days};
  const std::chrono::hh_mm_ss clock{micros - days};
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld:%02ld.%06ld+00", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
                static_cast<long>(clock.seconds().count()), static_cast<long>(clock.subseconds().count()));
  return text;
}

void CellFields(std::string& row, const radio::Cell* cell) {
  const auto level = cell != nullptr ? cell->LevelDbm() : std::nullopt;
  Field(row, level ? Number(*level) : std::nullopt);
  for (const std::string& name : CellColumns()) {
    Field(row, cell != nullptr ? ValueText(radio::CellValue(*cell, name)) : std::nullopt);
  }
}

// Appends text as a JSON string. NUL has no place in a PostgreSQL text and is left out.
void JsonString(std::string& json, const std::string& text) {
  json += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte == 0) {
      continue;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
      json += escaped;
    } else {
      json += c;
    }
  }
  json += '"';
}

// A cell as a JSON object of the cells view's columns, its absent values left out.
void CellObject(std::string& json, const radio::Cell& cell, const char* role, int place) {
  json += "{\"role\":";
  JsonString(json, role);
  json += ",\"place\":" + std::to_string(place);
  const auto member = [&](const std::string& name, const radio::Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
      json += ",\"" + name + "\":";
      JsonString(json, platform::Cp1251ToUtf8(*text));
    } else if (const auto number = ValueText(value)) {
      json += ",\"" + name + "\":" + *number;
    }
  };
  if (const auto level = cell.LevelDbm()) member("level_dbm", *level);
  for (const std::string& name : CellColumns()) member(name, radio::CellValue(cell, name));
  json += '}';
}

// A text as an SQL literal; NUL, which no PostgreSQL text holds, left out.
std::string Literal(std::string text) {
  std::erase(text, '\0');
  return SqlLiteral(text);
}

// The cycles' columns in the order of a batch's rows.
std::string CycleColumns() {
  std::string list =
      "site, session, n, time, position, altitude_m, fix_mode, horizontal_error_m, fix_time, registration, level_dbm";
  for (const std::string& name : CellColumns()) list += ", " + name;
  return list + ", other_cells";
}

}  // namespace

const std::vector<std::string>& CellColumns() {
  static const std::vector<std::string> columns = {
      "tech",    "mcc",      "mnc",     "country_name", "operator_name", "lac",         "tac",      "cell_id",
      "channel", "band",     "bsic",    "rxlevel_dbm",  "rxqual",        "ber_percent", "ta",       "distance_km",
      "psc",     "rscp_dbm", "ecno_db", "pci",          "rsrp_dbm",      "rsrq_db",     "rssi_dbm", "sinr_db"};
  return columns;
}

void CycleBatch::AddCycle(const std::string& site, const std::string& session, const radio::Cycle& cycle) {
  const std::string siteText = platform::Cp1251ToUtf8(site);
  const std::string sessionText = platform::Cp1251ToUtf8(session);
  const std::string time = TimeText(cycle.time);
  const std::string n = std::to_string(cycle.n);
  months_.insert(MonthOf(cycle.time));
  ++cycles_;

  std::string row;
  Field(row, siteText);
  Field(row, sessionText);
  Field(row, n);
  Field(row, time);
  const auto& position = cycle.position;
  const auto longitude = position ? Number(position->longitude) : std::nullopt;
  const auto latitude = position ? Number(position->latitude) : std::nullopt;
  const auto altitude = position ? Number(position->altitude) : std::nullopt;
  Field(row, longitude && latitude ? std::optional("SRID=4326;POINT Z (" + *longitude + " " + *latitude + " " +
                                                   altitude.value_or("0") + ")")
                                   : std::nullopt);
  Field(row, altitude);
  Field(row, position && position->mode > 0 ? std::optional(std::to_string(position->mode)) : std::nullopt);
  Field(row, position ? Number(position->horizontalError) : std::nullopt);
  Field(row, position && position->time.time_since_epoch().count() != 0 ? std::optional(TimeText(position->time))
                                                                        : std::nullopt);
  Field(row, cycle.registration == radio::Registration::unknown
                 ? std::nullopt
                 : std::optional(std::string(radio::RegistrationName(cycle.registration))));
  CellFields(row, cycle.serving ? &*cycle.serving : nullptr);

  // The other cells ride in the cycle's own row: one row a cycle is what the server can take at
  // the broker's speed. Absent values are left out of the objects; the cells view reads them back.
  std::string cells;
  const auto addCells = [&](const std::vector<radio::Cell>& list, const char* role) {
    int place = 0;
    for (const radio::Cell& cell : list) {
      cells += cells.empty() ? "[" : ",";
      CellObject(cells, cell, role, ++place);
    }
  };
  addCells(cycle.neighbours, "neighbour");
  addCells(cycle.secondary, "serving");
  Field(row, cells.empty() ? std::nullopt : std::optional(cells + "]"));
  row += '\n';
  const auto micros = std::chrono::floor<std::chrono::microseconds>(cycle.time).time_since_epoch().count();
  cycleRows_.try_emplace({siteText, sessionText, cycle.n, micros}, std::move(row));
  auto [run, made] = runs_.try_emplace({siteText, sessionText}, cycle.time, cycle.time);
  if (!made) {
    run->second.first = std::min(run->second.first, cycle.time);
    run->second.second = std::max(run->second.second, cycle.time);
  }
}

void CycleBatch::AddEvent(EventRow event) { events_.push_back(std::move(event)); }
void CycleBatch::AddStatus(SiteStatusRow status) { statuses_.push_back(std::move(status)); }
void CycleBatch::AddRunEnd(const std::string& site, const std::string& session) {
  runEnds_.emplace_back(site, session);
}

bool CycleBatch::Empty() const { return cycles_ == 0 && events_.empty() && statuses_.empty() && runEnds_.empty(); }

void CycleBatch::Clear() {
  cycleRows_.clear();
  runs_.clear();
  cycles_ = 0;
  months_.clear();
  events_.clear();
  statuses_.clear();
  runEnds_.clear();
}

bool CycleBatch::PrepareSession(Connection& connection, std::string& error) {
  return connection.Exec("SET client_encoding = 'UTF8'; CREATE TEMP TABLE IF NOT EXISTS batch_cycles (LIKE cycles)",
                         error);
}

bool CycleBatch::Write(Connection& connection, Partitions& partitions, WriteCounts& counts, std::string& error) const {
  if (!partitions.Ensure(connection, months_, error)) return false;
  const auto fail = [&] {
    std::string ignored;
    if (!connection.Broken()) connection.Exec("ROLLBACK", ignored);
    return false;
  };
  if (!connection.Exec("BEGIN", error)) return fail();
  std::uint64_t made = 0;
  if (cycles_ > 0) {
    // Rows in key order, so that collectors writing the same rows at once take their locks in one
    // order. Mostly none of them is there yet, and they go straight into the table; when one is
    // (a redelivery, a second collector), the batch goes through a temporary table with
    // ON CONFLICT DO NOTHING instead.
    std::string rows;
    for (const auto& [key, row] : cycleRows_) rows += row;
    const std::string columns = CycleColumns();
    if (!connection.Exec("SAVEPOINT straight", error)) return fail();
    if (connection.Copy("COPY cycles (" + columns + ") FROM STDIN", rows, error)) {
      made = cycleRows_.size();
    } else {
      if (connection.Broken() || !connection.Exec("ROLLBACK TO SAVEPOINT straight", error) ||
          !connection.Copy("COPY batch_cycles (" + columns + ") FROM STDIN", rows, error)) {
        return fail();
      }
      const auto inserted = connection.Query("WITH made AS (INSERT INTO cycles (" + columns + ") SELECT " + columns +
                                                 " FROM batch_cycles ORDER BY site, session, n"
                                                 " ON CONFLICT DO NOTHING RETURNING 1) SELECT count(*) FROM made",
                                             {}, error);
      if (!inserted || inserted->empty() || !connection.Exec("DELETE FROM batch_cycles", error)) return fail();
      made = std::stoull(inserted->front().front());
    }
    std::string runs;
    for (const auto& [key, span] : runs_) {
      runs += std::string(runs.empty() ? "" : ", ") + "(" + Literal(key.first) + ", " + Literal(key.second) + ", '" +
              TimeText(span.first) + "'::timestamptz, '" + TimeText(span.second) + "'::timestamptz)";
    }
    if (!connection.Exec("INSERT INTO runs (site, session, start_time, end_time) VALUES " + runs +
                             " ON CONFLICT (site, session) DO UPDATE SET"
                             " start_time = least(runs.start_time, excluded.start_time),"
                             " end_time = greatest(runs.end_time, excluded.end_time)",
                         error)) {
      return fail();
    }
  }
  const auto text = [](const std::string& cp1251) -> std::optional<std::string> {
    if (cp1251.empty()) return std::nullopt;
    return platform::Cp1251ToUtf8(cp1251);
  };
  for (const SiteStatusRow& status : statuses_) {
    if (!connection.Query("INSERT INTO sites (imei, manufacturer, model, firmware, session, status, reason)"
                          " VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (imei) DO UPDATE SET"
                          " manufacturer = coalesce(excluded.manufacturer, sites.manufacturer),"
                          " model = coalesce(excluded.model, sites.model),"
                          " firmware = coalesce(excluded.firmware, sites.firmware),"
                          " session = coalesce(excluded.session, sites.session), status = excluded.status,"
                          " reason = excluded.reason, status_time = now()",
                          {platform::Cp1251ToUtf8(status.imei), text(status.manufacturer), text(status.model),
                           text(status.firmware), text(status.session), text(status.status), text(status.reason)},
                          error)) {
      return fail();
    }
    if (!status.session.empty() && !status.dialect.empty() &&
        !connection.Query("INSERT INTO runs (site, session, dialect) VALUES ($1, $2, $3) ON CONFLICT (site, session)"
                          " DO UPDATE SET dialect = excluded.dialect",
                          {platform::Cp1251ToUtf8(status.imei), text(status.session), text(status.dialect)}, error)) {
      return fail();
    }
  }
  if (!events_.empty()) {
    // One statement for the batch's events, in key order like the cycles.
    std::string values;
    for (const EventRow& event : events_) {
      values += std::string(values.empty() ? "" : ", ") + "(" + Literal(platform::Cp1251ToUtf8(event.site)) + ", " +
                Literal(platform::Cp1251ToUtf8(event.session)) + ", '" + TimeText(event.time) + "'::timestamptz, " +
                Literal(event.event) + ", " + Literal(platform::Cp1251ToUtf8(event.from)) + ", " +
                Literal(platform::Cp1251ToUtf8(event.to)) + ", " +
                (event.thresholdDbm ? std::to_string(*event.thresholdDbm) : std::string("NULL")) + "::integer)";
    }
    if (!connection.Exec("INSERT INTO events (site, session, time, event, from_value, to_value, threshold_dbm)"
                         " SELECT * FROM (VALUES " +
                             values + ") AS e ORDER BY 1, 2, 3, 4, 5, 6 ON CONFLICT DO NOTHING",
                         error)) {
      return fail();
    }
  }
  for (const auto& [site, session] : runEnds_) {
    if (!connection.Query("INSERT INTO runs (site, session, ended) VALUES ($1, $2, true)"
                          " ON CONFLICT (site, session) DO UPDATE SET ended = true",
                          {platform::Cp1251ToUtf8(site), platform::Cp1251ToUtf8(session)}, error)) {
      return fail();
    }
  }
  if (!connection.Exec("COMMIT", error)) return fail();
  counts.cycles += made;
  counts.repeats += cycles_ - made;
  return true;
}

}  // namespace fleetdb
