#pragma once
// Fuzz harness of the log reader, the report builder and the record listing: the input is a whole
// log file. The report must be the serial reader's, byte for byte: from memory, in a reading
// geometry small enough that segment, lane and thread edges fall inside the input, and read back
// from a memory file in small chunks.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "log/log_dump.h"
#include "log/log_record.h"
#include "log/log_viewer.h"
#include "log/report_scan.h"

namespace fuzzing {

inline constexpr int kReportLines = 41;

// Exactly 41 lines, each ended by CR LF, and no other CR or LF.
inline void CheckReportLayout(const std::string& text) {
  int lines = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') FUZZ_CHECK(false);
    if (text[i] != '\r') continue;
    FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n');
    ++lines;
    ++i;
  }
  FUZZ_CHECK(lines == kReportLines);
  FUZZ_CHECK(text.size() >= 2 && text.ends_with("\r\n"));
}

inline void CheckDump(const gsmlog::LogDump& dump, std::size_t size) {
  FUZZ_CHECK(dump.ok);
  std::size_t previous = 0;
  bool first = true;
  for (const auto& record : dump.records) {
    FUZZ_CHECK(record.offset < size);
    FUZZ_CHECK(first || record.offset > previous);
    FUZZ_CHECK(!record.text.empty() && record.text.size() <= gsmlog::kMaxLogText);
    for (const char c : record.text) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
    if (record.check != gsmlog::ChecksumCheck::notChecksum) FUZZ_CHECK(record.code == gsmlog::kChecksumCode);
    (void)gsmlog::FormatDumpLine(record);
    (void)gsmlog::LogCodeMeaning(record.code);
    previous = record.offset;
    first = false;
  }
  FUZZ_CHECK(dump.stopOffset <= size);
  (void)gsmlog::FormatDumpEnd(dump);
}

// The report of the same bytes through the file reader, chunkSize bytes at a time.
inline gsmlog::LogReport ReportThroughFile(const std::uint8_t* data, std::size_t size, std::size_t chunkSize) {
  const int fd = ::memfd_create("fuzzlog", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0);
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<std::size_t>(n);
  }
  gsmlog::LogReport report = gsmlog::BuildLogReportChunked("/proc/self/fd/" + std::to_string(fd), chunkSize);
  ::close(fd);
  return report;
}

// The same verdict; counts only where both counted (the report builder counts no records or cycles).
inline void CheckSameVerdict(const gsmlog::LogVerdict& a, const gsmlog::LogVerdict& b) {
  FUZZ_CHECK(a.state == b.state);
  FUZZ_CHECK(a.fault == b.fault);
  FUZZ_CHECK(a.offset == b.offset);
  FUZZ_CHECK(a.sealedBytes == b.sealedBytes);
  FUZZ_CHECK(a.totalBytes == b.totalBytes);
  FUZZ_CHECK(a.reportable == b.reportable);
  if (a.counted && b.counted) {
    FUZZ_CHECK(a.record == b.record);
    FUZZ_CHECK(a.cycles == b.cycles);
  }
}

inline void CheckSameReport(const gsmlog::LogReport& report, const gsmlog::LogReport& serial) {
  FUZZ_CHECK(report.ok == serial.ok);
  FUZZ_CHECK(report.text == serial.text);
  FUZZ_CHECK(report.error == serial.error);
  CheckSameVerdict(report.verdict, serial.verdict);
}

inline void RunLogReport(const std::uint8_t* data, std::size_t size) {
  const std::string name = "fuzz.log";
  const gsmlog::LogReport serial = gsmlog::BuildLogReportSerial(data, size, name);
  const gsmlog::LogReport report = gsmlog::BuildLogReportFromData(data, size, name);
  CheckSameReport(report, serial);
  if (report.ok) {
    CheckReportLayout(report.text);
    FUZZ_CHECK(report.error.empty());
  } else {
    FUZZ_CHECK(!report.error.empty());
  }

  const gsmlog::LogDump dump = gsmlog::DumpLogData(data, size);
  CheckDump(dump, size);
  FUZZ_CHECK(dump.valid == report.ok);
  if (size > 0) {
    CheckSameVerdict(dump.verdict, serial.verdict);
    FUZZ_CHECK(dump.verdict.counted && dump.verdict.cycles >= 0);
    FUZZ_CHECK(dump.verdict.reportable == report.ok);
    FUZZ_CHECK(dump.verdict.sealedBytes <= size && dump.verdict.offset <= size);
  }

  // A geometry from the input's length, so that segment and lane edges fall everywhere over a run.
  // Threads take turns per segment, so with threads the input is cut into about four segments.
  gsmlog::ScanOptions small;
  small.threads = 1 + static_cast<unsigned>(size % 3);
  small.segmentBytes = small.threads == 1 ? 96 * (1 + size % 5) : 96 * (1 + size / 384);
  small.laneBytes = 1 + size / 5 % 40;
  small.guessKey = static_cast<std::uint8_t>(size / 3);
  CheckSameReport(gsmlog::BuildLogReportFromData(data, size, name, small), serial);

  // A chunk size from the input's length, so that chunk edges fall everywhere over a run.
  const std::size_t chunkSize = 1 + size % 61;
  const gsmlog::LogReport chunked = ReportThroughFile(data, size, chunkSize);
  FUZZ_CHECK(chunked.ok == report.ok);
  if (report.ok) FUZZ_CHECK(chunked.text == report.text);
  if (size > 0) CheckSameVerdict(chunked.verdict, serial.verdict);
}

}  // namespace fuzzing
