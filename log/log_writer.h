#pragma once
// The log writer: turns measured values into log records of the open log file, keeps the texts the
// run summary needs (the modem and SIM identity), and gathers the run statistics that the summary
// writes. A TLogWriter writes to a LogFile it is given for each run; every operation is safe to
// call from any thread (one mutex guards the writer). The program uses one writer
// (ProgramLogWriter), which the free functions below stand in front of; the log recorder
// (core/log_recorder.h) is the one part of the program that starts and completes its runs.

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/crc.h"
#include "log/log_file.h"
#include "log/xor_crypt.h"
#include "parser/field_table.h"
#include "parser/measurement_fields.h"
#include "platform/local_time.h"
#include "platform/system_error.h"

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

struct CreateLogResult {
  bool ok = false;
  std::string nameUsed;         // the name actually created: the bytes given, or a numbered form of them
  std::string error;            // the Russian message when !ok
  platform::SystemError cause;  // why, when a system call failed
};

// A write that failed: the message the user sees, once, and its cause.
struct WriteFailure {
  std::string message;  // "Невозможно записать протокол " + name, Windows-1251
  platform::SystemError cause;
};

class TLogWriter final : public parser::FieldSink {
 public:
  TLogWriter() = default;
  TLogWriter(const TLogWriter&) = delete;
  TLogWriter& operator=(const TLogWriter&) = delete;

  // Starts the log of a run on file, which the writer owns until the run is completed: resets the
  // run statistics and seals the empty file (false, and the run over at once, when that fails; see
  // TakeWriteFailure). A log still open is completed first. name (a path's bytes) goes into
  // messages.
  bool StartRun(std::unique_ptr<LogFile> file, const std::string& name);

  // StartRun on a new file: never overwrites one (when name exists, "-2", "-3", ... is put before
  // its extension). A device or a pipe that exists under the name is written to as it is; a
  // folder is refused. The name is a path's bytes, passed to open() unchanged; messages show it
  // as Windows-1251 text.
  CreateLogResult Create(const std::string& name);

  // StartRun on an already open, writable descriptor.
  bool Attach(int fd, const std::string& name);

  // One measured value (field code 0..1023, cell index 0..6) as the field table routes it: kept
  // for the summary, written as a record (plain, cell-indexed, or as a cycle's value), folded into
  // the statistics. Records are held and go to the file with the next seal (or once 64 KiB are
  // held). "(n/a)" leaves no trace.
  void Field(int code, int index, const parser::FieldValue& value);
  // The dispatcher's log side: Field.
  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override;

  // Writes one record at once; false when no file is open, the text is empty, or the write failed.
  // A text over 128 bytes is cut to 128; bytes below 0x20 become '?'.
  bool WriteRecord(std::int32_t code, std::string_view text);
  // The same, held to go to the file with the next seal (a cycle's own records, written just
  // before its seal); false when no file is open or the text is empty.
  bool Hold(std::int32_t code, std::string_view text);

  // Writes the held records and a checksum record in one write and syncs them, so that a crash
  // loses nothing before.
  bool Seal();

  // Writes the run summary and a final checksum record, then closes the file.
  bool Complete();

  // Closes the open file after its seal but keeps the run, to be resumed later (a collector keeps
  // only a few files open). False when nothing is open or records wait for a seal.
  bool Suspend();
  // Reopens the file of a suspended run, or of a run whose write failed (a full disk), cut back
  // to its last seal, and goes on from there as if nothing happened after that seal (the
  // statistics too). True when the file is open after it; false, with the failure to take, when
  // it cannot be reopened, and when there is no such run (a device or a pipe is never reopened).
  bool Resume();
  // True while a run's file is closed but the run may resume.
  bool CanResume() const;

  // The run's start and end for the summary, in place of the clock's (a log written from
  // another's cycles carries their times). Until the next run starts.
  void SetRunTimes(const platform::LocalTime& start, const platform::LocalTime& end);

  // True while a log file is open.
  bool IsOpen() const;

  // The failure of a write, once per failure; a failed write closes the file, so logging of that
  // run stops.
  std::optional<WriteFailure> TakeWriteFailure();

  // Snapshots, for the summary and for tests.
  TRunStats Stats() const;
  // The latest text of a field kept for the summary (LogPlain::kept), "" before one came.
  std::string KeptText(int fieldCode) const;

  // Stores the current local time as the writer's "now".
  void CaptureLocalTime();
  // The date of the last captured time as day, separator, month, separator, year.
  std::string DateStamp(std::string_view separator) const;

 private:
  bool WriteLocked(std::int32_t code, std::string_view text, bool flush = false);
  bool FlushLocked();
  bool SealLocked();
  bool CompleteLocked();
  bool StartRunLocked(std::unique_ptr<LogFile> file, const std::string& name);
  void FailLocked(platform::SystemError cause);
  void CloseLocked();

  mutable std::mutex mutex_;
  std::unique_ptr<LogFile> file_;  // null while no log is open
  std::string name_;
  TCrcState crc_;
  TXorState xor_;
  std::array<std::string, parser::kFieldTable.size()> kept_;  // by row of the field table
  TRunStats stats_;
  platform::LocalTime now_;
  platform::LocalTime runStart_;
  std::optional<WriteFailure> failure_;
  std::optional<platform::LocalTime> runEnd_;
  // The run as it was after its last seal that reached the file: a resumed run goes on from it.
  struct SealedState {
    TCrcState crc;
    TXorState xorState;
    TRunStats stats;
    std::uint64_t size = 0;
  };
  SealedState sealed_;
  std::uint64_t size_ = 0;  // bytes the run's file holds
  bool resumable_ = false;  // the file is closed, the run is not over
  // Records encoded but not yet written: a cycle's records go out with its seal, in one write.
  std::vector<std::uint8_t> pending_;
};

// The writer the program records with: made on first use and never destroyed, since a monitor
// thread may still be finishing its run while the process ends.
TLogWriter& ProgramLogWriter();

// The program writer's operations under their long-standing names.
void LogField(int code, int index, const std::string& text);  // Field with the text's number
bool WriteLogRecord(std::int32_t code, std::string_view text);
void CaptureLocalTime();
std::string DateStamp(std::string_view separator);

// Default log file name for today: ddmmyyyy.log (captures the local time).
std::string LogFileName();

// Folds a value's number into a group of statistics, in single precision; max and min may be
// null. None is ignored.
void AddStatistic(std::optional<double> number, float* max, float* min, double& sum, std::int32_t& count);
// The same for a value text ("-75", "0,57"); "(n/a)" and texts that state no number are ignored.
void AddStatistic(std::string_view text, float* max, float* min, double& sum, std::int32_t& count);

// Decimal digits of number, zero-filled on the left to width; a longer text is kept whole.
std::string ZeroPad(int number, int width);

// The text form of the summary's numbers: at most two decimals, decimal comma, no trailing
// zeros ("-75", "-74,5", "0,14").
std::string FormatSummaryNumber(double value);

}  // namespace gsmlog
