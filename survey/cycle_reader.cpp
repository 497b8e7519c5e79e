#include "survey/cycle_reader.h"

#include <utility>

#include "log/log_record.h"
#include "log/record_codes.h"
#include "parser/measurement_fields.h"
#include "platform/read_only_file.h"
#include "platform/text_encoding.h"
#include "survey/cell_records.h"

namespace survey {
namespace {

using namespace parser;

std::string* CellText(CellTexts& cell, int field) {
  switch (field) {
    case fcChannel:
      return &cell.channel;
    case fcBaseStation:
      return &cell.bsic;
    case fcCell:
      return &cell.cell;
    case fcRxLevel:
      return &cell.level;
    case fcFreqBand:
      return &cell.band;
    default:
      return nullptr;
  }
}

}  // namespace

bool CycleAssembler::Add(const gsmlog::LogRecord& record) {
  if (record.check == gsmlog::ChecksumCheck::match) {
    if (!hasValues_) return false;
    done_ = std::move(open_);
    done_.number = ++count_;
    open_ = SurveyCycle{};
    hasValues_ = false;
    return true;
  }
  if (record.code == gsmlog::kCycleEventCode) {
    open_.events.push_back(record.text);
    return false;
  }
  if (AddCellRecord(open_.otherCells, record.code, record.text)) {
    hasValues_ = true;
    return false;
  }
  const gsmlog::RecordCodeInfo info = gsmlog::DescribeRecordCode(record.code);
  std::string* target = nullptr;
  switch (info.kind) {
    case gsmlog::RecordKind::network:
      // The plain copies of the serving cell's BSIC and cell identity count, but the indexed ones are used.
      if (info.field == fcCountry) target = &open_.country;
      if (info.field == fcOperator) target = &open_.operatorName;
      if (info.field == fcLocalArea) target = &open_.lac;
      break;
    case gsmlog::RecordKind::servingCycle:
      if (info.field == fcRxQuality) target = &open_.quality;
      if (info.field == fcBitError) target = &open_.bitError;
      if (info.field == fcTimingAdvance) target = &open_.distance;
      break;
    case gsmlog::RecordKind::cell:
      target = CellText(open_.cells[static_cast<std::size_t>(info.cell)], info.field);
      break;
    case gsmlog::RecordKind::cycleTime:
      open_.time = ParseIsoTime(record.text);
      break;
    case gsmlog::RecordKind::cyclePosition:
      open_.fix = ParsePosition(record.text);
      break;
    default:
      return false;
  }
  hasValues_ = true;
  if (target != nullptr) *target = record.text;
  return false;
}

CycleReadResult ReadLogCycles(const std::string& fileName, const CycleConsumer& consumer,
                              const ReadProgress& progress) {
  CycleReadResult result;
  CycleAssembler assembler;
  bool mismatch = false;
  const gsmlog::LogRead read = gsmlog::ReadLogRecords(
      fileName,
      [&](const gsmlog::LogRecord& record) {
        // The verdict is decided at the first mismatching seal; nothing after it is the file's.
        if (record.check == gsmlog::ChecksumCheck::mismatch) {
          mismatch = true;
          return false;
        }
        if (!assembler.Add(record)) return true;
        ++result.cycles;
        if (consumer(assembler.Cycle())) return true;
        result.stopped = true;
        return false;
      },
      progress);
  if (!read.ok) {
    result.error = read.error;
    return result;
  }
  if (read.stopped && !mismatch) {
    result.stopped = true;
    return result;
  }
  result.verdict = read.verdict;
  result.trailingEvents = assembler.PendingEvents();
  result.damaged = !read.verdict.ReadToEnd();
  if (result.damaged) {
    result.error = gsmlog::VerdictMessage(fileName, read.verdict);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace survey
