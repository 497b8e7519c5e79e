#include "log/xor_lanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define GSMLOG_AVX2_KERNELS 1
#endif

namespace gsmlog {

std::uint8_t XorDecodeRun(std::uint8_t key, std::uint32_t count, const std::uint8_t* raw, std::uint8_t* plain,
                          std::size_t n) {
  TXorState state{key, count};
  for (std::size_t i = 0; i < n; ++i) {
    plain[i] = static_cast<std::uint8_t>(raw[i] ^ state.Key);
    detail::XorAdvance(state, plain[i]);
  }
  return state.Key;
}

#if defined(__SSE2__)

namespace {

constexpr std::size_t kVectorLanes = 16;

// rows[i] byte j becomes rows[j] byte i.
inline void Transpose16(__m128i (&r)[16]) {
  __m128i t[16];
  for (int i = 0; i < 8; ++i) {
    t[i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
    t[i + 8] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
  }
  for (int i = 0; i < 4; ++i) {
    r[i] = _mm_unpacklo_epi16(t[2 * i], t[2 * i + 1]);
    r[i + 4] = _mm_unpackhi_epi16(t[2 * i], t[2 * i + 1]);
    r[i + 8] = _mm_unpacklo_epi16(t[8 + 2 * i], t[8 + 2 * i + 1]);
    r[i + 12] = _mm_unpackhi_epi16(t[8 + 2 * i], t[8 + 2 * i + 1]);
  }
  for (int g = 0; g < 4; ++g) {
    for (int i = 0; i < 2; ++i) {
      t[g * 4 + 2 * i] = _mm_unpacklo_epi32(r[g * 4 + 2 * i], r[g * 4 + 2 * i + 1]);
      t[g * 4 + 2 * i + 1] = _mm_unpackhi_epi32(r[g * 4 + 2 * i], r[g * 4 + 2 * i + 1]);
    }
  }
  for (int g = 0; g < 4; ++g) {
    for (int h = 0; h < 2; ++h) {
      r[4 * g + 2 * h] = _mm_unpacklo_epi64(t[g * 4 + h], t[g * 4 + 2 + h]);
      r[4 * g + 2 * h + 1] = _mm_unpackhi_epi64(t[g * 4 + h], t[g * 4 + 2 + h]);
    }
  }
}

// Sixteen lanes of laneBytes each, starting at raw, from guessKey; the first `steps` bytes of each
// lane (a multiple of 16). Returns the sixteen keys after them in keys.
void DecodeSixteenLanes(const std::uint8_t* raw, std::uint8_t* plain, std::uint32_t count, std::size_t laneBytes,
                        std::size_t steps, std::uint8_t guessKey, std::uint8_t (&keys)[kVectorLanes]) {
  alignas(16) std::uint8_t counts[kVectorLanes];
  for (std::size_t j = 0; j < kVectorLanes; ++j) counts[j] = static_cast<std::uint8_t>(count + j * laneBytes);
  __m128i key = _mm_set1_epi8(static_cast<char>(guessKey));
  __m128i cnt = _mm_load_si128(reinterpret_cast<const __m128i*>(counts));
  const __m128i one = _mm_set1_epi8(1);
  const __m128i zero = _mm_setzero_si128();
  __m128i rows[16];
  for (std::size_t t = 0; t < steps; t += 16) {
    for (std::size_t j = 0; j < kVectorLanes; ++j) {
      rows[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + j * laneBytes + t));
    }
    Transpose16(rows);
    for (auto& row : rows) {
      const __m128i p = _mm_xor_si128(row, key);
      const __m128i sum = _mm_add_epi8(_mm_add_epi8(key, cnt), p);
      // A rotation left by one: the sum doubled, plus one where its top bit was set.
      key = _mm_sub_epi8(_mm_add_epi8(sum, sum), _mm_cmpgt_epi8(zero, sum));
      cnt = _mm_add_epi8(cnt, one);
      row = p;
    }
    Transpose16(rows);
    for (std::size_t j = 0; j < kVectorLanes; ++j) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(plain + j * laneBytes + t), rows[j]);
    }
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(keys), key);
}

#if defined(GSMLOG_AVX2_KERNELS)

// The same network on both 128-bit halves at once.
__attribute__((target("avx2"))) inline void Transpose16x2(__m256i (&r)[16]) {
  __m256i t[16];
  for (int i = 0; i < 8; ++i) {
    t[i] = _mm256_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
    t[i + 8] = _mm256_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
  }
  for (int i = 0; i < 4; ++i) {
    r[i] = _mm256_unpacklo_epi16(t[2 * i], t[2 * i + 1]);
    r[i + 4] = _mm256_unpackhi_epi16(t[2 * i], t[2 * i + 1]);
    r[i + 8] = _mm256_unpacklo_epi16(t[8 + 2 * i], t[8 + 2 * i + 1]);
    r[i + 12] = _mm256_unpackhi_epi16(t[8 + 2 * i], t[8 + 2 * i + 1]);
  }
  for (int g = 0; g < 4; ++g) {
    for (int i = 0; i < 2; ++i) {
      t[g * 4 + 2 * i] = _mm256_unpacklo_epi32(r[g * 4 + 2 * i], r[g * 4 + 2 * i + 1]);
      t[g * 4 + 2 * i + 1] = _mm256_unpackhi_epi32(r[g * 4 + 2 * i], r[g * 4 + 2 * i + 1]);
    }
  }
  for (int g = 0; g < 4; ++g) {
    for (int h = 0; h < 2; ++h) {
      r[4 * g + 2 * h] = _mm256_unpacklo_epi64(t[g * 4 + h], t[g * 4 + 2 + h]);
      r[4 * g + 2 * h + 1] = _mm256_unpackhi_epi64(t[g * 4 + h], t[g * 4 + 2 + h]);
    }
  }
}

// Thirty-two lanes: lane j in the low half of row j, lane j + 16 in its high half.
__attribute__((target("avx2"))) void DecodeThirtyTwoLanes(const std::uint8_t* raw, std::uint8_t* plain,
                                                          std::uint32_t count, std::size_t laneBytes, std::size_t steps,
                                                          std::uint8_t guessKey,
                                                          std::uint8_t (&keys)[2 * kVectorLanes]) {
  alignas(32) std::uint8_t counts[2 * kVectorLanes];
  for (std::size_t j = 0; j < 2 * kVectorLanes; ++j) counts[j] = static_cast<std::uint8_t>(count + j * laneBytes);
  __m256i key = _mm256_set1_epi8(static_cast<char>(guessKey));
  __m256i cnt = _mm256_load_si256(reinterpret_cast<const __m256i*>(counts));
  const __m256i one = _mm256_set1_epi8(1);
  const __m256i zero = _mm256_setzero_si256();
  const std::size_t half = kVectorLanes * laneBytes;
  __m256i rows[16];
  for (std::size_t t = 0; t < steps; t += 16) {
    for (std::size_t j = 0; j < kVectorLanes; ++j) {
      const std::uint8_t* at = raw + j * laneBytes + t;
      rows[j] = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + half)), 1);
    }
    Transpose16x2(rows);
    for (auto& row : rows) {
      const __m256i p = _mm256_xor_si256(row, key);
      const __m256i sum = _mm256_add_epi8(_mm256_add_epi8(key, cnt), p);
      key = _mm256_sub_epi8(_mm256_add_epi8(sum, sum), _mm256_cmpgt_epi8(zero, sum));
      cnt = _mm256_add_epi8(cnt, one);
      row = p;
    }
    Transpose16x2(rows);
    for (std::size_t j = 0; j < kVectorLanes; ++j) {
      std::uint8_t* at = plain + j * laneBytes + t;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm256_castsi256_si128(rows[j]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(at + half), _mm256_extracti128_si256(rows[j], 1));
    }
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(keys), key);
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}

#endif

}  // namespace

#endif

void XorDecodeLanes(const std::uint8_t* raw, std::uint8_t* plain, std::size_t n, std::uint32_t count,
                    std::size_t laneBytes, std::uint8_t guessKey, std::uint8_t* keysAfter) {
  if (n == 0) return;
  if (laneBytes == 0 || laneBytes > n) laneBytes = n;
  const std::size_t lanes = (n + laneBytes - 1) / laneBytes;
  const std::size_t fullLanes = n / laneBytes;
  std::size_t lane = 0;
#if defined(__SSE2__)
  const std::size_t steps = laneBytes & ~std::size_t{15};
#if defined(GSMLOG_AVX2_KERNELS)
  for (; steps > 0 && HaveAvx2() && lane + 2 * kVectorLanes <= fullLanes; lane += 2 * kVectorLanes) {
    const std::size_t at = lane * laneBytes;
    std::uint8_t keys[2 * kVectorLanes];
    DecodeThirtyTwoLanes(raw + at, plain + at, static_cast<std::uint32_t>(count + at), laneBytes, steps, guessKey,
                         keys);
    for (std::size_t j = 0; j < 2 * kVectorLanes; ++j) {
      const std::size_t from = at + j * laneBytes + steps;
      keysAfter[lane + j] =
          XorDecodeRun(keys[j], static_cast<std::uint32_t>(count + from), raw + from, plain + from, laneBytes - steps);
    }
  }
#endif
  for (; steps > 0 && lane + kVectorLanes <= fullLanes; lane += kVectorLanes) {
    const std::size_t at = lane * laneBytes;
    std::uint8_t keys[kVectorLanes];
    DecodeSixteenLanes(raw + at, plain + at, static_cast<std::uint32_t>(count + at), laneBytes, steps, guessKey, keys);
    for (std::size_t j = 0; j < kVectorLanes; ++j) {
      const std::size_t from = at + j * laneBytes + steps;
      keysAfter[lane + j] =
          XorDecodeRun(keys[j], static_cast<std::uint32_t>(count + from), raw + from, plain + from, laneBytes - steps);
    }
  }
#endif
  for (; lane < lanes; ++lane) {
    const std::size_t at = lane * laneBytes;
    const std::size_t size = lane + 1 < lanes ? laneBytes : n - at;
    keysAfter[lane] = XorDecodeRun(guessKey, static_cast<std::uint32_t>(count + at), raw + at, plain + at, size);
  }
}

}  // namespace gsmlog
