#include "log/log_dump.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "log/log_viewer.h"
#include "plain_log.h"
#include "platform/text_encoding.h"
#include "temp_dir.h"

namespace {

using gsmlog::ChecksumCheck;

TEST(Dump, ListsOffsetsCodesAndChecksumMatches) {
  logtest::PlainLog log;
  log.Seal().Add(257, "250").Add(gsmlog::kChecksumCode, "DEADBEEF").Add(1411, "-75");
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
  EXPECT_EQ(gsmlog::FormatDumpLine(dump.records[1]), "      13     257  network.country_name    250");
  EXPECT_EQ(
      gsmlog::FormatDumpLine(dump.records[2]),
      "      21   12814  checksum                DEADBEEF  [mismatch, expected " + dump.records[2].expected + "]");
  EXPECT_EQ(gsmlog::FormatDumpLine(dump.records[0]), "       0   12814  checksum                00000000  [match]");
  EXPECT_EQ(gsmlog::FormatDumpEnd(dump),
            "end at offset 55: code cut short; 5 records; 0 cycles; file damaged at offset 21 (record 3): checksum "
            "mismatch");
}

TEST(Dump, ValidOnlyWithAWholeMatchingChecksumRecord) {
  struct Case {
    const char* name;
    logtest::PlainLog log;
    bool valid;
  };
  const Case cases[] = {
      {"empty checksum text", logtest::PlainLog{}.Add(257, "1").Add(gsmlog::kChecksumCode, ""), false},
      {"checksum header only", logtest::PlainLog{}.Add(257, "1").AddWithLength(gsmlog::kChecksumCode, 8, ""), false},
      {"checksum text cut", logtest::PlainLog{}.Add(257, "1").AddWithLength(gsmlog::kChecksumCode, 8, "0000"), false},
      {"cut after a good seal", logtest::PlainLog{}.Seal().AddWithLength(gsmlog::kChecksumCode, 8, "0000"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = c.log.Bytes();
    const auto dump = gsmlog::DumpLogData(bytes.data(), bytes.size());
    EXPECT_EQ(dump.valid, c.valid);
    EXPECT_EQ(gsmlog::BuildLogReportFromData(bytes.data(), bytes.size(), "x.log").ok, c.valid);
  }
  const auto bytes = logtest::PlainLog{}.Seal().AddWithLength(gsmlog::kChecksumCode, 8, "0000").Bytes();
  const auto dump = gsmlog::DumpLogData(bytes.data(), bytes.size());
  ASSERT_EQ(dump.records.size(), 2u);
  EXPECT_EQ(dump.records[1].check, ChecksumCheck::cut);
  EXPECT_EQ(gsmlog::FormatDumpLine(dump.records[1]),
            "      13   12814  checksum                0000  [cut short, verifies nothing]");
}

// A file listed as it is read, in pieces, gives what the whole bytes in memory give: across the
// edges of the pieces, at a cut end, and past a mismatching checksum.
TEST(Dump, StreamedListingMatchesTheWholeData) {
  logtest::TempDir dir;
  logtest::PlainLog log;
  for (int i = 0; i < 36000; ++i) {
    log.Add(257 + i % 7, std::string(static_cast<std::size_t>(1 + i * 37 % 128), static_cast<char>('A' + i % 26)));
    if (i % 101 == 0) log.Seal();
    if (i == 20000) log.Add(gsmlog::kChecksumCode, "DEADBEEF");
  }
  log.Seal().Raw(0x0E);
  const auto bytes = log.Bytes();
  ASSERT_GT(bytes.size(), 2u << 20);  // more than two of the reader's pieces
  const std::string path = dir.File("big.log");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  const auto whole = gsmlog::DumpLogData(bytes.data(), bytes.size());
  std::size_t i = 0;
  bool same = true;
  const auto streamed = gsmlog::DumpLogFile(path, [&](const gsmlog::DumpRecord& record) {
    const gsmlog::DumpRecord& expected = whole.records.at(i++);
    same = same && record.offset == expected.offset && record.code == expected.code && record.text == expected.text &&
           record.check == expected.check && record.expected == expected.expected;
    return true;
  });
  EXPECT_TRUE(same);
  EXPECT_TRUE(streamed.records.empty());
  EXPECT_EQ(i, whole.records.size());
  EXPECT_EQ(streamed.recordCount, whole.recordCount);
  EXPECT_EQ(streamed.stop, whole.stop);
  EXPECT_EQ(streamed.stopOffset, whole.stopOffset);
  EXPECT_EQ(streamed.valid, whole.valid);
  EXPECT_EQ(gsmlog::FormatDumpEnd(streamed), gsmlog::FormatDumpEnd(whole));

  // A sink that cannot take more ends the listing at once.
  int taken = 0;
  const auto cut = gsmlog::DumpLogFile(path, [&](const gsmlog::DumpRecord&) { return ++taken < 3; });
  EXPECT_EQ(taken, 3);
  EXPECT_EQ(cut.stop, gsmlog::ReadStop::none);
}

// What is not a regular file is never read as a log: a FIFO without a writer, a device without
// end. Both readers refuse at once with the "cannot open" message; a folder stays unreadable.
TEST(Dump, FilesThatAreNotFilesAreRefusedAtOnce) {
  logtest::TempDir dir;
  const std::string fifo = dir.File("fifo.log");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir.path().string();
  struct Case {
    std::string name;
    std::string error;
  };
  const Case cases[] = {
      {fifo, gsmlog::OpenFailedMessage(fifo)},
      {"/dev/zero", gsmlog::OpenFailedMessage("/dev/zero")},
      {"/dev/urandom", gsmlog::OpenFailedMessage("/dev/urandom")},
      {folder, gsmlog::ReadFailedMessage(folder)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto report = gsmlog::BuildLogReport(c.name);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.error, c.error);
    const auto dump = gsmlog::DumpLogFile(c.name, [](const gsmlog::DumpRecord&) { return true; });
    EXPECT_FALSE(dump.ok);
    EXPECT_EQ(dump.error, c.error);
  }
}

TEST(Dump, CodeMeanings) {
  struct Case {
    std::int32_t code;
    const char* meaning;
  };
  const Case cases[] = {
      {1, "identity.imei"},
      {257, "network.country_name"},
      {385, "network.bsic"},
      {1411, "serving.rxlevel_dbm"},
      {1412, "serving.channel"},
      {1289, "serving.band"},
      {2433, "neighbour1.bsic"},
      {6530, "neighbour5.cell_id"},
      {7555, "neighbour6.rxlevel_dbm (not in report)"},
      {12803, "summary.date"},
      {12808, "summary.rxlevel_dbm_avg"},
      {12812, "summary.gsm900_percent"},
      {391, "summary.distance_km"},
      {12814, "checksum"},
      {20481, "cycle.time"},
      {20482, "cycle.position"},
      {20483, "cycle.event"},
      {16773, "serving.rxqual"},
      {16774, "serving.ber_percent"},
      {16775, "serving.distance_km"},
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
