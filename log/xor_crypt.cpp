#include "log/xor_crypt.h"

namespace gsmlog {

void XorInit(TXorState& state) { state = TXorState{}; }

void XorEncodeBlock(TXorState& state, std::uint8_t* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) XorEncodeByte(state, bytes[i]);
}

}  // namespace gsmlog
