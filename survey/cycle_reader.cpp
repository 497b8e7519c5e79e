#include "survey/cycle_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "log/log_record.h"
#include "log/log_viewer.h"
#include "parser/measurement_fields.h"
#include "platform/read_only_file.h"
#include "platform/text_encoding.h"
#include "survey/cell_records.h"

namespace survey {
namespace {

using namespace parser;

constexpr std::size_t kChunk = 1u << 20;

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

bool CycleAssembler::Add(std::int32_t code, const std::string& text) {
  if (code == gsmlog::kChecksumCode) {
    if (!hasValues_) return false;
    done_ = std::move(open_);
    done_.number = ++count_;
    open_ = SurveyCycle{};
    hasValues_ = false;
    return true;
  }
  if (AddCellRecord(open_.otherCells, code, text)) {
    hasValues_ = true;
    return false;
  }
  std::string* target = nullptr;
  switch (code) {
    case fcCountry:
      target = &open_.country;
      break;
    case fcOperator:
      target = &open_.operatorName;
      break;
    case fcLocalArea:
      target = &open_.lac;
      break;
    case fcBaseStation:
    case fcCell:
      // The plain copies of the serving cell's BSIC and cell identity: the indexed ones are used.
      hasValues_ = true;
      return false;
    case gsmlog::kCycleValueBase + fcRxQuality:
      target = &open_.quality;
      break;
    case gsmlog::kCycleValueBase + fcBitError:
      target = &open_.bitError;
      break;
    case gsmlog::kCycleValueBase + fcTimingAdvance:
      target = &open_.distance;
      break;
    case gsmlog::kCycleTimeCode:
      open_.time = ParseIsoTime(text);
      hasValues_ = true;
      return false;
    case gsmlog::kCyclePositionCode:
      open_.fix = ParsePosition(text);
      hasValues_ = true;
      return false;
    default: {
      const std::int32_t group = code / kCellCodeStep - 1;
      if (code > 0 && group >= 0 && group < kCycleCells) {
        target = CellText(open_.cells[static_cast<std::size_t>(group)], code % kCellCodeStep);
      }
      break;
    }
  }
  if (target == nullptr) return false;
  *target = text;
  hasValues_ = true;
  return false;
}

CycleReadResult ReadLogCycles(const std::string& fileName, const CycleConsumer& consumer,
                              const ReadProgress& progress) {
  CycleReadResult result;
  const platform::ReadOnlyFile file(fileName);
  if (file.Fd() < 0) {
    result.error = gsmlog::OpenFailedMessage(fileName);
    return result;
  }
  struct stat info {};
  if (::fstat(file.Fd(), &info) != 0 || S_ISDIR(info.st_mode)) {
    result.error = gsmlog::ReadFailedMessage(fileName);
    return result;
  }
  const auto total = static_cast<std::uint64_t>(S_ISREG(info.st_mode) ? info.st_size : 0);

  // As the report builder does: a record never straddles the end of what is held unless the file
  // ends there, since the buffer keeps room for one whole record behind each chunk.
  const std::size_t capacity = kChunk + gsmlog::kMaxLogRecord;
  const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[capacity]);
  gsmlog::TLogReader reader;
  gsmlog::InitLogReader(reader, nullptr, 0);
  CycleAssembler assembler;
  std::int32_t code = 0;
  std::string text;
  std::size_t held = 0;
  std::uint64_t done = 0;
  bool reading = true;
  while (reading) {
    const ssize_t got = ::read(file.Fd(), buffer.get() + held, capacity - held);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || (got == 0 && done == 0)) {
      result.error = gsmlog::ReadFailedMessage(fileName);
      return result;
    }
    const bool atEnd = got == 0;
    held += static_cast<std::size_t>(got);
    done += static_cast<std::uint64_t>(got);
    reader.Data = buffer.get();
    reader.Size = held;
    reader.Pos = 0;
    while (atEnd || reader.Size - reader.Pos >= gsmlog::kMaxLogRecord) {
      if (!gsmlog::ReadLogRecord(reader, code, text)) {
        reading = false;
        break;
      }
      if (code == gsmlog::kChecksumCode && text != reader.ExpectedChecksum) {
        result.damaged = true;
        reading = false;
        break;
      }
      if (assembler.Add(code, text)) {
        ++result.cycles;
        if (!consumer(assembler.Cycle())) {
          result.stopped = true;
          return result;
        }
      }
    }
    if (atEnd) break;
    if (progress && !progress(done, total)) {
      result.stopped = true;
      return result;
    }
    std::memmove(buffer.get(), buffer.get() + reader.Pos, held - reader.Pos);
    held -= reader.Pos;
  }
  if (!gsmlog::ChecksumSeen(reader)) result.damaged = true;
  if (result.damaged) {
    result.error = gsmlog::DamagedMessage(fileName);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace survey
