#include "log/log_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plain_log.h"

namespace {

using gsmlog::ReadStop;

TEST(Crc, KnownAnswers) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::uint32_t sum;
    std::uint32_t pos;
  };
  const Case cases[] = {
      {{0x61, 0x62, 0x63}, 0x248002B1u, 3},                                // "abc"
      {{0x01, 0x01, 0x00, 0x00, 0x03, 0x32, 0x35, 0x30}, 0x490E2BB3u, 8},  // record 257 / "250"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    gsmlog::TCrcState state;
    gsmlog::CrcInit(state);
    gsmlog::CrcAddBlock(state, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(state.Sum, c.sum);
    EXPECT_EQ(state.Pos, c.pos);
  }
}

TEST(Crc, PositionWrapsAfter24BytesAndFirstShiftIs24) {
  gsmlog::TCrcState state;
  gsmlog::CrcAddByte(state, 1);
  EXPECT_EQ(state.Sum, (1u << 24) + 1u);
  for (int i = 1; i < 24; ++i) gsmlog::CrcAddByte(state, 0);
  EXPECT_EQ(state.Pos, 0u);
  // The 24th byte was shifted by 1; check it directly from a state at position 23.
  gsmlog::TCrcState at23{0, 23};
  gsmlog::CrcAddByte(at23, 1);
  EXPECT_EQ(at23.Sum, (1u << 1) + (1u << 23));
  EXPECT_EQ(at23.Pos, 0u);
}

TEST(Record, EncodesThePlainLayoutThenScrambles) {
  gsmlog::TCrcState crc;
  gsmlog::TXorState xorState;
  std::uint8_t out[gsmlog::kMaxLogRecord];
  ASSERT_EQ(gsmlog::EncodeLogRecord(crc, xorState, 257, "250", out), 8u);
  EXPECT_EQ(crc.Sum, 0x490E2BB3u);
  EXPECT_EQ(crc.Pos, 8u);
  EXPECT_EQ(out[0], 0x01 ^ gsmlog::kXorInitialKey);
  gsmlog::TXorState decoder;
  for (auto& b : out) {
    if (&b - out == 8) break;
    gsmlog::XorDecodeByte(decoder, b);
  }
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 8), (std::vector<std::uint8_t>{1, 1, 0, 0, 3, 0x32, 0x35, 0x30}));
}

TEST(Xor, DecodeInvertsEncodeAcrossRecords) {
  gsmlog::TCrcState crc;
  gsmlog::TXorState enc;
  std::vector<std::uint8_t> file;
  const std::vector<std::pair<std::int32_t, std::string>> records = {
      {257, "250"}, {1411, "-75"}, {-1, std::string(128, '\xFF')}, {12814, "00000000"}, {7555, " "}};
  for (const auto& [code, text] : records) {
    std::uint8_t out[gsmlog::kMaxLogRecord];
    const std::size_t n = gsmlog::EncodeLogRecord(crc, enc, code, text, out);
    file.insert(file.end(), out, out + n);
  }
  gsmlog::TLogReader reader;
  gsmlog::InitLogReader(reader, file.data(), file.size());
  for (const auto& [code, text] : records) {
    std::int32_t gotCode;
    std::string gotText;
    ASSERT_TRUE(gsmlog::ReadLogRecord(reader, gotCode, gotText));
    EXPECT_EQ(gotCode, code);
    EXPECT_EQ(gotText, text);
  }
  EXPECT_EQ(reader.Crc.Sum, crc.Sum);
  EXPECT_EQ(reader.Xor.Count, enc.Count);

  // Every byte value, every key position: scrambling a byte run and unscrambling it is exact.
  std::vector<std::uint8_t> all(600);
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  std::vector<std::uint8_t> copy = all;
  gsmlog::TXorState a, b;
  gsmlog::XorEncodeBlock(a, copy.data(), copy.size());
  for (auto& byte : copy) gsmlog::XorDecodeByte(b, byte);
  EXPECT_EQ(copy, all);
}

TEST(Record, ChecksumTextIsEightUpperCaseDigits) {
  EXPECT_EQ(gsmlog::FormatChecksum(0x1A2F), "00001A2F");
  EXPECT_EQ(gsmlog::FormatChecksum(0xFFFFFFFFu), "FFFFFFFF");
  EXPECT_EQ(gsmlog::FormatChecksum(0), "00000000");
}

TEST(Record, ReaderStopsWhereTheFormatSays) {
  struct Case {
    const char* name;
    logtest::PlainLog log;
    int recordsRead;
    ReadStop stop;
  };
  const std::string text128(128, 'x');
  const std::string text129(129, 'x');
  const Case cases[] = {
      {"empty file", logtest::PlainLog{}, 0, ReadStop::endOfData},
      {"code cut", logtest::PlainLog{}.Add(257, "1").Raw(1).Raw(1), 1, ReadStop::codeCut},
      {"128-byte text", logtest::PlainLog{}.Add(257, text128), 1, ReadStop::endOfData},
      {"129-byte text", logtest::PlainLog{}.AddWithLength(257, 129, text129), 0, ReadStop::lengthTooLarge},
      {"0x1F byte", logtest::PlainLog{}.Add(257, "a\x1F"), 0, ReadStop::controlByte},
      {"0x20 and high bytes", logtest::PlainLog{}.Add(257, " \x80\xC0\xFF"), 1, ReadStop::endOfData},
      {"zero length", logtest::PlainLog{}.Add(258, "").Add(257, "1"), 0, ReadStop::emptyText},
      {"length without text", logtest::PlainLog{}.Add(257, "1").AddWithLength(258, 3, ""), 1, ReadStop::textMissing},
      {"code without length", logtest::PlainLog{}.Add(257, "1").Raw(1).Raw(1).Raw(0).Raw(0), 1, ReadStop::textMissing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = c.log.Bytes();
    gsmlog::TLogReader reader;
    gsmlog::InitLogReader(reader, bytes.data(), bytes.size());
    std::int32_t code;
    std::string text;
    int read = 0;
    ReadStop stop = ReadStop::none;
    while (gsmlog::ReadLogRecord(reader, code, text, &stop)) ++read;
    EXPECT_EQ(read, c.recordsRead);
    EXPECT_EQ(stop, c.stop);
    EXPECT_LE(reader.Pos, bytes.size());
  }
}

TEST(Record, CutTextIsReturnedAndChecksumTextSetEvenWhenCut) {
  logtest::PlainLog log;
  log.Add(257, "250");
  const std::uint32_t sumBefore = log.Sum();
  log.AddWithLength(gsmlog::kChecksumCode, 8, "ABC");
  const auto bytes = log.Bytes();
  gsmlog::TLogReader reader;
  gsmlog::InitLogReader(reader, bytes.data(), bytes.size());
  std::int32_t code;
  std::string text;
  ReadStop stop = ReadStop::textCut;
  ASSERT_TRUE(gsmlog::ReadLogRecord(reader, code, text, &stop));
  EXPECT_EQ(stop, ReadStop::none);
  EXPECT_FALSE(gsmlog::ChecksumSeen(reader));
  ASSERT_TRUE(gsmlog::ReadLogRecord(reader, code, text, &stop));
  EXPECT_EQ(text, "ABC");
  EXPECT_EQ(stop, ReadStop::textCut);
  EXPECT_EQ(reader.ExpectedChecksum, gsmlog::FormatChecksum(sumBefore));
  EXPECT_FALSE(gsmlog::ReadLogRecord(reader, code, text, &stop));
  EXPECT_EQ(stop, ReadStop::endOfData);
}

}  // namespace
