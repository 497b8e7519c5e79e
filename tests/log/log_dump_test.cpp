#include "log/log_dump.h"

#include <gtest/gtest.h>

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
      {20481, "cycle.time"},
      {20482, "cycle.position"},
      {16773, "serving.rxqual"},
      {16774, "serving.ber"},
      {16775, "serving.distance"},
      {16384 + 387, "unknown"},
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
