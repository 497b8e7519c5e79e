#include "log/log_dump.h"

#include <cstdio>

#include "log/log_viewer.h"
#include "parser/measurement_fields.h"
#include "platform/file_map.h"
#include "platform/text_encoding.h"

namespace gsmlog {

LogDump DumpLogData(const std::uint8_t* data, std::size_t size) {
  LogDump dump;
  dump.ok = true;
  TLogReader reader;
  InitLogReader(reader, data, size);
  bool mismatch = false;
  for (;;) {
    DumpRecord record;
    record.offset = reader.Pos;
    ReadStop stop = ReadStop::none;
    if (!ReadLogRecord(reader, record.code, record.text, &stop)) {
      dump.stop = stop;
      dump.stopOffset = record.offset;
      break;
    }
    if (record.code == lcChecksum) {
      record.expected = reader.ExpectedChecksum;
      const bool match = record.text == record.expected;
      record.check = match ? ChecksumCheck::match : ChecksumCheck::mismatch;
      mismatch = mismatch || !match;
    }
    dump.records.push_back(std::move(record));
  }
  dump.valid = !mismatch && ChecksumSeen(reader);
  return dump;
}

LogDump DumpLogFile(const std::string& fileName) {
  platform::FileMap file;
  LogDump dump;
  switch (file.Open(platform::Cp1251ToUtf8(fileName))) {  // names are Windows-1251, paths UTF-8
    case platform::FileMap::Status::openFailed:
      dump.error = OpenFailedMessage(fileName);
      return dump;
    case platform::FileMap::Status::readFailed:
      dump.error = ReadFailedMessage(fileName);
      return dump;
    case platform::FileMap::Status::ok:
      break;
  }
  return DumpLogData(file.data(), file.size());
}

std::string LogCodeMeaning(std::int32_t code) {
  switch (code) {
    case parser::fcImei:
      return "identity.imei";
    case parser::fcModel:
      return "identity.model";
    case parser::fcImsi:
      return "identity.imsi";
    case parser::fcCountry:
      return "network.country";
    case parser::fcOperator:
      return "network.operator";
    case parser::fcLocalArea:
      return "network.lac";
    case parser::fcBaseStation:
      return "network.bsic";
    case parser::fcCell:
      return "network.cellid";
    case parser::fcTimingAdvance:
      return "summary.distance";
    case lcSummaryDate:
      return "summary.date";
    case lcSummaryStart:
      return "summary.start";
    case lcSummaryEnd:
      return "summary.end";
    case lcRxLevelMax:
      return "summary.rxlevel.max";
    case lcRxLevelMin:
      return "summary.rxlevel.min";
    case lcRxLevelAverage:
      return "summary.rxlevel.avg";
    case lcBitErrorMax:
      return "summary.ber.max";
    case lcBitErrorMin:
      return "summary.ber.min";
    case lcBitErrorAverage:
      return "summary.ber.avg";
    case lcBand900Share:
      return "summary.gsm900";
    case lcBand1800Share:
      return "summary.gsm1800";
    case lcChecksum:
      return "checksum";
    case lcCycleTime:
      return "cycle.time";
    case lcCyclePosition:
      return "cycle.position";
    case kCycleValueBase + parser::fcRxQuality:
      return "serving.rxqual";
    case kCycleValueBase + parser::fcBitError:
      return "serving.ber";
    case kCycleValueBase + parser::fcTimingAdvance:
      return "serving.distance";
    default:
      break;
  }
  const std::int32_t group = code / 1024 - 1;
  if (group >= 0 && group < parser::kCellCount) {
    const char* field = nullptr;
    switch (code % 1024) {
      case parser::fcRxLevel:
        field = "rxlevel";
        break;
      case parser::fcChannel:
        field = "channel";
        break;
      case parser::fcBaseStation:
        field = "bsic";
        break;
      case parser::fcCell:
        field = "cellid";
        break;
      case parser::fcFreqBand:
        field = "band";
        break;
      default:
        break;
    }
    if (field) {
      std::string cell = group == 0 ? "serving" : "neighbour" + std::to_string(group);
      std::string meaning = cell + "." + field;
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
  return line;
}

std::string FormatDumpEnd(const LogDump& dump) {
  return "end at offset " + std::to_string(dump.stopOffset) + ": " + std::string(ReadStopText(dump.stop)) + "; " +
         std::to_string(dump.records.size()) + " records; file " + (dump.valid ? "valid" : "damaged");
}

}  // namespace gsmlog
