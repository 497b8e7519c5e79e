#pragma once
// Unscrambling a run in lanes side by side. Each key is a lossy function of the previous key and
// the byte, so a run decoded from a wrong key falls back onto the true keys after a few bytes:
// every lane can start from a guessed key, and once the true key at its start is known only its
// first bytes need decoding again.

#include <cstddef>
#include <cstdint>

#include "log/xor_crypt.h"

namespace gsmlog {

// Unscrambles n bytes from key; count is the Count of the first byte. Returns the key after them.
std::uint8_t XorDecodeRun(std::uint8_t key, std::uint32_t count, const std::uint8_t* raw, std::uint8_t* plain,
                          std::size_t n);

// Unscrambles n bytes cut into lanes of laneBytes (the last one shorter), each from guessKey;
// count is the Count of raw[0]. keysAfter[i] receives lane i's key after its last byte (it has
// room for one entry per lane). plain must not overlap raw.
void XorDecodeLanes(const std::uint8_t* raw, std::uint8_t* plain, std::size_t n, std::uint32_t count,
                    std::size_t laneBytes, std::uint8_t guessKey, std::uint8_t* keysAfter);

// Makes a run decoded from a guessed key exact, given the true key at its start: decodes again
// until the true key equals the one the guess had reached there (the guess's key at byte i is
// raw[i] ^ plain[i]), after which the two agree for good. If they never agree the whole run is
// decoded again, as a serial reader would. onRepair(i, oldByte, newByte) is told of every byte
// changed. Returns the true key after the run; guessKeyAfter is the guess's key after it.
template <class OnRepair>
std::uint8_t XorRepairRun(std::uint8_t key, std::uint32_t count, const std::uint8_t* raw, std::uint8_t* plain,
                          std::size_t n, std::uint8_t guessKeyAfter, OnRepair&& onRepair) {
  TXorState state{key, count};
  for (std::size_t i = 0; i < n; ++i) {
    if (static_cast<std::uint8_t>(raw[i] ^ plain[i]) == state.Key) return guessKeyAfter;
    const auto p = static_cast<std::uint8_t>(raw[i] ^ state.Key);
    onRepair(i, plain[i], p);
    plain[i] = p;
    detail::XorAdvance(state, p);
  }
  return state.Key;
}

}  // namespace gsmlog
