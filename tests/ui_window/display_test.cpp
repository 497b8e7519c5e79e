#include <map>

#include "form_fixture.h"
#include "parser/measurement_fields.h"
#include "ui/rxlevel_graphbar.h"

namespace {

using namespace platform::literals;
using uitest::FormTest;
using uitest::Utf;

constexpr std::string_view kNa = "(n/a)";

// Every edit's text and tag and every bar's position, to show that a value changed nothing else.
std::map<QString, QString> Snapshot(const QWidget& form) {
  std::map<QString, QString> state;
  for (auto* edit : form.findChildren<QLineEdit*>()) {
    state[edit->objectName()] = edit->text() + "|" + QString::number(ui::Tag(edit));
  }
  for (auto* bar : form.findChildren<QProgressBar*>()) state[bar->objectName()] = QString::number(bar->value());
  return state;
}

TEST_F(FormTest, ValuesGoToTheirFieldsWithUnitsAndColours) {
  struct Expect {
    const char* control;
    std::string_view text;
  };
  struct Case {
    int code;
    int cell;
    std::string_view value;
    std::vector<Expect> shown;  // everything else stays as it was
    const char* bar;
    int position;
  };
  const Case kCases[] = {
      {parser::fcRxLevel, 0, "-71", {{"txtRxLevel", "-71 dBm"}, {"txt0Rx", "-71"}}, "iRx0", 24},
      {parser::fcRxLevel, 0, kNa, {{"txtRxLevel", kNa}, {"txt0Rx", kNa}}, "iRx0", 0},
      {parser::fcRxLevel, 4, "-95", {{"txt4Rx", "-95"}}, "iRx4", 48},
      {parser::fcRxLevel, 2, "-40", {{"txt2Rx", "-40"}}, "iRx2", 0},
      {parser::fcRxLevel, 3, "-110", {{"txt3Rx", "-110"}}, "iRx3", 60},
      {parser::fcBitError, 0, "0,14", {{"txtBitError", "0,14 %"}}, nullptr, 0},
      {parser::fcBitError, 0, kNa, {{"txtBitError", kNa}}, nullptr, 0},
      {parser::fcFreqBand, 0, "1800", {{"txtFreqBand", "1800"}, {"txt0Band", "1800"}}, nullptr, 0},
      {parser::fcFreqBand, 5, "EGSM", {{"txt5Band", "EGSM"}}, nullptr, 0},
      {parser::fcOperator, 0, "МТС"_cp1251, {{"txtOperator", "МТС"_cp1251}}, nullptr, 0},
      {parser::fcCountry, 0, "Россия"_cp1251, {{"txtCountry", "Россия"_cp1251}}, nullptr, 0},
      {parser::fcBaseStation, 1, "7.3", {{"txt1BSIC", "7.3"}}, nullptr, 0},
      {parser::fcCell, 0, "4711", {{"txtCell", "4711"}, {"txt0Cell", "4711"}}, nullptr, 0},
      {parser::fcChannel, 6, "62", {{"txt6Ch", "62"}}, nullptr, 0},
      {parser::fcRxQuality, 0, "3", {{"txtRxQuality", "3"}}, nullptr, 0},
      {parser::fcImei, 0, "351234567890123", {{"txtImei", "351234567890123"}}, nullptr, 0},
      {parser::fcLocalArea, 0, "1234", {}, nullptr, 0},
      {parser::fcTimingAdvance, 0, "5,5", {}, nullptr, 0},
      {parser::fcPhoneState, 0, "Соединено"_cp1251, {}, nullptr, 0},
      {parser::fcRxQuality, 3, "2", {}, nullptr, 0},
      {parser::fcRxLevel, 7, "-60", {}, nullptr, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.code << "/" << c.cell << " " << platform::Cp1251ToUtf8(c.value));
    SetUp();
    if (c.bar) Control<QProgressBar>(c.bar)->setValue(30);
    auto expected = Snapshot(*form_);
    for (const auto& e : c.shown) {
      expected[e.control] = Utf(e.text) + "|" + (e.text == kNa ? "0" : "1");
    }
    if (c.bar) expected[c.bar] = QString::number(c.position);

    Show(c.code, c.cell, c.value);
    EXPECT_EQ(Snapshot(*form_), expected);
    for (const auto& e : c.shown) {
      EXPECT_EQ(ShowsNotAvailableColour(e.control), e.text == kNa) << e.control;
      EXPECT_EQ(ShowsWindowColour(e.control), e.text != kNa) << e.control;
    }
  }
}

TEST(LevelBar, PositionIsTheLevelBelowMinus47HeldInRange) {
  struct Case {
    int level;
    int position;
  };
  const Case kCases[] = {{-40, 0},   {-47, 0},   {-71, 24}, {-77, 30},       {-95, 48},
                         {-107, 60}, {-110, 60}, {0, 0},    {INT32_MIN, 60}, {INT32_MAX, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.level);
    EXPECT_EQ(ui::LevelBarPosition(c.level), c.position);
  }
}

TEST_F(FormTest, ServingLevelFeedsTheGraphButNotAvailableDoesNot) {
  ui::SetWindowLayout(*form_, core::WindowLayout::MonitorLayout);
  const QImage blank = form_->Graph()->Surface();
  Show(parser::fcRxLevel, 0, kNa);
  Show(parser::fcRxLevel, 3, "-61");
  EXPECT_EQ(form_->Graph()->Surface(), blank);
  Show(parser::fcRxLevel, 0, "-61");
  EXPECT_NE(form_->Graph()->Surface(), blank);
}

TEST_F(FormTest, ConnectionStartShowsEveryFieldNotAvailable) {
  Show(parser::fcImei, 0, "351234567890123");
  Show(parser::fcRxLevel, 0, "-71");
  ui::MarkFields(*form_, true, parser::SweepPass::reset);
  ui::MarkFields(*form_, true, parser::SweepPass::markMissing);
  const char* kFields[] = {"txtImei",        "txtManufacturer", "txtModel",    "txtFirmware", "txtRxLevel",
                           "txtChannel",     "txtRxQuality",    "txtBitError", "txtCountry",  "txtOperator",
                           "txtBaseStation", "txtCell",         "txtFreqBand", "txt0Rx",      "txt6Band"};
  for (const char* name : kFields) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Text(name), "(n/a)");
    EXPECT_TRUE(ShowsNotAvailableColour(name));
  }
  int sweptGridEdits = 0;
  for (auto* edit : form_->findChildren<QLineEdit*>()) sweptGridEdits += edit->text() == "(n/a)" ? 1 : 0;
  EXPECT_EQ(sweptGridEdits, 4 + 9 + 35);
  EXPECT_EQ(Text("txtLog"), "");
  // A new connection starts with every bar empty: no cell has a level yet.
  for (int cell = 0; cell < 7; ++cell) EXPECT_EQ(Bar("iRx" + std::to_string(cell)), 0) << cell;
}

TEST_F(FormTest, PollSweepsKeepIdentityAndMarkWhatDidNotArrive) {
  ui::MarkFields(*form_, true, parser::SweepPass::reset);
  ui::MarkFields(*form_, true, parser::SweepPass::markMissing);
  Show(parser::fcImei, 0, "351234567890123");
  Show(parser::fcModel, 0, "GSM-SIM 900");

  auto cycle = [this](bool withNeighbour) {
    Show(parser::fcRxLevel, 0, "-71");
    Show(parser::fcChannel, 0, "62");
    if (withNeighbour) {
      Show(parser::fcRxLevel, 2, "-80");
      Show(parser::fcChannel, 2, "50");
    }
    ui::MarkFields(*form_, false, parser::SweepPass::markMissing);
    ui::MarkFields(*form_, false, parser::SweepPass::reset);
  };
  cycle(true);
  EXPECT_EQ(Text("txt2Rx"), "-80");
  EXPECT_EQ(Text("txt2Ch"), "50");
  EXPECT_EQ(Bar("iRx2"), 33);
  EXPECT_EQ(Text("txtCell"), "(n/a)");

  cycle(false);
  EXPECT_EQ(Text("txt2Rx"), "(n/a)");
  EXPECT_EQ(Text("txt2Ch"), "(n/a)");
  EXPECT_TRUE(ShowsNotAvailableColour("txt2Rx"));
  EXPECT_EQ(Bar("iRx2"), 0) << "a cell without a level has an empty bar";
  EXPECT_EQ(Bar("iRx0"), 24) << "a cell that kept its level keeps its bar";
  EXPECT_EQ(Text("txtRxLevel"), "-71 dBm");
  EXPECT_EQ(Text("txt0Ch"), "62");
  EXPECT_EQ(Text("txtImei"), "351234567890123");
  EXPECT_EQ(Text("txtModel"), "GSM-SIM 900");
  EXPECT_EQ(Text("txtManufacturer"), "(n/a)");
  // The reset pass leaves the texts on show and only clears the marks.
  EXPECT_EQ(ui::Tag(Edit("txtRxLevel")), 0);
  EXPECT_EQ(ui::Tag(Edit("txtImei")), 1);
}

TEST_F(FormTest, SweepSkipsNamesThatMatchNoControl) {
  Show(parser::fcImei, 0, "351234567890123");
  ui::MarkControl(Edit("txtImei"), parser::SweepPass::reset);
  ui::MarkControl(nullptr, parser::SweepPass::markMissing);
  // Blanks in a row and unknown names must not reach any control outside the grid.
  ui::MarkControls(*form_, "  txtLocalArea  txtNoSuch ", parser::SweepPass::markMissing);
  EXPECT_EQ(Text("txtImei"), "351234567890123");
  EXPECT_EQ(Text("txt3Cell"), "(n/a)");
  ui::MarkControls(*form_, "", parser::SweepPass::markMissing);
  ui::MarkControls(*form_, "txtImei", parser::SweepPass::markMissing);
  EXPECT_EQ(Text("txtImei"), "(n/a)");
}

TEST_F(FormTest, LevelBarsVisibilityLeavesTheSeventhAlone) {
  ui::SetLevelBarsVisible(*form_, false);
  for (int cell = 0; cell < 6; ++cell) EXPECT_TRUE(Control("iRx" + std::to_string(cell))->isHidden()) << cell;
  EXPECT_FALSE(Control("iRx6")->isHidden());
  form_->chkRxViewClick();
  for (int cell = 0; cell < 7; ++cell) EXPECT_FALSE(Control("iRx" + std::to_string(cell))->isHidden()) << cell;
}

}  // namespace
