#include "ui/main_window_ops.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QThread>
#include <utility>

#include "ui/form_control.h"
#include "ui/frmNetMonitor.h"
#include "ui/local_file_name.h"
#include "ui/log_folder.h"
#include "ui/message_box.h"

namespace ui {

template <typename Fn>
void MainWindowOps::RunOnWindowThread(Fn&& fn, Qt::ConnectionType type) {
  if (QThread::currentThread() == window_.thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(&window_, std::forward<Fn>(fn), type);
}

void MainWindowOps::ShowConnectionState(core::ConnectionState state) {
  Post([form = &window_, state] { ui::ShowConnectionState(*form, state); });
}

void MainWindowOps::SetWindowLayout(core::WindowLayout layout) {
  Post([form = &window_, layout] { ui::SetWindowLayout(*form, layout); });
}

core::PortSettings MainWindowOps::ReadPortSettings() {
  core::PortSettings settings;
  Wait([form = &window_, &settings] { settings = ui::ReadPortSettings(*form); });
  return settings;
}

void MainWindowOps::ShowError(const std::string& text) {
  Wait([&text] { ui::ShowError(text); });
}

void MainWindowOps::MarkFields(bool withIdentity, parser::SweepPass pass) {
  Post([form = &window_, withIdentity, pass] { ui::MarkFields(*form, withIdentity, pass); });
}

void MainWindowOps::PrepareConnection() {
  Wait([form = &window_] { ui::PrepareConnection(*form); });
}

void MainWindowOps::ExitProgram() {
  QMetaObject::invokeMethod(
      &window_, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void MainWindowOps::AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) {
  Post([form = &window_, fieldCode, cellIndex, value] { ui::ShowField(*form, fieldCode, cellIndex, value); });
}

std::string MainWindowOps::RecordName() {
  std::string name;
  Wait([form = &window_, &name] {
    name = LogPath(FileNameInEdit(form->findChild<QLineEdit*>(QStringLiteral("txtLog"))), true);
  });
  return name;
}

void MainWindowOps::ShowRecording(const std::string& name) {
  Post([form = &window_, name] { SetFileNameEdit(form->findChild<QLineEdit*>(QStringLiteral("txtLog")), name); });
}

}  // namespace ui
