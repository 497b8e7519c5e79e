#include "log/log_verdict.h"

#include <gtest/gtest.h>

#include "log/log_reader.h"
#include "log/log_viewer.h"
#include "plain_log.h"

namespace {

using gsmlog::LogFault;
using gsmlog::LogState;

// The rule on small files whose every offset is known: a seal is 13 bytes, a record 257/"250" 8.
TEST(Verdict, OneRuleForWholeCutAndDamagedFiles) {
  using logtest::PlainLog;
  const auto cycle = [](PlainLog& log) -> PlainLog& { return log.Add(257, "250").Seal(); };
  struct Case {
    const char* name;
    PlainLog log;
    LogState state;
    LogFault fault;
    std::uint64_t offset, record, sealedBytes;
    long cycles;
  };
  PlainLog two = PlainLog{}.Seal();
  cycle(cycle(two));  // 0 seal, 13 value, 21 seal, 34 value, 42 seal; 55 bytes
  const auto plus = [&](auto&& more) {
    PlainLog log = two;
    more(log);
    return log;
  };
  const Case cases[] = {
      {"whole", two, LogState::whole, LogFault::none, 55, 0, 55, 2},
      {"a summary and its seal make no cycle",
       plus([](PlainLog& l) { l.Add(12803, "09.12.2026").Add(1, "35").Seal(); }), LogState::whole, LogFault::none, 90,
       0, 90, 2},
      {"a seal after a seal makes no cycle", plus([](PlainLog& l) { l.Seal(); }), LogState::whole, LogFault::none, 68,
       0, 68, 2},
      {"values no seal covers", plus([](PlainLog& l) { l.Add(257, "250"); }), LogState::cut, LogFault::none, 55, 6, 55,
       2},
      {"cut in a code", plus([](PlainLog& l) { l.Raw(1).Raw(1); }), LogState::cut, LogFault::none, 55, 6, 55, 2},
      {"cut before a text", plus([](PlainLog& l) { l.AddWithLength(257, 3, ""); }), LogState::cut, LogFault::none, 55,
       6, 55, 2},
      {"cut in a seal's text", plus([](PlainLog& l) { l.AddWithLength(gsmlog::kChecksumCode, 8, "0000"); }),
       LogState::cut, LogFault::none, 55, 6, 55, 2},
      {"a mismatching seal, and more after it",
       plus([](PlainLog& l) { l.Add(257, "1").Add(gsmlog::kChecksumCode, "DEADBEEF").Add(257, "2").Seal(); }),
       LogState::damaged, LogFault::checksumMismatch, 61, 7, 55, 2},
      {"a length above 128", plus([](PlainLog& l) { l.AddWithLength(257, 129, std::string(129, 'x')); }),
       LogState::damaged, LogFault::lengthTooLarge, 55, 6, 55, 2},
      {"a control byte", plus([](PlainLog& l) { l.Add(257, "2\x01"); }), LogState::damaged, LogFault::controlByte, 55,
       6, 55, 2},
      {"a zero length", plus([](PlainLog& l) { l.Add(257, "").Seal(); }), LogState::damaged, LogFault::emptyText, 55, 6,
       55, 2},
      {"no seal at all", PlainLog{}.Add(257, "250"), LogState::damaged, LogFault::noChecksum, 8, 2, 0, 0},
      {"only a cut seal", PlainLog{}.Add(257, "250").AddWithLength(gsmlog::kChecksumCode, 8, "00"), LogState::damaged,
       LogFault::noChecksum, 15, 3, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = c.log.Bytes();
    const gsmlog::LogVerdict v = gsmlog::ReadLogVerdict(bytes.data(), bytes.size());
    EXPECT_EQ(v.state, c.state);
    EXPECT_EQ(v.fault, c.fault);
    EXPECT_EQ(v.offset, c.offset);
    EXPECT_EQ(v.record, c.record);
    EXPECT_EQ(v.sealedBytes, c.sealedBytes);
    EXPECT_EQ(v.cycles, c.cycles);
    EXPECT_EQ(v.totalBytes, bytes.size());
    // The report builder's own pass comes to the same verdict.
    const gsmlog::LogReport report = gsmlog::BuildLogReportFromData(bytes.data(), bytes.size(), "x.log");
    EXPECT_EQ(report.verdict.state, c.state);
    EXPECT_EQ(report.verdict.fault, c.fault);
    EXPECT_EQ(report.verdict.offset, c.offset);
    EXPECT_EQ(report.verdict.sealedBytes, c.sealedBytes);
  }
}

TEST(Verdict, Texts) {
  gsmlog::LogVerdict v;
  v.state = LogState::damaged;
  v.fault = LogFault::checksumMismatch;
  v.offset = 921;
  v.record = 37;
  v.sealedBytes = 900;
  v.totalBytes = 5000;
  v.cycles = 3;
  EXPECT_EQ(gsmlog::VerdictText(v), "damaged at offset 921 (record 37): checksum mismatch");
  v.state = LogState::cut;
  EXPECT_EQ(gsmlog::VerdictText(v), "cut short at offset 921 (record 37)");
  v.state = LogState::whole;
  EXPECT_EQ(gsmlog::VerdictText(v), "whole");
  EXPECT_EQ(gsmlog::VerdictMessage("x.log", v), "");
}

}  // namespace
