#include "parser/column_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"
#include "tests/support/recording_sink.h"

using namespace platform::literals;
using parser::ConvertColumn;
using testsupport::RecordedField;

TEST(ParseNumber, AcceptsOnlySignedDecimalDigits) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case kCases[] = {{"-71", -71},
                         {"0042", 42},
                         {"(n/a)", 0},
                         {"", 0},
                         {"0,14", 0},
                         {"+5", 0},
                         {" 5", 0},
                         {"5 ", 0},
                         {"-", 0},
                         {"1-2", 0},
                         {"--3", 0},
                         {"2147483647", 2147483647},
                         {"2147483648", 0},
                         {"-2147483648", -2147483647 - 1},
                         {"99999999999999999999", 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parser::ParseNumber(c.text), c.expected);
  }
}

TEST(HexToDecText, ConvertsAnyCaseAndWraps) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case kCases[] = {{"", "0"},
                         {"0", "0"},
                         {"270E", "9998"},
                         {"1a2b", "6699"},
                         {"1A2B", "6699"},
                         {"FFFF", "65535"},
                         {"186A0", "100000"},
                         {"7FFFFFFF", "2147483647"},
                         {"80000000", "-2147483648"},
                         {"100000000", "0"},
                         {"G", "16"},
                         {"-", "-10"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parser::HexToDecText(c.text), c.expected);
  }
}

TEST(ConvertColumn, AppliesBoundsConversionsAndNames) {
  struct Case {
    const char* name;
    std::string text;
    int code;
    std::string expected;
  };
  const std::string na = "(n/a)";
  const Case kCases[] = {
      {"MCC", "250", 257, std::string("Россия"_cp1251)},
      {"MCC", "0250", 257, std::string("Россия"_cp1251)},
      {"MCC", "262", 257, "262"},
      {"MCC", "1000", 257, na},
      {"MCC", "0", 257, na},
      {"MNC", "1", 258, std::string("МТС"_cp1251)},
      {"MNC", "01", 258, std::string("МТС"_cp1251)},
      {"MNC", "001", 258, std::string("МТС"_cp1251)},
      {"MNC", "2", 258, std::string("Мегафон"_cp1251)},
      {"MNC", "99", 258, std::string("Билайн"_cp1251)},
      {"MNC", "7", 258, "07"},
      {"MNC", "20", 258, "20"},
      {"MNC", "0", 258, na},
      {"MNC", "100", 258, na},
      {"LAC", "270E", 259, "9998"},
      {"LAC", "270F", 259, na},
      {"LAC", "0", 259, na},
      {"LAC", "1a2b", 259, "6699"},
      {"cell", "FFFF", 386, "65535"},
      {"cell", "186A0", 386, na},
      {"BSIC", "99", 385, "99"},
      {"BSIC", "7.3", 385, "7.3"},
      {"chann", "124", 388, "124"},
      {"chann", "0", 388, na},
      {"chann", "1024", 388, na},
      {"chann", "25 7", 388, na},
      {"dBm", "-121", 387, na},
      {"dBm", "-120", 387, "-120"},
      {"dBm", "-10", 387, "-10"},
      {"dBm", "-9", 387, na},
      {"dBm", "-071", 387, "-71"},
      {"D_dBm", "-80", 387, "-80"},
      {"RxQFull", "7", 389, "7"},
      {"RxQFull", "8", 389, na},
      {"RxQFull", "-0", 389, "0"},
      {"TA", "0", 391, "0"},
      {"TA", "1", 391, "0,5"},
      {"TA", "10", 391, "5,5"},
      {"TA", "63", 391, "35,0"},
      {"TA", "64", 391, na},
      {"rs", "20", 0, "20"},
      {"mcc", "250", 0, "250"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.text);
    std::string text = c.text;
    EXPECT_EQ(ConvertColumn(c.name, text), c.code);
    EXPECT_EQ(text, c.expected);
  }
}

// What a modem writes where it has no value ("-", "--", "N/A", "?") and texts that only look
// like numbers: none of them may turn into a believable value, whatever the column's bounds.
TEST(ConvertColumn, TextThatIsNoNumberIsNotAvailable) {
  const char* const kDecimalColumns[] = {"MCC", "MNC", "chann", "dBm", "D_dBm", "RxQFull", "TA"};
  const char* const kNotDecimal[] = {"-",           "--",
                                     "x",           "N/A",
                                     "?",           "(n/a)",
                                     "+5",          " 5",
                                     "5 ",          "5-",
                                     "1-2",         "--3",
                                     "0,5",         "0.5",
                                     "1e2",         "0x1A",
                                     "12a",         "a12",
                                     "4294967296",  "2147483648",
                                     "-2147483649", "99999999999999999999"};
  for (const char* name : kDecimalColumns) {
    for (const char* raw : kNotDecimal) {
      SCOPED_TRACE(std::string(name) + " '" + raw + "'");
      std::string text = raw;
      ConvertColumn(name, text);
      EXPECT_EQ(text, "(n/a)");
    }
  }

  const char* const kHexColumns[] = {"LAC", "cell"};
  const char* const kNotHex[] = {"ZZ",  "G",    "1G",   "-", "-1A",   "+1A",       " 1A",       "1A ",
                                 "1A-", "0x1A", "1A.0", "?", "(n/a)", "100000001", "FFFFFFFF1", "0000000000100000001"};
  for (const char* name : kHexColumns) {
    for (const char* raw : kNotHex) {
      SCOPED_TRACE(std::string(name) + " '" + raw + "'");
      std::string text = raw;
      ConvertColumn(name, text);
      EXPECT_EQ(text, "(n/a)");
    }
  }

  // Leading zeros still make a number in both kinds of column.
  std::string lac = "00001a2b";
  EXPECT_EQ(ConvertColumn("LAC", lac), parser::fcLocalArea);
  EXPECT_EQ(lac, "6699");
  std::string cell = "0000000000186A0";
  ConvertColumn("cell", cell);
  EXPECT_EQ(cell, "(n/a)");  // 100000: a number, out of bounds
  std::string level = "-0071";
  ConvertColumn("dBm", level);
  EXPECT_EQ(level, "-71");
}

TEST(BandForChannel, FollowsTheBandTable) {
  struct Case {
    int channel;
    const char* band;
  };
  const Case kCases[] = {{0, "(n/a)"},   {1, "900"},      {124, "900"},   {125, "(n/a)"}, {511, "(n/a)"},
                         {512, "1800"},  {885, "1800"},   {886, "(n/a)"}, {974, "(n/a)"}, {975, "EGSM"},
                         {1023, "EGSM"}, {1024, "(n/a)"}, {-1, "(n/a)"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.channel);
    EXPECT_EQ(parser::BandForChannel(c.channel), c.band);
  }
}

TEST(BitErrorTable, HoldsTheRepresentativeRates) {
  EXPECT_EQ(parser::kBitErrorTable[0], "0,14");
  EXPECT_EQ(parser::kBitErrorTable[3], "1,13");
  EXPECT_EQ(parser::kBitErrorTable[7], "18,1");
}

// A column is dispatched before the values derived from it.
TEST(ProcessColumn, DispatchesDerivedValuesAfterTheirSource) {
  testsupport::ScopedDisplayRecorder display;
  const std::string connected("Соединено"_cp1251);
  struct Case {
    const char* name;
    const char* text;
    int cell;
    std::vector<RecordedField> expected;
  };
  const Case kCases[] = {
      {"chann", "25", 0, {{388, 0, "25"}, {265, 0, "900"}}},
      {"chann", "600", 3, {{388, 3, "600"}, {265, 3, "1800"}}},
      {"chann", "125", 0, {{388, 0, "125"}, {265, 0, "(n/a)"}}},
      {"chann", "0", 2, {{388, 2, "(n/a)"}, {265, 2, "(n/a)"}}},
      {"RxQFull", "7", 0, {{389, 0, "7"}, {390, 0, "18,1"}}},
      {"RxQFull", "2", 4, {{389, 4, "2"}, {390, 0, "0,57"}}},  // bit-error rate under the serving cell
      {"RxQFull", "8", 0, {{389, 0, "(n/a)"}}},
      {"RxQFull", "q", 0, {{389, 0, "(n/a)"}}},  // no bit-error rate for a quality that is no number
      {"RxQFull", "-", 0, {{389, 0, "(n/a)"}}},
      {"chann", "x", 1, {{388, 1, "(n/a)"}, {265, 1, "(n/a)"}}},
      {"TA", "-", 0, {{391, 0, "(n/a)"}, {392, 0, connected}}},  // no distance of 0 km
      {"TA", "10", 0, {{391, 0, "5,5"}, {392, 0, connected}}},
      {"TA", "64", 1, {{391, 1, "(n/a)"}, {392, 0, connected}}},
      {"dBm", "-71", 5, {{387, 5, "-71"}}},
      {"NCC", "7", 0, {}},
      {"PWR", "33", 0, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.text);
    display.Clear();
    EXPECT_TRUE(parser::ProcessColumn(c.name, c.text, c.cell));
    EXPECT_EQ(display.Fields(), c.expected);
  }
  display.Clear();
  EXPECT_FALSE(parser::ProcessColumn("dBm", "", 0));
  EXPECT_TRUE(display.Fields().empty());
}

// Each converted value carries the number its text states, so no receiver has to read the text:
// what it would read is what it gets, to the single precision the statistics keep.
TEST(ConvertColumn, TheNumberIsWhatTheTextStates) {
  struct Case {
    const char* column;
    std::string text;
  };
  std::vector<Case> cases = {{"MCC", "250"},  {"MCC", "262"},    {"MNC", "7"},     {"MNC", "01"},
                             {"LAC", "270E"}, {"cell", "FFFF"},  {"BSIC", "7.3"},  {"BSIC", "99"},
                             {"chann", "0"},  {"dBm", "-71"},    {"D_dBm", "-9"},  {"RxQFull", "x"},
                             {"TA", "0"},     {"unknown", "12"}, {"dBm", "-70,5"}, {"chann", "1023"}};
  for (int ta = 0; ta <= 64; ++ta) cases.push_back({"TA", std::to_string(ta)});
  for (int quality = 0; quality <= 8; ++quality) cases.push_back({"RxQFull", std::to_string(quality)});
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " " + c.text);
    std::string text = c.text;
    std::optional<double> number;
    if (ConvertColumn(c.column, text, number) == 0) {
      EXPECT_FALSE(number) << "a column that is no field has no value";
      continue;
    }
    const std::optional<double> stated = parser::ValueNumber(text);
    ASSERT_EQ(number.has_value(), stated.has_value()) << text;
    if (number) {
      EXPECT_EQ(static_cast<float>(*number), static_cast<float>(*stated)) << text;
    }
  }
  for (std::size_t quality = 0; quality < parser::kBitErrorTable.size(); ++quality) {
    const std::optional<double> stated = parser::ValueNumber(parser::kBitErrorTable[quality]);
    ASSERT_TRUE(stated);
    EXPECT_EQ(static_cast<float>(parser::kBitErrorNumbers[quality]), static_cast<float>(*stated)) << quality;
  }
}

TEST(ValueNumber, ReadsSignedDecimalsWithAComma) {
  struct Case {
    std::string_view text;
    std::optional<double> expected;
  };
  const Case kCases[] = {{"-75", -75},
                         {"0,14", 0.14},
                         {"5,5", 5.5},
                         {"07", 7},
                         {"(n/a)", {}},
                         {"", {}},
                         {"-", {}},
                         {"0,", {}},
                         {",5", {}},
                         {"1.5", {}},
                         {"+5", {}},
                         {"-7 dBm", {}},
                         {"Россия"_cp1251, {}},
                         {"EGSM", {}},
                         {"900", 900}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(platform::Cp1251ToUtf8(c.text));
    EXPECT_EQ(parser::ValueNumber(c.text), c.expected);
  }
  EXPECT_EQ(parser::ValueNumber(std::string(400, '9')), std::nullopt) << "beyond any number";
}

TEST(ProcessColumn, SendsEachValueWithItsNumber) {
  testsupport::ScopedDisplayRecorder display;
  parser::ProcessColumn("RxQFull", "3", 2);
  parser::ProcessColumn("TA", "10", 0);
  parser::ProcessColumn("chann", "62", 4);
  parser::ProcessColumn("MCC", "250", 0);
  const std::vector<RecordedField> fields = display.Fields();
  const std::vector<std::optional<double>> numbers = display.Numbers();
  ASSERT_EQ(fields.size(), numbers.size());
  const std::vector<std::optional<double>> expected = {3, 1.13, 5.5, {}, 62, 900, {}};
  ASSERT_EQ(numbers.size(), expected.size());
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    SCOPED_TRACE(fields[i].text);
    ASSERT_EQ(numbers[i].has_value(), expected[i].has_value());
    if (numbers[i]) {
      EXPECT_DOUBLE_EQ(*numbers[i], *expected[i]);
    }
  }
}
