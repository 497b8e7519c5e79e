#pragma once
// The record action of a connection: a log file is created when polling starts (unless one is
// already open), sealed after every poll cycle so a crash loses at most the running cycle, and
// completed with the run summary when the connection ends.

#include <functional>
#include <string>

#include "core/window_ops.h"

namespace core {

class LogRecorder : public RunObserver {
 public:
  // Asked on the monitor thread for the file name of a new run; an empty name records nothing.
  using NameSource = std::function<std::string()>;
  // Told the name actually created (a second run of the day gets a new one).
  using NameUsed = std::function<void(const std::string&)>;
  // Run at the end of each cycle while a log is open, just before its seal: the place for the
  // cycle's own records (gsmlog::HoldLogRecord).
  using BeforeSeal = std::function<void()>;

  LogRecorder(WindowOps& window, NameSource nameSource, NameUsed nameUsed, BeforeSeal beforeSeal = {});

  void PollStarted() override;
  void CycleCompleted(int n) override;
  void ConnectionEnded(bool reachedPoll) override;

 private:
  void ReportWriteFailure();

  WindowOps& window_;
  NameSource nameSource_;
  NameUsed nameUsed_;
  BeforeSeal beforeSeal_;
};

}  // namespace core
