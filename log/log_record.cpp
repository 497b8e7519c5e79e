#include "log/log_record.h"

namespace gsmlog {

std::string FormatChecksum(std::uint32_t sum) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, sum >>= 4) text[static_cast<std::size_t>(i)] = kDigits[sum & 0xFu];
  return text;
}

std::size_t EncodeLogRecord(TCrcState& crc, TXorState& xorState, std::int32_t code, std::string_view text,
                            std::uint8_t (&out)[kMaxLogRecord]) {
  const std::size_t n = text.size() < kMaxLogText ? text.size() : kMaxLogText;
  const auto ucode = static_cast<std::uint32_t>(code);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(ucode >> (8 * i));
  out[4] = static_cast<std::uint8_t>(n);
  for (std::size_t i = 0; i < n; ++i) out[5 + i] = static_cast<std::uint8_t>(text[i]);
  CrcAddBlock(crc, out, 5 + n);
  XorEncodeBlock(xorState, out, 5 + n);
  return 5 + n;
}

void InitLogReader(TLogReader& reader, const std::uint8_t* data, std::size_t size) {
  reader.Data = data;
  reader.Size = size;
  reader.Pos = 0;
  CrcInit(reader.Crc);
  XorInit(reader.Xor);
  reader.ExpectedChecksum = "(n/a)";
}

bool ReadLogRecord(TLogReader& reader, std::int32_t& code, std::string& text, ReadStop* stop) {
  ReadStop reason = ReadStop::none;
  const std::uint32_t sumBefore = reader.Crc.Sum;
  text.clear();
  code = 0;

  std::uint32_t ucode = 0;
  for (int i = 0; i < 4; ++i) {
    std::uint8_t b;
    if (!ReadLogByte(reader, b)) {
      reason = i == 0 ? ReadStop::endOfData : ReadStop::codeCut;
      if (stop) *stop = reason;
      return false;
    }
    ucode |= static_cast<std::uint32_t>(b) << (8 * i);
  }
  code = static_cast<std::int32_t>(ucode);

  std::uint8_t length;
  ReadLogByte(reader, length);
  if (length > kMaxLogText) {
    if (stop) *stop = ReadStop::lengthTooLarge;
    return false;
  }

  // The text is the hot loop of a report build: keep the states in locals and write into a
  // buffer the string already owns.
  text.resize(length);
  std::size_t got = 0;
  {
    TXorState xorState = reader.Xor;
    TCrcState crc = reader.Crc;
    const std::size_t available = reader.Size - reader.Pos;
    const std::size_t want = length < available ? length : available;
    const std::uint8_t* src = reader.Data + reader.Pos;
    while (got < want) {
      std::uint8_t b = src[got];
      XorDecodeByte(xorState, b);
      CrcAddByte(crc, b);
      ++got;
      if (b < 0x20) {
        reason = ReadStop::controlByte;
        break;
      }
      text[got - 1] = static_cast<char>(b);
    }
    reader.Xor = xorState;
    reader.Crc = crc;
    reader.Pos += got;
  }
  if (reason == ReadStop::controlByte) {
    text.clear();
    if (stop) *stop = reason;
    return false;
  }
  text.resize(got);

  if (code == lcChecksum) reader.ExpectedChecksum = FormatChecksum(sumBefore);
  if (text.empty()) {
    if (stop) *stop = ReadStop::emptyText;
    return false;
  }
  if (stop) *stop = ReadStop::none;
  return true;
}

}  // namespace gsmlog
