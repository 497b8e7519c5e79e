#pragma once
// Builds log file bytes from plain records, including records no writer would produce (long,
// empty, with control bytes, with a wrong checksum), for reader and report tests.

#include <cstdint>
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

}  // namespace logtest
