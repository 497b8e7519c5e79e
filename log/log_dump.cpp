#include "log/log_dump.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "log/log_viewer.h"
#include "parser/field_table.h"
#include "platform/read_only_file.h"

namespace gsmlog {

namespace {

// Lists records from buffers that hold the file piece by piece.
class DumpScanner {
 public:
  DumpScanner(LogDump& dump, const DumpSink& sink) : dump_(dump), sink_(sink) { InitLogReader(reader_, nullptr, 0); }

  // Lists the records of data, whose first byte is at offset base of the file. Unless atEnd, a
  // record is read only while a whole one fits in what is left. The bytes used; Done() tells
  // whether the listing has ended.
  std::size_t Scan(const std::uint8_t* data, std::size_t size, std::size_t base, bool atEnd) {
    reader_.Data = data;
    reader_.Size = size;
    reader_.Pos = 0;
    while (!done_ && (atEnd || size - reader_.Pos >= kMaxLogRecord)) {
      record_.offset = base + reader_.Pos;
      ReadStop stop = ReadStop::none;
      if (!ReadLogRecord(reader_, record_.code, record_.text, &stop)) {
        dump_.stop = stop;
        dump_.stopOffset = record_.offset;
        done_ = true;
        break;
      }
      record_.check = ChecksumCheck::notChecksum;
      record_.expected.clear();
      if (record_.code == kChecksumCode) {
        record_.expected = reader_.ExpectedChecksum;
        const bool match = record_.text == record_.expected;
        // A checksum record cut by the end of the file verifies nothing either way.
        record_.check = stop == ReadStop::textCut ? ChecksumCheck::cut
                        : match                   ? ChecksumCheck::match
                                                  : ChecksumCheck::mismatch;
        mismatch_ = mismatch_ || record_.check == ChecksumCheck::mismatch;
        verified_ = verified_ || record_.check == ChecksumCheck::match;
      }
      ++dump_.recordCount;
      if (!sink_(record_)) {
        dump_.stop = ReadStop::none;
        dump_.stopOffset = base + reader_.Pos;
        done_ = true;
      }
    }
    return reader_.Pos;
  }

  bool Done() const { return done_; }

  void Finish() {
    dump_.ok = true;
    dump_.valid = !mismatch_ && verified_;
  }

 private:
  LogDump& dump_;
  const DumpSink& sink_;
  TLogReader reader_;
  DumpRecord record_;
  bool mismatch_ = false;
  bool verified_ = false;
  bool done_ = false;
};

}  // namespace

LogDump DumpLogData(const std::uint8_t* data, std::size_t size) {
  LogDump dump;
  const DumpSink keep = [&dump](const DumpRecord& record) {
    dump.records.push_back(record);
    return true;
  };
  DumpScanner scanner(dump, keep);
  scanner.Scan(data, size, 0, true);
  scanner.Finish();
  return dump;
}

LogDump DumpLogFile(const std::string& fileName, const DumpSink& sink) {
  LogDump dump;
  const platform::ReadOnlyFile file(fileName);
  if (file.IsFolder()) {
    dump.error = ReadFailedMessage(fileName);
    dump.cause = file.Error();
    return dump;
  }
  if (file.Fd() < 0) {
    dump.error = OpenFailedMessage(fileName);
    dump.cause = file.Error();
    return dump;
  }
  // One chunk and room for a whole record behind it, as the report builder reads.
  constexpr std::size_t kChunk = 1u << 20;
  constexpr std::size_t kCapacity = kChunk + kMaxLogRecord;
  const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kCapacity]);
  DumpScanner scanner(dump, sink);
  std::size_t held = 0;
  std::size_t base = 0;
  for (;;) {
    const ssize_t got = ::read(file.Fd(), buffer.get() + held, kCapacity - held);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || (got == 0 && base + held == 0)) {
      if (got < 0) dump.cause = platform::DecodeSystemError(errno);
      dump.error = ReadFailedMessage(fileName);
      return dump;
    }
    const bool atEnd = got == 0;
    held += static_cast<std::size_t>(got);
    const std::size_t used = scanner.Scan(buffer.get(), held, base, atEnd);
    if (scanner.Done() || atEnd) break;
    std::memmove(buffer.get(), buffer.get() + used, held - used);
    held -= used;
    base += used;
  }
  scanner.Finish();
  return dump;
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

std::string LogCodeMeaning(std::int32_t code) {
  switch (code) {
    case kSummaryDateCode:
      return "summary.date";
    case kSummaryStartCode:
      return "summary.start";
    case kSummaryEndCode:
      return "summary.end";
    case kRxLevelMaxCode:
      return "summary.rxlevel.max";
    case kRxLevelMinCode:
      return "summary.rxlevel.min";
    case kRxLevelAverageCode:
      return "summary.rxlevel.avg";
    case kBitErrorMaxCode:
      return "summary.ber.max";
    case kBitErrorMinCode:
      return "summary.ber.min";
    case kBitErrorAverageCode:
      return "summary.ber.avg";
    case kBand900ShareCode:
      return "summary.gsm900";
    case kBand1800ShareCode:
      return "summary.gsm1800";
    case kChecksumCode:
      return "checksum";
    case kCycleTimeCode:
      return "cycle.time";
    case kCyclePositionCode:
      return "cycle.position";
    case kCycleEventCode:
      return "cycle.event";
    case kRunSessionCode:
      return "run.session";
    case kRunCycleNumberCode:
      return "cycle.number";
    default:
      break;
  }
  // A serving-cell value of a cycle.
  if (code >= kCycleValueBase && code < kCycleValueBase + parser::kCellCodeStep) {
    const parser::FieldInfo* field = parser::FindField(code - kCycleValueBase);
    if (field != nullptr && field->logCycleValue) return "serving." + std::string(field->logName);
  }
  // A field's own code, named by how it reaches the log.
  if (const parser::FieldInfo* field = parser::FindField(code)) {
    switch (field->logPlain) {
      case parser::LogPlain::kept:
        return "identity." + std::string(field->logName);
      case parser::LogPlain::record:
        return "network." + std::string(field->logName);
      case parser::LogPlain::summary:
        return "summary." + std::string(field->logName);
      case parser::LogPlain::none:
        return "unknown";
    }
  }
  const std::int32_t group = code / 1024 - 1;
  if (group >= 0 && group < parser::kCellCount) {
    const parser::FieldInfo* field = parser::FindField(code % 1024);
    if (field != nullptr && field->logPerCell) {
      std::string cell = group == 0 ? "serving" : "neighbour" + std::to_string(group);
      std::string meaning = cell + "." + std::string(field->logName);
      if (group == parser::kCellCount - 1) meaning += " (not in report)";
      return meaning;
    }
  }
  return "unknown";
}

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
         std::to_string(dump.recordCount) + " records; file " + (dump.valid ? "valid" : "damaged");
}

}  // namespace gsmlog
