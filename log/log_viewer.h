#pragma once
// The report builder: reads a log file record by record, verifies its checksum records and lays
// out the fixed 41-line report (Windows-1251, every line ending in CR LF). Showing the report or
// the error is the window's part. The file is read in chunks, without a lock: a writer appending
// and sealing at the same time only adds records after those already read. The reading itself
// is the fast scan of report_scan.h, which gives the very report the serial reader gives.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "log/log_verdict.h"
#include "platform/system_error.h"

namespace gsmlog {

struct ScanOptions;

struct LogReport {
  bool ok = false;
  std::string text;               // the report when ok
  std::string error;              // the Russian message when !ok, exactly as the user sees it
  platform::SystemError cause{};  // why the file could not be opened or read, when the system said
  // How far the file holds (log_verdict.h), once it was read. The report is shown whenever
  // verdict.reportable, even of a file damaged after a matching seal. Records and cycles are not
  // counted here (ReadLogVerdict of log_reader.h counts them).
  LogVerdict verdict{};
};

// The report of the named file. The name is a path's bytes, opened as they are; the messages
// show it as Windows-1251 text.
LogReport BuildLogReport(const std::string& fileName);

// The same, reading the file chunkSize bytes at a time (BuildLogReport uses 1 MiB).
LogReport BuildLogReportChunked(const std::string& fileName, std::size_t chunkSize);

// The same with the reading geometry given (tests and benchmarks).
LogReport BuildLogReportWith(const std::string& fileName, const ScanOptions& options);

// The report of a file's bytes already in memory; fileName only goes into messages. Reads nothing
// outside [data, data + size).
LogReport BuildLogReportFromData(const std::uint8_t* data, std::size_t size, const std::string& fileName);
LogReport BuildLogReportFromData(const std::uint8_t* data, std::size_t size, const std::string& fileName,
                                 const ScanOptions& options);

// The report as the serial reader builds it, a record at a time from the first byte: what the
// fast scan is checked against.
LogReport BuildLogReportSerial(const std::uint8_t* data, std::size_t size, const std::string& fileName);

// Appends line and "\r\n".
void AddReportLine(std::string& report, std::string_view line);

// AddReportLine of label + ": " + value.
void AddReportField(std::string& report, std::string_view label, std::string_view value);

// text filled with blanks, or cut, to exactly width bytes.
std::string PadRight(std::string_view text, std::size_t width);

// A 50-character table row: c0 in 8, then "|" and each of c1..c6 in 6.
void AddTableRow(std::string& report, std::string_view c0, std::string_view c1, std::string_view c2,
                 std::string_view c3, std::string_view c4, std::string_view c5, std::string_view c6);

// The messages of a report build, for the file name given (a path's bytes).
std::string OpenFailedMessage(const std::string& fileName);
std::string ReadFailedMessage(const std::string& fileName);
std::string DamagedMessage(const std::string& fileName);

}  // namespace gsmlog
