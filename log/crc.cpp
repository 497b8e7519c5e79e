#include "log/crc.h"

namespace gsmlog {

void CrcInit(TCrcState& state) { state = TCrcState{}; }

void CrcAddBlock(TCrcState& state, const std::uint8_t* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) CrcAddByte(state, bytes[i]);
}

TCrcAffine CrcAffineOfBlock(std::uint32_t pos, const std::uint8_t* bytes, std::size_t n) {
  TCrcAffine map;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t mul = CrcStepMul(pos);
    map.Mul *= mul;
    map.Add = map.Add * mul + bytes[i] * CrcStepAdd(pos);
    pos = pos + 1 == 24 ? 0 : pos + 1;
  }
  return map;
}

}  // namespace gsmlog
