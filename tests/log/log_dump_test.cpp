#include "log/log_dump.h"

#include <gtest/gtest.h>

#include "log/log_viewer.h"
#include "plain_log.h"

namespace {

using gsmlog::ChecksumCheck;

TEST(Dump, ListsOffsetsCodesAndChecksumMatches) {
  logtest::PlainLog log;
  log.Seal().Add(257, "250").Add(gsmlog::lcChecksum, "DEADBEEF").Add(1411, "-75");
  const std::string lastSeal = gsmlog::FormatChecksum(log.Sum());
  log.Seal().Raw(0x0E).Raw(0x32);
  const auto bytes = log.Bytes();
  const auto dump = gsmlog::DumpLogData(bytes.data(), bytes.size());
  ASSERT_TRUE(dump.ok);
  struct Row {
    std::size_t offset;
    std::int32_t code;
    std::string text;
    ChecksumCheck check;
  };
  const Row expected[] = {
      {0, 12814, "00000000", ChecksumCheck::match},     {13, 257, "250", ChecksumCheck::notChecksum},
      {21, 12814, "DEADBEEF", ChecksumCheck::mismatch}, {34, 1411, "-75", ChecksumCheck::notChecksum},
      {42, 12814, lastSeal, ChecksumCheck::match},
  };
  ASSERT_EQ(dump.records.size(), std::size(expected));
  for (std::size_t i = 0; i < dump.records.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(dump.records[i].offset, expected[i].offset);
    EXPECT_EQ(dump.records[i].code, expected[i].code);
    EXPECT_EQ(dump.records[i].text, expected[i].text);
    EXPECT_EQ(dump.records[i].check, expected[i].check);
  }
  EXPECT_FALSE(dump.valid);
  EXPECT_EQ(dump.stop, gsmlog::ReadStop::codeCut);
  EXPECT_EQ(dump.stopOffset, 55u);
  EXPECT_EQ(gsmlog::FormatDumpLine(dump.records[1]), "      13     257  network.country         250");
  EXPECT_EQ(
      gsmlog::FormatDumpLine(dump.records[2]),
      "      21   12814  checksum                DEADBEEF  [mismatch, expected " + dump.records[2].expected + "]");
  EXPECT_EQ(gsmlog::FormatDumpLine(dump.records[0]), "       0   12814  checksum                00000000  [match]");
  EXPECT_EQ(gsmlog::FormatDumpEnd(dump), "end at offset 55: code cut short; 5 records; file damaged");
}

TEST(Dump, ValidOnlyWithAWholeMatchingChecksumRecord) {
  struct Case {
    const char* name;
    logtest::PlainLog log;
    bool valid;
  };
  const Case cases[] = {
      {"empty checksum text", logtest::PlainLog{}.Add(257, "1").Add(gsmlog::lcChecksum, ""), false},
      {"checksum header only", logtest::PlainLog{}.Add(257, "1").AddWithLength(gsmlog::lcChecksum, 8, ""), false},
      {"checksum text cut", logtest::PlainLog{}.Add(257, "1").AddWithLength(gsmlog::lcChecksum, 8, "0000"), false},
      {"cut after a good seal", logtest::PlainLog{}.Seal().AddWithLength(gsmlog::lcChecksum, 8, "0000"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = c.log.Bytes();
    const auto dump = gsmlog::DumpLogData(bytes.data(), bytes.size());
    EXPECT_EQ(dump.valid, c.valid);
    EXPECT_EQ(gsmlog::BuildLogReportFromData(bytes.data(), bytes.size(), "x.log").ok, c.valid);
  }
  const auto bytes = logtest::PlainLog{}.Seal().AddWithLength(gsmlog::lcChecksum, 8, "0000").Bytes();
  const auto dump = gsmlog::DumpLogData(bytes.data(), bytes.size());
  ASSERT_EQ(dump.records.size(), 2u);
  EXPECT_EQ(dump.records[1].check, ChecksumCheck::cut);
  EXPECT_EQ(gsmlog::FormatDumpLine(dump.records[1]),
            "      13   12814  checksum                0000  [cut short, verifies nothing]");
}

TEST(Dump, CodeMeanings) {
  struct Case {
    std::int32_t code;
    const char* meaning;
  };
  const Case cases[] = {
      {1, "identity.imei"},
      {257, "network.country"},
      {385, "network.bsic"},
      {1411, "serving.rxlevel"},
      {1412, "serving.channel"},
      {1289, "serving.band"},
      {2433, "neighbour1.bsic"},
      {6530, "neighbour5.cellid"},
      {7555, "neighbour6.rxlevel (not in report)"},
      {12803, "summary.date"},
      {12808, "summary.rxlevel.avg"},
      {391, "summary.distance"},
      {12814, "checksum"},
      {1413, "unknown"},
      {-1, "unknown"},
      {8192 + 387, "unknown"},
      {2, "unknown"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(gsmlog::LogCodeMeaning(c.code), c.meaning);
  }
}

}  // namespace
