#include "log/crc_blocks.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define GSMLOG_AVX2_KERNELS 1
#endif

namespace gsmlog {

namespace {

std::uint32_t ScalarDot(const std::uint8_t* bytes, std::size_t from, std::size_t to) {
  std::uint32_t dot = 0;
  for (std::size_t i = from; i < to; ++i) dot += bytes[i] * CrcBlockWeight(i);
  return dot;
}

#if defined(__SSE2__)

// The weights cut into 16-bit halves for the signed 16-bit multiply-add: w = lo + 2^16 * hi. lo
// taken as signed is short by 2^16 when its top bit is set; that shortfall is carried into hi,
// and hi's own sign does not matter, as its products are shifted by 16 (modulo 2^32).
struct SplitWeights {
  alignas(32) std::int16_t lo[kCrcBlock];
  alignas(32) std::int16_t hi[kCrcBlock];
};

constexpr SplitWeights MakeSplitWeights() {
  SplitWeights s{};
  for (std::size_t i = 0; i < kCrcBlock; ++i) {
    const std::uint32_t w = CrcBlockWeight(i);
    const std::uint32_t lo = w & 0xFFFFu;
    const std::uint32_t hi = ((w >> 16) + (lo >> 15)) & 0xFFFFu;
    s.lo[i] = static_cast<std::int16_t>(static_cast<std::int32_t>(lo) - (lo >= 0x8000u ? 0x10000 : 0));
    s.hi[i] = static_cast<std::int16_t>(static_cast<std::int32_t>(hi) - (hi >= 0x8000u ? 0x10000 : 0));
  }
  return s;
}

alignas(32) constexpr SplitWeights kSplit = MakeSplitWeights();

inline std::uint32_t HorizontalSum(__m128i lo, __m128i hi) {
  __m128i v = _mm_add_epi32(lo, _mm_slli_epi32(hi, 16));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

// The 16 bytes at bytes + i (i a multiple of 16), added into the two accumulators.
inline void Accumulate16(const std::uint8_t* bytes, std::size_t i, __m128i& lo, __m128i& hi) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
  const __m128i b0 = _mm_unpacklo_epi8(b, zero);
  const __m128i b1 = _mm_unpackhi_epi8(b, zero);
  const auto* wlo = reinterpret_cast<const __m128i*>(kSplit.lo + i);
  const auto* whi = reinterpret_cast<const __m128i*>(kSplit.hi + i);
  lo = _mm_add_epi32(
      lo, _mm_add_epi32(_mm_madd_epi16(b0, _mm_load_si128(wlo)), _mm_madd_epi16(b1, _mm_load_si128(wlo + 1))));
  hi = _mm_add_epi32(
      hi, _mm_add_epi32(_mm_madd_epi16(b0, _mm_load_si128(whi)), _mm_madd_epi16(b1, _mm_load_si128(whi + 1))));
}

#if defined(GSMLOG_AVX2_KERNELS)

// Sixteen bytes a step, widened to 16-bit words in place, against the same split weights.
__attribute__((target("avx2"))) void BlockDotsAvx2(const std::uint8_t* bytes, std::size_t blocks, std::uint32_t* dots) {
  for (std::size_t k = 0; k < blocks; ++k, bytes += kCrcBlock) {
    __m256i lo = _mm256_setzero_si256();
    __m256i hi = _mm256_setzero_si256();
    for (std::size_t i = 0; i < kCrcBlock; i += 16) {
      const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)));
      lo = _mm256_add_epi32(lo,
                            _mm256_madd_epi16(b, _mm256_load_si256(reinterpret_cast<const __m256i*>(kSplit.lo + i))));
      hi = _mm256_add_epi32(hi,
                            _mm256_madd_epi16(b, _mm256_load_si256(reinterpret_cast<const __m256i*>(kSplit.hi + i))));
    }
    const __m256i v = _mm256_add_epi32(lo, _mm256_slli_epi32(hi, 16));
    dots[k] =
        HorizontalSum(_mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)), _mm_setzero_si128());
  }
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

#endif

#endif

}  // namespace

std::uint32_t CrcBlockDot(const std::uint8_t* bytes, std::size_t n) {
#if defined(__SSE2__)
  __m128i lo = _mm_setzero_si128();
  __m128i hi = _mm_setzero_si128();
  const std::size_t whole = n & ~std::size_t{15};
  for (std::size_t i = 0; i < whole; i += 16) Accumulate16(bytes, i, lo, hi);
  return HorizontalSum(lo, hi) + ScalarDot(bytes, whole, n);
#else
  return ScalarDot(bytes, 0, n);
#endif
}

void CrcBlockDots(const std::uint8_t* bytes, std::size_t blocks, std::uint32_t* dots) {
#if defined(GSMLOG_AVX2_KERNELS)
  if (HaveAvx2()) {
    BlockDotsAvx2(bytes, blocks, dots);
    return;
  }
#endif
  for (std::size_t k = 0; k < blocks; ++k, bytes += kCrcBlock) {
#if defined(__SSE2__)
    __m128i lo = _mm_setzero_si128();
    __m128i hi = _mm_setzero_si128();
    for (std::size_t i = 0; i < kCrcBlock; i += 16) Accumulate16(bytes, i, lo, hi);
    dots[k] = HorizontalSum(lo, hi);
#else
    dots[k] = ScalarDot(bytes, 0, kCrcBlock);
#endif
  }
}

}  // namespace gsmlog
