#include "fleetdb/schema.h"

#include "fleetdb/layer_style.h"

namespace fleetdb {
namespace {

// A cell's numbers and names under the names every output gives them (radio/cell_values.h), and
// its level on its technology's axis.
constexpr const char* kCellColumns = R"(
  level_dbm double precision,
  tech text, mcc integer, mnc integer, country_name text, operator_name text,
  lac bigint, tac bigint, cell_id bigint, channel integer, band text,
  bsic integer, rxlevel_dbm integer, rxqual integer, ber_percent double precision, ta integer,
  distance_km double precision,
  psc integer, rscp_dbm double precision, ecno_db double precision,
  pci integer, rsrp_dbm double precision, rsrq_db double precision, rssi_dbm double precision,
  sinr_db double precision)";

// The default style of a view's points in this database, as QGIS stores one.
std::string Style(const std::string& view, const std::string& qml) {
  return "INSERT INTO layer_styles (f_table_catalog, f_table_schema, f_table_name, f_geometry_column, stylename,"
         " styleqml, stylesld, useasdefault, description) VALUES (current_database(), current_schema(), " +
         SqlLiteral(view) + ", 'position', " + SqlLiteral(view) + ", XMLPARSE(DOCUMENT " + SqlLiteral(qml) +
         "), NULL, true, 'Level on the scale of the monitor graph');\n";
}

std::string FirstSchema() {
  return std::string(R"(
CREATE EXTENSION IF NOT EXISTS postgis;

CREATE TABLE sites (
  imei text PRIMARY KEY,
  manufacturer text, model text, firmware text,
  session text, status text, reason text,
  status_time timestamptz NOT NULL DEFAULT now());

CREATE TABLE runs (
  site text NOT NULL, session text NOT NULL,
  start_time timestamptz, end_time timestamptz,
  ended boolean NOT NULL DEFAULT false,
  dialect text,
  PRIMARY KEY (site, session));

CREATE TABLE cycles (
  site text NOT NULL, session text NOT NULL, n bigint NOT NULL, time timestamptz NOT NULL,
  position geometry(PointZ, 4326), altitude_m double precision, fix_mode smallint,
  horizontal_error_m double precision, fix_time timestamptz,
  registration text,)") +
         kCellColumns + R"(,
  PRIMARY KEY (site, session, n, time)
) PARTITION BY RANGE (time);
CREATE INDEX cycles_time ON cycles (time);
CREATE INDEX cycles_position ON cycles USING gist (position);

CREATE TABLE cells (
  site text NOT NULL, session text NOT NULL, n bigint NOT NULL, time timestamptz NOT NULL,
  role text NOT NULL, place smallint NOT NULL,)" +
         kCellColumns + R"(,
  PRIMARY KEY (site, session, n, time, role, place)
) PARTITION BY RANGE (time);
CREATE INDEX cells_identity ON cells (mcc, mnc, lac, tac, cell_id);

CREATE TABLE events (
  site text NOT NULL, session text NOT NULL, time timestamptz NOT NULL, event text NOT NULL,
  from_value text NOT NULL, to_value text NOT NULL, threshold_dbm integer,
  PRIMARY KEY (site, session, time, event, from_value, to_value));

CREATE VIEW serving_points AS
  SELECT site, session, n, time, position, level_dbm, tech, mcc, mnc, operator_name, lac, tac, cell_id,
         channel, band, bsic, rxlevel_dbm, rxqual, psc, rscp_dbm, ecno_db, pci, rsrp_dbm, rsrq_db, sinr_db
  FROM cycles WHERE position IS NOT NULL;

CREATE VIEW cell_points AS
  SELECT c.site, c.session, c.n, c.time, c.role, c.place, y.position, c.level_dbm, c.tech, c.mcc, c.mnc,
         c.lac, c.tac, c.cell_id, c.channel, c.band, c.bsic, c.rxlevel_dbm, c.psc, c.rscp_dbm, c.pci,
         c.rsrp_dbm, c.rsrq_db
  FROM cells c JOIN cycles y USING (site, session, n, time)
  WHERE y.position IS NOT NULL;

CREATE TABLE IF NOT EXISTS layer_styles (
  id serial PRIMARY KEY,
  f_table_catalog varchar, f_table_schema varchar, f_table_name varchar, f_geometry_column varchar,
  stylename text, styleqml xml, stylesld xml, useasdefault boolean, description text,
  owner varchar(63) DEFAULT CURRENT_USER, ui xml, update_time timestamp DEFAULT CURRENT_TIMESTAMP);
)" + Style("serving_points", LevelStyleQml("level_dbm", 2.4)) +
         Style("cell_points", LevelStyleQml("level_dbm", 1.4));
}

// A cycle's other cells move into its own row, a JSON array of objects with the cells' columns:
// one row a cycle instead of seven is what lets the server keep up with the broker. The cells
// view gives them back as rows, with the columns the table had.
std::string CellsInTheCycleRow() {
  const std::string cellsOf = std::string(
                                  " CROSS JOIN LATERAL jsonb_to_recordset(y.other_cells) AS c (role text,"
                                  " place smallint,") +
                              kCellColumns + ")";
  return R"(
ALTER TABLE cycles ADD COLUMN other_cells jsonb;
UPDATE cycles y SET other_cells = c.list
  FROM (SELECT site, session, n, time,
               jsonb_agg(jsonb_strip_nulls(to_jsonb(c) - 'site' - 'session' - 'n' - 'time') ORDER BY role, place) AS list
        FROM cells c GROUP BY site, session, n, time) c
  WHERE (y.site, y.session, y.n, y.time) = (c.site, c.session, c.n, c.time);
DROP VIEW cell_points;
DROP TABLE cells;

CREATE VIEW cells AS
  SELECT y.site, y.session, y.n, y.time, c.*
  FROM cycles y)" +
         cellsOf + R"(;

CREATE VIEW cell_points AS
  SELECT y.site, y.session, y.n, y.time, c.role, c.place, y.position, c.level_dbm, c.tech, c.mcc, c.mnc,
         c.lac, c.tac, c.cell_id, c.channel, c.band, c.bsic, c.rxlevel_dbm, c.psc, c.rscp_dbm, c.pci,
         c.rsrp_dbm, c.rsrq_db
  FROM cycles y)" +
         cellsOf + R"(
  WHERE y.position IS NOT NULL;
)";
}

}  // namespace

const std::vector<Migration>& Migrations() {
  static const std::vector<Migration> steps = {{1, FirstSchema()}, {2, CellsInTheCycleRow()}};
  return steps;
}

int Migrate(Connection& connection, std::string& error) {
  if (!connection.Exec("BEGIN; SELECT pg_advisory_xact_lock(7243501);"
                       "CREATE TABLE IF NOT EXISTS schema_version ("
                       " version integer PRIMARY KEY, applied timestamptz NOT NULL DEFAULT now())",
                       error)) {
    connection.Exec("ROLLBACK", error);
    return -1;
  }
  const auto rows = connection.Query("SELECT coalesce(max(version), 0) FROM schema_version", {}, error);
  if (!rows || rows->empty()) {
    std::string ignored;
    connection.Exec("ROLLBACK", ignored);
    return -1;
  }
  int version = std::stoi(rows->front().front());
  for (const Migration& step : Migrations()) {
    if (step.version <= version) continue;
    if (!connection.Exec(step.sql, error) ||
        !connection.Exec("INSERT INTO schema_version (version) VALUES (" + std::to_string(step.version) + ")", error)) {
      error = "migration " + std::to_string(step.version) + ": " + error;
      std::string ignored;
      connection.Exec("ROLLBACK", ignored);
      return -1;
    }
    version = step.version;
  }
  if (!connection.Exec("COMMIT", error)) return -1;
  return version;
}

}  // namespace fleetdb
