#include "log/crc.h"

namespace gsmlog {

void CrcInit(TCrcState& state) { state = TCrcState{}; }

void CrcAddBlock(TCrcState& state, const std::uint8_t* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) CrcAddByte(state, bytes[i]);
}

}  // namespace gsmlog
