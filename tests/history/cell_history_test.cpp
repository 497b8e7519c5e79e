// The history model: one trace per technology, channel and BSIC, PSC or PCI whatever the report's
// ranks, a neighbour that leaves and comes back keeps its trace; pixel columns hold the lowest and
// highest level of their points; a log is read back onto its time axis (or cycle numbers) with its
// events and its cells of every technology.

#include "history/cell_history.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/log_recorder.h"
#include "history/run_events.h"
#include "log/log_record.h"
#include "log/log_writer.h"
#include "survey/cycle_stamp.h"
#include "tests/log/temp_dir.h"
#include "tests/support/recording_window.h"
#include "tests/support/typed_cells.h"

namespace {

using history::CellHistory;
using history::TraceKey;
using radio::Tech;
using testsupport::CycleOf;
using testsupport::TypedCell;
using Cell = radio::Cell;
using Cells = std::vector<radio::Cell>;

Cell GsmCell(int channel, const char* bsic, int level, std::int64_t cell = -1) {
  return testsupport::GsmCell(channel, bsic, level, cell);
}

TEST(CellHistory, OneTracePerChannelAndBsicWhateverTheRank) {
  CellHistory h;
  // Cycle 0: serving 62/7.3, neighbours A (70/1.1) then B (80/2.2).
  h.AddCycle(100, CycleOf({GsmCell(62, "7.3", -70, 28641), GsmCell(70, "1.1", -80), GsmCell(80, "2.2", -90)}));
  // Cycle 1: the ranks swap, and a cell on A's channel with another BSIC is another cell.
  h.AddCycle(101, CycleOf({GsmCell(62, "7.3", -71, 28641), GsmCell(80, "2.2", -79), GsmCell(70, "1.1", -85),
                           GsmCell(70, "1.2", -99)}));
  // Cycle 2: B has left; a reselection makes A the serving cell, the old serving cell a neighbour.
  h.AddCycle(102, CycleOf({GsmCell(70, "1.1", -75, 31234), GsmCell(62, "7.3", -78)}));
  // Cycle 3: B is back, in another rank; a report without a channel or a level gives no point.
  h.AddCycle(103, CycleOf({GsmCell(70, "1.1", -74, 31234), TypedCell(Tech::gsm, {{"bsic", 27}, {"rxlevel_dbm", -60}}),
                           TypedCell(Tech::gsm, {{"channel", 90}, {"bsic", 27}}), GsmCell(62, "7.3", -77),
                           GsmCell(80, "2.2", -88)}));

  ASSERT_EQ(h.Traces().size(), 4u);
  const auto trace = [&](TraceKey key) -> const history::Trace& {
    const int i = h.FindTrace(key);
    EXPECT_GE(i, 0);
    return h.Traces().at(static_cast<std::size_t>(std::max(i, 0)));
  };
  const history::Trace& first = trace({62, 7 * 8 + 3});
  EXPECT_EQ(first.cycles, (std::vector<std::uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(first.levels, (std::vector<std::int8_t>{-70, -71, -78, -77}));
  EXPECT_EQ(first.serving, (std::vector<std::uint8_t>{1, 1, 0, 0}));
  EXPECT_EQ(first.cell, "28641");
  EXPECT_EQ(first.id, "7.3");
  EXPECT_EQ(first.band, "900");
  const history::Trace& a = trace({70, 9});
  EXPECT_EQ(a.cycles, (std::vector<std::uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(a.serving, (std::vector<std::uint8_t>{0, 0, 1, 1}));
  EXPECT_EQ(a.cell, "31234");
  const history::Trace& b = trace({80, 18});
  EXPECT_EQ(b.cycles, (std::vector<std::uint32_t>{0, 1, 3})) << "back in its own trace after a gap";
  EXPECT_EQ(b.levels, (std::vector<std::int8_t>{-90, -79, -88}));
  EXPECT_EQ(trace({70, 10}).cycles, (std::vector<std::uint32_t>{1}));
  // Colours follow the order of first appearance, so they stay as cells come and go.
  EXPECT_EQ(first.colour, 0);
  EXPECT_EQ(a.colour, 1);
  EXPECT_EQ(b.colour, 2);
  EXPECT_EQ(h.LatestServingLevel(), -74);
}

TEST(CellHistory, ColumnsHoldTheLowestAndHighestOfTheirPoints) {
  CellHistory h;
  // 1000 cycles a second apart; a saw of levels -100..-51 repeating every 50 cycles, absent from
  // cycle 500 to 599.
  for (int i = 0; i < 1000; ++i) {
    Cells cells(2);
    if (i < 500 || i >= 600) cells[1] = GsmCell(10, "1.1", -100 + i % 50);
    cells[0] = GsmCell(1, "0.0", -60);
    h.AddCycle(1000.0 + i, CycleOf(cells));
  }
  const history::Trace& saw = h.Traces().at(static_cast<std::size_t>(h.FindTrace({10, 9})));
  std::vector<history::Column> columns;
  // Ten columns of 100 cycles: each holds whole saw teeth, except the gap's.
  h.Decimate(saw, 1000, 2000, 10, columns);
  ASSERT_EQ(columns.size(), 10u);
  for (std::size_t c = 0; c < columns.size(); ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(columns[c].any, c != 5);
    if (c == 5) continue;
    EXPECT_EQ(columns[c].min, -100);
    EXPECT_EQ(columns[c].max, -51);
    EXPECT_EQ(columns[c].firstCycle, c * 100);
    EXPECT_EQ(columns[c].lastCycle, c * 100 + 99);
    EXPECT_EQ(columns[c].count, 100);
    EXPECT_EQ(columns[c].sum, 2 * (-100 - 51) * 50 / 2) << "two teeth of -100..-51";
    EXPECT_FALSE(columns[c].serving);
  }
  // Zoomed in on 10 cycles over 100 columns: one point every ten columns, the rest empty.
  h.Decimate(saw, 1020, 1030, 100, columns);
  int filled = 0;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (!columns[c].any) continue;
    ++filled;
    EXPECT_EQ(c % 10, 0u);
    EXPECT_EQ(columns[c].min, columns[c].max);
    EXPECT_EQ(columns[c].min, -100 + (20 + static_cast<int>(c / 10)) % 50);
  }
  EXPECT_EQ(filled, 10);
  // A range outside the run, and no columns at all.
  h.Decimate(saw, 5000, 6000, 10, columns);
  EXPECT_TRUE(std::none_of(columns.begin(), columns.end(), [](const auto& c) { return c.any; }));
  h.Decimate(saw, 1000, 2000, 0, columns);
  EXPECT_TRUE(columns.empty());
  // Hovering finds the nearest point, not one across the gap.
  EXPECT_EQ(h.PointNear(saw, 1020.4, 1), 20);
  EXPECT_EQ(h.PointNear(saw, 1550, 1), -1);
}

TEST(CellHistory, ServingOnlyColumnsLeaveOutTheNeighboursPoints) {
  CellHistory h;
  // 62/7.3 serves in the first ten cycles, then is a neighbour at -90.
  for (int i = 0; i < 20; ++i) {
    const bool after = i >= 10;
    h.AddCycle(100.0 + i, CycleOf({after ? GsmCell(70, "1.1", -70) : GsmCell(62, "7.3", -60),
                                   after ? GsmCell(62, "7.3", -90) : GsmCell(70, "1.1", -80)}));
  }
  const history::Trace& first = h.Traces().at(0);
  std::vector<history::Column> columns;
  h.Decimate(first, 100, 120, 2, columns, true);
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_TRUE(columns[0].any && columns[0].serving);
  EXPECT_EQ(columns[0].min, -60);
  EXPECT_FALSE(columns[1].any) << "a neighbour's points are left out";
  h.Decimate(first, 100, 120, 2, columns);
  EXPECT_EQ(columns[1].min, -90);
}

TEST(CellHistory, TimeNeverRunsBackwards) {
  CellHistory h;
  h.AddCycle(10, CycleOf({GsmCell(1, "0.0", -60)}));
  h.AddCycle(5, CycleOf({GsmCell(1, "0.0", -61)}));  // the clock was set back
  EXPECT_EQ(h.TimeOf(1), 10);
}

TEST(CellHistory, CellsOfEveryTechnologyOnTheirOwnTracesAndLevels) {
  CellHistory h;
  radio::Cycle cycle = testsupport::EnDcCycle(1, -95.5);
  // The same numbers on another technology are another cell; a level below what a point holds
  // stays at its bottom.
  cycle.neighbours.push_back(TypedCell(Tech::wcdma, {{"channel", 1850}, {"psc", 124}, {"rscp_dbm", -129.0}}));
  h.AddCycle(100, cycle);
  h.AddCycle(101, testsupport::EnDcCycle(2, -97.25));
  struct Case {
    TraceKey key;
    std::vector<std::int8_t> levels;
    std::vector<std::uint8_t> serving;
    const char* id;
  };
  const Case cases[] = {
      {{1850, 123, Tech::lte}, {-96, -97}, {1, 1}, "123"},     // RSRP, rounded
      {{627264, 501, Tech::nr}, {-101, -101}, {1, 1}, "501"},  // the NR leg serves beside it
      {{1850, 124, Tech::lte}, {-99, -99}, {0, 0}, "124"},    {{10737, 301, Tech::wcdma}, {-87, -87}, {0, 0}, "301"},
      {{62, 59, Tech::gsm}, {-80, -80}, {0, 0}, "7.3"},       {{643334, 7, Tech::nr}, {-111, -111}, {0, 0}, "7"},
      {{1850, 124, Tech::wcdma}, {-128}, {0}, "124"},
  };
  ASSERT_EQ(h.Traces().size(), std::size(cases));
  for (const Case& c : cases) {
    const int i = h.FindTrace(c.key);
    ASSERT_GE(i, 0) << c.key.channel << " " << c.key.id;
    const history::Trace& trace = h.Traces()[static_cast<std::size_t>(i)];
    EXPECT_EQ(trace.levels, c.levels) << c.key.channel;
    EXPECT_EQ(trace.serving, c.serving) << c.key.channel;
    EXPECT_EQ(trace.id, c.id);
  }
  EXPECT_EQ(h.Traces()[0].band, "B3");
  EXPECT_EQ(h.Traces()[0].cell, "26132481");
  EXPECT_EQ(h.LatestServingLevel(), -97);

  // The same cycles through a log: the same traces.
  logtest::TempDir dir;
  const std::string path = dir.File("endc.log");
  gsmlog::TLogWriter writer;
  testsupport::RecordingWindow window({});
  core::LogRecorder recorder(window, writer, nullptr, nullptr);
  ASSERT_TRUE(recorder.StartLog(path));
  recorder.CycleCompleted(cycle);
  recorder.CycleCompleted(testsupport::EnDcCycle(2, -97.25));
  recorder.RunEnded({});
  CellHistory fromLog;
  ASSERT_TRUE(history::LoadHistory(path, fromLog).ok);
  ASSERT_EQ(fromLog.Traces().size(), h.Traces().size());
  for (std::size_t i = 0; i < h.Traces().size(); ++i) {
    EXPECT_EQ(fromLog.Traces()[i].key, h.Traces()[i].key) << i;
    EXPECT_EQ(fromLog.Traces()[i].levels, h.Traces()[i].levels) << i;
    EXPECT_EQ(fromLog.Traces()[i].serving, h.Traces()[i].serving) << i;
  }
}

TEST(CellHistory, ALogReadBackWithTimesAndEvents) {
  logtest::TempDir dir;
  const std::string path = dir.File("run.log");
  gsmlog::TLogWriter writer;
  ASSERT_TRUE(writer.Create(path).ok);
  const auto t0 = std::chrono::system_clock::from_time_t(1'796'845'695);
  const auto cycle = [&](int n, const char* bsic) {
    writer.Field(parser::fcChannel, 0, parser::TextValue("62"));
    writer.Field(parser::fcBaseStation, 0, parser::TextValue(bsic));
    writer.Field(parser::fcRxLevel, 0, parser::TextValue("-70"));
    writer.Field(parser::fcChannel, 2, parser::TextValue("70"));
    writer.Field(parser::fcRxLevel, 2, parser::TextValue("-90"));
    const auto time = t0 + std::chrono::seconds(n);
    if (n == 2)
      writer.Hold(gsmlog::kCycleEventCode,
                  history::FormatEventRecord({history::EventKind::servingCell, "a", "b", 0, time}));
    survey::HoldCycleRecords(writer, {time, std::nullopt});
    writer.Seal();
  };
  cycle(0, "7.3");
  cycle(1, "7.3");
  cycle(2, "7.4");
  writer.Hold(gsmlog::kCycleEventCode, history::FormatEventRecord({history::EventKind::connectionEnded, "", "", 0,
                                                                   t0 + std::chrono::seconds(3)}));
  ASSERT_TRUE(writer.Complete());

  CellHistory h;
  const auto loaded = history::LoadHistory(path, h);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(loaded.cycles, 3);
  EXPECT_EQ(h.AxisKind(), CellHistory::Axis::time);
  EXPECT_EQ(h.TimeOf(2), history::AxisTime(t0) + 2);
  EXPECT_EQ(h.Traces().size(), 3u);  // 62/7.3, 70 without a BSIC, 62/7.4
  ASSERT_EQ(h.Markers().size(), 2u);
  EXPECT_EQ(h.Markers()[0].time, history::AxisTime(t0) + 2);
  EXPECT_EQ(h.Markers()[0].event.kind, history::EventKind::servingCell);
  EXPECT_EQ(h.Markers()[1].event.kind, history::EventKind::connectionEnded);

  // Without cycle time records: cycle numbers; events sit on the cycle they came with.
  const std::string old = dir.File("old.log");
  gsmlog::TLogWriter oldWriter;
  ASSERT_TRUE(oldWriter.Create(old).ok);
  for (int n = 0; n < 2; ++n) {
    oldWriter.Field(parser::fcChannel, 0, parser::TextValue("62"));
    oldWriter.Field(parser::fcRxLevel, 0, parser::TextValue("-70"));
    oldWriter.Seal();
  }
  ASSERT_TRUE(oldWriter.Complete());
  ASSERT_TRUE(history::LoadHistory(old, h).ok);
  EXPECT_EQ(h.AxisKind(), CellHistory::Axis::cycleNumber);
  EXPECT_EQ(h.CycleCount(), 2u);
  EXPECT_EQ(h.TimeOf(1), 2);

  // Not a log: the message, and nothing loaded.
  const std::string junk = dir.File("junk.log");
  { std::ofstream(junk) << "not a log"; }
  const auto failed = history::LoadHistory(junk, h);
  EXPECT_FALSE(failed.ok);
  EXPECT_FALSE(failed.error.empty());
  EXPECT_EQ(h.CycleCount(), 0u);
}

}  // namespace
