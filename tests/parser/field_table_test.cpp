#include "parser/field_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/support/recording_sink.h"

namespace {

using parser::FieldInfo;

// What every reader of the table relies on: one row per code, in code order, each code found
// again by its lookup; names that are unique where they name something; a complete grid.
TEST(FieldTable, RowsAreConsistentForEveryReader) {
  std::set<std::string_view> keys, controls, logNames, suffixes;
  std::set<int> gridRows;
  int previous = 0;
  for (const FieldInfo& field : parser::kFieldTable) {
    SCOPED_TRACE(field.code);
    EXPECT_GT(field.code, previous);
    previous = field.code;
    EXPECT_GT(field.code, 0);
    EXPECT_LT(field.code, parser::kCellCodeStep);
    EXPECT_EQ(parser::FindField(field.code), &field);
    EXPECT_TRUE(keys.insert(field.key).second) << field.key;
    EXPECT_FALSE(field.key.empty());
    if (!field.control.empty()) {
      EXPECT_TRUE(controls.insert(field.control).second) << field.control;
      EXPECT_FALSE(field.label.empty());
    }
    // A swept field is on show somewhere.
    if (field.sweep != parser::Sweep::none) {
      EXPECT_TRUE(!field.control.empty() || field.gridRow >= 0);
    }
    if (field.gridRow >= 0) {
      EXPECT_TRUE(gridRows.insert(field.gridRow).second);
      EXPECT_TRUE(suffixes.insert(field.gridSuffix).second);
      EXPECT_FALSE(field.gridLabel.empty());
      EXPECT_EQ(&parser::GridField(field.gridRow), &field);
      EXPECT_EQ(field.sweep, parser::Sweep::everyCycle);
    }
    // Whatever reaches a log is named in its listing.
    if (field.logPlain != parser::LogPlain::none || field.logPerCell || field.logCycleValue) {
      EXPECT_FALSE(field.logName.empty());
      EXPECT_TRUE(logNames.insert(field.logName).second) << field.logName;
    }
    if (field.inReport) {
      EXPECT_NE(field.logPlain, parser::LogPlain::none);
    }
  }
  EXPECT_EQ(gridRows.size(), static_cast<std::size_t>(parser::kGridRows));
  for (const int code : {0, 5, 131, 1000, 1023, 1024, 12801, -1}) EXPECT_EQ(parser::FindField(code), nullptr) << code;
}

// The dispatcher accepts exactly the table's codes, in every cell.
TEST(FieldTable, DispatcherAcceptsExactlyTheTable) {
  testsupport::ScopedDisplayRecorder display;
  for (int code = 0; code < parser::kCellCodeStep; ++code) {
    const bool known = parser::FindField(code) != nullptr;
    EXPECT_EQ(parser::DispatchField(code + 3 * parser::kCellCodeStep, "1"), known) << code;
  }
  EXPECT_EQ(display.Fields().size(), parser::kFieldTable.size());
}

TEST(FieldTable, SweepRule) {
  struct Case {
    parser::Sweep sweep;
    bool withIdentity;
    bool swept;
  };
  const Case kCases[] = {{parser::Sweep::none, true, false},
                         {parser::Sweep::identity, false, false},
                         {parser::Sweep::identity, true, true},
                         {parser::Sweep::everyCycle, false, true},
                         {parser::Sweep::everyCycle, true, true}};
  for (const Case& c : kCases) {
    FieldInfo field;
    field.sweep = c.sweep;
    EXPECT_EQ(parser::SweptBy(field, c.withIdentity), c.swept);
  }
  bool fresh = parser::MarksFresh("-71");
  EXPECT_FALSE(parser::SweepTurnsToNotAvailable(fresh, parser::SweepPass::markMissing));
  EXPECT_FALSE(parser::SweepTurnsToNotAvailable(fresh, parser::SweepPass::reset));
  EXPECT_FALSE(fresh);
  EXPECT_TRUE(parser::SweepTurnsToNotAvailable(fresh, parser::SweepPass::markMissing));
  fresh = parser::MarksFresh(parser::kNotAvailable);
  EXPECT_TRUE(parser::SweepTurnsToNotAvailable(fresh, parser::SweepPass::markMissing));
}

}  // namespace
