// The event detector as a table of serving-cell sequences and the events they give; the events'
// record text read back; and the events of a run on their way to the log, whose report stays the
// same byte for byte.

#include "history/cell_events.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/log_recorder.h"
#include "history/run_events.h"
#include "log/log_dump.h"
#include "log/log_record.h"
#include "log/log_viewer.h"
#include "log/log_writer.h"
#include "platform/text_encoding.h"
#include "tests/log/plain_log.h"
#include "tests/log/temp_dir.h"
#include "tests/support/recording_window.h"

namespace {

using namespace platform::literals;
using history::CellEvent;
using history::EventKind;

// One cycle's serving-cell values; an empty text is not reported that cycle, "(n/a)" is reported
// as not available.
struct CycleValues {
  std::string cell, channel, bsic, lac, band, level;
};

void Feed(history::EventDetector& detector, const CycleValues& c) {
  const auto field = [&](int code, const std::string& text) {
    if (!text.empty()) detector.Field(code, 0, parser::TextValue(text));
  };
  field(parser::fcCell, c.cell);
  field(parser::fcChannel, c.channel);
  field(parser::fcBaseStation, c.bsic);
  field(parser::fcLocalArea, c.lac);
  field(parser::fcFreqBand, c.band);
  field(parser::fcRxLevel, c.level);
}

// An event as "key from>to" ("level_low >-101", "serving_cell 1A2B (62, 7.3)>3C4D (70, 1.1)").
std::string Brief(const CellEvent& e) { return std::string(history::EventKey(e.kind)) + " " + e.from + ">" + e.to; }

struct Case {
  const char* name;
  std::vector<CycleValues> cycles;
  std::vector<std::vector<std::string>> events;  // per cycle
};

const CycleValues kA{"6FE1", "62", "7.3", "5580", "900", "-70"};

CycleValues With(CycleValues c, std::string CycleValues::*member, std::string text) {
  c.*member = std::move(text);
  return c;
}

CycleValues L(int level) { return With(kA, &CycleValues::level, std::to_string(level)); }

TEST(EventDetector, SequencesOfServingCellValues) {
  const CycleValues b{"7A02", "70", "1.1", "5580", "900", "-66"};
  const std::vector<Case> cases = {
      {"steady", {kA, kA, kA}, {{}, {}, {}}},
      {"reselection and back",
       {kA, b, b, kA},
       {{}, {"serving_cell 6FE1 (62, 7.3)>7A02 (70, 1.1)"}, {}, {"serving_cell 7A02 (70, 1.1)>6FE1 (62, 7.3)"}}},
      // The level wanders around the threshold of -100: no event until it stays below for three
      // cycles, and none back until it stays 3 dB above it for three.
      {"level flapping at the threshold",
       {L(-99), L(-101), L(-100), L(-101), L(-99), L(-101), L(-100)},
       {{}, {}, {}, {}, {}, {}, {}}},
      {"level below the threshold and back",
       {L(-99), L(-101), L(-105), L(-102), L(-99), L(-98), L(-97), L(-96), L(-95)},
       {{}, {}, {}, {"level_low -99>-102"}, {}, {}, {}, {}, {"level_restored -98>-95"}}},
      // A cycle without a level neither counts nor breaks the hold.
      {"below from the first cycle, one cycle unreported",
       {L(-108), With(kA, &CycleValues::level, ""), L(-108), L(-107)},
       {{}, {}, {}, {"level_low >-107"}}},
      {"area and band at a handover",
       {kA, CycleValues{"1234", "700", "2.2", "5581", "1800", "-80"}},
       {{}, {"serving_cell 6FE1 (62, 7.3)>1234 (700, 2.2)", "area 5580>5581", "band 900>1800"}}},
      // E-GSM is the extended 900 band.
      {"900 to E-GSM is no band change",
       {kA, CycleValues{"1235", "990", "2.3", "5580", "EGSM", "-75"}},
       {{}, {"serving_cell 6FE1 (62, 7.3)>1235 (990, 2.3)"}}},
      // A cycle that reports nothing (or "(n/a)") neither fires nor hides a change.
      {"missing values keep the last known",
       {kA, CycleValues{}, CycleValues{"(n/a)", "(n/a)", "(n/a)", "(n/a)", "(n/a)", "(n/a)"}, kA, b},
       {{}, {}, {}, {}, {"serving_cell 6FE1 (62, 7.3)>7A02 (70, 1.1)"}}},
      // Without a cell identity, channel and BSIC tell the cells apart.
      {"no cell identity",
       {With(kA, &CycleValues::cell, ""), With(With(kA, &CycleValues::cell, ""), &CycleValues::bsic, "7.4")},
       {{}, {"serving_cell ? (62, 7.3)>? (62, 7.4)"}}},
      // The cell identity decides when both cycles have one: another channel of the same cell is no change.
      {"same cell identity on another channel", {kA, With(kA, &CycleValues::channel, "63")}, {{}, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    history::EventDetector detector;
    ASSERT_EQ(c.cycles.size(), c.events.size());
    for (std::size_t i = 0; i < c.cycles.size(); ++i) {
      SCOPED_TRACE("cycle " + std::to_string(i + 1));
      Feed(detector, c.cycles[i]);
      std::vector<std::string> got;
      for (const CellEvent& e : detector.CycleEnded({})) got.push_back(Brief(e));
      EXPECT_EQ(got, c.events[i]);
    }
  }
}

TEST(EventDetector, ResetForgetsThePreviousConnectionAndNeighboursDoNotCount) {
  history::EventDetector detector(-90);
  Feed(detector, kA);
  detector.Field(parser::fcCell, 3, parser::TextValue("9999"));
  detector.Field(parser::fcRxLevel, 2, parser::TextValue("-110"));
  EXPECT_TRUE(detector.CycleEnded({}).empty());
  detector.Reset();
  std::vector<CellEvent> events;
  for (int k = 0; k < history::kLevelHoldCycles; ++k) {
    Feed(detector, CycleValues{"7A02", "70", "1.1", "6000", "1800", "-95"});
    events = detector.CycleEnded({});
  }
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Brief(events[0]), "level_low >-95");
  EXPECT_EQ(events[0].threshold, -90);
}

TEST(EventRecord, TextReadBackAndHostileTexts) {
  const auto time = std::chrono::system_clock::from_time_t(1'796'845'695) + std::chrono::milliseconds(123);
  const std::vector<CellEvent> events = {
      {EventKind::servingCell, "6FE1 (62, 7.3)", "7A02 (70, 1.1)", 0, time},
      {EventKind::levelLow, "-99", "-101", -100, time},
      {EventKind::connectionLost, "", "", 0, time},
  };
  for (const CellEvent& e : events) {
    const std::string text = history::FormatEventRecord(e);
    SCOPED_TRACE(text);
    EXPECT_LE(text.size(), gsmlog::kMaxLogText);
    const auto back = history::ParseEventRecord(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, e.kind);
    EXPECT_EQ(back->from, e.from);
    EXPECT_EQ(back->to, e.to);
    EXPECT_EQ(back->threshold, e.threshold);
    EXPECT_EQ(back->time, e.time);
  }
  // A separator or a control byte inside a value cannot break the record.
  const auto odd = history::ParseEventRecord(
      history::FormatEventRecord({EventKind::areaChanged, "1;2", std::string("x\x01y"), 0, time}));
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->from, "1?2");
  EXPECT_EQ(odd->to, "x?y");

  for (const char* text :
       {"", ";;;;", "2026-12-09T22:48:15.123+03:00;serving_cell;a;b", "2026-12-09T22:48:15.123+03:00;unknown;a;b;",
        "not a time;area;a;b;", "2026-12-09T22:48:15.123+03:00;level_low;a;b;-1x",
        "2026-12-09T22:48:15.123+03:00;area;a;b;;extra"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(history::ParseEventRecord(text));
  }
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(RunEvents, EventsGoIntoTheLogAndTheReportStaysTheSame) {
  logtest::TempDir dir;
  const std::string path = dir.File("events.log");
  gsmlog::TLogWriter writer;
  testsupport::RecordingWindow window({});
  std::vector<std::string> told;
  history::RunEvents events(writer, [&](const CellEvent& e) { told.push_back(Brief(e)); });
  core::LogRecorder recorder(window, writer, nullptr, nullptr,
                             [&events](gsmlog::TLogWriter& log, const radio::Cycle&) { events.HoldRecords(log); });
  recorder.SetBeforeValues([&events](gsmlog::TLogWriter& log, const radio::Cycle&) { events.HoldLeadingRecords(log); });
  ASSERT_TRUE(recorder.StartLog(path));
  events.SetThreshold(-90);
  // The run as a session hands it on: the events first, then the recorder.
  const auto run = [&](auto&& call) {
    call(static_cast<core::RunConsumer&>(events));
    call(static_cast<core::RunConsumer&>(recorder));
  };

  const auto cycle = [&](const std::string& cell, const std::string& level, long n) {
    radio::Cycle values;
    values.n = n;
    values.time = std::chrono::system_clock::now();
    const auto field = [&](int code, int index, std::string text) {
      const parser::FieldValue value = parser::TextValue(std::move(text));
      values.delivered.push_back({code, index, value.text, value.number});
    };
    field(parser::fcCountry, 0, std::string("Россия"_cp1251));
    field(parser::fcLocalArea, 0, "5580");
    field(parser::fcCell, 0, cell);
    field(parser::fcBaseStation, 0, "7.3");
    field(parser::fcChannel, 0, "62");
    field(parser::fcFreqBand, 0, "900");
    field(parser::fcRxLevel, 0, level);
    field(parser::fcChannel, 1, "70");
    field(parser::fcRxLevel, 1, "-88");
    run([&](core::RunConsumer& consumer) { consumer.CycleCompleted(values); });
  };
  run([](core::RunConsumer& consumer) { consumer.RunStarted({}); });
  long n = 0;
  cycle("6FE1", "-80", ++n);
  for (const char* level : {"-93", "-92", "-95", "-85", "-86", "-84"}) cycle("7A02", level, ++n);
  run([n](core::RunConsumer& consumer) { consumer.RunEnded({.reachedPoll = true, .lost = false, .cycles = n}); });
  const std::vector<std::string> expected = {"connection_started >", "serving_cell 6FE1 (62, 7.3)>7A02 (62, 7.3)",
                                             "level_low -80>-95", "level_restored -95>-84", "connection_ended >"};
  EXPECT_EQ(told, expected);

  // The log holds the same events, in order; without them it is the same log to every reader.
  std::vector<std::string> logged;
  logtest::PlainLog stripped;
  for (const auto& record : gsmlog::DumpLogFile(path).records) {
    if (record.code == gsmlog::kCycleEventCode) {
      const auto event = history::ParseEventRecord(record.text);
      ASSERT_TRUE(event) << record.text;
      logged.push_back(Brief(*event));
    } else if (record.code == gsmlog::kChecksumCode) {
      stripped.Seal();
    } else {
      stripped.Add(record.code, record.text);
    }
  }
  EXPECT_EQ(logged, expected);
  const std::string without = dir.File("without.log");
  WriteFile(without, stripped.Bytes());
  const auto withReport = gsmlog::BuildLogReport(path);
  const auto withoutReport = gsmlog::BuildLogReport(without);
  ASSERT_TRUE(withReport.ok) << withReport.error;
  ASSERT_TRUE(withoutReport.ok) << withoutReport.error;
  EXPECT_EQ(withReport.text, withoutReport.text);
  EXPECT_EQ(std::count(withReport.text.begin(), withReport.text.end(), '\n'), 41);
}

}  // namespace
