// The trace styles: the first kDistinctTraceStyles traces look pairwise different, by line style
// or, on the same line style, by colours far apart; the first ten are solid lines.

#include "history/trace_style.h"

#include <gtest/gtest.h>

namespace {

using history::ColourDistance;
using history::LineDash;
using history::TraceStyleOf;

TEST(TraceStyle, TheFirstStylesArePairwiseDistinct) {
  constexpr double kFarApart = 25;  // CIE76; 2.3 is just noticeable
  for (int i = 0; i < history::kDistinctTraceStyles; ++i) {
    for (int j = i + 1; j < history::kDistinctTraceStyles; ++j) {
      const history::TraceStyle a = TraceStyleOf(i), b = TraceStyleOf(j);
      if (a.dash != b.dash) continue;
      EXPECT_GE(ColourDistance(a.colour, b.colour), kFarApart) << i << " and " << j;
    }
    // Every colour stands out from the white plot.
    EXPECT_GE(ColourDistance(TraceStyleOf(i).colour, {255, 255, 255}), 40) << i;
  }
}

TEST(TraceStyle, SolidColoursFirstThenLineStyles) {
  for (int i = 0; i < 10; ++i) EXPECT_EQ(TraceStyleOf(i).dash, LineDash::solid) << i;
  EXPECT_EQ(TraceStyleOf(10).colour, TraceStyleOf(0).colour);
  EXPECT_EQ(TraceStyleOf(10).dash, LineDash::dash);
  EXPECT_EQ(TraceStyleOf(20).dash, LineDash::dot);
  EXPECT_EQ(TraceStyleOf(30).dash, LineDash::dashDot);
  // Past the distinct ones they repeat, and no index is out of reach.
  EXPECT_EQ(TraceStyleOf(history::kDistinctTraceStyles + 3).colour, TraceStyleOf(3).colour);
  EXPECT_EQ(TraceStyleOf(-1).colour, TraceStyleOf(history::kDistinctTraceStyles - 1).colour);
}

TEST(TraceStyle, ColourDistanceKnownValues) {
  EXPECT_DOUBLE_EQ(ColourDistance({10, 20, 30}, {10, 20, 30}), 0);
  EXPECT_NEAR(ColourDistance({0, 0, 0}, {255, 255, 255}), 100, 0.1);
  // Two blues that look alike on a plot are far closer than any two of the palette.
  EXPECT_LT(ColourDistance({31, 119, 180}, {41, 115, 190}), 12);
}

}  // namespace
