#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <thread>

#include "form_fixture.h"
#include "parser/measurement_fields.h"
#include "tests/support/qt_wait.h"
#include "ui/log_folder.h"
#include "ui/main_window_ops.h"

namespace {

using namespace platform::literals;
using testsupport::WaitUntil;
using uitest::FormTest;
using uitest::Utf;

// The monitor thread's calls reach the widgets on the window's thread, in order, with copies.
TEST_F(FormTest, CallsFromAnotherThreadArriveOnTheWindowThread) {
  ui::MainWindowOps ops(*form_);
  std::atomic<bool> done{false};
  core::PortSettings settings;
  std::thread monitor([&] {
    ops.ShowConnectionState(core::ConnectionState::connecting);
    settings = ops.ReadPortSettings();
    ops.MarkFields(true, parser::SweepPass::reset);
    ops.MarkFields(true, parser::SweepPass::markMissing);
    ops.SetWindowLayout(core::WindowLayout::MonitorLayout);
    {
      radio::DeliveredField level{parser::fcRxLevel, 0, "-71", -71};
      ops.ShowValue(level);
      level = {parser::fcRxLevel, 0, "garbage", 0};  // the window must have taken a copy
    }
    radio::Cycle cycle;
    cycle.delivered.push_back({parser::fcOperator, 0, std::string("Билайн"_cp1251), std::nullopt});
    ops.ShowCycle(cycle);
    ops.ShowConnectionState(core::ConnectionState::connected);
    done = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
  monitor.join();
  EXPECT_EQ(settings.portName, "COM1");
  EXPECT_EQ(settings.speed, 9600);
  EXPECT_TRUE(WaitUntil([&] { return Control<QPushButton>("btnControl")->text() == Utf("Отключить"_cp1251); }));
  EXPECT_EQ(Text("txtRxLevel"), "-71 dBm");
  EXPECT_EQ(Text("txtOperator"), Utf("Билайн"_cp1251));
  EXPECT_EQ(Text("txtImei"), "(n/a)");
  EXPECT_EQ(form_->size(), QSize(690, 438));
  EXPECT_TRUE(form_->Graph()->HasSurface());
}

// A stop request from a click runs on the window's thread and must not wait on itself.
TEST_F(FormTest, CallsOnTheWindowThreadRunAtOnce) {
  ui::MainWindowOps ops(*form_);
  ops.SetWindowLayout(core::WindowLayout::MonitorLayout);
  ops.ShowConnectionState(core::ConnectionState::disconnecting);
  EXPECT_EQ(Control<QPushButton>("btnControl")->text(), Utf("Отключение ..."_cp1251));
  ops.SetWindowLayout(core::WindowLayout::PortLayout);
  EXPECT_EQ(form_->size(), QSize(202, 114));
  EXPECT_FALSE(form_->Graph()->HasSurface());
  EXPECT_EQ(ops.ReadPortSettings().portName, "COM1");
}

TEST_F(FormTest, RecorderSeesTheLogNameAndShowsTheOneUsed) {
  QTemporaryDir data;
  ui::SetLogFolder(data.filePath(QStringLiteral("logs")));
  ui::MainWindowOps ops(*form_);
  Edit("txtLog")->setText("09122026.log");
  std::string asked;
  std::atomic<bool> done{false};
  std::thread monitor([&] {
    asked = ops.RecordName();
    ops.ShowRecording("09122026-2.log");
    done = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
  monitor.join();
  // A bare name stands for a file in the log folder, which is there before the log is created.
  EXPECT_EQ(asked, data.filePath(QStringLiteral("logs/09122026.log")).toStdString());
  EXPECT_TRUE(QFileInfo(data.filePath(QStringLiteral("logs"))).isDir());
  ui::SetLogFolder(QString());
  EXPECT_TRUE(WaitUntil([&] { return Text("txtLog") == "09122026-2.log"; }));
}

TEST_F(FormTest, ExitProgramEndsTheEventLoopWithZero) {
  ui::MainWindowOps ops(*form_);
  std::thread monitor([&] { ops.ExitProgram(); });
  monitor.join();
  // A bound on the wait: the posted exit comes first, so the code is 0 unless it never arrives.
  QTimer::singleShot(10000, form_.get(), [] { QCoreApplication::exit(7); });
  EXPECT_EQ(QApplication::exec(), 0);
}

}  // namespace
