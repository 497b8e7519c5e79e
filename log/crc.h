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

// The step is affine in Sum: from position p, Sum' = Sum * CrcStepMul(p) + b * CrcStepAdd(p)
// (mod 2^32). A run of bytes is therefore one multiply-add on the incoming Sum, and runs compose.
constexpr std::uint32_t CrcStepMul(std::uint32_t p) { return 1u + (1u << (24 - p)); }
constexpr std::uint32_t CrcStepAdd(std::uint32_t p) { return (1u << (24 - p)) + (1u << p); }

// The checksum of a run as a map of the incoming Sum: Sum' = Sum * Mul + Add.
struct TCrcAffine {
  std::uint32_t Mul = 1;
  std::uint32_t Add = 0;
};

// The map of n bytes read from position pos.
TCrcAffine CrcAffineOfBlock(std::uint32_t pos, const std::uint8_t* bytes, std::size_t n);

// first, then second.
constexpr TCrcAffine CrcCompose(TCrcAffine first, TCrcAffine second) {
  return {first.Mul * second.Mul, first.Add * second.Mul + second.Add};
}

constexpr std::uint32_t CrcApply(TCrcAffine map, std::uint32_t sum) { return sum * map.Mul + map.Add; }

}  // namespace gsmlog
