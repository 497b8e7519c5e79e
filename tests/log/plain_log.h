#pragma once
// Builds log file bytes from plain records, including records no writer would produce (long,
// empty, with control bytes, with a wrong checksum), for reader and report tests.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "log/crc.h"
#include "log/log_record.h"
#include "log/xor_crypt.h"

namespace logtest {

class PlainLog {
 public:
  // A record with the text's length as its length byte (mod 256).
  PlainLog& Add(std::int32_t code, std::string_view text) {
    return AddWithLength(code, static_cast<std::uint8_t>(text.size()), text);
  }
  PlainLog& AddWithLength(std::int32_t code, std::uint8_t length, std::string_view text) {
    const auto u = static_cast<std::uint32_t>(code);
    for (int i = 0; i < 4; ++i) Raw(static_cast<std::uint8_t>(u >> (8 * i)));
    Raw(length);
    for (char c : text) Raw(static_cast<std::uint8_t>(c));
    return *this;
  }
  // A checksum record that matches: the sum of every plain byte so far.
  PlainLog& Seal() { return Add(gsmlog::kChecksumCode, gsmlog::FormatChecksum(crc_.Sum)); }
  PlainLog& Raw(std::uint8_t b) {
    plain_.push_back(b);
    gsmlog::CrcAddByte(crc_, b);
    return *this;
  }
  std::uint32_t Sum() const { return crc_.Sum; }
  const std::vector<std::uint8_t>& Plain() const { return plain_; }

  // The file bytes: the plain stream scrambled from the first byte.
  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out = plain_;
    gsmlog::TXorState state;
    gsmlog::XorInit(state);
    if (!out.empty()) gsmlog::XorEncodeBlock(state, out.data(), out.size());
    return out;
  }

 private:
  std::vector<std::uint8_t> plain_;
  gsmlog::TCrcState crc_;
};

// A log shaped like a monitor run: per cycle the serving cell's values and six neighbours, a
// checksum record after each cycle; now and then a long text, high bytes or a code nobody shows.
inline PlainLog SurveyLog(int cycles, unsigned seed) {
  std::mt19937 rng(seed);
  const auto number = [&](int from, int to) {
    return std::to_string(from + static_cast<int>(rng() % static_cast<unsigned>(to - from + 1)));
  };
  PlainLog log;
  log.Seal();
  for (int cycle = 0; cycle < cycles; ++cycle) {
    log.Add(257, "250").Add(258, number(1, 99)).Add(259, number(1, 65535)).Add(386, number(1, 65535));
    log.Add(385, number(0, 7) + "." + number(0, 7));
    for (int cell = 0; cell < 7; ++cell) {
      const std::int32_t base = 1024 * (cell + 1);
      log.Add(base + 388, number(1, 1023)).Add(base + 265, rng() % 2 ? "900" : "1800");
      log.Add(base + 387, number(-110, -47)).Add(base + 385, number(0, 7) + "." + number(0, 7));
      log.Add(base + 386, number(1, 65535));
    }
    log.Add(390, number(0, 9) + "," + number(0, 99));
    if (rng() % 5 == 0) log.Add(257, std::string("\xD0\xEE\xF1\xF1\xE8\xFF"));
    if (rng() % 7 == 0)
      log.Add(static_cast<std::int32_t>(rng() % 20000),
              std::string(1 + rng() % 128, static_cast<char>('A' + rng() % 26)));
    log.Seal();
  }
  return log;
}

}  // namespace logtest
