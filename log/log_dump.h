#pragma once
// A listing of every record of a log file, for inspecting files by hand: offset, code, the code's
// meaning and the text, with each checksum record marked as matching or not.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_reader.h"
#include "log/log_record.h"
#include "platform/system_error.h"

namespace gsmlog {

using DumpRecord = LogRecord;

struct LogDump {
  bool ok = false;                      // false: the file could not be read; see error
  std::string error;                    // the Russian message when !ok
  platform::SystemError cause;          // why, when the system said
  std::vector<DumpRecord> records;      // only from the functions that keep them
  std::size_t recordCount = 0;          // records listed
  ReadStop stop = ReadStop::endOfData;  // why reading ended (none: the sink ended it)
  std::size_t stopOffset = 0;           // offset of the record reading ended in
  bool valid = false;  // what the report builder would accept: a whole checksum record matched, none mismatched
  LogVerdict verdict;  // whole, cut short or damaged, and the cycles before
};

// Takes each record as it is listed; false ends the listing there.
using DumpSink = std::function<bool(const DumpRecord&)>;

// The records of data, kept in records; listing goes on past a mismatching checksum record.
LogDump DumpLogData(const std::uint8_t* data, std::size_t size);

// The records of the named file (a path's bytes, opened as they are), each handed to sink as soon as it
// is read and none kept: a file of any size is listed in constant memory. Only a regular file is
// read; anything else gets the "cannot open" message.
LogDump DumpLogFile(const std::string& fileName, const DumpSink& sink);

// The same, keeping every record in records (for small files and tests).
LogDump DumpLogFile(const std::string& fileName);

// A short English meaning of a record code, such as "serving.rxlevel_dbm" or "summary.date"
// (RecordCodeName of record_codes.h).
std::string LogCodeMeaning(std::int32_t code);

// A short English phrase for a stop reason, such as "end of data".
std::string_view ReadStopText(ReadStop stop);

// One listing line (no line end; the text stays Windows-1251):
// "     21  12814  checksum              DEADBEEF  [mismatch, expected 643EC572]".
std::string FormatDumpLine(const DumpRecord& record);

// The closing line: where and why reading ended, the records and cycles read, and the verdict:
// "end at offset 1495: record cut short before its text; 151 records; 3 cycles; file cut short at
// offset 1495 (record 152)".
std::string FormatDumpEnd(const LogDump& dump);

}  // namespace gsmlog
