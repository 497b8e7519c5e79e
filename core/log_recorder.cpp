#include "core/log_recorder.h"

#include <utility>

#include "log/log_record.h"
#include "log/log_writer.h"
#include "radio/cell_text.h"

namespace core {
namespace {

// Cells of other technologies than GSM, which the field records cannot carry, one record each (a
// cell whose values do not fit into one goes on in the next).
void HoldOtherCells(gsmlog::TLogWriter& writer, const radio::Cycle& cycle) {
  if (!writer.IsOpen()) return;
  const auto hold = [&writer](radio::CellRole role, const radio::Cell& cell) {
    if (cell.tech() == radio::Tech::gsm) return;
    for (const std::string& line : radio::CellLines(role, cell, gsmlog::kMaxLogText)) {
      writer.Hold(gsmlog::kCycleCellCode, line);
    }
  };
  if (cycle.serving) hold(radio::CellRole::serving, *cycle.serving);
  for (const radio::Cell& cell : cycle.secondary) hold(radio::CellRole::secondary, cell);
  for (const radio::Cell& cell : cycle.neighbours) hold(radio::CellRole::neighbour, cell);
}

}  // namespace

LogRecorder::LogRecorder(WindowOps& window, gsmlog::TLogWriter& writer, NameSource nameSource, NameUsed nameUsed,
                         BeforeSeal beforeSeal)
    : window_(window),
      writer_(writer),
      nameSource_(std::move(nameSource)),
      nameUsed_(std::move(nameUsed)),
      beforeSeal_(std::move(beforeSeal)) {}

bool LogRecorder::StartLog(const std::string& name) {
  const gsmlog::CreateLogResult created = writer_.Create(name);
  if (!created.ok) {
    if (failureShown_) {
      failureShown_(created.error, created.cause);
    } else {
      window_.ShowError(created.error);
    }
    return false;
  }
  if (nameUsed_) nameUsed_(created.nameUsed);
  return true;
}

void LogRecorder::CompleteLog() {
  if (writer_.IsOpen()) writer_.Complete();
  ReportWriteFailure();
}

void LogRecorder::RecordAction() {
  if (writer_.IsOpen()) {
    CompleteLog();
  } else {
    StartNamedLog();
  }
}

void LogRecorder::IdentityAnswered(const radio::DeliveredField& field) {
  writer_.Field(field.code, field.cell, parser::FieldValue{field.text, field.number});
}

void LogRecorder::RunStarted(const RunStart& /*start*/) {
  if (!writer_.IsOpen()) StartNamedLog();
}

void LogRecorder::StartNamedLog() {
  if (!nameSource_) return;
  if (const std::string name = nameSource_(); !name.empty()) StartLog(name);
}

// A failed write closes the log, so the failure is looked for whether a log is still open or not.
void LogRecorder::CycleCompleted(const radio::Cycle& cycle) {
  if (beforeValues_) beforeValues_(writer_, cycle);
  for (const radio::DeliveredField& field : cycle.delivered) {
    writer_.Field(field.code, field.cell, parser::FieldValue{field.text, field.number});
  }
  HoldOtherCells(writer_, cycle);
  if (beforeSeal_) beforeSeal_(writer_, cycle);
  if (writer_.IsOpen()) writer_.Seal();
  ReportWriteFailure();
}

void LogRecorder::RunEnded(const RunEnd& /*end*/) { CompleteLog(); }

void LogRecorder::ReportWriteFailure() {
  auto failure = writer_.TakeWriteFailure();
  if (!failure) return;
  if (failureShown_) {
    failureShown_(failure->message, failure->cause);
  } else {
    window_.ShowError(failure->message);
  }
}

}  // namespace core
