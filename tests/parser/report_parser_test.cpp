#include "parser/report_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parser/field_table.h"
#include "platform/text_encoding.h"
#include "tests/support/recording_sink.h"

using namespace platform::literals;
using testsupport::RecordedField;

namespace {

struct Case {
  const char* what;
  const char* header;
  const char* values;
  int cell;
  bool result;
  std::vector<RecordedField> expected;
};

}  // namespace

TEST(ParseReportLines, PairsNamesWithValuesByOrder) {
  const std::string connected("Соединено"_cp1251);
  const Case kCases[] = {
      {"two blanks between columns",
       "chann  dBm",
       "25  -71",
       0,
       true,
       {{388, 0, "25"}, {265, 0, "900"}, {387, 0, "-71"}}},
      {"NCC and BCC merge into BSIC", "NCC BCC PWR", "7  3  33", 0, true, {{385, 0, "7.3"}}},
      {"BCC before NCC", "BCC  NCC", "3  7", 0, true, {{385, 0, "x.3"}}},
      {"dedicated section replaces the level",
       "chann dBm I chann dBm",
       "25 -71 I 30 -80",
       0,
       true,
       {{388, 0, "25"}, {265, 0, "900"}, {387, 0, "-71"}, {387, 0, "-80"}}},
      {"marker with No connection",
       "dBm I chann TS",
       "-71 I No connection",
       0,
       true,
       {{387, 0, "-71"}, {388, 0, "(n/a)"}, {265, 0, "(n/a)"}}},
      {"marker followed by two blanks", "I  dBm", "I  -80", 0, true, {{387, 0, "-80"}}},
      {"last name takes the rest", "chann", "25 7", 0, true, {{388, 0, "(n/a)"}, {265, 0, "(n/a)"}}},
      {"more values than names",
       "dBm chann",
       "-71 25 99",
       0,
       true,
       {{387, 0, "-71"}, {388, 0, "(n/a)"}, {265, 0, "(n/a)"}}},
      {"fewer values than names",
       "chann dBm cell TA",
       "25 -71",
       4,
       true,
       {{388, 4, "25"}, {265, 4, "900"}, {391, 4, "(n/a)"}, {392, 0, connected}}},
      {"one-character last value after one blank", "chann dBm", "25 7", 0, true, {{388, 0, "25"}, {265, 0, "900"}}},
      {"one-character last value after two blanks",
       "chann TA",
       "25  7",
       0,
       true,
       {{388, 0, "25"}, {265, 0, "900"}, {391, 0, "3,8"}, {392, 0, connected}}},
      {"neighbour row",
       "chann rs dBm PLMN BSIC cell",
       "  975 30 -93 25001 12 3C4D",
       6,
       true,
       {{388, 6, "975"}, {265, 6, "EGSM"}, {387, 6, "-93"}, {385, 6, "12"}, {386, 6, "15437"}}},
      {"dashes where the modem has no values",
       "chann dBm MCC MNC LAC cell RxQFull TA",
       "-  -  -  -  ZZ  ----  -  -",
       0,
       true,
       {{388, 0, "(n/a)"},
        {265, 0, "(n/a)"},
        {387, 0, "(n/a)"},
        {257, 0, "(n/a)"},
        {258, 0, "(n/a)"},
        {259, 0, "(n/a)"},
        {386, 0, "(n/a)"},
        {389, 0, "(n/a)"},
        {391, 0, "(n/a)"},
        {392, 0, connected}}},
      {"a row that is not a row gives no BSIC", "chann dBm NCC BCC cell PWR", "OK", 5, true, {}},
      {"one character each", "c", "5", 0, false, {}},
      {"empty lines", "", "", 0, false, {}},
      {"empty values", "chann dBm", "", 0, false, {}},
      {"blank-only remainder",
       "chann dBm  ",
       "25 -71      ",
       0,
       true,
       {{388, 0, "25"}, {265, 0, "900"}, {387, 0, "-71"}}},
      {"values run out in blanks", "chann   dBm", "25     ", 0, false, {{388, 0, "25"}, {265, 0, "900"}}},
      {"marker at the very end", "chann I ", "25 I x", 0, false, {{388, 0, "25"}, {265, 0, "900"}}},
  };
  testsupport::ScopedDisplayRecorder display;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    display.Clear();
    EXPECT_EQ(parser::ParseReportLines(c.header, c.values, c.cell), c.result);
    EXPECT_EQ(display.Fields(), c.expected);
  }
}

TEST(ParseReportLines, ServingCellReportOfAModem) {
  testsupport::ScopedDisplayRecorder display;
  const char* header =
      "chann rs  dBm   MCC  MNC  LAC  cell  NCC BCC PWR RxLev C1  C2  RxQFull TA  I  chann TS timAdv dBm  Q  ChMod";
  const char* values = "  62   23  -71   250  99   1A2B 3C4D  7   3   33  -105  33  33  0       2   I  No connection";
  EXPECT_TRUE(parser::ParseReportLines(header, values, 0));
  const std::string connected("Соединено"_cp1251);
  const std::vector<RecordedField> expected = {{388, 0, "62"},
                                               {265, 0, "900"},
                                               {387, 0, "-71"},
                                               {257, 0, std::string("Россия"_cp1251)},
                                               {258, 0, std::string("Билайн"_cp1251)},
                                               {259, 0, "6699"},
                                               {386, 0, "15437"},
                                               {385, 0, "7.3"},
                                               {389, 0, "0"},
                                               {390, 0, "0,14"},
                                               {391, 0, "1,1"},
                                               {392, 0, connected},
                                               {388, 0, "(n/a)"},
                                               {265, 0, "(n/a)"}};
  EXPECT_EQ(display.Fields(), expected);
}

// Bytes of any kind (run under the sanitizers): nothing reads outside the lines, and whatever
// is dispatched is a known field of the row's cell (or of the serving cell, where a field always
// goes there) with a text that is a value or "(n/a)" and a number that agrees with it.
TEST(ParseReportLines, SurvivesArbitraryBytes) {
  testsupport::ScopedDisplayRecorder display;
  const auto check = [&](int cellIndex) {
    const auto fields = display.Fields();
    const auto numbers = display.Numbers();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const parser::FieldInfo* field = parser::FindField(fields[i].fieldCode);
      ASSERT_NE(field, nullptr) << fields[i].fieldCode;
      EXPECT_TRUE(fields[i].cellIndex == cellIndex || (field->servingOnly && fields[i].cellIndex == 0))
          << fields[i].fieldCode << " " << fields[i].cellIndex;
      EXPECT_FALSE(fields[i].text.empty());
      if (fields[i].text == parser::kNotAvailable) {
        EXPECT_FALSE(numbers[i]) << fields[i].fieldCode;
      }
    }
    display.Clear();
  };
  std::string junk;
  for (int i = 0; i < 600; ++i) junk += static_cast<char>((i * 37 + 11) % 256);
  for (std::size_t cut = 0; cut < junk.size(); cut += 7) {
    const int cellIndex = static_cast<int>(cut % 7);
    parser::ParseReportLines(junk.substr(cut, 40), junk.substr(junk.size() - cut - 1), cellIndex);
    check(cellIndex);
  }
  parser::ParseReportLines(std::string(300, 'I'), std::string(300, ' '), 0);
  check(0);
  parser::ParseReportLines("I I I I", "I I I I", 0);
  check(0);
  // Known columns with junk values: each is dispatched, as "(n/a)" where it states no value.
  EXPECT_TRUE(parser::ParseReportLines("chann dBm TA MCC", "\x01 -999 x 1e9", 3));
  const auto fields = display.Fields();
  ASSERT_GE(fields.size(), 4u);
  for (const auto& f : fields) {
    if (f.fieldCode != parser::fcFreqBand && f.fieldCode != parser::fcPhoneState) {
      EXPECT_EQ(f.text, "(n/a)") << f.fieldCode;
    }
  }
  check(3);
}
