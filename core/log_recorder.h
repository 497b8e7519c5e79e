#pragma once
// The record action: the one part of the program that starts and completes logs. For a
// connection, a log is created when polling starts (unless one is already open), sealed after
// every poll cycle so a crash loses at most the running cycle, and completed with the run summary
// when the connection ends. The window's record button starts and completes logs through it too.

#include <functional>
#include <string>
#include <utility>

#include "core/run_consumer.h"
#include "core/window_ops.h"
#include "platform/system_error.h"

namespace gsmlog {
class TLogWriter;
}

namespace core {

class LogRecorder : public RunConsumer {
 public:
  // Asked for the file name of a new log; an empty name records nothing.
  using NameSource = std::function<std::string()>;
  // Told the name actually created (a second run of the day gets a new one).
  using NameUsed = std::function<void(const std::string&)>;
  // Run at the end of each cycle, after its values and just before its seal, with the writer and
  // the cycle: the place for the cycle's own records (TLogWriter::Hold, which does nothing while
  // no log is open).
  using BeforeSeal = std::function<void(gsmlog::TLogWriter&, const radio::Cycle&)>;

  // writer must outlive the recorder; window shows its errors.
  LogRecorder(WindowOps& window, gsmlog::TLogWriter& writer, NameSource nameSource, NameUsed nameUsed,
              BeforeSeal beforeSeal = {});

  // Starts a log under name (a path's bytes): false, with the error shown, when it cannot be
  // created (an empty name cannot).
  bool StartLog(const std::string& name);
  // Completes the open log with its summary; a failed write is shown.
  void CompleteLog();
  // The record button: completes the open log, or starts one under the name source's name.
  void RecordAction();
  // Sets what runs before each seal; before any monitor thread runs.
  void SetBeforeSeal(BeforeSeal beforeSeal) { beforeSeal_ = std::move(beforeSeal); }
  // Sets what runs at the end of each cycle before its values are written (records that lead
  // the cycle, such as the run's start); before any monitor thread runs.
  void SetBeforeValues(BeforeSeal beforeValues) { beforeValues_ = std::move(beforeValues); }
  // Told a log that could not be created or written, with the cause, in place of the window's
  // error (a collector says why, and not once per failed cycle).
  using FailureShown = std::function<void(const std::string& message, platform::SystemError cause)>;
  void SetFailureShown(FailureShown failureShown) { failureShown_ = std::move(failureShown); }

  // The modem's identity goes to the writer as it arrives (the summary keeps it), a cycle's
  // values when the cycle completes, then a record for each of its cells of another technology
  // than GSM, its own records and the seal.
  void IdentityAnswered(const radio::DeliveredField& field) override;
  void RunStarted(const RunStart& start) override;
  void CycleCompleted(const radio::Cycle& cycle) override;
  void RunEnded(const RunEnd& end) override;

 private:
  void StartNamedLog();
  void ReportWriteFailure();

  WindowOps& window_;
  gsmlog::TLogWriter& writer_;
  NameSource nameSource_;
  NameUsed nameUsed_;
  BeforeSeal beforeSeal_;
  BeforeSeal beforeValues_;
  FailureShown failureShown_;
};

}  // namespace core
