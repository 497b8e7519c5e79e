#pragma once
// The running checksum over blocks of kCrcBlock bytes that start at Pos 0, without the serial
// chain. With F(r) the product of the step multipliers of a block's first r bytes (all odd, so
// F(r) is invertible modulo 2^32) and w(i) = CrcStepAdd(i mod 24) / F(i + 1), a block entered
// with Sum S has after r bytes
//     Sum = F(r) * (S + dot(r)),   dot(r) = sum over i < r of b(i) * w(i)   (mod 2^32),
// so the bytes enter through a dot product with fixed weights, blocks can be summed in any order
// and on any core, a changed byte changes dot by (new - old) * w(i), and the sums at the block
// starts follow from S(k + 1) = F(kCrcBlock) * (S(k) + dot of block k).

#include <cstddef>
#include <cstdint>

namespace gsmlog {

inline constexpr std::size_t kCrcBlock = 96;  // four periods of Pos

namespace detail {

struct CrcBlockTables {
  std::uint32_t weight[kCrcBlock];
  std::uint32_t prefixMul[kCrcBlock + 1];
};

constexpr std::uint32_t InverseOdd(std::uint32_t a) {
  std::uint32_t x = a;  // right to 3 bits for odd a; each step doubles the bits
  for (int i = 0; i < 5; ++i) x *= 2u - a * x;
  return x;
}

constexpr CrcBlockTables MakeCrcBlockTables() {
  CrcBlockTables t{};
  t.prefixMul[0] = 1;
  for (std::size_t i = 0; i < kCrcBlock; ++i) {
    const auto p = static_cast<std::uint32_t>(i % 24);
    t.prefixMul[i + 1] = t.prefixMul[i] * (1u + (1u << (24 - p)));
    t.weight[i] = ((1u << (24 - p)) + (1u << p)) * InverseOdd(t.prefixMul[i + 1]);
  }
  return t;
}

inline constexpr CrcBlockTables kCrcBlockTables = MakeCrcBlockTables();

}  // namespace detail

// F(kCrcBlock): the multiplier of a whole block.
inline constexpr std::uint32_t kCrcBlockMul = detail::kCrcBlockTables.prefixMul[kCrcBlock];

// w(i) for i < kCrcBlock.
constexpr std::uint32_t CrcBlockWeight(std::size_t i) { return detail::kCrcBlockTables.weight[i]; }

// Sum after r bytes (r <= kCrcBlock) of a block entered with startSum whose first r bytes give dot.
constexpr std::uint32_t CrcBlockSum(std::uint32_t startSum, std::uint32_t dot, std::size_t r) {
  return detail::kCrcBlockTables.prefixMul[r] * (startSum + dot);
}

// dot(n) of a block's first n bytes, n <= kCrcBlock.
std::uint32_t CrcBlockDot(const std::uint8_t* bytes, std::size_t n);

// dot(kCrcBlock) of each of `blocks` whole blocks laid end to end.
void CrcBlockDots(const std::uint8_t* bytes, std::size_t blocks, std::uint32_t* dots);

}  // namespace gsmlog
