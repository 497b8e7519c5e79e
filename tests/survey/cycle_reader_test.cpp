// A log read as poll cycles: the writer's cycles with their time and position, logs without
// them, damage, chunk boundaries; and the report of a log is the same with the cycle records as
// without them.

#include "survey/cycle_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "log/log_dump.h"
#include "log/log_record.h"
#include "log/log_viewer.h"
#include "log/log_writer.h"
#include "platform/text_encoding.h"
#include "tests/log/plain_log.h"
#include "tests/log/temp_dir.h"
#include "tests/support/survey_log.h"

namespace {

using namespace std::chrono_literals;
using namespace platform::literals;

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<survey::SurveyCycle> ReadAll(const std::string& path, survey::CycleReadResult* result = nullptr) {
  std::vector<survey::SurveyCycle> cycles;
  const auto read = survey::ReadLogCycles(path, [&](const survey::SurveyCycle& c) {
    cycles.push_back(c);
    return true;
  });
  if (result) *result = read;
  return cycles;
}

class CycleReader : public ::testing::Test {
 protected:
  std::string WriteSurveyLog(const std::string& name) {
    const std::string path = dir_.File(name);
    EXPECT_TRUE(testsupport::WriteSurveyLog(path));
    return path;
  }

  logtest::TempDir dir_;
};

TEST_F(CycleReader, CyclesOfTheWriterWithTimeAndPosition) {
  const std::string path = WriteSurveyLog("survey.log");
  survey::CycleReadResult result;
  const auto cycles = ReadAll(path, &result);
  EXPECT_TRUE(result.ok);
  EXPECT_FALSE(result.damaged);
  ASSERT_EQ(cycles.size(), 2u);  // the run summary is no cycle
  EXPECT_EQ(result.cycles, 2);

  const auto& first = cycles[0];
  EXPECT_EQ(first.number, 1);
  ASSERT_TRUE(first.time);
  EXPECT_EQ(survey::ToTimePoint(*first.time), std::chrono::system_clock::from_time_t(1'796'845'695) + 123ms);
  ASSERT_TRUE(first.fix);
  EXPECT_DOUBLE_EQ(first.fix->latitude, 55.7558);
  EXPECT_DOUBLE_EQ(first.fix->altitude, 150.2);
  EXPECT_EQ(first.fix->time, std::chrono::system_clock::from_time_t(1'796'845'694));
  EXPECT_EQ(first.country, std::string("Россия"_cp1251));
  EXPECT_EQ(first.operatorName, std::string("МТС"_cp1251));
  EXPECT_EQ(first.lac, "5580");
  EXPECT_EQ(first.quality, "2");
  EXPECT_EQ(first.bitError, "0,57");
  EXPECT_EQ(first.distance, "5,5");
  EXPECT_EQ(first.cells[0].cell, "69777");
  EXPECT_EQ(first.cells[0].bsic, "5.4");
  EXPECT_EQ(first.cells[0].channel, "121");
  EXPECT_EQ(first.cells[0].band, "900");
  EXPECT_EQ(first.cells[0].level, "-63");
  EXPECT_EQ(first.cells[6].channel, "996");
  EXPECT_EQ(first.cells[6].band, "EGSM");
  EXPECT_EQ(first.cells[6].level, "-101");
  EXPECT_EQ(first.cells[6].bsic, "6.0");

  const auto& second = cycles[1];
  EXPECT_EQ(second.number, 2);
  EXPECT_TRUE(second.time);
  EXPECT_FALSE(second.fix);  // never the first cycle's position again
  EXPECT_EQ(second.cells[0].level, "-70");
  EXPECT_EQ(second.cells[6].level, "");  // a neighbour that did not report is empty, not carried over
}

// A log by a writer that knows nothing of cycle records: each seal after values ends a cycle.
TEST_F(CycleReader, LogWithoutCycleRecordsStillFallsIntoCycles) {
  logtest::PlainLog log;
  log.Seal().Add(257, "250").Add(1411, "-70").Seal().Seal();  // a seal after a seal ends no cycle
  log.Add(1412, "50").Add(3459, "-80").Seal();
  log.Add(1, "351234567890123").Add(12803, "09.12.2026").Add(391, "5,5").Seal();  // the summary
  const std::string path = dir_.File("old.log");
  WriteFile(path, log.Bytes());
  survey::CycleReadResult result;
  const auto cycles = ReadAll(path, &result);
  EXPECT_TRUE(result.ok);
  ASSERT_EQ(cycles.size(), 2u);
  EXPECT_FALSE(cycles[0].time);
  EXPECT_FALSE(cycles[0].fix);
  EXPECT_EQ(cycles[0].country, "250");
  EXPECT_EQ(cycles[0].cells[0].level, "-70");
  EXPECT_EQ(cycles[1].cells[0].channel, "50");
  EXPECT_EQ(cycles[1].cells[2].level, "-80");
  EXPECT_EQ(cycles[1].country, "");
}

// Event records go with the cycle they are sealed with; those of a seal without values wait for
// the next cycle, and those after the last cycle are the reading's trailing events.
TEST_F(CycleReader, EventRecordsGoWithTheirCycle) {
  logtest::PlainLog log;
  log.Add(gsmlog::kCycleEventCode, "a").Seal();  // no values: no cycle yet
  log.Add(1411, "-70").Add(gsmlog::kCycleEventCode, "b").Seal();
  log.Add(1411, "-71").Seal();
  log.Add(gsmlog::kCycleEventCode, "end").Seal();
  const std::string path = dir_.File("events.log");
  WriteFile(path, log.Bytes());
  survey::CycleReadResult result;
  const auto cycles = ReadAll(path, &result);
  EXPECT_TRUE(result.ok);
  ASSERT_EQ(cycles.size(), 2u);
  EXPECT_EQ(cycles[0].events, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(cycles[1].events.empty());
  EXPECT_EQ(result.trailingEvents, std::vector<std::string>{"end"});
}

TEST_F(CycleReader, DamageEndsReadingBeforeTheCycleItBreaks) {
  logtest::PlainLog log;
  log.Seal().Add(1411, "-70").Add(20481, "2026-12-09T22:48:15.123+03:00").Seal();
  log.Add(1411, "-71").Add(gsmlog::kChecksumCode, "DEADBEEF");
  log.Add(1411, "-72").Seal();
  const std::string path = dir_.File("damaged.log");
  WriteFile(path, log.Bytes());
  survey::CycleReadResult result;
  const auto cycles = ReadAll(path, &result);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.damaged);
  // Where the damage was found, and what was read before it.
  EXPECT_EQ(
      result.error,
      gsmlog::DamagedMessage(path) +
          std::string(
              ": контрольная сумма не совпадает (байт 76, запись 6); прочитано циклов: 1, байт: 68 из 110"_cp1251));
  EXPECT_EQ(result.verdict.cycles, 1);
  ASSERT_EQ(cycles.size(), 1u);
  EXPECT_EQ(cycles[0].cells[0].level, "-70");

  // Hostile cycle records are no time and no position, and no reason to stop.
  logtest::PlainLog hostile;
  hostile.Seal().Add(1411, "-70").Add(20481, "9999-99-99T99:99:99").Add(20482, "nan;nan;;3;;").Seal();
  WriteFile(path, hostile.Bytes());
  const auto read = ReadAll(path, &result);
  EXPECT_TRUE(result.ok);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_FALSE(read[0].time);
  EXPECT_FALSE(read[0].fix);
}

TEST_F(CycleReader, FilesThatAreNoLog) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::string_view detail;  // after the damaged message; none: the "cannot read" message
  };
  const Case cases[] = {
      {"empty.log", {}, {}},
      {"text.log",
       {'n', 'o', 't', ' ', 'a', ' ', 'l', 'o', 'g'},
       ": недопустимый байт в тексте записи (байт 0, запись 1); прочитано циклов: 0, байт: 0 из 9"_cp1251},
      {"unsealed.log", logtest::PlainLog().Add(1411, "-70").Bytes(),
       ": нет совпадающей контрольной суммы (байт 8, запись 2); прочитано циклов: 0, байт: 0 из 8"_cp1251},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.File(c.name);
    WriteFile(path, c.bytes);
    survey::CycleReadResult result;
    EXPECT_TRUE(ReadAll(path, &result).empty());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, c.detail.empty() ? gsmlog::ReadFailedMessage(path)
                                             : gsmlog::DamagedMessage(path) + std::string(c.detail));
  }
  survey::CycleReadResult result;
  ReadAll(dir_.File("missing.log"), &result);
  EXPECT_EQ(result.error, gsmlog::OpenFailedMessage(dir_.File("missing.log")));
}

TEST_F(CycleReader, ChunkBoundariesAndAStopFromTheConsumer) {
  // Over 2 MiB, so records cross the reader's 1 MiB chunks at many offsets.
  logtest::PlainLog log;
  log.Seal();
  const int cycles = 20000;
  for (int n = 0; n < cycles; ++n) {
    log.Add(1411, "-" + std::to_string(60 + n % 40)).Add(20481, "2026-12-09T22:48:15.123+03:00");
    log.Add(20482, "55.7558260;37.6173000;156.3;3;17.1;2026-12-09T19:48:14.000Z").Add(3460, std::to_string(n)).Seal();
  }
  const std::string path = dir_.File("large.log");
  WriteFile(path, log.Bytes());
  ASSERT_GT(log.Bytes().size(), 2u << 20);
  std::uint64_t lastDone = 0;
  long seen = 0;
  bool inOrder = true;
  const auto result = survey::ReadLogCycles(
      path,
      [&](const survey::SurveyCycle& c) {
        inOrder = inOrder && c.number == seen + 1 && c.cells[2].channel == std::to_string(seen) && c.fix && c.time;
        ++seen;
        return true;
      },
      [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, log.Bytes().size());
        lastDone = done;
        return true;
      });
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(seen, cycles);
  EXPECT_TRUE(inOrder);
  EXPECT_GT(lastDone, 2u << 20);

  const auto stopped = survey::ReadLogCycles(path, [&](const survey::SurveyCycle& c) { return c.number < 10; });
  EXPECT_TRUE(stopped.stopped);
  EXPECT_EQ(stopped.cycles, 10);
  const auto cancelled = survey::ReadLogCycles(
      path, [](const survey::SurveyCycle&) { return true; }, [](std::uint64_t, std::uint64_t) { return false; });
  EXPECT_TRUE(cancelled.stopped);
  EXPECT_LT(cancelled.cycles, cycles);
}

// The same log, re-encoded without the records of codes 16384 and up, its seals recomputed.
std::vector<std::uint8_t> WithoutCycleRecords(const std::string& path) {
  const auto dump = gsmlog::DumpLogFile(path);
  logtest::PlainLog stripped;
  for (const auto& record : dump.records) {
    if (record.code == gsmlog::kChecksumCode) {
      stripped.Seal();
    } else if (record.code < gsmlog::kCycleValueBase) {
      stripped.Add(record.code, record.text);
    }
  }
  return stripped.Bytes();
}

TEST_F(CycleReader, TheReportIsTheSameWithTheCycleRecordsAsWithout) {
  const std::string path = WriteSurveyLog("with.log");
  const std::string without = dir_.File("without.log");
  WriteFile(without, WithoutCycleRecords(path));
  int added = 0;
  for (const auto& record : gsmlog::DumpLogFile(path).records) added += record.code >= gsmlog::kCycleValueBase ? 1 : 0;
  EXPECT_EQ(added, 3 + 1 + 1 + 3 + 1);  // quality, bit-error rate, distance, time, position; then without a position

  const auto withReport = gsmlog::BuildLogReport(path);
  const auto withoutReport = gsmlog::BuildLogReport(without);
  ASSERT_TRUE(withReport.ok) << withReport.error;
  ASSERT_TRUE(withoutReport.ok) << withoutReport.error;
  EXPECT_EQ(withReport.text, withoutReport.text);
  EXPECT_NE(withReport.text.find("-70"), std::string::npos);
}

}  // namespace
