#include "cli/display_model.h"

#include <gtest/gtest.h>

#include "parser/measurement_fields.h"

using namespace parser;

// The headless display follows the window's sweep: a field that got nothing in a cycle shows
// "(n/a)" after that cycle, the identity survives the poll sweeps.
TEST(DisplayModel, SweepsLikeTheWindow) {
  cli::DisplayModel model;
  EXPECT_EQ(model.Text(fcRxLevel, 3), "(n/a)");

  model.Mark(true, 0);
  model.Mark(true, 1);
  model.Show(fcImei, 0, "350000000000001");
  model.Show(fcRxLevel, 0, "-71");
  model.Show(fcRxLevel, 3, "-90");
  model.Show(fcTimingAdvance, 0, "5,5");  // not shown by the window
  model.Mark(false, 1);
  EXPECT_EQ(model.Text(fcRxLevel, 3), "-90");
  model.Mark(false, 0);

  model.Show(fcRxLevel, 0, "-72");  // neighbour 3 missing from the second cycle
  model.Mark(false, 1);
  EXPECT_EQ(model.Text(fcRxLevel, 0), "-72");
  EXPECT_EQ(model.Text(fcRxLevel, 3), "(n/a)");
  EXPECT_EQ(model.Text(fcImei, 0), "350000000000001");
  EXPECT_EQ(model.Text(fcTimingAdvance, 0), "(n/a)");

  model.Mark(true, 0);
  model.Mark(true, 1);  // a new connection clears the identity too
  EXPECT_EQ(model.Text(fcImei, 0), "(n/a)");
}
