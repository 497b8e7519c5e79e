#pragma once
// The one rule that judges a log from the records read: whole, cut short, or damaged at a named
// byte, with the cycles that came before. Every reader of a log (the report, the listing, the
// cycle reader and with it the export and the history) feeds its records through a VerdictKeeper,
// so they all give the same verdict and the same number of cycles on the same bytes.
//
// The rule: a seal whose text differs from the checksum is damage at that seal, and so is a byte
// that stops reading while more of the file follows (a length above 128, a text byte below 0x20, a
// length of 0). A file that ends inside a record (a seal included) or after records that no seal
// covers is cut short: the cycles up to its last matching seal are whole. A file with no matching
// seal is damaged. A cycle is the run of records up to a matching seal holding at least one
// measured value of a cycle (record_codes.h).

#include <cstdint>
#include <string>
#include <string_view>

#include "log/log_record.h"
#include "log/record_codes.h"

namespace gsmlog {

// cut: a checksum record whose text the end of the file cut short; it verifies nothing.
enum class ChecksumCheck { notChecksum, match, mismatch, cut };

enum class LogState : std::uint8_t { whole, cut, damaged };

enum class LogFault : std::uint8_t { none, checksumMismatch, noChecksum, lengthTooLarge, controlByte, emptyText };

struct LogVerdict {
  LogState state = LogState::damaged;
  LogFault fault = LogFault::noChecksum;  // damaged: why
  std::uint64_t offset = 0;               // where: the record at fault, the record cut short; whole: the size
  std::uint64_t record = 0;               // that record's number, from 1 (0 when records were not counted)
  std::uint64_t sealedBytes = 0;          // bytes up to the end of the last matching seal before it
  std::uint64_t totalBytes = 0;           // the bytes of the file
  long cycles = 0;                        // whole cycles before it
  bool counted = true;                    // record and cycles counted (the report builder counts neither)
  bool reportable = false;                // a seal matched and none mismatched: the report shows what was read

  // All of the file was read: whole, or cut short at its end.
  bool ReadToEnd() const { return state != LogState::damaged; }
};

class VerdictKeeper {
 public:
  // counting false: not every record is fed (the report builder), so neither records nor
  // cycles are counted; seals and the record reading stopped at must still come.
  explicit VerdictKeeper(bool counting = true) : counting_(counting) {}

  // A record ReadLogRecord returned, from offset to end; stop is none or textCut; expected the
  // reader's ExpectedChecksum after it. Gives the record's checksum check.
  // Inline for the ordinary record, which every reader reads millions of.
  ChecksumCheck Record(std::uint64_t offset, std::uint64_t end, std::int32_t code, std::string_view text, ReadStop stop,
                       std::string_view expected) {
    if (counting_) {
      ++records_;
      if (!mismatch_ && IsCycleRecord(code)) cycleOpen_ = true;
    }
    if (code != kChecksumCode && stop == ReadStop::none) return ChecksumCheck::notChecksum;
    return Unusual(offset, end, code, text, stop, expected);
  }

  // ReadLogRecord returned false for the record at offset.
  void Stop(std::uint64_t offset, ReadStop stop);

  // Records read so far (counting only).
  std::uint64_t Records() const { return records_; }
  long Cycles() const { return cycles_; }

  // The verdict once reading has stopped, for a file of totalBytes.
  LogVerdict Finish(std::uint64_t totalBytes) const;

 private:
  // A seal, or a record whose text the end of the data cut.
  ChecksumCheck Unusual(std::uint64_t offset, std::uint64_t end, std::int32_t code, std::string_view text,
                        ReadStop stop, std::string_view expected);

  bool counting_;
  std::uint64_t records_ = 0;
  long cycles_ = 0;
  bool cycleOpen_ = false;  // a measured value since the last matching seal
  bool matched_ = false;
  std::uint64_t sealedEnd_ = 0;
  std::uint64_t recordsAtSeal_ = 0;
  bool mismatch_ = false;
  std::uint64_t mismatchOffset_ = 0;
  std::uint64_t mismatchRecord_ = 0;
  bool textCut_ = false;
  std::uint64_t textCutOffset_ = 0;
  std::uint64_t textCutRecord_ = 0;
  ReadStop stop_ = ReadStop::none;
  std::uint64_t stopOffset_ = 0;
};

// The verdict in English, for the listing: "whole", "cut short at offset 1477 (record 58)",
// "damaged at offset 921 (record 37): checksum mismatch".
std::string VerdictText(const LogVerdict& verdict);

// What a reader tells the user of a log not read whole (Windows-1251; empty for a whole one):
// "Файл протокола X поврежден: ..." or "Файл протокола X оборван ...", where and how much was read.
std::string VerdictMessage(const std::string& fileName, const LogVerdict& verdict);

}  // namespace gsmlog
