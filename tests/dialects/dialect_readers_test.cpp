// The readers on forms no shared transcript holds (NR standalone, EN-DC), the field helpers on
// what firmware writes in place of a value, and how a cycle is put together from its answers.

#include <gtest/gtest.h>

#include "dialects/dialect.h"
#include "dialects/quectel_reader.h"
#include "dialects/response_text.h"
#include "dialects/simcom_reader.h"

namespace {

using namespace dialects;
using radio::Tech;

TEST(ResponseText, PlaceholdersAndOutOfRangeNumbersAreAbsent) {
  struct Row {
    const char* field;
    std::optional<long long> decimal, hex;
  };
  const Row rows[] = {
      {"-", {}, {}},
      {"x", {}, {}},
      {"", {}, {}},
      {" 42 ", 42, 0x42},
      {"-7", -7, {}},
      {"ffff", {}, {}},
      {"FFFFFFF", {}, {}},
      {"0x21F9", {}, 0x21F9},
      {"0 5", {}, {}},
      {"12ab", {}, 0x12AB},
      {"1234567890", 1234567890, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.field);
    EXPECT_EQ(Decimal(row.field), row.decimal);
    EXPECT_EQ(Hex(row.field), row.hex);
  }
  EXPECT_EQ(Within(Decimal("255"), 0, 63), std::nullopt);
  EXPECT_EQ(Within(Decimal("63"), 0, 63), 63);
}

TEST(ResponseText, EntriesOfAPrefixWithoutBlankWrappedOrAmongOtherLines) {
  const std::string answer =
      "AT+QENG?\r\r\n+QENG:1,4\r\n+CFUN: 1\r\n+QENG: 1,1,8,\r\n   3,9\r\nOK\r\n+qeng:\r\n\"servingcell\"\r\n";
  EXPECT_EQ(PrefixedEntries(answer, "+QENG:"), (std::vector<std::string>{"1,4", "1,1,8, 3,9", "\"servingcell\""}));
  EXPECT_EQ(SplitFields(R"( "a,b" , c,"",  "-" )"), (std::vector<std::string>{"a,b", "c", "", "-"}));
}

TEST(QuectelReader, NrStandaloneAndTheTwoCellsOfEnDc) {
  const CellReport standalone = ReadQuectelServingCell(
      "+QENG: \"servingcell\",\"NOCONN\",\"NR5G-SA\",\"TDD\",262,01,E8B2C1201,512,1A2B3C,627264,78,12,-85,-11,15,1,-");
  ASSERT_TRUE(standalone.serving);
  const radio::Cell& nr = *standalone.serving;
  EXPECT_EQ(nr.tech(), Tech::nr);
  EXPECT_EQ(nr.mcc, 262);
  EXPECT_EQ(nr.cellId, 0xE8B2C1201);
  EXPECT_EQ(nr.PhysicalId(), 512);
  EXPECT_EQ(nr.tac, 0x1A2B3C);
  EXPECT_EQ(nr.channel, 627264);
  EXPECT_EQ(nr.band, "n78");
  EXPECT_EQ(nr.LevelDbm(), -85);
  EXPECT_EQ(nr.nr()->sinrDb, 15);

  const CellReport endc = ReadQuectelServingCell(
      "+QENG: \"servingcell\",\"NOCONN\"\r\n"
      "+QENG: \"LTE\",\"FDD\",262,01,26D5A0B,366,1300,3,5,5,B5D1,-95,-10,-66,9,-,-,28\r\n"
      "+QENG:\"NR5G-NSA\",262,01,891,-97,12,-11,636768,78,12,1\r\n\r\nOK\r\n");
  ASSERT_TRUE(endc.serving);
  EXPECT_EQ(endc.serving->tech(), Tech::lte);
  EXPECT_EQ(endc.serving->tac, 0xB5D1);
  EXPECT_EQ(endc.serving->PhysicalId(), 366);
  EXPECT_EQ(endc.serving->band, "B3");
  ASSERT_EQ(endc.secondary.size(), 1u);
  EXPECT_EQ(endc.secondary[0].tech(), Tech::nr);
  EXPECT_EQ(endc.secondary[0].PhysicalId(), 891);
  EXPECT_EQ(endc.secondary[0].channel, 636768);
  EXPECT_EQ(endc.secondary[0].LevelDbm(), -97);
  EXPECT_EQ(endc.secondary[0].nr()->rsrqDb, -11);
}

TEST(SimcomReader, NrLegInTenthsBesideLte) {
  const CellReport report = ReadSimcomSystemInfo(
      "+CPSI: LTE,Online,262-01,0xB5D1,40719883,366,EUTRAN-BAND3,1300,5,5,-100,-950,-660,9\r\n"
      "+CPSI: NR5G_NSA,891,NR5G_BAND78,636768,-970,-110,120\r\n");
  ASSERT_TRUE(report.serving);
  EXPECT_EQ(report.serving->LevelDbm(), -95);
  EXPECT_EQ(report.serving->lte()->rsrqDb, -10);
  ASSERT_EQ(report.secondary.size(), 1u);
  EXPECT_EQ(report.secondary[0].PhysicalId(), 891);
  EXPECT_EQ(report.secondary[0].band, "n78");
  EXPECT_EQ(report.secondary[0].LevelDbm(), -97);
  EXPECT_EQ(report.secondary[0].nr()->sinrDb, 12);
}

TEST(Dialects, FamilyFromIdentityAndNames) {
  struct Row {
    const char* manufacturer;
    const char* model;
    std::string_view family;
  };
  const Row rows[] = {{"Quectel", "EC25", "quectel"},
                      {"FOXCOM MODEM", "Quectel_M26", "quectel"},
                      {"SIMCOM INCORPORATED", "SIMCOM_SIM7600E-H", "simcom"},
                      {"u-blox", "SARA-R410M-02B", "ublox"},
                      {"Telit", "LE910C1-EU", "telit"},
                      {"Sierra Wireless, Incorporated", "MC7455", "sierra"},
                      {"SIMULATED", "GSM-SIM 900", kSeedDialect},
                      {"Fibocom Wireless Inc.", "FM350-GL", ""}};
  for (const Row& row : rows) EXPECT_EQ(FamilyOfIdentity(row.manufacturer, row.model), row.family) << row.model;
  for (const std::string_view name : DialectNames()) {
    EXPECT_TRUE(IsDialectName(name));
    EXPECT_EQ(DialectNamed(name) == nullptr, name == kSeedDialect) << name;
  }
  EXPECT_FALSE(IsDialectName("huawei"));
}

TEST(Dialects, ARefusedCommandIsToldOnceAndLeftOut) {
  CommandList commands(*DialectNamed("quectel"));
  const std::size_t all = commands.Active().size();
  EXPECT_TRUE(commands.Refuse("AT+QENG?"));
  EXPECT_FALSE(commands.Refuse("AT+QENG?"));
  EXPECT_EQ(commands.Active().size(), all - 1);
  for (const PollCommand& command : commands.Active()) EXPECT_NE(command.text, "AT+QENG?");
  for (const char* refusal : {"ERROR", "+CME ERROR: operation not supported", "+CMS ERROR: 500"}) {
    EXPECT_TRUE(IsRefusal(refusal)) << refusal;
  }
  EXPECT_FALSE(IsRefusal("OK"));
}

// The family's report names the cell; the baseline fills what it leaves absent (the operator of
// an LTE report without one, the registration) and never overrides it.
TEST(Dialects, CycleOfFactsMergesTheReportsAndTheBaseline) {
  CycleFacts facts;
  facts.reports.push_back(
      ReadSimcomSystemInfo("+CPSI: LTE,Online,,0x21F9,322642,453,EUTRAN-BAND40,39275,4,4,"
                           "-168,-1126,-773,7"));
  ReadBaselineAnswer("+CEREG: 2,5,\"1111\",\"4EC52\",7\r\n+COPS: 0,2,\"40445\",7\r\n+CESQ: 99,99,255,255,20,30",
                     facts.baseline);
  const radio::Cycle cycle = CycleOfFacts(facts);
  ASSERT_TRUE(cycle.serving);
  EXPECT_EQ(cycle.serving->mcc, 404);
  EXPECT_EQ(cycle.serving->mnc, 45);
  EXPECT_EQ(cycle.serving->tac, 0x21F9);
  EXPECT_EQ(cycle.serving->LevelDbm(), -112.6);
  EXPECT_EQ(cycle.registration, radio::Registration::roaming);

  CycleFacts baselineOnly;
  ReadBaselineAnswer("+CEREG: 2,1,\"1111\",\"4EC52\",7\r\n+CESQ: 99,99,255,255,20,30", baselineOnly.baseline);
  const radio::Cycle alone = CycleOfFacts(baselineOnly);
  ASSERT_TRUE(alone.serving);
  EXPECT_EQ(alone.serving->tac, 0x1111);
  EXPECT_EQ(alone.serving->LevelDbm(), -111);
  EXPECT_EQ(alone.serving->lte()->rsrqDb, -10);
}

}  // namespace
