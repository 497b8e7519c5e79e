// A cycle as a JSON object and back, and the collector's reading of messages that are not what
// they should be: each is refused, none throws.

#include "sites/cycle_message.h"

#include <gtest/gtest.h>

#include <string>

#include "parser/measurement_fields.h"
#include "platform/text_encoding.h"
#include "survey/survey_text.h"

namespace {

using namespace platform::literals;

survey::CycleStamp Stamp(bool withFix) {
  survey::CycleStamp stamp;
  stamp.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796918819123));
  if (withFix) {
    gps::Fix fix;
    fix.latitude = 55.755826;
    fix.longitude = 37.6173;
    fix.mode = 2;
    fix.horizontalError = 17.1;
    fix.time = std::chrono::system_clock::time_point(std::chrono::seconds(1796918818));
    stamp.fix = fix;
  }
  return stamp;
}

TEST(CycleMessage, RoundTripGivesTheCycleBack) {
  const std::vector<sites::CycleValue> values = {
      {parser::fcCountry, 0, std::string("Россия"_cp1251)},
      {parser::fcRxLevel, 0, "-75"},
      {parser::fcBitError, 0, "0,57"},
      {parser::fcChannel, 3, "55"},
      {parser::fcFreqBand, 3, std::string(parser::kNotAvailable)},
      {parser::fcImei, 0, "357889315217211"},  // the identity is no part of a cycle
  };
  for (const bool withFix : {false, true}) {
    nlohmann::json object = sites::CycleObject(7, Stamp(withFix), values);
    object["session"] = "0123456789abcdef";
    EXPECT_EQ(object["serving"]["country"], "Россия");
    EXPECT_TRUE(object["neighbours"][2]["band"].is_null());
    EXPECT_FALSE(object["serving"].contains("imei"));

    std::string why;
    const auto cycle = sites::ParseCycleMessage(object.dump(), why);
    ASSERT_TRUE(cycle) << why;
    EXPECT_EQ(cycle->n, 7);
    EXPECT_EQ(cycle->session, "0123456789abcdef");
    EXPECT_EQ(cycle->time, survey::FormatLocalTime(Stamp(withFix).time));
    ASSERT_EQ(cycle->fix.has_value(), withFix);
    if (withFix) {
      EXPECT_EQ(survey::FormatPosition(*cycle->fix), survey::FormatPosition(*Stamp(true).fix));
    }
    std::vector<std::tuple<int, int, std::string>> got;
    for (const auto& v : cycle->values) got.emplace_back(v.code, v.cell, v.text);
    // In the field table's order per cell.
    const std::vector<std::tuple<int, int, std::string>> expected = {
        {parser::fcCountry, 0, std::string("Россия"_cp1251)},
        {parser::fcRxLevel, 0, "-75"},
        {parser::fcBitError, 0, "0,57"},
        {parser::fcFreqBand, 3, "(n/a)"},
        {parser::fcChannel, 3, "55"},
    };
    EXPECT_EQ(got, expected);
  }
}

TEST(CycleMessage, RefusesMalformedMessages) {
  const std::string good = R"({"event":"cycle","n":1,"time":"2026-12-09T22:48:15.123+03:00","position":null,)"
                           R"("serving":{"rxlevel_dbm":"-75"},"neighbours":[{},{}]})";
  std::string why;
  ASSERT_TRUE(sites::ParseCycleMessage(good, why)) << why;

  const auto with = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::string cases[] = {
      "",
      "garbage",
      "\xFF\xFE{}",
      "[]",
      "null",
      "{}",
      good.substr(0, good.size() - 1),
      with("\"cycle\"", "\"status\""),
      with("\"n\":1", "\"n\":0"),
      with("\"n\":1", "\"n\":-3"),
      with("\"n\":1", "\"n\":1.5"),
      with("\"n\":1", "\"n\":\"1\""),
      with("\"n\":1", "\"n\":1e300"),
      with("\"n\":1,", ""),
      with("22:48:15.123+03:00", "22:48:15.123"),  // no zone
      with("2026-12-09", "2026-02-30"),
      with("\"time\"", "\"tim\""),
      with("null", "{\"lat\":91,\"lon\":0,\"mode\":3}"),
      with("null", "{\"lat\":55,\"lon\":37,\"mode\":1}"),
      with("null", "{\"lat\":\"55\",\"lon\":37,\"mode\":3}"),
      with("null", "{\"lat\":55,\"lon\":37,\"mode\":3,\"fix_time\":\"yesterday\"}"),
      with("null", "[1,2]"),
      with("{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":-75}"),
      with("{\"rxlevel_dbm\":\"-75\"}", "{\"imei\":\"1\"}"),
      with("{\"rxlevel_dbm\":\"-75\"}", "{\"no_such_field\":\"1\"}"),
      with("{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":\"\"}"),
      with("{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":\"-7\\u0001\"}"),
      with("{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":\"\\u4e2d\"}"),  // no Windows-1251 character
      with("{\"rxlevel_dbm\":\"-75\"}", "{\"rxlevel_dbm\":\"" + std::string(129, '7') + "\"}"),
      with("{\"rxlevel_dbm\":\"-75\"}", "[]"),
      with("[{},{}]", "[{},{},{},{},{},{},{}]"),
      with("[{},{}]", "[{\"ber_percent\":\"0,14\"}]"),  // a serving cell's field in a neighbour
      with("[{},{}]", "{}"),
      with("[{},{}]", "[5]"),
      with("\"position\":null,", "\"session\":7,"),
      with("{\"rxlevel_dbm\":\"-75\"}", std::string(70'000, '[')),
      "{\"event\":\"cycle\",\"n\":1,\"pad\":\"" + std::string(sites::kMaxCycleMessage, 'x') + "\"}",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.substr(0, 160));
    why.clear();
    EXPECT_FALSE(sites::ParseCycleMessage(text, why));
    EXPECT_FALSE(why.empty());
  }
}

// Every cut of a sound message is refused or read, never more.
TEST(CycleMessage, EveryPrefixAndEveryByteFlipIsSafe) {
  const std::string good =
      sites::CycleObject(3, Stamp(true), {{parser::fcRxLevel, 0, "-75"}, {parser::fcChannel, 1, "55"}}).dump();
  std::string why;
  for (std::size_t n = 0; n < good.size(); ++n) sites::ParseCycleMessage(good.substr(0, n), why);
  for (std::size_t i = 0; i < good.size(); ++i) {
    for (const char c : {'\0', '"', '}', '\xFF', '9'}) {
      std::string text = good;
      text[i] = c;
      if (const auto cycle = sites::ParseCycleMessage(text, why)) {
        for (const auto& value : cycle->values) EXPECT_LE(value.text.size(), 128u);
      }
    }
  }
}

}  // namespace
