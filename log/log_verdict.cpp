#include "log/log_verdict.h"

#include "log/log_viewer.h"
#include "log/record_codes.h"
#include "platform/file_name.h"
#include "platform/text_encoding.h"

namespace gsmlog {

using namespace platform::literals;

ChecksumCheck VerdictKeeper::Unusual(std::uint64_t offset, std::uint64_t end, std::int32_t code, std::string_view text,
                                     ReadStop stop, std::string_view expected) {
  ChecksumCheck check = ChecksumCheck::notChecksum;
  if (code == kChecksumCode) {
    check = stop == ReadStop::textCut ? ChecksumCheck::cut
            : text == expected        ? ChecksumCheck::match
                                      : ChecksumCheck::mismatch;
  }
  // The first damage decides; a listing may read on past a mismatching seal, the verdict does not.
  if (mismatch_) return check;
  if (check == ChecksumCheck::match) {
    matched_ = true;
    sealedEnd_ = end;
    recordsAtSeal_ = records_;
    if (cycleOpen_) ++cycles_;
    cycleOpen_ = false;
  } else if (check == ChecksumCheck::mismatch) {
    mismatch_ = true;
    mismatchOffset_ = offset;
    mismatchRecord_ = records_;
  }
  if (stop == ReadStop::textCut && !textCut_) {
    textCut_ = true;
    textCutOffset_ = offset;
    textCutRecord_ = records_;
  }
  return check;
}

void VerdictKeeper::Stop(std::uint64_t offset, ReadStop stop) {
  if (mismatch_ || stop_ != ReadStop::none) return;
  stop_ = stop;
  stopOffset_ = offset;
}

LogVerdict VerdictKeeper::Finish(std::uint64_t totalBytes) const {
  LogVerdict v;
  v.totalBytes = totalBytes;
  v.sealedBytes = sealedEnd_;
  v.cycles = cycles_;
  v.counted = counting_;
  v.reportable = matched_ && !mismatch_;
  const auto at = [&](LogState state, std::uint64_t offset, std::uint64_t record, LogFault fault = LogFault::none) {
    v.state = state;
    v.offset = offset;
    v.record = counting_ ? record : 0;
    v.fault = fault;
    return v;
  };
  if (mismatch_) return at(LogState::damaged, mismatchOffset_, mismatchRecord_, LogFault::checksumMismatch);
  const std::uint64_t stopRecord = records_ + 1;
  switch (stop_) {
    case ReadStop::lengthTooLarge:
      return at(LogState::damaged, stopOffset_, stopRecord, LogFault::lengthTooLarge);
    case ReadStop::controlByte:
      return at(LogState::damaged, stopOffset_, stopRecord, LogFault::controlByte);
    case ReadStop::emptyText:
      return at(LogState::damaged, stopOffset_, stopRecord, LogFault::emptyText);
    default:
      break;
  }
  if (!matched_) return at(LogState::damaged, stopOffset_, stopRecord, LogFault::noChecksum);
  if (stop_ == ReadStop::codeCut || stop_ == ReadStop::textMissing) return at(LogState::cut, stopOffset_, stopRecord);
  if (textCut_) return at(LogState::cut, textCutOffset_, textCutRecord_);
  // Records after the last seal are read, but no seal vouches for them: the run did not end there.
  if (sealedEnd_ != stopOffset_) return at(LogState::cut, sealedEnd_, recordsAtSeal_ + 1);
  return at(LogState::whole, totalBytes, 0);
}

namespace {

std::string_view FaultText(LogFault fault) {
  switch (fault) {
    case LogFault::none:
      return "none";
    case LogFault::checksumMismatch:
      return "checksum mismatch";
    case LogFault::noChecksum:
      return "no matching checksum record";
    case LogFault::lengthTooLarge:
      return "length above 128";
    case LogFault::controlByte:
      return "text byte below 0x20";
    case LogFault::emptyText:
      return "empty text";
  }
  return "unknown";
}

std::string_view FaultMessage(LogFault fault) {
  switch (fault) {
    case LogFault::none:
      return "";
    case LogFault::checksumMismatch:
      return "контрольная сумма не совпадает"_cp1251;
    case LogFault::noChecksum:
      return "нет совпадающей контрольной суммы"_cp1251;
    case LogFault::lengthTooLarge:
      return "длина записи больше 128"_cp1251;
    case LogFault::controlByte:
      return "недопустимый байт в тексте записи"_cp1251;
    case LogFault::emptyText:
      return "запись без текста"_cp1251;
  }
  return "";
}

}  // namespace

std::string VerdictText(const LogVerdict& verdict) {
  if (verdict.state == LogState::whole) return "whole";
  std::string where = "at offset " + std::to_string(verdict.offset);
  if (verdict.record > 0) where += " (record " + std::to_string(verdict.record) + ")";
  if (verdict.state == LogState::cut) return "cut short " + where;
  return "damaged " + where + ": " + std::string(FaultText(verdict.fault));
}

std::string VerdictMessage(const std::string& fileName, const LogVerdict& verdict) {
  if (verdict.state == LogState::whole) return {};
  std::string message;
  if (verdict.state == LogState::damaged) {
    message = DamagedMessage(fileName) + ": " + std::string(FaultMessage(verdict.fault));
  } else {
    message = std::string("Файл протокола "_cp1251) + platform::FileNameText(fileName) + std::string(" оборван"_cp1251);
  }
  message += std::string(" (байт "_cp1251) + std::to_string(verdict.offset);
  if (verdict.record > 0) message += std::string(", запись "_cp1251) + std::to_string(verdict.record);
  message += std::string("); прочитано циклов: "_cp1251) + std::to_string(verdict.cycles) +
             std::string(", байт: "_cp1251) + std::to_string(verdict.sealedBytes) + std::string(" из "_cp1251) +
             std::to_string(verdict.totalBytes);
  return message;
}

}  // namespace gsmlog
