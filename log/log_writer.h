#pragma once
// The log writer: turns measured values into log records of the open log file, keeps the modem
// and SIM identity, and gathers the run statistics that the run summary writes. One writer per
// process; every operation is safe to call from any thread (one mutex guards the writer).

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "parser/measurement_fields.h"
#include "platform/local_time.h"

namespace gsmlog {

// Statistics of one run. Max and min start at -inf / +inf so the first value sets both; sums are
// kept in double so that long runs do not drift.
inline constexpr float kStatInfinity = std::numeric_limits<float>::infinity();

struct TRunStats {
  float RxLevelMax = -kStatInfinity, RxLevelMin = kStatInfinity;
  double RxLevelSum = 0;
  std::int32_t RxLevelCount = 0;
  float BitErrorMax = -kStatInfinity, BitErrorMin = kStatInfinity;
  double BitErrorSum = 0;
  std::int32_t BitErrorCount = 0;
  double DistanceSum = 0;
  std::int32_t DistanceCount = 0;
  std::int32_t Band900Count = 0;   // serving-cell band reports "900" and "EGSM"
  std::int32_t Band1800Count = 0;  // serving-cell band reports "1800"
};

struct TIdentity {
  std::string Imei, Model, Imsi;  // latest texts of codes 1, 3 and 129; empty until received
};

// One measured value (field code 0..1023, cell index 0..6, Windows-1251 text) from the dispatcher.
// Its records are held and go to the file with the next seal (or once 64 KiB are held).
void LogField(int code, int index, const std::string& text);

// The dispatcher's log side: forwards every value to LogField. Install with parser::SetLogSink.
parser::FieldSink& LogFieldSink();

// Writes one record to the open file; false when no file is open, the text is empty, or the
// write failed. A text over 128 bytes is cut to 128; bytes below 0x20 become '?'.
bool WriteLogRecord(std::int32_t code, std::string_view text);

// The same, held to go to the file with the next seal (a cycle's own records, written just
// before its seal); false when no file is open or the text is empty.
bool HoldLogRecord(std::int32_t code, std::string_view text);

// Folds a value text ("-75", "0,57") into a group of statistics; max and min may be null.
// "(n/a)" and texts that are not a decimal number (comma as separator) are ignored.
void AddStatistic(std::string_view text, float* max, float* min, double& sum, std::int32_t& count);

struct CreateLogResult {
  bool ok = false;
  std::string nameUsed;  // the name actually created: the bytes given, or a numbered form of them
  std::string error;     // the Russian message when !ok
};

// Starts the log of a run: creates a new file (never overwrites one: when name exists, "-2",
// "-3", ... is put before its extension), resets the run statistics and seals the empty file.
// A device or a pipe that exists under the name is written to as it is; a folder is refused.
// A file still open is completed first. The name is a path's bytes, passed to open() unchanged;
// messages show it as Windows-1251 text.
CreateLogResult CreateLogFile(const std::string& name);

// Takes over an already open, writable descriptor as the log file of a new run (as
// CreateLogFile does after opening); name (a path's bytes) is used in messages.
bool AttachLogFile(int fd, const std::string& name);

// Writes the held records and a checksum record in one write and flushes them to the disk, so
// that a crash loses nothing before.
bool SealLogFile();

// Writes the run summary and a final checksum record, then closes the file.
bool CompleteLogFile();

// True while a log file is open.
bool LogFileOpen();

// The message of a failed write, once per failure ("Невозможно записать протокол " + name);
// a failed write closes the file, so logging of that run stops.
std::optional<std::string> TakeWriteFailure();

// Snapshots, for the summary and for tests.
TRunStats RunStats();
TIdentity Identity();

// Back to the program-start state: closes any file unsealed, clears identity and statistics.
void ResetLogWriter();

// Default log file name for today: ddmmyyyy.log.
std::string LogFileName();

// The date of the last captured time as day, separator, month, separator, year.
std::string DateStamp(std::string_view separator);

// Decimal digits of number, zero-filled on the left to width; a longer text is kept whole.
std::string ZeroPad(int number, int width);

// Stores the current local time as the writer's "now".
void CaptureLocalTime();

// The text form of the summary's numbers: at most two decimals, decimal comma, no trailing
// zeros ("-75", "-74,5", "0,14").
std::string FormatSummaryNumber(double value);

}  // namespace gsmlog
