// A cycle as a JSON object and back, in the message's second schema (numbers) and its first (the
// texts older sites still send), and the collector's reading of messages that are not what they
// should be: each is refused, none throws.

#include "sites/cycle_message.h"

#include <gtest/gtest.h>

#include <string>

#include "parser/cycle_fields.h"
#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"
#include "radio/cell_values.h"
#include "survey/survey_text.h"

namespace {

using namespace platform::literals;

radio::Position Fix() {
  radio::Position fix;
  fix.latitude = 55.755826;
  fix.longitude = 37.6173;
  fix.mode = 2;
  fix.horizontalError = 17.1;
  fix.time = std::chrono::system_clock::time_point(std::chrono::seconds(1796918818));
  return fix;
}

radio::Cycle SampleCycle(bool withFix) {
  radio::Cycle cycle;
  cycle.n = 7;
  cycle.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796918819123));
  if (withFix) cycle.position = Fix();
  radio::Cell serving;
  serving.mcc = 250;
  serving.mnc = 99;
  serving.countryName = "Россия"_cp1251;
  serving.operatorName = "Билайн"_cp1251;
  serving.lac = 7145;
  serving.cellId = 89295;
  serving.channel = 989;
  serving.band = "EGSM900";
  serving.measures = radio::GsmMeasures{.bsic = 36,
                                        .rxLevelDbm = -81,
                                        .rxQual = 2,
                                        .berPercent = 0.57,
                                        .c1 = {},
                                        .c2 = {},
                                        .timingAdvance = {},
                                        .distanceKm = 3.3};
  cycle.serving = serving;
  radio::Cell neighbour;
  neighbour.channel = 732;
  neighbour.band = "GSM1800";
  neighbour.gsm()->rxLevelDbm = -70;
  cycle.neighbours.push_back(neighbour);
  radio::Cell lte = radio::MakeCell(radio::Tech::lte);
  lte.channel = 1300;
  lte.band = "B3";
  lte.tac = 4711;
  std::get<radio::LteMeasures>(lte.measures).rsrqDb = -10.5;
  cycle.neighbours.push_back(lte);
  return cycle;
}

std::vector<std::vector<radio::NamedValue>> ValuesOf(const radio::Cycle& cycle) {
  std::vector<std::vector<radio::NamedValue>> values;
  if (cycle.serving) values.push_back(radio::CellValues(*cycle.serving));
  for (const auto& cell : cycle.neighbours) values.push_back(radio::CellValues(cell));
  return values;
}

// Every text in a JSON value, wherever it is.
void Texts(const nlohmann::ordered_json& value, std::vector<std::string>& texts) {
  if (value.is_string()) texts.push_back(value.get<std::string>());
  if (value.is_structured()) {
    for (const auto& item : value) Texts(item, texts);
  }
}

TEST(CycleMessage, RoundTripGivesTheCycleBack) {
  for (const bool withFix : {false, true}) {
    const radio::Cycle sent = SampleCycle(withFix);
    const nlohmann::ordered_json object = sites::CycleObject(sent, "0123456789abcdef");
    EXPECT_EQ(object["schema"], 2);
    const auto& serving = object["serving"];
    EXPECT_EQ(serving["rxlevel_dbm"], -81);
    EXPECT_TRUE(serving["rxlevel_dbm"].is_number_integer());
    EXPECT_EQ(serving["ber_percent"], 0.57);
    EXPECT_EQ(serving["mcc"], 250);
    EXPECT_EQ(serving["country_name"], "Россия");
    EXPECT_EQ(serving["band"], "EGSM900");
    EXPECT_TRUE(serving["ta"].is_null());
    EXPECT_EQ(object["neighbours"][1]["tech"], "lte");
    EXPECT_EQ(object["neighbours"][1]["rsrq_db"], -10.5);
    // The names in the scheme's order, the cycle's first.
    std::vector<std::string> keys;
    for (const auto& item : object.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"event", "schema", "n", "session", "time", "position", "serving",
                                              "neighbours"}));
    EXPECT_EQ(serving.begin().key(), "tech");
    std::vector<std::string> texts;
    Texts(object, texts);
    for (const std::string& text : texts) EXPECT_EQ(text.find(','), std::string::npos) << text;

    std::string why;
    const auto parsed = sites::ParseCycleMessage(object.dump(), why);
    ASSERT_TRUE(parsed) << why;
    EXPECT_EQ(parsed->schema, 2);
    EXPECT_EQ(parsed->cycle.n, 7);
    EXPECT_EQ(parsed->session, "0123456789abcdef");
    EXPECT_EQ(parsed->time, survey::FormatLocalTime(sent.time));
    EXPECT_EQ(parsed->cycle.time, sent.time);
    ASSERT_EQ(parsed->cycle.position.has_value(), withFix);
    if (withFix) {
      EXPECT_EQ(survey::FormatPosition(*parsed->cycle.position), survey::FormatPosition(Fix()));
    }
    EXPECT_EQ(ValuesOf(parsed->cycle), ValuesOf(sent));
  }
}

// A cycle of another maker's modem: an LTE serving cell with its NR leg beside it and more
// neighbours of every technology than the seed family's six rows; the collector reads it whole.
TEST(CycleMessage, EnDcCycleWithManyNeighboursRoundTrips) {
  radio::Cycle sent;
  sent.n = 3;
  sent.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796918819123));
  sent.serving = radio::MakeCell(radio::Tech::lte);
  ASSERT_TRUE(radio::SetCellValue(*sent.serving, "pci", std::int64_t{366}));
  ASSERT_TRUE(radio::SetCellValue(*sent.serving, "tac", std::int64_t{0xB5D1}));
  sent.secondary.push_back(radio::MakeCell(radio::Tech::nr));
  ASSERT_TRUE(radio::SetCellValue(sent.secondary[0], "pci", std::int64_t{891}));
  ASSERT_TRUE(radio::SetCellValue(sent.secondary[0], "rsrp_dbm", -97.5));
  for (int i = 0; i < 9; ++i) {
    sent.neighbours.push_back(radio::MakeCell(i < 3 ? radio::Tech::wcdma : radio::Tech::gsm));
    ASSERT_TRUE(radio::SetCellValue(sent.neighbours.back(), "channel", std::int64_t{10 + i}));
  }
  const nlohmann::ordered_json object = sites::CycleObject(sent, "");
  EXPECT_EQ(object["secondary"][0]["tech"], "nr");
  std::string why;
  const auto parsed = sites::ParseCycleMessage(object.dump(), why);
  ASSERT_TRUE(parsed) << why;
  EXPECT_EQ(ValuesOf(parsed->cycle), ValuesOf(sent));
  ASSERT_EQ(parsed->cycle.secondary.size(), 1u);
  EXPECT_EQ(radio::CellValues(parsed->cycle.secondary[0]), radio::CellValues(sent.secondary[0]));
}

// The first schema, as sites not yet upgraded send it: every value the text the window shows.
constexpr const char* kSchema1 =
    R"({"event":"cycle","n":3,"session":"3622eb211adbba54","time":"2026-12-10T16:07:08.305+03:00",)"
    R"("position":{"lat":55.755826,"lon":37.6173,"alt":156.3,"mode":3,"h_error":17.1,"fix_time":"2026-12-10T13:07:07.000Z"},)"
    R"("serving":{"country":"Россия","operator":"Билайн","lac":"7145","cell_id":"89295","bsic":"4.4","channel":"989",)"
    R"("band":"EGSM","rxlevel_dbm":"-81","rxqual":"0","ber_percent":"0,14","distance_km":"3,3","phone_state":"Соединено"},)"
    R"("neighbours":[{"channel":"732","band":"1800","bsic":"0.6","cell_id":"55891","rxlevel_dbm":"-70"},{},{},{},{},{}]})";

TEST(CycleMessage, ReadsTheFirstSchemaIntoNumbers) {
  std::string why;
  const auto parsed = sites::ParseCycleMessage(kSchema1, why);
  ASSERT_TRUE(parsed) << why;
  EXPECT_EQ(parsed->schema, 1);
  EXPECT_EQ(parsed->time, "2026-12-10T16:07:08.305+03:00");
  const radio::Cycle& cycle = parsed->cycle;
  ASSERT_TRUE(cycle.position && cycle.serving);
  EXPECT_EQ(cycle.position->altitude, 156.3);
  const radio::Cell& serving = *cycle.serving;
  EXPECT_EQ(serving.mcc, 250);
  EXPECT_EQ(serving.mnc, 99);
  EXPECT_EQ(serving.countryName, "Россия"_cp1251);
  EXPECT_EQ(serving.lac, 7145);
  EXPECT_EQ(serving.band, "EGSM900");
  EXPECT_EQ(serving.gsm()->bsic, 36);
  EXPECT_EQ(serving.gsm()->berPercent, 0.14);
  EXPECT_EQ(serving.gsm()->distanceKm, 3.3);
  ASSERT_EQ(cycle.neighbours.size(), 1u);
  EXPECT_EQ(cycle.neighbours[0].gsm()->bsic, 6);
  EXPECT_EQ(cycle.neighbours[0].gsm()->rxLevelDbm, -70);

  // What the collector writes of it: the message's own texts, as a message of the second schema
  // of the same cycle gives them too.
  std::vector<std::tuple<int, int, std::string>> written;
  for (const auto& field : parser::FieldsOfCycle(cycle)) {
    if (field.text != parser::kNotAvailable) written.emplace_back(field.code, field.cell, field.text);
  }
  const std::vector<std::tuple<int, int, std::string>> expected = {
      {parser::fcCountry, 0, std::string("Россия"_cp1251)},
      {parser::fcOperator, 0, std::string("Билайн"_cp1251)},
      {parser::fcLocalArea, 0, "7145"},
      {parser::fcFreqBand, 0, "EGSM"},
      {parser::fcBaseStation, 0, "4.4"},
      {parser::fcCell, 0, "89295"},
      {parser::fcRxLevel, 0, "-81"},
      {parser::fcChannel, 0, "989"},
      {parser::fcRxQuality, 0, "0"},
      {parser::fcBitError, 0, "0,14"},
      {parser::fcTimingAdvance, 0, "3,3"},
      {parser::fcPhoneState, 0, std::string("Соединено"_cp1251)},
      {parser::fcFreqBand, 1, "1800"},
      {parser::fcBaseStation, 1, "0.6"},
      {parser::fcCell, 1, "55891"},
      {parser::fcRxLevel, 1, "-70"},
      {parser::fcChannel, 1, "732"},
  };
  EXPECT_EQ(written, expected);
  const auto again = sites::ParseCycleMessage(sites::CycleObject(cycle, parsed->session).dump(), why);
  ASSERT_TRUE(again) << why;
  const auto fields = parser::FieldsOfCycle(again->cycle);
  const auto first = parser::FieldsOfCycle(cycle);
  ASSERT_EQ(fields.size(), first.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(std::tie(fields[i].code, fields[i].cell, fields[i].text, fields[i].number),
              std::tie(first[i].code, first[i].cell, first[i].text, first[i].number));
  }
}

std::vector<std::string> Malformed(const std::string& good,
                                   const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> texts;
  for (const auto& [from, to] : changes) {
    std::string text = good;
    EXPECT_NE(text.find(from), std::string::npos) << from;
    if (text.find(from) != std::string::npos) text.replace(text.find(from), from.size(), to);
    texts.push_back(text);
  }
  return texts;
}

TEST(CycleMessage, RefusesMalformedMessages) {
  const std::string good1 = R"({"event":"cycle","n":1,"time":"2026-12-09T22:48:15.123+03:00","position":null,)"
                            R"("serving":{"rxlevel_dbm":"-75"},"neighbours":[{},{}]})";
  const std::string good2 =
      R"({"event":"cycle","schema":2,"n":1,"session":null,"time":"2026-12-09T22:48:15.123+03:00",)"
      R"("position":{"latitude_deg":55,"longitude_deg":37,"altitude_m":null,"fix_mode":3,"horizontal_error_m":null,"fix_time":null},)"
      R"("serving":{"tech":"gsm","rxlevel_dbm":-75,"ber_percent":0.14,"band":"GSM900"},"neighbours":[{"tech":"gsm"}]})";
  std::string why;
  ASSERT_TRUE(sites::ParseCycleMessage(good1, why)) << why;
  ASSERT_TRUE(sites::ParseCycleMessage(good2, why)) << why;

  std::vector<std::string> cases = {
      "",
      "garbage",
      "\xFF\xFE{}",
      "[]",
      "null",
      "{}",
      good1.substr(0, good1.size() - 1),
      "{\"event\":\"cycle\",\"n\":1,\"pad\":\"" + std::string(sites::kMaxCycleMessage, 'x') + "\"}",
  };
  for (auto& text :
       Malformed(good1, {
                            {"\"cycle\"", "\"status\""},
                            {"\"n\":1", "\"n\":0"},
                            {"\"n\":1", "\"n\":-3"},
                            {"\"n\":1", "\"n\":1.5"},
                            {"\"n\":1", "\"n\":\"1\""},
                            {"\"n\":1", "\"n\":1e300"},
                            {"\"n\":1,", ""},
                            {"22:48:15.123+03:00", "22:48:15.123"},  // no zone
                            {"2026-12-09", "2026-02-30"},
                            {"\"time\"", "\"tim\""},
                            {"null", "{\"lat\":91,\"lon\":0,\"mode\":3}"},
                            {"null", "{\"lat\":55,\"lon\":37,\"mode\":1}"},
                            {"null", "{\"lat\":\"55\",\"lon\":37,\"mode\":3}"},
                            {"null", "{\"lat\":55,\"lon\":37,\"mode\":3,\"fix_time\":\"yesterday\"}"},
                            {"null", "{\"latitude_deg\":55,\"longitude_deg\":37,\"fix_mode\":3}"},
                            {"null", "[1,2]"},
                            {"{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":-75}"},
                            {"{\"rxlevel_dbm\":\"-75\"}", "{\"imei\":\"1\"}"},
                            {"{\"rxlevel_dbm\":\"-75\"}", "{\"no_such_field\":\"1\"}"},
                            {"{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":\"\"}"},
                            {"{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":\"-7\\u0001\"}"},
                            {"{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":\"\\u4e2d\"}"},
                            {"{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":\"" + std::string(129, '7') + "\"}"},
                            {"{\"rxlevel_dbm\":\"-75\"}", "[]"},
                            {"[{},{}]", "[{},{},{},{},{},{},{}]"},
                            {"[{},{}]", "[{\"ber_percent\":\"0,14\"}]"},  // a serving cell's field
                            {"[{},{}]", "{}"},
                            {"[{},{}]", "[5]"},
                            {"\"position\":null,", "\"session\":7,"},
                            {"{\"rxlevel_dbm\":\"-75\"}", std::string(70'000, '[')},
                        })) {
    cases.push_back(std::move(text));
  }
  for (auto& text : Malformed(good2, {
                                         {"\"schema\":2", "\"schema\":3"},
                                         {"\"schema\":2", "\"schema\":\"2\""},
                                         {"\"tech\":\"gsm\",\"rx", "\"tech\":\"cdma\",\"rx"},
                                         {"\"tech\":\"gsm\",\"rx", "\"rx"},
                                         {"{\"tech\":\"gsm\"}", "{}"},
                                         {"{\"tech\":\"gsm\"}", "{\"tech\":\"gsm\",\"pci\":5}"},  // an LTE measure
                                         {"{\"tech\":\"gsm\"}", "{\"tech\":\"lte\",\"bsic\":5}"},
                                         {"{\"tech\":\"gsm\"}", "{\"tech\":\"gsm\",\"bsic\":4.4}"},
                                         {"{\"tech\":\"gsm\"}", "{\"tech\":\"gsm\",\"bsic\":\"4.4\"}"},
                                         {"{\"tech\":\"gsm\"}", "{\"tech\":\"gsm\",\"rxqual\":8}"},
                                         {"{\"tech\":\"gsm\"}", "{\"tech\":\"gsm\",\"mcc\":18446744073709551615}"},
                                         {"{\"tech\":\"gsm\"}", "{\"tech\":\"gsm\",\"band\":\"\"}"},
                                         {"{\"tech\":\"gsm\"}", "{\"tech\":\"gsm\",\"band\":900}"},
                                         {"{\"tech\":\"gsm\"}", "{\"tech\":\"gsm\",\"ber_percent\":\"0,14\"}"},
                                         {"-75", "\"-75\""},
                                         {"-75", "-75.5"},
                                         {"0.14", "1e400"},
                                         {"\"latitude_deg\"", "\"lat\""},
                                         {"\"fix_mode\":3", "\"fix_mode\":3,\"speed\":1"},
                                         {"[{\"tech\":\"gsm\"}]", "{}"},
                                     })) {
    cases.push_back(std::move(text));
  }
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.substr(0, 200));
    why.clear();
    EXPECT_FALSE(sites::ParseCycleMessage(text, why));
    EXPECT_FALSE(why.empty());
  }
}

// Every cut of a sound message is refused or read, never more.
TEST(CycleMessage, EveryPrefixAndEveryByteFlipIsSafe) {
  for (const std::string& good :
       {sites::CycleObject(SampleCycle(true), "0123456789abcdef").dump(), std::string(kSchema1)}) {
    std::string why;
    for (std::size_t n = 0; n < good.size(); ++n) sites::ParseCycleMessage(good.substr(0, n), why);
    for (std::size_t i = 0; i < good.size(); ++i) {
      for (const char c : {'\0', '"', '}', '\xFF', '9'}) {
        std::string text = good;
        text[i] = c;
        if (const auto cycle = sites::ParseCycleMessage(text, why)) {
          for (const auto& value : parser::FieldsOfCycle(cycle->cycle)) EXPECT_LE(value.text.size(), 128u);
        }
      }
    }
  }
}

}  // namespace
