#pragma once
// The byte scrambler of a log file: one state runs over the whole file from its first byte. The
// next key depends on the plain byte, so the true keys follow from the file's start; decoding
// from a wrong key still falls onto them after a few bytes (xor_lanes.h).

#include <cstddef>
#include <cstdint>

namespace gsmlog {

// The key every file starts with. Files already written depend on it: never change it.
inline constexpr std::uint8_t kXorInitialKey = 0xA7;

struct TXorState {
  std::uint8_t Key = kXorInitialKey;
  std::uint32_t Count = 0;  // bytes processed; only the low 8 bits enter the arithmetic
};

void XorInit(TXorState& state);

namespace detail {
inline void XorAdvance(TXorState& state, std::uint8_t plain) {
  const auto sum = static_cast<std::uint8_t>(state.Key + (state.Count & 0xFFu) + plain);
  state.Key = static_cast<std::uint8_t>((sum << 1) | (sum >> 7));
  ++state.Count;
}
}  // namespace detail

// Scrambles one plain byte in place.
inline void XorEncodeByte(TXorState& state, std::uint8_t& byte) {
  const std::uint8_t plain = byte;
  byte = static_cast<std::uint8_t>(plain ^ state.Key);
  detail::XorAdvance(state, plain);
}

// Unscrambles one scrambled byte in place.
inline void XorDecodeByte(TXorState& state, std::uint8_t& byte) {
  byte = static_cast<std::uint8_t>(byte ^ state.Key);
  detail::XorAdvance(state, byte);
}

// XorEncodeByte over n bytes in order.
void XorEncodeBlock(TXorState& state, std::uint8_t* bytes, std::size_t n);

}  // namespace gsmlog
