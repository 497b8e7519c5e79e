// The fast report scan against the serial reader: the checksum in affine and block form, the
// lanes decoded from a guessed key and repaired, and whole reports on sound, cut and damaged logs
// in every reading geometry.

#include "log/report_scan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "log/crc.h"
#include "log/crc_blocks.h"
#include "log/log_viewer.h"
#include "log/xor_lanes.h"
#include "plain_log.h"
#include "temp_dir.h"

namespace {

using logtest::PlainLog;

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

TEST(CrcAffine, OneMultiplyAddPerRunFromEveryPosition) {
  std::mt19937 rng(11);
  for (std::uint32_t pos = 0; pos < 24; ++pos) {
    SCOPED_TRACE(pos);
    for (const std::size_t n : {0u, 1u, 23u, 24u, 25u, 97u}) {
      const auto bytes = RandomBytes(n, static_cast<unsigned>(pos * 131 + n));
      const std::uint32_t start = static_cast<std::uint32_t>(rng());
      gsmlog::TCrcState serial{start, pos};
      for (const std::uint8_t b : bytes) {
        const std::uint32_t expected = serial.Sum * gsmlog::CrcStepMul(serial.Pos) + b * gsmlog::CrcStepAdd(serial.Pos);
        gsmlog::CrcAddByte(serial, b);
        ASSERT_EQ(serial.Sum, expected);
      }
      EXPECT_EQ(gsmlog::CrcApply(gsmlog::CrcAffineOfBlock(pos, bytes.data(), n), start), serial.Sum);
      // Two runs compose into the map of both.
      const std::size_t cut = n / 3;
      const auto first = gsmlog::CrcAffineOfBlock(pos, bytes.data(), cut);
      const auto second =
          gsmlog::CrcAffineOfBlock(static_cast<std::uint32_t>((pos + cut) % 24), bytes.data() + cut, n - cut);
      EXPECT_EQ(gsmlog::CrcApply(gsmlog::CrcCompose(first, second), start), serial.Sum);
    }
  }
}

TEST(CrcBlocks, SumAfterEveryByteOfABlockMatchesTheSerialChecksum) {
  const auto bytes = RandomBytes(3 * gsmlog::kCrcBlock, 5);
  std::uint32_t dots[3];
  gsmlog::CrcBlockDots(bytes.data(), 3, dots);
  gsmlog::TCrcState serial{0x9E3779B9u, 0};
  std::uint32_t blockStart = serial.Sum;
  for (std::size_t k = 0; k < 3; ++k) {
    const std::uint8_t* block = bytes.data() + k * gsmlog::kCrcBlock;
    EXPECT_EQ(dots[k], gsmlog::CrcBlockDot(block, gsmlog::kCrcBlock));
    for (std::size_t r = 0; r <= gsmlog::kCrcBlock; ++r) {
      SCOPED_TRACE(k * gsmlog::kCrcBlock + r);
      ASSERT_EQ(gsmlog::CrcBlockSum(blockStart, gsmlog::CrcBlockDot(block, r), r), serial.Sum);
      if (r < gsmlog::kCrcBlock) gsmlog::CrcAddByte(serial, block[r]);
    }
    blockStart = gsmlog::CrcBlockSum(blockStart, dots[k], gsmlog::kCrcBlock);
  }
  // A changed byte moves the dot by the change times its weight.
  auto changed = bytes;
  changed[40] ^= 0xA5;
  const auto change = static_cast<std::uint32_t>(changed[40] - bytes[40]);
  EXPECT_EQ(gsmlog::CrcBlockDot(changed.data(), gsmlog::kCrcBlock), dots[0] + change * gsmlog::CrcBlockWeight(40));
}

// Lanes from a guess, each repaired from the true key at its start, in order.
std::vector<std::uint8_t> DecodeInLanes(const std::vector<std::uint8_t>& raw, std::uint8_t trueKey, std::uint32_t count,
                                        std::size_t laneBytes, std::uint8_t guess, std::uint8_t* keyAfter = nullptr) {
  std::vector<std::uint8_t> plain(raw.size());
  std::vector<std::uint8_t> keys(raw.size() / laneBytes + 1);
  gsmlog::XorDecodeLanes(raw.data(), plain.data(), raw.size(), count, laneBytes, guess, keys.data());
  std::uint8_t key = trueKey;
  for (std::size_t lane = 0, at = 0; at < raw.size(); ++lane, at += laneBytes) {
    const std::size_t n = std::min(laneBytes, raw.size() - at);
    key = gsmlog::XorRepairRun(key, static_cast<std::uint32_t>(count + at), raw.data() + at, plain.data() + at, n,
                               keys[lane], [](std::size_t, std::uint8_t, std::uint8_t) {});
  }
  if (keyAfter) *keyAfter = key;
  return plain;
}

TEST(XorLanes, LanesFromAGuessRepairedGiveTheSerialDecoding) {
  const auto logBytes = logtest::SurveyLog(40, 3).Bytes();
  struct Input {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  const Input inputs[] = {
      {"log", logBytes},
      {"random", RandomBytes(20000, 9)},
      {"zeros", std::vector<std::uint8_t>(5000, 0)},
      {"0xFF", std::vector<std::uint8_t>(5000, 0xFF)},
  };
  // Lane sizes that reach the scalar lanes, the 16-lane and the 32-lane vectors and their tails.
  const std::size_t laneSizes[] = {1, 5, 16, 17, 100, 150, 320, 12336};
  for (const auto& input : inputs) {
    for (const std::size_t lane : laneSizes) {
      for (const std::uint32_t count : {0u, 251u, 0xFFFFFFF0u}) {
        for (const std::uint8_t guess : {std::uint8_t{0x00}, std::uint8_t{0xA7}, std::uint8_t{0x5C}}) {
          SCOPED_TRACE(std::string(input.name) + " lane " + std::to_string(lane) + " count " + std::to_string(count) +
                       " guess " + std::to_string(guess));
          std::vector<std::uint8_t> serial(input.bytes.size());
          const std::uint8_t serialKey =
              gsmlog::XorDecodeRun(0x3C, count, input.bytes.data(), serial.data(), serial.size());
          std::uint8_t key = 0;
          ASSERT_EQ(DecodeInLanes(input.bytes, 0x3C, count, lane, guess, &key), serial);
          EXPECT_EQ(key, serialKey);
        }
      }
    }
  }
}

TEST(XorLanes, ARunThatNeverAgreesWithTheGuessIsDecodedWhole) {
  // Bytes chosen so that the keys from the true start and from the guess never meet. Keys that
  // differ only in their top bit meet at the next byte whatever it is, so the low bits must differ.
  const std::uint8_t trueKey = 0xA7;
  const std::uint8_t guess = 0x00;
  const auto next = [](std::uint8_t key, std::uint32_t count, std::uint8_t raw) {
    gsmlog::TXorState state{key, count};
    std::uint8_t b = raw;
    gsmlog::XorDecodeByte(state, b);
    return state.Key;
  };
  std::vector<std::uint8_t> raw;
  std::uint8_t t = trueKey;
  std::uint8_t g = guess;
  for (std::uint32_t i = 0; i < 3000; ++i) {
    int chosen = -1;
    for (int x = 0; x < 256 && chosen < 0; ++x) {
      const auto byte = static_cast<std::uint8_t>(static_cast<std::uint32_t>(x) + i);
      if (((next(t, i, byte) ^ next(g, i, byte)) & 0x7F) != 0) chosen = byte;
    }
    ASSERT_GE(chosen, 0) << i;
    raw.push_back(static_cast<std::uint8_t>(chosen));
    t = next(t, i, raw.back());
    g = next(g, i, raw.back());
  }
  std::vector<std::uint8_t> plain(raw.size());
  std::uint8_t keyAfter = 0;
  gsmlog::XorDecodeLanes(raw.data(), plain.data(), raw.size(), 0, raw.size(), guess, &keyAfter);
  std::size_t repaired = 0;
  const std::uint8_t key = gsmlog::XorRepairRun(trueKey, 0, raw.data(), plain.data(), raw.size(), keyAfter,
                                                [&](std::size_t, std::uint8_t, std::uint8_t) { ++repaired; });
  std::vector<std::uint8_t> serial(raw.size());
  EXPECT_EQ(key, gsmlog::XorDecodeRun(trueKey, 0, raw.data(), serial.data(), raw.size()));
  EXPECT_EQ(plain, serial);
  EXPECT_EQ(repaired, raw.size());
}

// Geometries that put segment, lane and chunk edges everywhere in a small file, on one to three
// threads, and the default.
std::vector<gsmlog::ScanOptions> Geometries() {
  std::vector<gsmlog::ScanOptions> all(6);
  all[1].segmentBytes = 96;
  all[1].laneBytes = 1;
  all[2].segmentBytes = 192;
  all[2].laneBytes = 7;
  all[2].threads = 2;
  all[3].segmentBytes = 960;
  all[3].laneBytes = 16;
  all[3].threads = 3;
  all[3].guessKey = 0xA7;
  all[4].segmentBytes = 96 * 40;
  all[4].laneBytes = 112;
  all[4].threads = 2;
  all[4].guessKey = 0x81;
  all[5].segmentBytes = 200;  // rounded up to 288
  all[5].threads = 1;
  return all;
}

void ExpectSameReport(const gsmlog::LogReport& report, const gsmlog::LogReport& serial) {
  EXPECT_EQ(report.ok, serial.ok);
  EXPECT_EQ(report.text, serial.text);
  EXPECT_EQ(report.error, serial.error);
}

TEST(ReportScan, SameReportAsTheSerialReaderOnSoundCutAndDamagedLogs) {
  const auto sound = logtest::SurveyLog(25, 1).Bytes();
  std::vector<std::vector<std::uint8_t>> files = {sound};
  for (std::size_t size = 0; size < sound.size(); size += 13)
    files.emplace_back(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(size));
  for (std::size_t pos = 0; pos < sound.size(); pos += 29) {
    for (const std::uint8_t flip : {std::uint8_t{0x01}, std::uint8_t{0x40}, std::uint8_t{0xFF}}) {
      files.push_back(sound);
      files.back()[pos] ^= flip;
    }
  }
  const auto geometries = Geometries();
  int ok = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& bytes = files[i];
    const auto serial = gsmlog::BuildLogReportSerial(bytes.data(), bytes.size(), "x.log");
    ok += serial.ok;
    for (std::size_t g = 0; g < geometries.size(); ++g) {
      SCOPED_TRACE("file " + std::to_string(i) + " geometry " + std::to_string(g));
      ExpectSameReport(gsmlog::BuildLogReportFromData(bytes.data(), bytes.size(), "x.log", geometries[g]), serial);
    }
  }
  // Both outcomes occur: cuts after a seal read fine, most flips damage the file.
  EXPECT_GT(ok, 0);
  EXPECT_LT(ok, static_cast<int>(files.size()));
}

class ReportScanFile : public ::testing::Test {
 protected:
  std::string Write(const std::vector<std::uint8_t>& bytes) {
    const std::string path = dir_.File("scan.log");
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  logtest::TempDir dir_;
};

TEST_F(ReportScanFile, LargeFilesOnTwoCoresGiveTheSerialReport) {
  // Several default segments, so that both threads take turns, sound and damaged in a late segment.
  std::vector<std::uint8_t> sound = logtest::SurveyLog(6000, 2).Bytes();
  ASSERT_GT(sound.size(), 5 * gsmlog::ScanOptions{}.segmentBytes);
  auto flipped = sound;
  flipped[flipped.size() * 4 / 5] ^= 0x10;
  std::vector<std::uint8_t> cut(sound.begin(), sound.end() - 1000);
  auto lengthTooLarge = sound;
  lengthTooLarge[lengthTooLarge.size() / 2] ^= 0x80;
  for (std::vector<std::uint8_t>* bytes : {&sound, &flipped, &cut, &lengthTooLarge}) {
    const auto serial = gsmlog::BuildLogReportSerial(bytes->data(), bytes->size(), "x.log");
    const std::string path = Write(*bytes);
    const auto expected = gsmlog::BuildLogReportSerial(bytes->data(), bytes->size(), path);
    ExpectSameReport(gsmlog::BuildLogReportFromData(bytes->data(), bytes->size(), "x.log"), serial);
    ExpectSameReport(gsmlog::BuildLogReport(path), expected);
    ExpectSameReport(gsmlog::BuildLogReportChunked(path, 4093), expected);
    gsmlog::ScanOptions three;
    three.threads = 3;
    ExpectSameReport(gsmlog::BuildLogReportWith(path, three), expected);
  }
  EXPECT_TRUE(gsmlog::BuildLogReportSerial(sound.data(), sound.size(), "x.log").ok);
}

TEST_F(ReportScanFile, SmallGeometriesThroughTheFileReader) {
  std::vector<std::uint8_t> sound = logtest::SurveyLog(12, 4).Bytes();
  auto damaged = sound;
  damaged[damaged.size() / 3] ^= 0x02;
  for (std::vector<std::uint8_t>* bytes : {&sound, &damaged}) {
    const std::string path = Write(*bytes);
    const auto expected = gsmlog::BuildLogReportSerial(bytes->data(), bytes->size(), path);
    for (auto options : Geometries()) {
      for (const std::size_t chunk : {1u, 61u, 1u << 20}) {
        SCOPED_TRACE(std::to_string(options.segmentBytes) + " chunk " + std::to_string(chunk));
        options.readChunk = chunk;
        ExpectSameReport(gsmlog::BuildLogReportWith(path, options), expected);
      }
    }
  }
}

// A file that opens but fails to read: the kernel refuses to read this process's memory at 0.
TEST(ReportScanRead, AReadErrorIsReported) {
  const auto report = gsmlog::BuildLogReport("/proc/self/mem");
  EXPECT_FALSE(report.ok);
  EXPECT_EQ(report.error, gsmlog::ReadFailedMessage("/proc/self/mem"));
}

}  // namespace
