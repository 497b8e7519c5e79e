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

namespace {

// One plain byte from the local states: the body of ReadLogByte without the bounds check.
inline std::uint8_t Step(TXorState& xorState, TCrcState& crc, std::uint8_t b) {
  XorDecodeByte(xorState, b);
  CrcAddByte(crc, b);
  return b;
}

}  // namespace

bool ReadLogRecord(TLogReader& reader, std::int32_t& code, std::string& text, ReadStop* stop) {
  const std::uint32_t sumBefore = reader.Crc.Sum;
  text.clear();
  code = 0;
  auto stopWith = [stop](ReadStop reason) {
    if (stop) *stop = reason;
    return false;
  };

  // This is the hot loop of a report build: the states live in locals, the header is decoded
  // without per-byte bounds checks when it is all there, and the text goes into a buffer the
  // string already owns.
  TXorState xorState = reader.Xor;
  TCrcState crc = reader.Crc;
  const std::uint8_t* src = reader.Data + reader.Pos;
  const std::size_t available = reader.Size - reader.Pos;
  std::size_t used = 0;
  std::uint32_t ucode = 0;
  std::uint8_t length = 0;
  if (available >= 5) {
    for (int i = 0; i < 4; ++i) ucode |= static_cast<std::uint32_t>(Step(xorState, crc, src[i])) << (8 * i);
    length = Step(xorState, crc, src[4]);
    used = 5;
  } else {
    for (; used < available; ++used) {
      const std::uint8_t b = Step(xorState, crc, src[used]);
      if (used < 4)
        ucode |= static_cast<std::uint32_t>(b) << (8 * used);
      else
        length = b;
    }
  }
  const auto commit = [&] {
    reader.Xor = xorState;
    reader.Crc = crc;
    reader.Pos += used;
  };
  if (used < 4) {
    commit();
    return stopWith(used == 0 ? ReadStop::endOfData : ReadStop::codeCut);
  }
  code = static_cast<std::int32_t>(ucode);
  if (length > kMaxLogText) {
    commit();
    return stopWith(ReadStop::lengthTooLarge);
  }

  const std::size_t want = length < available - used ? length : available - used;
  if (want == 0) {
    // No text: a length of 0, or the end of the data before the length or the first text byte.
    commit();
    if (code == kChecksumCode) reader.ExpectedChecksum = FormatChecksum(sumBefore);
    return stopWith(length > 0 || used < 5 ? ReadStop::textMissing : ReadStop::emptyText);
  }
  text.resize(want);
  char* out = text.data();
  for (std::size_t i = 0; i < want; ++i) {
    const std::uint8_t b = Step(xorState, crc, src[used++]);
    if (b < 0x20) {
      commit();
      text.clear();
      return stopWith(ReadStop::controlByte);
    }
    out[i] = static_cast<char>(b);
  }
  commit();

  if (code == kChecksumCode) reader.ExpectedChecksum = FormatChecksum(sumBefore);
  if (stop) *stop = want < length ? ReadStop::textCut : ReadStop::none;
  return true;
}

}  // namespace gsmlog
