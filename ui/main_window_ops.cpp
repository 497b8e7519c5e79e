#include "ui/main_window_ops.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QThread>
#include <future>
#include <type_traits>
#include <utility>

#include "platform/thread_sanitizer.h"
#include "ui/cells_window.h"
#include "ui/form_control.h"
#include "ui/frmNetMonitor.h"
#include "ui/history_window.h"
#include "ui/local_file_name.h"
#include "ui/log_folder.h"
#include "ui/map_window.h"
#include "ui/message_box.h"

#ifdef GSMMON_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace ui {
namespace {

// ThreadSanitizer cannot see Qt's event queue hand a posted call to the window's thread: the
// queue's lock is inside Qt, which is not built for the sanitizer. These tell it what Qt
// guarantees: what the caller did before posting happens before the call runs. A no-op in every
// other build.
#ifdef GSMMON_THREAD_SANITIZER
char g_windowQueue;  // stands for the window thread's event queue
void HandOver() { __tsan_release(&g_windowQueue); }
void TakeOver() { __tsan_acquire(&g_windowQueue); }
#else
void HandOver() {}
void TakeOver() {}
#endif

template <typename Fn>
class QueuedCall {
 public:
  explicit QueuedCall(Fn fn) : fn_(std::move(fn)) {}
  // Made and moved on the posting thread, the last move into Qt's own copy; run and destroyed on
  // the window's thread.
  QueuedCall(QueuedCall&& other) noexcept : fn_(std::move(other.fn_)) { HandOver(); }
  QueuedCall(const QueuedCall&) = delete;
  QueuedCall& operator=(const QueuedCall&) = delete;
  QueuedCall& operator=(QueuedCall&&) = delete;
  ~QueuedCall() { TakeOver(); }

  void operator()() {
    TakeOver();
    fn_();
  }

 private:
  Fn fn_;
};

}  // namespace

template <typename Fn>
void MainWindowOps::Post(Fn&& fn) {
  if (QThread::currentThread() == window_.thread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(&window_, QueuedCall<std::decay_t<Fn>>(std::forward<Fn>(fn)), Qt::QueuedConnection);
}

// Queued, and the caller waits for the call's end (not Qt's blocking connection, whose hand-back
// the sanitizers cannot see): what the call did happens before the caller goes on.
template <typename Fn>
void MainWindowOps::Wait(Fn&& fn) {
  if (QThread::currentThread() == window_.thread()) {
    fn();
    return;
  }
  std::promise<void> finished;
  std::future<void> done = finished.get_future();
  Post([&fn, &finished] {
    fn();
    finished.set_value();
  });
  done.wait();
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

void MainWindowOps::ShowValue(const radio::DeliveredField& field) {
  Post([form = &window_, field] {
    ui::ShowField(*form, field.code, field.cell, parser::FieldValue{field.text, field.number});
  });
}

void MainWindowOps::ShowCycle(const radio::Cycle& cycle) {
  Post([form = &window_, fields = cycle.delivered] {
    for (const radio::DeliveredField& field : fields) {
      ui::ShowField(*form, field.code, field.cell, parser::FieldValue{field.text, field.number});
    }
  });
}

void MainWindowOps::ShowHistoryCycle(const radio::Cycle& cycle) {
  Post([cycle] { AddLiveCycle(cycle); });
}

void MainWindowOps::ShowCellsCycle(const radio::Cycle& cycle) {
  Post([cycle] { ShowLiveCells(cycle); });
}

void MainWindowOps::ShowMapCycle(const radio::Cycle& cycle) {
  Post([cycle] { AddLiveMapCycle(cycle); });
}

void MainWindowOps::ShowDialect(const std::string& name) {
  Post([name] { SetLiveDialect(QString::fromStdString(name)); });
}

std::string MainWindowOps::RecordName() {
  std::string name;
  Wait([form = &window_, &name] {
    name = LogPath(FileNameInEdit(form->findChild<QLineEdit*>(QStringLiteral("txtLog"))), true);
  });
  return name;
}

void MainWindowOps::ShowEvent(const history::CellEvent& event) {
  Post([event] {
    AddLiveEvent(event);
    AddLiveMapEvent(event);
  });
}

void MainWindowOps::ShowRecording(const std::string& name) {
  Post([form = &window_, name] { SetFileNameEdit(form->findChild<QLineEdit*>(QStringLiteral("txtLog")), name); });
}

}  // namespace ui
