#include "core/log_recorder.h"

#include <utility>

#include "log/log_writer.h"

namespace core {

LogRecorder::LogRecorder(WindowOps& window, NameSource nameSource, NameUsed nameUsed, BeforeSeal beforeSeal)
    : window_(window),
      nameSource_(std::move(nameSource)),
      nameUsed_(std::move(nameUsed)),
      beforeSeal_(std::move(beforeSeal)) {}

void LogRecorder::PollStarted() {
  if (gsmlog::LogFileOpen() || !nameSource_) return;
  const std::string name = nameSource_();
  if (name.empty()) return;
  const gsmlog::CreateLogResult created = gsmlog::CreateLogFile(name);
  if (!created.ok) {
    window_.ShowError(created.error);
    return;
  }
  if (nameUsed_) nameUsed_(created.nameUsed);
}

// A failed write closes the log, so the failure is looked for whether a log is still open or not.
void LogRecorder::CycleCompleted(int /*n*/) {
  if (gsmlog::LogFileOpen()) {
    if (beforeSeal_) beforeSeal_();
    gsmlog::SealLogFile();
  }
  ReportWriteFailure();
}

void LogRecorder::ConnectionEnded(bool /*reachedPoll*/) {
  if (gsmlog::LogFileOpen()) gsmlog::CompleteLogFile();
  ReportWriteFailure();
}

void LogRecorder::ReportWriteFailure() {
  if (auto message = gsmlog::TakeWriteFailure()) window_.ShowError(*message);
}

}  // namespace core
