// The real window against the simulated modem: connect, watch it grow and fill, disconnect,
// connect again, and close it both ways.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/startup.h"
#include "core/session.h"
#include "platform/serial_device.h"
#include "platform/text_encoding.h"
#include "tests/support/modal_closer.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/qt_wait.h"
#include "tests/support/scripted_answers.h"
#include "tests/support/scripted_modem.h"
#include "ui/form_control.h"
#include "ui/frmNetMonitor.h"
#include "ui/monitor_window.h"
#include "ui/rxlevel_graphbar.h"

namespace {

using namespace platform::literals;
using testsupport::WaitUntil;
namespace fs = std::filesystem;

QString Utf(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }

// Records every client size the window takes, in order.
class SizeRecorder : public QObject {
 public:
  explicit SizeRecorder(QWidget& window) { window.installEventFilter(this); }
  std::vector<QSize> sizes;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) sizes.push_back(static_cast<QWidget*>(watched)->size());
    return false;
  }
};

class MonitorWindowTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    sim_ = new testsupport::ModemSimProcess();
    dir_ = fs::temp_directory_path() / ("uiwin-e2e-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    if (sim_->Started()) fs::create_symlink(sim_->DevicePath(), dir_ / "COM1");
    ::setenv(platform::kComDirVariable, dir_.c_str(), 1);
    // The log of each run is created under its default name in the program's data folder, even
    // when started in a folder nobody can write into, root included.
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    fs::current_path("/proc");
    app::NameApplication();
    form_ = &ui::CreateMonitorWindow();
    form_->show();
  }
  static void TearDownTestSuite() {
    delete sim_;
    fs::current_path(fs::temp_directory_path());
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void SetUp() override {
    if (!sim_->Started()) GTEST_SKIP() << "gsm_modem_sim did not start";
    // An error box would block the monitor thread; answer it and fail the test with its text.
    errorWatch_ = new QTimer(form_);
    QObject::connect(errorWatch_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        ADD_FAILURE() << "error box: " << box->text().toStdString();
        box->accept();
      }
    });
    errorWatch_->start(50);
  }
  void TearDown() override { delete errorWatch_; }

  static QPushButton* Control() { return form_->findChild<QPushButton*>("btnControl"); }
  static QString Text(const char* name) { return form_->findChild<QLineEdit*>(name)->text(); }
  static bool Idle() {
    return !ui::MonitorSession().MonitorThreadRunning() && Control()->text() == Utf("Подключить"_cp1251);
  }

  // Connects and waits for live values; the graph must move.
  static void ConnectAndWatch() {
    SizeRecorder recorder(*form_);
    Control()->click();
    ASSERT_TRUE(WaitUntil([] { return form_->size() == QSize(690, 438); }));
    const QImage first = form_->Graph()->Surface();
    ASSERT_TRUE(WaitUntil([] { return Text("txtRxLevel").endsWith(" dBm") && Text("txtImei") != "(n/a)"; }));
    EXPECT_TRUE(WaitUntil([&] { return form_->Graph()->Surface() != first; }));
    EXPECT_EQ(Control()->text(), Utf("Отключить"_cp1251));
    EXPECT_FALSE(form_->findChild<QWidget*>("txtComPort")->isEnabled());
    const std::vector<QSize> grown = {QSize(202, 271), QSize(690, 438)};
    EXPECT_EQ(recorder.sizes, grown);
  }

  static inline testsupport::ModemSimProcess* sim_ = nullptr;
  static inline fs::path dir_;
  static inline ui::Tfrm* form_ = nullptr;
  QTimer* errorWatch_ = nullptr;
};

TEST_F(MonitorWindowTest, ConnectDisconnectAndConnectAgain) {
  std::set<fs::path> names;
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    ConnectAndWatch();
    const QString logName = Text("txtLog");
    EXPECT_FALSE(logName.isEmpty());

    Control()->click();
    // The window shrinks at once; the idle state waits for the monitor thread.
    EXPECT_EQ(form_->size(), QSize(202, 114));
    EXPECT_FALSE(form_->Graph()->HasSurface());
    EXPECT_EQ(Control()->text(), Utf("Отключение ..."_cp1251));
    EXPECT_FALSE(Control()->isEnabled());
    ASSERT_TRUE(WaitUntil(Idle));
    EXPECT_TRUE(Control()->isEnabled());
    EXPECT_EQ(form_->size(), QSize(202, 114));
    // The connection recorded its log under the name shown, and completed it; the graph's
    // tooltip names it too.
    const fs::path log = logName.toStdString();
    EXPECT_EQ(log.parent_path(), dir_ / "data" / "ostrin-gsmmon" / "logs");
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]{8}(-[0-9]+)?\\.log$"))
                    .match(QString::fromStdString(log.filename().string()))
                    .hasMatch())
        << log;
    EXPECT_TRUE(names.insert(log).second) << "a second run never overwrites the first";
    EXPECT_TRUE(fs::exists(log)) << log;
    EXPECT_GT(fs::exists(log) ? fs::file_size(log) : 0, 0u);
    EXPECT_EQ(form_->Graph()->toolTip().section(QLatin1Char('\n'), 0, 0),
              QStringLiteral("Протокол записывается в файл ") + logName);
  }
}

TEST_F(MonitorWindowTest, ClosingWhenIdleEndsTheProgramAtOnce) {
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(form_->close());
  QTimer::singleShot(10000, [] { QCoreApplication::exit(7); });
  EXPECT_EQ(QApplication::exec(), 0);
  form_->show();
}

// A port that does not open: the box says so and why, in the same two lines the headless tool
// prints, and the window is idle again.
TEST_F(MonitorWindowTest, APortThatIsNoTerminalIsRefusedWithItsReason) {
  errorWatch_->stop();
  const fs::path file = dir_ / "notes.txt";
  { std::ofstream(file) << "keep"; }
  fs::create_symlink(file, dir_ / "COM3");
  auto* port = form_->findChild<QComboBox*>("txtComPort");
  port->setCurrentText(QStringLiteral("COM3"));
  test_support::ModalCloser closer;
  Control()->click();
  ASSERT_TRUE(WaitUntil([&] { return closer.Seen(); }));
  EXPECT_EQ(closer.Text(), QStringLiteral("Невозможно открыть порт COM3\nЭто не последовательный порт"));
  ASSERT_TRUE(WaitUntil(Idle));
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
  port->setCurrentText(QStringLiteral("COM1"));
  fs::remove(dir_ / "COM3");
  errorWatch_->start(50);
}

// "Отключить" against a modem that drips a byte a second into its serving report: the window is
// idle again within 2 s, and the modem got its "ATZ".
TEST_F(MonitorWindowTest, DisconnectAgainstADrippingModemWithinTwoSeconds) {
  std::atomic<bool> dripping{false};
  testsupport::ScriptedModem modem([&dripping, reports = 0](const std::string& command) mutable {
    if (command == "AT^MONI" && ++reports == 2) {
      dripping.store(true);
      return testsupport::ScriptedReply{"\r\nServing Cell\r\n", false, false, std::chrono::milliseconds(1000)};
    }
    return testsupport::GoodAnswer(command);
  });
  fs::create_symlink(modem.Path(), dir_ / "COM2");
  auto* port = form_->findChild<QComboBox*>("txtComPort");
  port->setCurrentText(QStringLiteral("COM2"));
  Control()->click();
  ASSERT_TRUE(WaitUntil([&] { return dripping.load(); }, std::chrono::seconds(60)));
  QElapsedTimer inDrip;
  inDrip.start();
  ASSERT_TRUE(WaitUntil([&] { return inDrip.elapsed() > 1500; }));
  ASSERT_EQ(Control()->text(), Utf("Отключить"_cp1251));
  QElapsedTimer stop;
  stop.start();
  Control()->click();
  ASSERT_TRUE(WaitUntil(Idle));
  EXPECT_LT(stop.elapsed(), 2000);
  EXPECT_EQ(modem.Commands().back(), "ATZ");
  port->setCurrentText(QStringLiteral("COM1"));
  fs::remove(dir_ / "COM2");
}

// Last: a refused close leaves the monitor thread to end the program.
TEST_F(MonitorWindowTest, ClosingWhileConnectedEndsTheProgramAfterTheThread) {
  ConnectAndWatch();
  EXPECT_FALSE(form_->close());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(Control()->text(), Utf("Отключение ..."_cp1251));
  EXPECT_EQ(form_->size(), QSize(690, 438));
  QTimer::singleShot(20000, [] { QCoreApplication::exit(7); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(WaitUntil([] { return !ui::MonitorSession().MonitorThreadRunning(); }));
}

}  // namespace
