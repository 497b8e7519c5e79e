#pragma once
// The running checksum of a log file: one state runs over every plain byte of the file, from its
// first byte, across record boundaries.

#include <cstddef>
#include <cstdint>

namespace gsmlog {

struct TCrcState {
  std::uint32_t Sum = 0;
  std::uint32_t Pos = 0;  // bit position, always 0..23
};

void CrcInit(TCrcState& state);

// One checksum step over the byte b; all arithmetic modulo 2^32.
inline void CrcAddByte(TCrcState& state, std::uint8_t b) {
  const std::uint32_t p = state.Pos;
  const std::uint32_t t1 = (b + state.Sum) << (24 - p);
  const std::uint32_t t2 = static_cast<std::uint32_t>(b) << p;
  state.Pos = p + 1 == 24 ? 0 : p + 1;
  state.Sum += t1 + t2;
}

// CrcAddByte over n bytes in order.
void CrcAddBlock(TCrcState& state, const std::uint8_t* bytes, std::size_t n);

}  // namespace gsmlog
