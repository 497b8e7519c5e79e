#include "log/log_writer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <mutex>
#include <vector>

#include "log/log_record.h"
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
  TIdentity identity;
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
  if (!WriteLocked(w, lcChecksum, FormatChecksum(w.crc.Sum), true)) return false;
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

  WriteLocked(w, parser::fcImei, w.identity.Imei);
  WriteLocked(w, parser::fcModel, w.identity.Model);
  WriteLocked(w, parser::fcImsi, w.identity.Imsi);
  WriteLocked(w, lcSummaryDate, DateStampOf(w.runStart, "."));
  WriteLocked(w, lcSummaryStart, TimeStamp(w.runStart));
  WriteLocked(w, lcSummaryEnd, TimeStamp(w.now));
  if (s.RxLevelCount > 0) {
    number(lcRxLevelMax, s.RxLevelMax);
    number(lcRxLevelMin, s.RxLevelMin);
    number(lcRxLevelAverage, s.RxLevelSum / s.RxLevelCount);
  }
  if (s.BitErrorCount > 0) {
    number(lcBitErrorMax, s.BitErrorMax);
    number(lcBitErrorMin, s.BitErrorMin);
    number(lcBitErrorAverage, s.BitErrorSum / s.BitErrorCount);
  }
  const double bandTotal = static_cast<double>(s.Band900Count) + s.Band1800Count;
  if (bandTotal > 0) {
    number(lcBand900Share, 100.0 * s.Band900Count / bandTotal);
    number(lcBand1800Share, 100.0 * s.Band1800Count / bandTotal);
  }
  if (s.DistanceCount > 0) number(parser::fcTimingAdvance, s.DistanceSum / s.DistanceCount);
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
  void AcceptField(int fieldCode, int cellIndex, const std::string& text) override {
    LogField(fieldCode, cellIndex, text);
  }
};

// The decimal number of a value text: optional '-', digits, optional ',' and digits.
bool ParseValueText(std::string_view text, float& value) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  double v = 0;
  int digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) v = v * 10 + (text[i] - '0');
  if (i < text.size() && text[i] == ',') {
    ++i;
    double scale = 0.1;
    int fraction = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++fraction, scale /= 10) {
      v += (text[i] - '0') * scale;
    }
    if (fraction == 0) return false;
  }
  if (digits == 0 || i != text.size()) return false;
  const auto single = static_cast<float>(negative ? -v : v);
  if (!std::isfinite(single)) return false;
  value = single;
  return true;
}

}  // namespace

void AddStatistic(std::string_view text, float* max, float* min, double& sum, std::int32_t& count) {
  if (text == parser::kNotAvailable) return;
  float v;
  if (!ParseValueText(text, v)) return;
  if (max && !(*max >= v)) *max = v;
  if (min && *min > v) *min = v;
  sum += v;
  ++count;
}

void LogField(int code, int index, const std::string& text) {
  if (text == parser::kNotAvailable) return;
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  TRunStats& s = w.stats;
  if (index == 0) {
    switch (code) {
      case parser::fcImei:
        w.identity.Imei = text;
        break;
      case parser::fcModel:
        w.identity.Model = text;
        break;
      case parser::fcImsi:
        w.identity.Imsi = text;
        break;
      case parser::fcCountry:
      case parser::fcOperator:
      case parser::fcLocalArea:
      case parser::fcBaseStation:
      case parser::fcCell:
        WriteLocked(w, code, text);
        break;
      case parser::fcFreqBand:
        // E-GSM is the extended 900 MHz band, not a part of 1800.
        if (text == "900" || text == "EGSM") ++s.Band900Count;
        if (text == "1800") ++s.Band1800Count;
        break;
      case parser::fcRxLevel:
        AddStatistic(text, &s.RxLevelMax, &s.RxLevelMin, s.RxLevelSum, s.RxLevelCount);
        break;
      case parser::fcBitError:
        AddStatistic(text, &s.BitErrorMax, &s.BitErrorMin, s.BitErrorSum, s.BitErrorCount);
        break;
      case parser::fcTimingAdvance:
        AddStatistic(text, nullptr, nullptr, s.DistanceSum, s.DistanceCount);
        break;
      default:
        break;
    }
  }
  switch (code) {
    case parser::fcFreqBand:
    case parser::fcBaseStation:
    case parser::fcCell:
    case parser::fcRxLevel:
    case parser::fcChannel:
      WriteLocked(w, CellRecordCode(code, index), text);
      break;
    default:
      break;
  }
  if (index == 0 && IsCycleValueField(code)) WriteLocked(w, kCycleValueBase + code, text);
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

bool HoldLogRecord(std::int32_t code, std::string_view text) {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  return WriteLocked(w, code, text);
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
  return w.identity;
}

void ResetLogWriter() {
  Writer& w = TheWriter();
  std::lock_guard lock(w.mutex);
  CloseLocked(w);
  w.name.clear();
  CrcInit(w.crc);
  XorInit(w.xorState);
  w.identity = TIdentity{};
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
