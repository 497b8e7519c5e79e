#include "log/log_dump.h"

#include <cstdio>
#include <utility>

#include "log/log_viewer.h"
#include "log/record_codes.h"

namespace gsmlog {

namespace {

LogDump DumpOf(LogRead&& read) {
  LogDump dump;
  dump.ok = read.ok;
  dump.error = std::move(read.error);
  dump.cause = read.cause;
  dump.recordCount = static_cast<std::size_t>(read.records);
  dump.stop = read.stop;
  dump.stopOffset = static_cast<std::size_t>(read.stopOffset);
  dump.valid = read.ok && read.verdict.reportable;
  dump.verdict = read.verdict;
  return dump;
}

}  // namespace

LogDump DumpLogData(const std::uint8_t* data, std::size_t size) {
  std::vector<DumpRecord> records;
  LogDump dump = DumpOf(ReadLogRecords(data, size, [&records](const DumpRecord& record) {
    records.push_back(record);
    return true;
  }));
  // Bytes in memory are always listed, an empty input as no record.
  dump.ok = true;
  dump.records = std::move(records);
  return dump;
}

LogDump DumpLogFile(const std::string& fileName, const DumpSink& sink) {
  return DumpOf(ReadLogRecords(fileName, sink));
}

LogDump DumpLogFile(const std::string& fileName) {
  std::vector<DumpRecord> records;
  LogDump dump = DumpLogFile(fileName, [&records](const DumpRecord& record) {
    records.push_back(record);
    return true;
  });
  dump.records = std::move(records);
  return dump;
}

std::string LogCodeMeaning(std::int32_t code) { return RecordCodeName(code); }

std::string_view ReadStopText(ReadStop stop) {
  switch (stop) {
    case ReadStop::none:
      return "none";
    case ReadStop::endOfData:
      return "end of data";
    case ReadStop::codeCut:
      return "code cut short";
    case ReadStop::lengthTooLarge:
      return "length above 128";
    case ReadStop::controlByte:
      return "text byte below 0x20";
    case ReadStop::emptyText:
      return "empty text";
    case ReadStop::textCut:
      return "text cut short";
    case ReadStop::textMissing:
      return "record cut short before its text";
  }
  return "unknown";
}

std::string FormatDumpLine(const DumpRecord& record) {
  char head[64];
  std::snprintf(head, sizeof head, "%8zu  %6d  ", record.offset, static_cast<int>(record.code));
  std::string line = head;
  std::string meaning = LogCodeMeaning(record.code);
  meaning.resize(meaning.size() < 22 ? 22 : meaning.size(), ' ');
  line += meaning;
  line += "  ";
  line += record.text;
  if (record.check == ChecksumCheck::match) line += "  [match]";
  if (record.check == ChecksumCheck::mismatch) line += "  [mismatch, expected " + record.expected + "]";
  if (record.check == ChecksumCheck::cut) line += "  [cut short, verifies nothing]";
  return line;
}

std::string FormatDumpEnd(const LogDump& dump) {
  return "end at offset " + std::to_string(dump.stopOffset) + ": " + std::string(ReadStopText(dump.stop)) + "; " +
         std::to_string(dump.recordCount) + " records; " + std::to_string(dump.verdict.cycles) + " cycles; file " +
         VerdictText(dump.verdict);
}

}  // namespace gsmlog
