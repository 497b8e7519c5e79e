#pragma once
// The fast pass of the report builder over a log's bytes. The file is taken in segments; each is
// unscrambled in lanes from a guessed key, its checksum is summed in blocks (xor_lanes.h,
// crc_blocks.h) and its records are walked over the plain bytes, on two cores for a large file;
// then, segment by segment in file order, lane 0's first bytes are repaired and the walk is
// joined to the previous segment's. An ordinary record (a length of 1 to 128, every text byte
// 0x20 or above, the whole record present, a code the destination table names) only notes where
// the last value of each report field is; every other record (checksum records, anything that
// stops reading, the end of the data) goes to the sink's serial reader at its exact byte, Count,
// Key, Sum and Pos, so what is valid is decided there alone. A change to what lets the serial
// reader read a record and go on must change what counts as ordinary here.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "log/log_record.h"

namespace gsmlog {

inline constexpr std::int32_t kScanCodes = 65536;  // codes the destination table covers
inline constexpr std::uint8_t kScanSerial = 0xFF;  // destination: only the serial reader takes the record

// Reading geometry; the defaults suit large files, tests choose small ones to reach every edge.
struct ScanOptions {
  std::size_t segmentBytes = 32 * 12336;  // rounded up to a multiple of 96
  std::size_t laneBytes = 0;              // 0: a 32nd of the segment
  std::size_t readChunk = 1u << 20;       // at most this many bytes per read call
  unsigned threads = 0;                   // 0: two for large inputs when the machine has two cores
  std::uint8_t guessKey = 0;              // the key every lane starts from
};

// The receiving side: the report builder.
class ScanSink {
 public:
  virtual ~ScanSink() = default;
  // For each code in [0, kScanCodes): which report value (1..63) a record of that code sets, 0
  // for none, or kScanSerial. Records of two codes with the same number set the same value; a
  // later one replaces an earlier one. Codes outside the table go to the serial reader.
  virtual const std::uint8_t* Destinations() const = 0;
  // The text of the last ordinary record of a destination, in record order across destinations.
  virtual void StoreValue(std::int32_t code, std::string_view text) = 0;
  // Reads the record at pos of the scrambled bytes [raw, raw + size) from the given states, as
  // the serial reader does; pos moves past it, fileOffset is where it starts in the file. False
  // once reading has stopped for good.
  virtual bool ReadSerially(const std::uint8_t* raw, std::size_t size, std::size_t& pos, const TXorState& xorState,
                            const TCrcState& crc, std::uint64_t fileOffset) = 0;
};

enum class ScanResult { done, readFailed };

// Scans bytes in memory; an empty input is readFailed.
ScanResult ScanLogData(const std::uint8_t* data, std::size_t size, ScanSink& sink, const ScanOptions& options);

// Scans an open file to its end (regular files by position, others in order); sizeHint is its
// size when known. An empty file or a read error is readFailed.
ScanResult ScanLogFile(int fd, bool regular, std::size_t sizeHint, ScanSink& sink, const ScanOptions& options);

}  // namespace gsmlog
