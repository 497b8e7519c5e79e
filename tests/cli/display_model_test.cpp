#include "cli/display_model.h"

#include <gtest/gtest.h>

#include "parser/field_table.h"

using namespace parser;

// The headless display follows the window's sweep: a field that got nothing in a cycle shows
// "(n/a)" after that cycle, the identity survives the poll sweeps.
TEST(DisplayModel, SweepsLikeTheWindow) {
  cli::DisplayModel model;
  EXPECT_EQ(model.Text(fcRxLevel, 3), "(n/a)");

  model.Mark(true, SweepPass::reset);
  model.Mark(true, SweepPass::markMissing);
  model.Show(fcImei, 0, "350000000000001");
  model.Show(fcRxLevel, 0, "-71");
  model.Show(fcRxLevel, 3, "-90");
  model.Show(fcTimingAdvance, 0, "5,5");  // not shown by the window
  model.Mark(false, SweepPass::markMissing);
  EXPECT_EQ(model.Text(fcRxLevel, 3), "-90");
  model.Mark(false, SweepPass::reset);

  model.Show(fcRxLevel, 0, "-72");  // neighbour 3 missing from the second cycle
  model.Mark(false, SweepPass::markMissing);
  EXPECT_EQ(model.Text(fcRxLevel, 0), "-72");
  EXPECT_EQ(model.Text(fcRxLevel, 3), "(n/a)");
  EXPECT_EQ(model.Text(fcImei, 0), "350000000000001");
  EXPECT_EQ(model.Text(fcTimingAdvance, 0), "(n/a)");

  model.Mark(true, SweepPass::reset);
  model.Mark(true, SweepPass::markMissing);  // a new connection clears the identity too
  EXPECT_EQ(model.Text(fcImei, 0), "(n/a)");
}
