#include "log/log_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "log/log_record.h"
#include "parser/field_table.h"
#include "platform/file_name.h"
#include "platform/text_encoding.h"

namespace gsmlog {

using namespace platform::literals;

namespace {

struct Writer {
  std::mutex mutex;
  int fd = -1;
  std::string name;
  TCrcState crc;
  TXorState xorState;
  // The latest texts of the fields kept for the summary, by row of the field table.
  std::array<std::string, parser::kFieldTable.size()> kept;
  TRunStats stats;
  platform::LocalTime now;
  platform::LocalTime runStart;
  std::optional<std::string> failure;
  // Records encoded but not yet written: a cycle's records go out with its seal, in one write.
  std::vector<std::uint8_t> pending;
};

// Beyond this the pending records are written without waiting for the seal.
constexpr std::size_t kMaxPending = 64 * 1024;

Writer& TheWriter() {
  static Writer writer;
  return writer;
}

void CloseLocked(Writer& w) {
  if (w.fd >= 0) ::close(w.fd);
  w.fd = -1;
  w.pending.clear();
}

void FailLocked(Writer& w) {
  w.failure = std::string("Невозможно записать протокол "_cp1251) + platform::FileNameText(w.name);
  CloseLocked(w);
}

// How long one write may wait for a pipe or a device named as the log to take its bytes; a
// reader that does not read by then makes it a failed write, so a stop never waits on it.
constexpr auto kWriteWait = std::chrono::milliseconds(500);

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t n) {
  const auto deadline = std::chrono::steady_clock::now() + kWriteWait;
  while (n > 0) {
    const ssize_t written = ::write(fd, bytes, n);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return false;
      pollfd entry{fd, POLLOUT, 0};
      (void)::poll(&entry, 1, static_cast<int>(left));
      continue;
    }
    if (written <= 0) return false;
    bytes += written;
    n -= static_cast<std::size_t>(written);
  }
  return true;
}

bool FlushLocked(Writer& w) {
  if (w.fd < 0) return false;
  if (!WriteAll(w.fd, w.pending.data(), w.pending.size())) {
    FailLocked(w);
    return false;
  }
  w.pending.clear();
  return true;
}

// Encodes one record after the pending ones; written at the next seal, or at once when flush.
bool WriteLocked(Writer& w, std::int32_t code, std::string_view text, bool flush = false) {
  if (w.fd < 0 || text.empty()) return false;
  // A record the reader would stop at must never reach the file: cut long texts, mask control bytes.
  char clean[kMaxLogText];
  const std::size_t n = text.size() < kMaxLogText ? text.size() : kMaxLogText;
  for (std::size_t i = 0; i < n; ++i) {
    clean[i] = static_cast<unsigned char>(text[i]) < 0x20 ? '?' : text[i];
  }
  std::uint8_t record[kMaxLogRecord];
  const std::size_t length = EncodeLogRecord(w.crc, w.xorState, code, std::string_view(clean, n), record);
  w.pending.insert(w.pending.end(), record, record + length);
  return flush || w.pending.size() >= kMaxPending ? FlushLocked(w) : true;
}

bool SealLocked(Writer& w) {
  if (!WriteLocked(w, kChecksumCode, FormatChecksum(w.crc.Sum), true)) return false;
  // Character devices and pipes cannot sync (EINVAL); that loses nothing already written.
  if (::fdatasync(w.fd) != 0 && errno != EINVAL && errno != EROFS) {
    FailLocked(w);
    return false;
  }
  return true;
}

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

bool CompleteLocked(Writer& w) {
  if (w.fd < 0) return false;
  w.now = platform::CaptureLocalTime();
  const TRunStats& s = w.stats;
  auto number = [&](std::int32_t code, double value) { WriteLocked(w, code, FormatSummaryNumber(value)); };

  for (std::size_t row = 0; row < parser::kFieldTable.size(); ++row) {
    if (parser::kFieldTable[row].logPlain == parser::LogPlain::kept)
      WriteLocked(w, parser::kFieldTable[row].code, w.kept[row]);
  }
  WriteLocked(w, kSummaryDateCode, DateStampOf(w.runStart, "."));
  WriteLocked(w, kSummaryStartCode, TimeStamp(w.runStart));
  WriteLocked(w, kSummaryEndCode, TimeStamp(w.now));
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
  const bool ok = SealLocked(w);
  CloseLocked(w);
  return ok;
}

void StartRunLocked(Writer& w, int fd, const std::string& name) {
  w.fd = fd;
  w.name = name;
  CrcInit(w.crc);
  XorInit(w.xorState);
  w.stats = TRunStats{};
  w.failure.reset();
  w.now = platform::CaptureLocalTime();
  w.runStart = w.now;
  // Sealed from the start: a run killed before its first cycle still leaves a readable file.
  SealLocked(w);
}

class LogSinkImpl final : public parser::FieldSink {
 public:
  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override {
    LogFieldValue(fieldCode, cellIndex, value);
  }
};

}  // namespace

void AddStatistic(std::string_view text, float* max, float* min, double& sum, std::int32_t& count) {
  AddStatistic(parser::ValueNumber(text), max, min, sum, count);
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

void LogField(int code, int index, const std::string& text) { LogFieldValue(code, index, parser::TextValue(text)); }

void LogFieldValue(int code, int index, const parser::FieldValue& value) {
  const std::string& text = value.text;
  if (text == parser::kNotAvailable) return;
  const int row = parser::FieldIndex(code);
  if (row < 0) return;
  const parser::FieldInfo& field = parser::kFieldTable[static_cast<std::size_t>(row)];
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  TRunStats& s = w.stats;
  if (index == 0) {
    if (field.logPlain == parser::LogPlain::kept) w.kept[static_cast<std::size_t>(row)] = text;
    if (field.logPlain == parser::LogPlain::record) WriteLocked(w, code, text);
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
  if (field.logPerCell) WriteLocked(w, CellRecordCode(code, index), text);
}

parser::FieldSink& LogFieldSink() {
  static LogSinkImpl sink;
  return sink;
}

bool WriteLogRecord(std::int32_t code, std::string_view text) {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  return WriteLocked(w, code, text, true);
}

namespace {

// Starts the run on an opened file; the first seal already tells whether the file takes writes.
CreateLogResult StartRunAndReport(Writer& w, int fd, const std::string& name, CreateLogResult result) {
  StartRunLocked(w, fd, name);
  result.nameUsed = name;
  if (w.fd < 0) {
    result.error = w.failure.value_or(result.error);
    w.failure.reset();
    return result;
  }
  result.ok = true;
  result.error.clear();
  return result;
}

}  // namespace

CreateLogResult CreateLogFile(const std::string& name) {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  if (w.fd >= 0) CompleteLocked(w);
  CreateLogResult result;
  result.error = std::string("Невозможно создать файл протокола \""_cp1251) + platform::FileNameText(name) + "\"";
  if (name.empty()) return result;
  struct stat info {};
  if (::stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    // A device or a pipe the user named is written to as it is; a folder is no log. It stays
    // non-blocking: a reader that stops reading fails the write instead of holding the run.
    if (!S_ISCHR(info.st_mode) && !S_ISFIFO(info.st_mode)) return result;
    const int fd = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return result;
    // What was opened counts: a regular file put there meanwhile is never written over.
    if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode)) {
      ::close(fd);
      return result;
    }
    return StartRunAndReport(w, fd, name, std::move(result));
  }
  platform::NewFile created = platform::CreateNewFile(name);
  if (created.fd < 0) return result;
  return StartRunAndReport(w, created.fd, created.name, std::move(result));
}

bool AttachLogFile(int fd, const std::string& name) {
  if (fd < 0) return false;
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  if (w.fd >= 0) CompleteLocked(w);
  StartRunLocked(w, fd, name);
  return true;
}

bool SealLogFile() {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  return SealLocked(w);
}

bool CompleteLogFile() {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  return CompleteLocked(w);
}

bool LogFileOpen() {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  return w.fd >= 0;
}

std::optional<std::string> TakeWriteFailure() {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  std::optional<std::string> failure;
  failure.swap(w.failure);
  return failure;
}

TRunStats RunStats() {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  return w.stats;
}

TIdentity Identity() {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  const auto kept = [&w](int code) { return w.kept[static_cast<std::size_t>(parser::FieldIndex(code))]; };
  return {kept(parser::fcImei), kept(parser::fcModel), kept(parser::fcImsi)};
}

void ResetLogWriter() {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  CloseLocked(w);
  w.name.clear();
  CrcInit(w.crc);
  XorInit(w.xorState);
  for (std::string& text : w.kept) text.clear();
  w.stats = TRunStats{};
  w.failure.reset();
}

std::string LogFileName() {
  CaptureLocalTime();
  return DateStamp("") + ".log";
}

std::string DateStamp(std::string_view separator) {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  return DateStampOf(w.now, separator);
}

std::string ZeroPad(int number, int width) {
  std::string text = std::to_string(number);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
  return text;
}

void CaptureLocalTime() {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  w.now = platform::CaptureLocalTime();
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
