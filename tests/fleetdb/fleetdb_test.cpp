// The fleet database on a real PostgreSQL with PostGIS: the schema made and migrated again
// without change, cycles and their cells as rows exactly once however often they come, monthly
// partitions, events and statuses, and the QGIS layers as GDAL/OGR reads them.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fleetdb/connection.h"
#include "fleetdb/cycle_batch.h"
#include "fleetdb/fleet_writer.h"
#include "fleetdb/schema.h"
#include "radio/cell_values.h"
#include "tests/support/child_process.h"
#include "tests/support/postgres_process.h"

using namespace std::chrono_literals;

namespace {

const auto* const kServer = ::testing::AddGlobalTestEnvironment(new testsupport::PostgresEnvironment);

// 2026-12-11 10:00:00.250 UTC, and times around it.
std::chrono::system_clock::time_point At(std::chrono::milliseconds offset = 0ms) {
  return std::chrono::sys_days{std::chrono::year{2026} / 12 / 11} + 10h + 250ms + offset;
}

radio::Cycle GsmCycle(long n, std::chrono::system_clock::time_point time) {
  radio::Cycle cycle;
  cycle.n = n;
  cycle.time = time;
  radio::Cell serving = radio::MakeCell(radio::Tech::gsm);
  serving.mcc = 250;
  serving.mnc = 1;
  serving.lac = 0x1A2B;
  serving.cellId = 0x3C4D;
  serving.channel = 62;
  serving.band = "GSM900";
  serving.operatorName = "\xcc\xd2\xd1";  // "МТС" in Windows-1251
  radio::GsmMeasures& gsm = *serving.gsm();
  gsm.bsic = 17;
  gsm.rxLevelDbm = -71;
  gsm.rxQual = 2;
  gsm.timingAdvance = 3;
  cycle.serving = serving;
  for (int k = 0; k < 2; ++k) {
    radio::Cell neighbour = radio::MakeCell(radio::Tech::gsm);
    neighbour.channel = 70 + k;
    neighbour.gsm()->bsic = 20 + k;
    neighbour.gsm()->rxLevelDbm = -90 - k;
    cycle.neighbours.push_back(neighbour);
  }
  return cycle;
}

// A database of the test's own with the schema in it.
class FleetDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = testsupport::PostgresEnvironment::Server();
    if (server_ == nullptr || !server_->Usable()) {
      GTEST_SKIP() << (server_ != nullptr ? server_->Why() : std::string("no server"));
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = "t_";
    for (const char c : std::string(info->name())) name_ += static_cast<char>(std::tolower(c));
    ASSERT_TRUE(server_->MakeDatabase(name_)) << server_->Log();
    writer_.emplace(server_->Url(name_));
    std::string error;
    ASSERT_TRUE(writer_->Connect(error)) << error;
  }

  std::string Sql(const std::string& sql) {
    std::string rows = server_->Query(name_, sql);
    if (!rows.empty() && rows.back() == '\n') rows.pop_back();
    return rows;
  }

  // Writes the batch, which must succeed; what it made.
  fleetdb::WriteCounts Write(const fleetdb::CycleBatch& batch) {
    fleetdb::WriteCounts counts;
    std::string error;
    EXPECT_TRUE(writer_->Write(batch, counts, error)) << error;
    return counts;
  }

  testsupport::PostgresProcess* server_ = nullptr;
  std::string name_;
  std::optional<fleetdb::FleetWriter> writer_;
};

TEST_F(FleetDatabase, SchemaIsMadeOnceAndMigratingAgainChangesNothing) {
  const std::string schema =
      "SELECT table_name || '.' || column_name || ':' || data_type FROM information_schema.columns"
      " WHERE table_schema = 'public' ORDER BY table_name, ordinal_position";
  const std::string before = Sql(schema);
  ASSERT_NE(before.find("cycles.rxlevel_dbm:integer"), std::string::npos) << before;
  const std::string styles = Sql("SELECT count(*) FROM layer_styles");
  EXPECT_EQ(styles, "2");

  auto connection = [&] {
    std::string error;
    auto opened = fleetdb::Connection::Open(server_->Url(name_), error);
    EXPECT_NE(opened, nullptr) << error;
    return opened;
  }();
  ASSERT_NE(connection, nullptr);
  std::string error;
  EXPECT_EQ(fleetdb::Migrate(*connection, error), fleetdb::Migrations().back().version) << error;
  EXPECT_EQ(Sql(schema), before);
  EXPECT_EQ(Sql("SELECT count(*) FROM layer_styles"), styles);
  std::string versions;  // every step once
  for (const fleetdb::Migration& step : fleetdb::Migrations()) {
    versions += (versions.empty() ? "" : ",") + std::to_string(step.version);
  }
  EXPECT_EQ(Sql("SELECT string_agg(version::text, ',' ORDER BY version) FROM schema_version"), versions);
}

// A database of the first schema, its cells in a table of their own, keeps them when migrated:
// the cells view gives back the same rows, with the characters a text needs quoted.
TEST_F(FleetDatabase, MigratingKeepsTheCellsOfTheFirstSchema) {
  writer_.reset();
  ASSERT_TRUE(server_->MakeDatabase(name_)) << server_->Log();
  ASSERT_TRUE(server_->Psql(
      name_,
      "CREATE TABLE schema_version (version integer PRIMARY KEY, applied timestamptz NOT NULL DEFAULT now());"
      "INSERT INTO schema_version (version) VALUES (1);" +
          fleetdb::Migrations().front().sql +
          "CREATE TABLE cycles_y2026m12 PARTITION OF cycles FOR VALUES FROM ('2026-12-01') TO ('2027-01-01');"
          "CREATE TABLE cells_y2026m12 PARTITION OF cells FOR VALUES FROM ('2026-12-01') TO ('2027-01-01');"
          "INSERT INTO cycles (site, session, n, time, position, tech) VALUES"
          " ('1', 's', 1, '2026-12-11 10:00:00+00', ST_SetSRID(ST_MakePoint(37.6, 55.7, 150), 4326), 'gsm'),"
          " ('1', 's', 2, '2026-12-11 10:00:00.4+00', NULL, 'gsm'),"
          " ('1', 's', 3, '2026-12-11 10:00:00.8+00', NULL, 'gsm');"
          "INSERT INTO cells (site, session, n, time, role, place, level_dbm, tech, channel, bsic, rxlevel_dbm,"
          " pci, rsrp_dbm, band, operator_name) VALUES"
          " ('1', 's', 1, '2026-12-11 10:00:00+00', 'neighbour', 2, -91, 'gsm', 71, 21, -91, NULL, NULL, NULL,"
          " E'\"Q\"\\\\t\\tx'),"
          " ('1', 's', 1, '2026-12-11 10:00:00+00', 'neighbour', 1, -90, 'gsm', 70, 20, -90, NULL, NULL, NULL,"
          " 'МТС'),"
          " ('1', 's', 1, '2026-12-11 10:00:00+00', 'serving', 1, -95.5, 'nr', 627264, NULL, NULL, 301, -95.5,"
          " 'n78', NULL),"
          " ('1', 's', 2, '2026-12-11 10:00:00.4+00', 'neighbour', 1, -90, 'gsm', 70, 20, -90, NULL, NULL, NULL,"
          " NULL)"))
      << server_->Log();
  const std::string query =
      "SELECT n, role, place, level_dbm, tech, channel, bsic, rxlevel_dbm, pci, rsrp_dbm, band, operator_name"
      " FROM cells ORDER BY n, role, place";
  const std::string before = Sql(query);
  ASSERT_EQ(before,
            "1|neighbour|1|-90|gsm|70|20|-90||||МТС\n"
            "1|neighbour|2|-91|gsm|71|21|-91||||\"Q\"\\t\tx\n"
            "1|serving|1|-95.5|nr|627264|||301|-95.5|n78|\n"
            "2|neighbour|1|-90|gsm|70|20|-90||||");

  writer_.emplace(server_->Url(name_));
  std::string error;
  ASSERT_TRUE(writer_->Connect(error)) << error;
  EXPECT_EQ(Sql(query), before);
  EXPECT_EQ(Sql("SELECT relkind FROM pg_class WHERE relname LIKE 'cells%' ORDER BY relname"), "v");
  EXPECT_EQ(Sql("SELECT n, other_cells IS NULL FROM cycles ORDER BY n"), "1|f\n2|f\n3|t");
  EXPECT_EQ(Sql("SELECT n, role, place FROM cell_points ORDER BY role, place"),
            "1|neighbour|1\n1|neighbour|2\n1|serving|1");

  // And new cycles go in beside them.
  fleetdb::CycleBatch batch;
  batch.AddCycle("1", "s", GsmCycle(4, At(1600ms)));
  EXPECT_EQ(Write(batch).cycles, 1u);
  EXPECT_EQ(Sql("SELECT count(*) FROM cells WHERE n = 4"), "2");
}

// Every name the outputs give a cell's values is a column of the cycles and of the cells.
TEST_F(FleetDatabase, EveryNameOfTheSchemeIsAColumn) {
  const std::string columns = "\n" +
                              Sql("SELECT table_name || '.' || column_name FROM information_schema.columns"
                                  " WHERE table_name IN ('cycles', 'cells')") +
                              "\n";
  for (const radio::Tech tech : {radio::Tech::gsm, radio::Tech::wcdma, radio::Tech::lte, radio::Tech::nr}) {
    for (const std::string_view name : radio::CellValueNames(tech)) {
      for (const char* table : {"cycles", "cells"}) {
        const std::string column = std::string(table) + "." + std::string(name);
        EXPECT_NE(columns.find("\n" + column + "\n"), std::string::npos) << column;
      }
    }
  }
}

TEST_F(FleetDatabase, CycleRowHoldsItsNumbersPositionAndCells) {
  radio::Cycle cycle = GsmCycle(7, At());
  radio::Position position;
  position.latitude = 55.751244;
  position.longitude = 37.618423;
  position.altitude = 156.5;
  position.mode = 3;
  position.horizontalError = 4.5;
  cycle.position = position;
  radio::Cell nr = radio::MakeCell(radio::Tech::nr);
  nr.channel = 627264;
  nr.band = "n78";
  std::get<radio::NrMeasures>(nr.measures).pci = 301;
  std::get<radio::NrMeasures>(nr.measures).rsrpDbm = -95.5;
  nr.operatorName = std::string("\"Q\"\\\t\x01\x00\xcc", 8);  // quotes, backslash, controls, NUL, "М"
  cycle.secondary.push_back(nr);
  radio::Cycle without = GsmCycle(8, At(400ms));           // no fix: no point
  without.serving->operatorName = std::string("A\0B", 3);  // a NUL in the cycle's own row

  fleetdb::CycleBatch batch;
  batch.AddCycle("356938035643809", "s1", cycle);
  batch.AddCycle("356938035643809", "s1", without);
  const fleetdb::WriteCounts counts = Write(batch);
  EXPECT_EQ(counts.cycles, 2u);
  EXPECT_EQ(counts.repeats, 0u);

  EXPECT_EQ(Sql("SELECT site, session, n, time, tech, mcc, mnc, lac, cell_id, channel, band, operator_name, bsic,"
                " rxlevel_dbm, rxqual, ta, level_dbm, fix_mode, horizontal_error_m, altitude_m,"
                " ST_X(position), ST_Y(position), ST_Z(position), ST_SRID(position)"
                " FROM cycles WHERE n = 7"),
            "356938035643809|s1|7|2026-12-11 10:00:00.25+00|gsm|250|1|6699|15437|62|GSM900|МТС|17|-71|2|3|-71|3|4.5|"
            "156.5|37.618423|55.751244|156.5|4326");
  EXPECT_EQ(Sql("SELECT position IS NULL, rxlevel_dbm, operator_name FROM cycles WHERE n = 8"), "t|-71|AB");
  EXPECT_EQ(Sql("SELECT n, role, place, tech, channel, bsic, rxlevel_dbm, pci, rsrp_dbm, band FROM cells"
                " ORDER BY n, role, place"),
            "7|neighbour|1|gsm|70|20|-90|||\n"
            "7|neighbour|2|gsm|71|21|-91|||\n"
            "7|serving|1|nr|627264|||301|-95.5|n78\n"
            "8|neighbour|1|gsm|70|20|-90|||\n"
            "8|neighbour|2|gsm|71|21|-91|||");
  EXPECT_EQ(Sql("SELECT operator_name FROM cells WHERE role = 'serving'"), "\"Q\"\\\t\x01М");
  EXPECT_EQ(Sql("SELECT site, session, start_time, end_time FROM runs"),
            "356938035643809|s1|2026-12-11 10:00:00.25+00|2026-12-11 10:00:00.65+00");
  // The layers: only the cycle with a position is a point.
  EXPECT_EQ(Sql("SELECT n FROM serving_points"), "7");
  EXPECT_EQ(Sql("SELECT count(*) FROM cell_points"), "3");
}

TEST_F(FleetDatabase, ACycleThatComesAgainMakesNoSecondRow) {
  fleetdb::CycleBatch first;
  for (long n = 1; n <= 5; ++n) first.AddCycle("111", "s", GsmCycle(n, At(std::chrono::milliseconds(400 * n))));
  first.AddCycle("111", "s", GsmCycle(3, At(1200ms)));  // twice in a batch of new cycles
  const fleetdb::WriteCounts firstCounts = Write(first);
  EXPECT_EQ(firstCounts.cycles, 5u);
  EXPECT_EQ(firstCounts.repeats, 1u);

  // Redelivered, overlapping and repeated within one batch; and by a second writer (a second
  // collector) on a connection of its own.
  fleetdb::CycleBatch again;
  for (long n = 4; n <= 8; ++n) again.AddCycle("111", "s", GsmCycle(n, At(std::chrono::milliseconds(400 * n))));
  again.AddCycle("111", "s", GsmCycle(8, At(3200ms)));
  const fleetdb::WriteCounts counts = Write(again);
  EXPECT_EQ(counts.cycles, 3u);
  EXPECT_EQ(counts.repeats, 3u);
  fleetdb::FleetWriter second(server_->Url(name_));
  fleetdb::WriteCounts secondCounts;
  std::string error;
  ASSERT_TRUE(second.Write(again, secondCounts, error)) << error;
  EXPECT_EQ(secondCounts.cycles, 0u);

  EXPECT_EQ(Sql("SELECT count(*), count(DISTINCT n), min(n), max(n) FROM cycles"), "8|8|1|8");
  EXPECT_EQ(Sql("SELECT count(*) FROM cells"), "16");
}

TEST_F(FleetDatabase, MonthsGetTheirPartitionsAndAnOldMonthCanBeDropped) {
  const auto november = std::chrono::sys_days{std::chrono::year{2026} / 11 / 30} + 23h + 59min + 59s;
  const auto december = std::chrono::sys_days{std::chrono::year{2026} / 12 / 1} + 0h;
  fleetdb::CycleBatch batch;
  batch.AddCycle("222", "s", GsmCycle(1, november));
  batch.AddCycle("222", "s", GsmCycle(2, december));
  EXPECT_EQ(Write(batch).cycles, 2u);
  EXPECT_EQ(Sql("SELECT tableoid::regclass, n FROM cycles ORDER BY n"), "cycles_y2026m11|1\ncycles_y2026m12|2");
  EXPECT_EQ(Sql("SELECT y.tableoid::regclass, count(*) FROM cells JOIN cycles y USING (site, session, n, time)"
                " GROUP BY 1 ORDER BY 1"),
            "cycles_y2026m11|2\ncycles_y2026m12|2");

  // The old month goes as the documentation says; a late cycle of it fails once and, the
  // partitions looked at afresh, is written by the next attempt.
  ASSERT_TRUE(server_->Psql(name_, "DROP TABLE cycles_y2026m11")) << server_->Log();
  EXPECT_EQ(Sql("SELECT n FROM cycles"), "2");
  EXPECT_EQ(Sql("SELECT DISTINCT n FROM cells"), "2");
  fleetdb::CycleBatch late;
  late.AddCycle("222", "s", GsmCycle(3, november + 100ms));
  fleetdb::WriteCounts counts;
  std::string error;
  EXPECT_FALSE(writer_->Write(late, counts, error));
  EXPECT_NE(error.find("partition"), std::string::npos) << error;
  EXPECT_EQ(Write(late).cycles, 1u);
  EXPECT_EQ(Sql("SELECT tableoid::regclass, n FROM cycles ORDER BY n"), "cycles_y2026m12|2\ncycles_y2026m11|3");
}

TEST_F(FleetDatabase, EventsStatusesAndRunsAreKept) {
  fleetdb::CycleBatch batch;
  batch.AddStatus({"333", "Acme", "GM-1", "1.0", "s", "online", "", "3gpp"});
  batch.AddCycle("333", "s", GsmCycle(1, At()));
  const fleetdb::EventRow handover{"333", "s", At(1250ms), "serving_cell", "1A2B", "3C4D", {}};
  batch.AddEvent(handover);
  batch.AddEvent({"333", "s", At(1750ms), "level_low", "", "", -100});
  Write(batch);

  fleetdb::CycleBatch later;
  later.AddEvent(handover);  // again: still one row
  later.AddStatus({"333", "", "", "", "s", "offline", "stopped", ""});
  later.AddRunEnd("333", "s");
  Write(later);

  EXPECT_EQ(Sql("SELECT site, session, time, event, from_value, to_value, threshold_dbm FROM events ORDER BY time"),
            "333|s|2026-12-11 10:00:01.5+00|serving_cell|1A2B|3C4D|\n"
            "333|s|2026-12-11 10:00:02+00|level_low|||-100");
  EXPECT_EQ(Sql("SELECT imei, manufacturer, model, firmware, session, status, reason FROM sites"),
            "333|Acme|GM-1|1.0|s|offline|stopped");
  EXPECT_EQ(Sql("SELECT site, session, ended, dialect FROM runs"), "333|s|t|3gpp");
}

// QGIS opens the layers through the same registrations GDAL's PostgreSQL driver reads.
TEST_F(FleetDatabase, ServingPointsAreALayerWithItsSridAndADefaultStyle) {
  radio::Cycle cycle = GsmCycle(1, At());
  cycle.position = radio::Position{55.75, 37.61, 150.0, 3, 5.0, {}};
  fleetdb::CycleBatch batch;
  batch.AddCycle("444", "s", cycle);
  Write(batch);

  testsupport::ChildProcess ogrinfo({OGRINFO_PATH, "-ro", "-so", "PG:" + server_->Conninfo(name_), "serving_points"});
  ASSERT_EQ(ogrinfo.Wait(60s), 0) << ogrinfo.Stderr();
  const std::string info = ogrinfo.Stdout();
  EXPECT_NE(info.find("Geometry: 3D Point"), std::string::npos) << info;
  EXPECT_NE(info.find("Feature Count: 1"), std::string::npos) << info;
  EXPECT_NE(info.find("ID[\"EPSG\",4326]"), std::string::npos) << info;
  EXPECT_NE(info.find("level_dbm: Real"), std::string::npos) << info;

  EXPECT_EQ(Sql("SELECT f_table_name, f_geometry_column, useasdefault, f_table_catalog = current_database(),"
                " (xpath('/qgis/renderer-v2/@attr', styleqml))[1] FROM layer_styles ORDER BY f_table_name"),
            "cell_points|position|t|t|level_dbm\nserving_points|position|t|t|level_dbm");
  EXPECT_EQ(Sql("SELECT type, srid, coord_dimension FROM geometry_columns WHERE f_table_name = 'serving_points'"),
            "POINT|4326|3");
}

}  // namespace
