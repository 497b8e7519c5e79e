// Each cell's figures: seen from and to, cycles, lowest, mean and highest level, and time as the
// serving cell, a pause of the monitor not counting as time on the cell.

#include "history/cell_statistics.h"

#include <gtest/gtest.h>

#include "tests/support/typed_cells.h"

namespace {

using history::CellHistory;
using testsupport::CycleOf;

radio::Cell Cell(int channel, const char* bsic, int level) { return testsupport::GsmCell(channel, bsic, level); }

TEST(CellStatistics, FiguresPerCellAndTimeAsServing) {
  CellHistory h;
  // 62 serves for cycles at 100, 101, 102; 70 serves from 103 on, and after a pause at 200 and 201.
  h.AddCycle(100, CycleOf({Cell(62, "7.3", -60), Cell(70, "1.1", -90)}));
  h.AddCycle(101, CycleOf({Cell(62, "7.3", -62), Cell(70, "1.1", -80)}));
  h.AddCycle(102, CycleOf({Cell(62, "7.3", -70)}));
  h.AddCycle(103, CycleOf({Cell(70, "1.1", -65), Cell(62, "7.3", -75)}));
  h.AddCycle(200, CycleOf({Cell(70, "1.1", -66)}));
  h.AddCycle(202, CycleOf({Cell(70, "1.1", -67)}));

  const auto stats = history::ComputeStatistics(h);
  ASSERT_EQ(stats.size(), 2u);
  const history::CellStatistics& first = stats[0];
  EXPECT_EQ(first.trace, 0);
  EXPECT_EQ(first.firstSeen, 100);
  EXPECT_EQ(first.lastSeen, 103);
  EXPECT_EQ(first.cycles, 4);
  EXPECT_EQ(first.minDbm, -75);
  EXPECT_EQ(first.maxDbm, -60);
  EXPECT_DOUBLE_EQ(first.meanDbm, (-60 - 62 - 70 - 75) / 4.0);
  EXPECT_EQ(first.servingCycles, 3);
  EXPECT_DOUBLE_EQ(first.servingSeconds, 3);

  const history::CellStatistics& second = stats[1];
  EXPECT_EQ(second.firstSeen, 100);
  EXPECT_EQ(second.lastSeen, 202);
  EXPECT_EQ(second.cycles, 5);
  EXPECT_EQ(second.minDbm, -90);
  EXPECT_EQ(second.maxDbm, -65);
  EXPECT_EQ(second.servingCycles, 3);
  // 103 waits 97 s for the next cycle: a pause, counted as the longest cycle; 200 lasts 2 s, and
  // the last cycle as long as the one before it.
  EXPECT_DOUBLE_EQ(second.servingSeconds, history::kLongestCycle + 2 + 2);
}

TEST(CellStatistics, CycleNumbersCountCyclesAndAnEmptyHistoryHasNone) {
  CellHistory empty;
  EXPECT_TRUE(history::ComputeStatistics(empty).empty());

  CellHistory h(CellHistory::Axis::cycleNumber);
  for (int i = 0; i < 4; ++i) h.AddCycle(i, CycleOf({Cell(62, "7.3", -60 - i)}));
  const auto stats = history::ComputeStatistics(h);
  ASSERT_EQ(stats.size(), 1u);
  EXPECT_EQ(stats[0].servingCycles, 4);
  EXPECT_DOUBLE_EQ(stats[0].servingSeconds, 4);
  EXPECT_DOUBLE_EQ(stats[0].meanDbm, -61.5);
}

}  // namespace
