#pragma once
// The one serial reader of a log file: every record in file order with its offset, number and
// checksum check, read in chunks in constant memory, and the file's verdict (log_verdict.h).
// The listing, the cycle reader (and through it the export and the history) read through it; the
// report builder (both its passes) feeds the same VerdictKeeper.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "log/log_verdict.h"
#include "platform/system_error.h"

namespace gsmlog {

struct LogRecord {
  std::uint64_t offset = 0;  // byte offset of the record's first byte in the file
  std::uint64_t number = 0;  // from 1, in file order
  std::int32_t code = 0;
  std::string text;  // Windows-1251
  ChecksumCheck check = ChecksumCheck::notChecksum;
  std::string expected;  // checksum records: the text that would match
};

// Takes each record as it is read; false ends reading there.
using LogRecordSink = std::function<bool(const LogRecord&)>;
// Told the bytes read so far and the file's size after each chunk; false ends reading.
using LogReadProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

struct LogRead {
  bool ok = false;                      // the file could be read (the verdict says how far it holds)
  std::string error;                    // the Russian message when !ok
  platform::SystemError cause;          // why, when the system said
  bool stopped = false;                 // the sink or the progress ended reading: the verdict is not final
  std::uint64_t records = 0;            // records read
  ReadStop stop = ReadStop::endOfData;  // why reading ended (none: the sink or the progress ended it)
  std::uint64_t stopOffset = 0;         // offset of the record reading ended in
  LogVerdict verdict;
};

// Reads the named file (a path's bytes, opened as they are); only a regular file is read, anything
// else gets the "cannot open" message, an empty one the "cannot read" message. Reading goes on
// past a mismatching seal (the verdict is decided there): a sink that wants no more returns false.
LogRead ReadLogRecords(const std::string& fileName, const LogRecordSink& sink, const LogReadProgress& progress = {});

// The same over bytes in memory; an empty input reads as an empty file (not ok, no message).
LogRead ReadLogRecords(const std::uint8_t* data, std::size_t size, const LogRecordSink& sink);

// Only the verdict, by the serial reader.
LogVerdict ReadLogVerdict(const std::uint8_t* data, std::size_t size);
LogRead ReadLogVerdict(const std::string& fileName);

}  // namespace gsmlog
