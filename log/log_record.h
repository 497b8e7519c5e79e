#pragma once
// The log record: code (int32, little-endian), length n (1..128), n text bytes (0x20 and above,
// Windows-1251). Records are checksummed and scrambled as one stream from the file's first byte;
// a checksum record (code 12814, 8 upper-case hex digits) seals everything before it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "log/crc.h"
#include "log/xor_crypt.h"

namespace gsmlog {

// Codes of the run summary and the checksum record.
inline constexpr std::int32_t kSummaryDateCode = 12803;
inline constexpr std::int32_t kSummaryStartCode = 12804;
inline constexpr std::int32_t kSummaryEndCode = 12805;
inline constexpr std::int32_t kRxLevelMaxCode = 12806;
inline constexpr std::int32_t kRxLevelMinCode = 12807;
inline constexpr std::int32_t kRxLevelAverageCode = 12808;
inline constexpr std::int32_t kBitErrorMaxCode = 12809;
inline constexpr std::int32_t kBitErrorMinCode = 12810;
inline constexpr std::int32_t kBitErrorAverageCode = 12811;
inline constexpr std::int32_t kBand900ShareCode = 12812;
inline constexpr std::int32_t kBand1800ShareCode = 12813;
inline constexpr std::int32_t kChecksumCode = 12814;  // 0x320E

// Records of a poll cycle beyond the values: written just before the cycle's seal.
inline constexpr std::int32_t kCycleTimeCode = 20481;  // 0x5001: local time, ISO 8601 with milliseconds and UTC offset
inline constexpr std::int32_t kCyclePositionCode = 20482;  // 0x5002: the GPS fix, when fresh
// 0x5003: an event of the run (a cell change, the level crossing its threshold, the connection's
// start and end), with its own time; history/cell_events.h forms and reads the text.
inline constexpr std::int32_t kCycleEventCode = 20483;
// 0x5004: a cell of another technology than GSM (WCDMA, LTE, NR), whose values no field code
// carries; radio/cell_text.h forms and reads the text.
inline constexpr std::int32_t kCycleCellCode = 20484;
// A log collected from a site's messages: 0x5005, the publishing run's session (with the first
// cycle), and 0x5006, each cycle's number in that run (before its seal), so that a cycle
// delivered again is found in the log.
inline constexpr std::int32_t kRunSessionCode = 20485;
inline constexpr std::int32_t kRunCycleNumberCode = 20486;

// Serving-cell values that the run summary only folds into statistics also go out as they
// arrive, under 16384 + field code (the field table's logCycleValue: quality 389, bit-error rate
// 390, distance 391).
inline constexpr std::int32_t kCycleValueBase = 16384;

inline constexpr std::size_t kMaxLogText = 128;
inline constexpr std::size_t kMaxLogRecord = 5 + kMaxLogText;

// Cell-indexed record code of field f for cell index i (0 serving, 1..6 neighbours).
constexpr std::int32_t CellRecordCode(int fieldCode, int cellIndex) { return fieldCode + 1024 * (cellIndex + 1); }

// The checksum text: 8 upper-case hexadecimal digits, zero-filled.
std::string FormatChecksum(std::uint32_t sum);

// Encodes one record: lays out the plain bytes, runs the checksum and then the scrambler over
// them, and leaves the 5 + n scrambled bytes in out. text must be 1..128 bytes (the caller's
// duty); returns the record length.
std::size_t EncodeLogRecord(TCrcState& crc, TXorState& xorState, std::int32_t code, std::string_view text,
                            std::uint8_t (&out)[kMaxLogRecord]);

// The reading context of one pass over a file's bytes (not owned).
struct TLogReader {
  const std::uint8_t* Data = nullptr;
  std::size_t Size = 0;
  std::size_t Pos = 0;
  TCrcState Crc;
  TXorState Xor;
  std::string ExpectedChecksum = "(n/a)";
};

// A reader at the start of data.
void InitLogReader(TLogReader& reader, const std::uint8_t* data, std::size_t size);

// True once a checksum record has been read.
inline bool ChecksumSeen(const TLogReader& reader) { return reader.ExpectedChecksum != "(n/a)"; }

// The next plain byte; false (and b = 0) at the end of the data.
inline bool ReadLogByte(TLogReader& reader, std::uint8_t& b) {
  if (reader.Pos >= reader.Size) {
    b = 0;
    return false;
  }
  b = reader.Data[reader.Pos++];
  XorDecodeByte(reader.Xor, b);
  CrcAddByte(reader.Crc, b);
  return true;
}

// Why ReadLogRecord stopped (false result); with a true result none, or textCut for a record
// whose text the end of the data cut short. emptyText is a length of 0; textMissing a record the
// end of the data cut before its first text byte (or before its length).
enum class ReadStop { none, endOfData, codeCut, lengthTooLarge, controlByte, emptyText, textCut, textMissing };

// Whether the end of the data, not a byte present, stopped reading: the file was cut short there.
constexpr bool StopIsCut(ReadStop stop) {
  return stop == ReadStop::endOfData || stop == ReadStop::codeCut || stop == ReadStop::textMissing;
}

// The next record; false when reading must stop (end of data, a cut code, a length above 128,
// a text byte below 0x20, an empty text). A text cut by the end of the data is returned with the
// bytes present (stop: textCut). A checksum record sets ExpectedChecksum to the sum before its
// first byte.
bool ReadLogRecord(TLogReader& reader, std::int32_t& code, std::string& text, ReadStop* stop = nullptr);

}  // namespace gsmlog
