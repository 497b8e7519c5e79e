// Every reader of a log gives one answer on the same bytes: `report`, `dump` and `export` of the
// headless tool and the history loader agree on the verdict, the cycles read and the message, and
// exit 0 only for a log read to its end.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "history/cell_history.h"
#include "log/log_dump.h"
#include "log/log_reader.h"
#include "log/log_verdict.h"
#include "log/log_viewer.h"
#include "log/log_writer.h"
#include "platform/text_encoding.h"
#include "survey/cycle_stamp.h"
#include "tests/support/child_process.h"
#include "tests/support/survey_log.h"
#include "tests/support/text_lines.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;

namespace {

constexpr int kCycles = 40;

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-verdict-" + name;
}

std::vector<char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The number after label in text, or -1.
long NumberAfter(const std::string& text, const std::string& label) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(label + "(\\d+)"))) return -1;
  return std::stol(match[1]);
}

class LogReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = TempPath("run.log");
    std::filesystem::remove(log_);
    gsmlog::TLogWriter writer;
    ASSERT_TRUE(writer.Create(log_).ok);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      testsupport::LogSurveyCycle(writer, -60 - cycle % 40, cycle % 2 == 0);
      survey::HoldCycleRecords(writer,
                               {testsupport::kSurveyCycleTime + std::chrono::seconds(cycle), testsupport::SurveyFix()});
      ASSERT_TRUE(writer.Seal());
    }
    ASSERT_TRUE(writer.Complete());
    bytes_ = ReadBytes(log_);
    // Where each seal begins and ends: seals_[0] is the file's first, seals_[k] closes cycle k,
    // the last one the run summary.
    for (const auto& record : gsmlog::DumpLogFile(log_).records) {
      if (record.code == gsmlog::kChecksumCode) seals_.push_back(record.offset);
    }
    ASSERT_EQ(seals_.size(), kCycles + 2u);
  }

  std::string log_;
  std::vector<char> bytes_;
  std::vector<std::size_t> seals_;
};

TEST_F(LogReaders, EveryReaderGivesTheSameAnswerOnTheSameBytes) {
  const std::size_t seal = 13;  // bytes of a seal
  const std::size_t middle = seals_[kCycles / 2];
  struct Case {
    const char* name;
    std::vector<char> bytes;
    gsmlog::LogState state;
    long cycles;  // -1: an empty file, which no reader reads
  };
  const auto cutAt = [&](std::size_t size) {
    return std::vector<char>(bytes_.begin(), bytes_.begin() + static_cast<long>(size));
  };
  auto flipped = bytes_;
  flipped[middle + seal + 6] ^= 0x01;  // the text of the first record after a seal
  auto inserted = bytes_;
  inserted.insert(inserted.begin() + static_cast<long>(middle + seal + 3), 7, '\x55');
  const Case cases[] = {
      {"whole", bytes_, gsmlog::LogState::whole, kCycles},
      {"cut in a record", cutAt(middle + seal + 7), gsmlog::LogState::cut, kCycles / 2},
      {"cut in a cycle's seal", cutAt(middle + 9), gsmlog::LogState::cut, kCycles / 2 - 1},
      {"cut in the last seal", cutAt(bytes_.size() - 4), gsmlog::LogState::cut, kCycles},
      {"ending at a cycle's seal", cutAt(middle + seal), gsmlog::LogState::whole, kCycles / 2},
      {"cut just after a seal", cutAt(middle + seal + 2), gsmlog::LogState::cut, kCycles / 2},
      {"a flipped byte", flipped, gsmlog::LogState::damaged, kCycles / 2},
      {"seven bytes inserted", inserted, gsmlog::LogState::damaged, kCycles / 2},
      {"empty", {}, gsmlog::LogState::damaged, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TempPath("case.log");
    WriteBytes(path, c.bytes);
    const int status = c.state == gsmlog::LogState::damaged ? 1 : 0;

    history::CellHistory model;
    const history::LoadResult loaded = history::LoadHistory(path, model);
    EXPECT_EQ(loaded.ok, status == 0);

    ChildProcess report({GSMMON_CLI_PATH, "report", path});
    ChildProcess dump({GSMMON_CLI_PATH, "dump", path});
    const std::string csv = TempPath("case.csv");
    std::filesystem::remove(csv);
    std::filesystem::remove(TempPath("case-events.csv"));
    ChildProcess exported({GSMMON_CLI_PATH, "export", path, "-o", csv});
    EXPECT_EQ(report.Wait(30s), status) << report.Stderr();
    EXPECT_EQ(dump.Wait(30s), status) << dump.Stderr();
    EXPECT_EQ(exported.Wait(30s), status) << exported.Stderr();

    if (c.cycles < 0) {
      const std::string message = platform::Cp1251ToUtf8(gsmlog::ReadFailedMessage(path)) + "\n";
      EXPECT_EQ(report.Stderr(), message);
      EXPECT_EQ(dump.Stderr(), message);
      EXPECT_EQ(exported.Stderr(), message);
      EXPECT_EQ(loaded.error, gsmlog::ReadFailedMessage(path));
      continue;
    }
    EXPECT_EQ(loaded.verdict.state, c.state);
    EXPECT_EQ(loaded.cycles, c.cycles);
    EXPECT_EQ(loaded.verdict.cycles, c.cycles);
    EXPECT_EQ(NumberAfter(dump.Stdout(), "records; "), c.cycles) << dump.Stdout().substr(dump.Stdout().rfind("end at"));
    EXPECT_EQ(NumberAfter(exported.Stdout(), "Экспортировано циклов: "), c.cycles) << exported.Stdout();
    // The report is there whenever a seal vouches for what was read and none contradicts it.
    EXPECT_EQ(testsupport::Lines(report.Stdout()).size(), loaded.verdict.reportable ? 41u : 0u);

    // One message, from all four, saying how far the file holds.
    const std::string message = platform::Cp1251ToUtf8(gsmlog::VerdictMessage(path, loaded.verdict));
    if (c.state == gsmlog::LogState::whole) {
      EXPECT_EQ(message, "");
      EXPECT_EQ(report.Stderr(), "");
      EXPECT_EQ(dump.Stderr(), "");
      EXPECT_EQ(exported.Stderr(), "");
      continue;
    }
    EXPECT_EQ(NumberAfter(message, "прочитано циклов: "), c.cycles) << message;
    EXPECT_NE(message.find(c.state == gsmlog::LogState::cut ? " оборван (байт " : " поврежден: "), std::string::npos)
        << message;
    EXPECT_EQ(report.Stderr(), message + "\n");
    EXPECT_EQ(dump.Stderr(), message + "\n");
    EXPECT_EQ(exported.Stderr(), message + "\n");
    EXPECT_EQ(platform::Cp1251ToUtf8(loaded.error), c.state == gsmlog::LogState::damaged ? message : "");
  }
}

// Both passes of the report builder judge as the record reader does, on the same damaged bytes.
TEST_F(LogReaders, TheFastReportPassGivesTheSerialVerdict) {
  const std::size_t middle = seals_[kCycles / 2];
  std::vector<std::vector<char>> inputs = {bytes_, {bytes_.begin(), bytes_.begin() + static_cast<long>(middle + 20)}};
  inputs.push_back(bytes_);
  inputs.back()[middle + 20] ^= 0x40;
  for (const auto& input : inputs) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
    const gsmlog::LogReport fast = gsmlog::BuildLogReportFromData(data, input.size(), "x.log");
    const gsmlog::LogReport serial = gsmlog::BuildLogReportSerial(data, input.size(), "x.log");
    const gsmlog::LogVerdict read = gsmlog::ReadLogVerdict(data, input.size());
    EXPECT_EQ(fast.ok, serial.ok);
    EXPECT_EQ(fast.text, serial.text);
    for (const gsmlog::LogVerdict* v : {&fast.verdict, &serial.verdict}) {
      EXPECT_EQ(v->state, read.state);
      EXPECT_EQ(v->fault, read.fault);
      EXPECT_EQ(v->offset, read.offset);
      EXPECT_EQ(v->sealedBytes, read.sealedBytes);
      EXPECT_EQ(v->reportable, read.reportable);
    }
  }
}

}  // namespace
