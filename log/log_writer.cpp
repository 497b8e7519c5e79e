#include "log/log_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <limits>

#include "log/log_record.h"
#include "platform/file_name.h"
#include "platform/text_encoding.h"

namespace gsmlog {

using namespace platform::literals;

namespace {

// Beyond this the pending records are written without waiting for the seal.
constexpr std::size_t kMaxPending = 64 * 1024;

std::string TimeStamp(const platform::LocalTime& t) {
  return ZeroPad(t.hour, 2) + ":" + ZeroPad(t.minute, 2) + ":" + ZeroPad(t.second, 2);
}

std::string DateStampOf(const platform::LocalTime& t, std::string_view separator) {
  std::string text = ZeroPad(t.day, 2);
  text += separator;
  text += ZeroPad(t.month, 2);
  text += separator;
  text += ZeroPad(t.year, 4);
  return text;
}

}  // namespace

void TLogWriter::CloseLocked() {
  file_.reset();
  pending_.clear();
}

void TLogWriter::FailLocked(platform::SystemError cause) {
  failure_ = WriteFailure{std::string("Невозможно записать протокол "_cp1251) + platform::FileNameText(name_), cause};
  // What did not reach the file is forgotten, so that a resumed run goes on from its last seal.
  crc_ = sealed_.crc;
  xor_ = sealed_.xorState;
  stats_ = sealed_.stats;
  size_ = sealed_.size;
  CloseLocked();
  resumable_ = true;
}

bool TLogWriter::FlushLocked() {
  if (!file_) return false;
  if (const platform::SystemError cause = file_->Append(pending_.data(), pending_.size()); cause.Failed()) {
    FailLocked(cause);
    return false;
  }
  size_ += pending_.size();
  pending_.clear();
  return true;
}

// Encodes one record after the pending ones; written at the next seal, or at once when flush.
bool TLogWriter::WriteLocked(std::int32_t code, std::string_view text, bool flush) {
  if (!file_ || text.empty()) return false;
  // A record the reader would stop at must never reach the file: cut long texts, mask control bytes.
  char clean[kMaxLogText];
  const std::size_t n = text.size() < kMaxLogText ? text.size() : kMaxLogText;
  for (std::size_t i = 0; i < n; ++i) {
    clean[i] = static_cast<unsigned char>(text[i]) < 0x20 ? '?' : text[i];
  }
  std::uint8_t record[kMaxLogRecord];
  const std::size_t length = EncodeLogRecord(crc_, xor_, code, std::string_view(clean, n), record);
  pending_.insert(pending_.end(), record, record + length);
  return flush || pending_.size() >= kMaxPending ? FlushLocked() : true;
}

bool TLogWriter::SealLocked() {
  if (!WriteLocked(kChecksumCode, FormatChecksum(crc_.Sum), true)) return false;
  if (const platform::SystemError cause = file_->Sync(); cause.Failed()) {
    FailLocked(cause);
    return false;
  }
  sealed_ = SealedState{crc_, xor_, stats_, size_};
  return true;
}

bool TLogWriter::CompleteLocked() {
  if (!file_) return false;
  now_ = platform::CaptureLocalTime();
  const TRunStats& s = stats_;
  auto number = [this](std::int32_t code, double value) { WriteLocked(code, FormatSummaryNumber(value)); };

  for (std::size_t row = 0; row < parser::kFieldTable.size(); ++row) {
    if (parser::kFieldTable[row].logPlain == parser::LogPlain::kept)
      WriteLocked(parser::kFieldTable[row].code, kept_[row]);
  }
  WriteLocked(kSummaryDateCode, DateStampOf(runStart_, "."));
  WriteLocked(kSummaryStartCode, TimeStamp(runStart_));
  WriteLocked(kSummaryEndCode, TimeStamp(runEnd_ ? *runEnd_ : now_));
  if (s.RxLevelCount > 0) {
    number(kRxLevelMaxCode, s.RxLevelMax);
    number(kRxLevelMinCode, s.RxLevelMin);
    number(kRxLevelAverageCode, s.RxLevelSum / s.RxLevelCount);
  }
  if (s.BitErrorCount > 0) {
    number(kBitErrorMaxCode, s.BitErrorMax);
    number(kBitErrorMinCode, s.BitErrorMin);
    number(kBitErrorAverageCode, s.BitErrorSum / s.BitErrorCount);
  }
  const double bandTotal = static_cast<double>(s.Band900Count) + s.Band1800Count;
  if (bandTotal > 0) {
    number(kBand900ShareCode, 100.0 * s.Band900Count / bandTotal);
    number(kBand1800ShareCode, 100.0 * s.Band1800Count / bandTotal);
  }
  for (const parser::FieldInfo& field : parser::kFieldTable) {
    // The distance has no highest or lowest: only its average, under the field's own code.
    if (field.logPlain == parser::LogPlain::summary && field.statistic == parser::Statistic::distance &&
        s.DistanceCount > 0) {
      number(field.code, s.DistanceSum / s.DistanceCount);
    }
  }
  const bool ok = SealLocked();
  CloseLocked();
  // A summary that did not reach the disk is written again when the run resumes.
  if (ok) resumable_ = false;
  return ok;
}

bool TLogWriter::StartRunLocked(std::unique_ptr<LogFile> file, const std::string& name) {
  if (file_) CompleteLocked();
  file_ = std::move(file);
  name_ = name;
  CrcInit(crc_);
  XorInit(xor_);
  stats_ = TRunStats{};
  size_ = 0;
  sealed_ = SealedState{crc_, xor_, stats_, 0};
  resumable_ = false;
  runEnd_.reset();
  failure_.reset();
  now_ = platform::CaptureLocalTime();
  runStart_ = now_;
  // Sealed from the start: a run killed before its first cycle still leaves a readable file.
  return SealLocked();
}

bool TLogWriter::StartRun(std::unique_ptr<LogFile> file, const std::string& name) {
  if (!file) return false;
  std::lock_guard lock(mutex_);
  return StartRunLocked(std::move(file), name);
}

CreateLogResult TLogWriter::Create(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (file_) CompleteLocked();
  CreateLogResult result;
  result.error = std::string("Невозможно создать файл протокола \""_cp1251) + platform::FileNameText(name) + "\"";
  if (name.empty()) return result;
  // The first seal already tells whether the file takes writes; a file made for it that does not
  // goes again, so a full disk does not fill the folder with empty logs.
  const auto start = [&](int fd, const std::string& nameUsed, bool created) {
    result.nameUsed = nameUsed;
    if (!StartRunLocked(std::make_unique<DescriptorLogFile>(fd), nameUsed)) {
      if (failure_) {
        result.error = failure_->message;
        result.cause = failure_->cause;
      }
      failure_.reset();
      resumable_ = false;
      if (created) ::unlink(nameUsed.c_str());
      return result;
    }
    result.ok = true;
    result.error.clear();
    return result;
  };
  struct stat info {};
  if (::stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    // A device or a pipe the user named is written to as it is; a folder is no log. It stays
    // non-blocking: a reader that stops reading fails the write instead of holding the run.
    if (!S_ISCHR(info.st_mode) && !S_ISFIFO(info.st_mode)) {
      result.cause = platform::CheckFailed(platform::ErrorReason::wrongType);
      return result;
    }
    const int fd = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      result.cause = platform::DecodeSystemError(errno);
      return result;
    }
    // What was opened counts: a regular file put there meanwhile is never written over.
    if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode)) {
      ::close(fd);
      result.cause = platform::CheckFailed(platform::ErrorReason::wrongType);
      return result;
    }
    return start(fd, name, false);
  }
  const platform::NewFile created = platform::CreateNewFile(name);
  if (created.fd < 0) {
    result.cause = platform::DecodeSystemError(created.error);
    return result;
  }
  return start(created.fd, created.name, true);
}

bool TLogWriter::Attach(int fd, const std::string& name) {
  if (fd < 0) return false;
  std::lock_guard lock(mutex_);
  StartRunLocked(std::make_unique<DescriptorLogFile>(fd), name);
  return true;
}

void TLogWriter::Field(int code, int index, const parser::FieldValue& value) {
  const std::string& text = value.text;
  if (text == parser::kNotAvailable) return;
  const int row = parser::FieldIndex(code);
  if (row < 0) return;
  const parser::FieldInfo& field = parser::kFieldTable[static_cast<std::size_t>(row)];
  std::lock_guard lock(mutex_);
  TRunStats& s = stats_;
  if (index == 0) {
    if (field.logPlain == parser::LogPlain::kept) kept_[static_cast<std::size_t>(row)] = text;
    if (field.logPlain == parser::LogPlain::record) WriteLocked(code, text);
    switch (field.statistic) {
      case parser::Statistic::band:
        // E-GSM is the extended 900 MHz band, not a part of 1800.
        if (text == "900" || text == "EGSM") ++s.Band900Count;
        if (text == "1800") ++s.Band1800Count;
        break;
      case parser::Statistic::rxLevel:
        AddStatistic(value.number, &s.RxLevelMax, &s.RxLevelMin, s.RxLevelSum, s.RxLevelCount);
        break;
      case parser::Statistic::bitError:
        AddStatistic(value.number, &s.BitErrorMax, &s.BitErrorMin, s.BitErrorSum, s.BitErrorCount);
        break;
      case parser::Statistic::distance:
        AddStatistic(value.number, nullptr, nullptr, s.DistanceSum, s.DistanceCount);
        break;
      case parser::Statistic::none:
        break;
    }
  }
  if (field.logPerCell) WriteLocked(CellRecordCode(code, index), text);
  if (index == 0 && field.logCycleValue) WriteLocked(kCycleValueBase + code, text);
}

void TLogWriter::AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) {
  Field(fieldCode, cellIndex, value);
}

bool TLogWriter::WriteRecord(std::int32_t code, std::string_view text) {
  std::lock_guard lock(mutex_);
  return WriteLocked(code, text, true);
}

bool TLogWriter::Hold(std::int32_t code, std::string_view text) {
  std::lock_guard lock(mutex_);
  return WriteLocked(code, text);
}

bool TLogWriter::Seal() {
  std::lock_guard lock(mutex_);
  return SealLocked();
}

bool TLogWriter::Complete() {
  std::lock_guard lock(mutex_);
  return CompleteLocked();
}

bool TLogWriter::Suspend() {
  std::lock_guard lock(mutex_);
  if (!file_ || !pending_.empty()) return false;
  CloseLocked();
  resumable_ = true;
  return true;
}

bool TLogWriter::Resume() {
  std::lock_guard lock(mutex_);
  if (file_) return true;
  if (!resumable_) return false;
  const auto fail = [&](int fd, platform::SystemError cause) {
    if (fd >= 0) ::close(fd);
    failure_ = WriteFailure{std::string("Невозможно записать протокол "_cp1251) + platform::FileNameText(name_), cause};
    return false;
  };
  const int fd = ::open(name_.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return fail(fd, platform::DecodeSystemError(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fail(fd, platform::DecodeSystemError(errno));
  if (!S_ISREG(info.st_mode)) return fail(fd, platform::CheckFailed(platform::ErrorReason::wrongType));
  // Whatever a failed write left after the last seal goes: a reader would stop at it.
  if (::ftruncate(fd, static_cast<off_t>(sealed_.size)) != 0 || ::lseek(fd, 0, SEEK_END) < 0)
    return fail(fd, platform::DecodeSystemError(errno));
  file_ = std::make_unique<DescriptorLogFile>(fd);
  crc_ = sealed_.crc;
  xor_ = sealed_.xorState;
  stats_ = sealed_.stats;
  size_ = sealed_.size;
  resumable_ = false;
  return true;
}

bool TLogWriter::CanResume() const {
  std::lock_guard lock(mutex_);
  return !file_ && resumable_;
}

void TLogWriter::SetRunTimes(const platform::LocalTime& start, const platform::LocalTime& end) {
  std::lock_guard lock(mutex_);
  runStart_ = start;
  runEnd_ = end;
}

bool TLogWriter::IsOpen() const {
  std::lock_guard lock(mutex_);
  return file_ != nullptr;
}

std::optional<WriteFailure> TLogWriter::TakeWriteFailure() {
  std::lock_guard lock(mutex_);
  std::optional<WriteFailure> failure;
  failure.swap(failure_);
  return failure;
}

TRunStats TLogWriter::Stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

std::string TLogWriter::KeptText(int fieldCode) const {
  const int row = parser::FieldIndex(fieldCode);
  if (row < 0) return {};
  std::lock_guard lock(mutex_);
  return kept_[static_cast<std::size_t>(row)];
}

void TLogWriter::CaptureLocalTime() {
  std::lock_guard lock(mutex_);
  now_ = platform::CaptureLocalTime();
}

std::string TLogWriter::DateStamp(std::string_view separator) const {
  std::lock_guard lock(mutex_);
  return DateStampOf(now_, separator);
}

TLogWriter& ProgramLogWriter() {
  static TLogWriter* const writer = new TLogWriter;
  return *writer;
}

void LogField(int code, int index, const std::string& text) {
  ProgramLogWriter().Field(code, index, parser::TextValue(text));
}

bool WriteLogRecord(std::int32_t code, std::string_view text) { return ProgramLogWriter().WriteRecord(code, text); }

void CaptureLocalTime() { ProgramLogWriter().CaptureLocalTime(); }

std::string DateStamp(std::string_view separator) { return ProgramLogWriter().DateStamp(separator); }

std::string LogFileName() {
  CaptureLocalTime();
  return DateStamp("") + ".log";
}

void AddStatistic(std::optional<double> number, float* max, float* min, double& sum, std::int32_t& count) {
  // In single precision, as the statistics are kept; a number beyond its range counts as none.
  if (!number || !(std::fabs(*number) <= std::numeric_limits<float>::max())) return;
  const auto v = static_cast<float>(*number);
  if (max && !(*max >= v)) *max = v;
  if (min && *min > v) *min = v;
  sum += v;
  ++count;
}

void AddStatistic(std::string_view text, float* max, float* min, double& sum, std::int32_t& count) {
  AddStatistic(parser::ValueNumber(text), max, min, sum, count);
}

std::string ZeroPad(int number, int width) {
  std::string text = std::to_string(number);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
  return text;
}

std::string FormatSummaryNumber(double value) {
  if (!std::isfinite(value)) return std::string(parser::kNotAvailable);
  long long cents = std::llround(value * 100.0);
  std::string text;
  if (cents < 0) {
    text = "-";
    cents = -cents;
  }
  text += std::to_string(cents / 100);
  const long long fraction = cents % 100;
  if (fraction != 0) {
    text += ',';
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
  }
  return text;
}

}  // namespace gsmlog
