#pragma once
// The main window as the monitor thread sees it: the window operations and the display side of
// the field dispatcher. Each call is posted to the window's thread with copies of its arguments;
// ReadPortSettings, ShowError and RecordName wait for the window's answer. Called on the window's
// own thread, an operation runs at once (a stop request from a click must not wait on itself).

#include <string>
#include <utility>

#include "core/window_ops.h"
#include "history/cell_events.h"
#include "parser/measurement_fields.h"

namespace ui {

class Tfrm;

class MainWindowOps final : public core::WindowOps, public parser::FieldSink {
 public:
  // window must outlive every call.
  explicit MainWindowOps(Tfrm& window) : window_(window) {}

  void ShowConnectionState(core::ConnectionState state) override;
  void SetWindowLayout(core::WindowLayout layout) override;
  core::PortSettings ReadPortSettings() override;
  void ShowError(const std::string& text) override;
  void MarkFields(bool withIdentity, parser::SweepPass pass) override;
  void PrepareConnection() override;
  // Posts QCoreApplication::exit(0) to the window's event loop.
  void ExitProgram() override;

  // The display: ShowField on the window's thread.
  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override;

  // The record action's side of a run (core::LogRecorder's name source and name used): the
  // name in txtLog, Windows-1251, waiting for the answer (a bare name placed into the log folder,
  // ui/log_folder.h); and the name the log got, into txtLog.
  std::string RecordName();
  // An event of the run: onto the live history.
  void ShowEvent(const history::CellEvent& event);
  void ShowRecording(const std::string& name);

 private:
  // Runs fn on the window's thread: at once when already there, otherwise queued (Post), or
  // queued and waited for (Wait).
  template <typename Fn>
  void Post(Fn&& fn);
  template <typename Fn>
  void Wait(Fn&& fn);

  Tfrm& window_;
};

}  // namespace ui
