#include "app/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <vector>

#include "app/monitor_mode.h"
#include "log/log_writer.h"
#include "platform/file_name.h"
#include "platform/text_encoding.h"
#include "tests/support/file_name_cases.h"
#include "tests/support/modal_closer.h"
#include "ui/app_state.h"
#include "ui/log_folder.h"
#include "ui/viewer.h"

namespace {

using app::StartAction;

TEST(Startup, ArgumentsAreJoinedBySingleBlanks) {
  EXPECT_EQ(app::JoinArguments({}), "");
  EXPECT_EQ(app::JoinArguments({"/home/user/my logs/09.12.2026.log"}), "/home/user/my logs/09.12.2026.log");
  EXPECT_EQ(app::JoinArguments({"/home/user/my", "logs/a", "b.log"}), "/home/user/my logs/a b.log");
  EXPECT_EQ(app::JoinArguments({"", ""}), " ");
}

// Without a display: the usage for "--help", a message for anything else; with one, the
// arguments keep their meaning.
TEST(Startup, WithoutADisplayHelpOrAMessage) {
  struct Case {
    const char* argument;
    bool display;
    std::optional<int> status;
    bool usage;
  };
  const Case cases[] = {
      {"--help", false, 0, true},
      {"", false, 1, false},
      {"-select", false, 1, false},
      {"a.log", false, 1, false},
      {"--help", true, std::nullopt, false},
      {"", true, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.argument) + (c.display ? " with a display" : ""));
    std::ostringstream out, err;
    EXPECT_EQ(app::StartWithoutDisplay(app::PlanStartup(c.argument), c.display, out, err), c.status);
    EXPECT_EQ(out.str().starts_with("Использование:"), c.usage);
    EXPECT_EQ(!err.str().empty(), c.status == 1);
  }
}

TEST(Startup, ArgumentSelectsTheMode) {
  struct Case {
    const char* argument;
    bool viewerOnly;
    StartAction action;
  };
  const Case cases[] = {
      {"", false, StartAction::monitor},           {"-select", true, StartAction::selectFile},
      {"-SELECT", true, StartAction::emptyReport}, {"-select ", true, StartAction::emptyReport},
      {"-", true, StartAction::emptyReport},       {"/tmp/my logs/a b.log", true, StartAction::openFile},
      {"\"a.log\"", true, StartAction::openFile},  {" ", true, StartAction::openFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const app::StartupPlan plan = app::PlanStartup(c.argument);
    EXPECT_EQ(plan.argument, c.argument);
    EXPECT_EQ(plan.viewerOnly, c.viewerOnly);
    EXPECT_EQ(plan.action, c.action);
  }
}

// What the report window showed while the program ran.
struct Seen {
  bool shown = false;
  QString report;
  bool timedOut = false;
};

// Runs a viewer-only start-up; once the report window shows in the event loop, notes it and
// closes it as the user would. A bounded watchdog ends a loop that nothing else ends.
int RunViewer(const std::string& argument, Seen& seen, const app::ChooseFile& choose = {}) {
  QTimer user;
  user.setInterval(5);
  QObject::connect(&user, &QTimer::timeout, [&seen, &user] {
    ui::TfrmViewer* window = ui::ReportWindow();
    if (window == nullptr || !window->isVisible() || QApplication::activeModalWidget() != nullptr) return;
    user.stop();
    seen.shown = true;
    seen.report = window->ReportText();
    window->close();
  });
  user.start();
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&seen] {
    seen.timedOut = true;
    QCoreApplication::exit(0);
  });
  watchdog.start(10000);
  return app::RunViewerOnly(app::PlanStartup(argument), choose);
}

struct LogFiles : testing::Test {
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    good = dir.filePath(QStringLiteral("my logs 09.12.2026.log")).toStdString();
    gsmlog::TLogWriter writer;
    const auto created = writer.Create(good);
    ASSERT_TRUE(created.ok) << created.error;
    writer.Field(387, 0, parser::TextValue("-71"));
    writer.Field(258, 0, parser::TextValue("MTS"));
    ASSERT_TRUE(writer.Complete());
    damaged = dir.filePath(QStringLiteral("damaged.log")).toStdString();
    QFile file(QString::fromStdString(damaged));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a log");
  }
  void TearDown() override {
    ui::SetViewerOnly(false);
    // QTemporaryDir cannot remove names that are no UTF-8.
    std::filesystem::remove_all(folder);
  }
  QTemporaryDir dir;
  std::string folder = QFile::encodeName(dir.path()).toStdString();
  std::string good;
  std::string damaged;
};

TEST_F(LogFiles, FileNameWithBlanksShowsItsReport) {
  // The argument is the bytes of the name, in any script or none.
  std::vector<std::string> names = {good};
  for (const auto& c : test_support::FileNameCases()) {
    names.push_back(folder + "/" + c.name);
    std::filesystem::copy_file(good, names.back());
  }
  for (const std::string& name : names) {
    SCOPED_TRACE(platform::Cp1251ToUtf8(platform::FileNameText(name)));
    Seen seen;
    EXPECT_EQ(RunViewer(name, seen), 0);
    EXPECT_FALSE(seen.timedOut) << "closing the report window ends the program";
    EXPECT_TRUE(seen.shown);
    EXPECT_TRUE(seen.report.contains(QStringLiteral("Оператор: MTS"))) << seen.report.toStdString();
    EXPECT_TRUE(ui::ViewerOnly());
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Lumatrek"));
  }
}

TEST_F(LogFiles, UnreadableFilesShowTheMessageThenAnEmptyWindow) {
  using namespace platform::literals;
  struct Case {
    std::string argument;
    std::string message;
  };
  const std::string missing = dir.filePath(QStringLiteral("missing.log")).toStdString();
  std::vector<Case> cases = {
      {missing, std::string("Невозможно открыть файл протокола "_cp1251) + "\"" + missing + "\""},
      {"\"" + good + "\"", std::string("Невозможно открыть файл протокола "_cp1251) + "\"\"" + good + "\"\""},
      {damaged, std::string("Файл протокола "_cp1251) + damaged + std::string(" поврежден"_cp1251)},
  };
  // Messages show a name as Windows-1251 text, '?' for what the code page lacks.
  for (const auto& c : test_support::FileNameCases()) {
    const std::string name = folder + "/damaged " + c.name;
    std::filesystem::copy_file(damaged, name);
    cases.push_back({name, std::string("Файл протокола "_cp1251) + folder + "/damaged " + c.text +
                               std::string(" поврежден"_cp1251)});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::Cp1251ToUtf8(platform::FileNameText(c.argument)));
    test_support::ModalCloser closer;
    Seen seen;
    EXPECT_EQ(RunViewer(c.argument, seen), 0);
    ASSERT_TRUE(closer.Seen());
    EXPECT_EQ(closer.Text().toStdString(), platform::Cp1251ToUtf8(c.message));
    EXPECT_TRUE(seen.shown);
    EXPECT_TRUE(seen.report.isEmpty());
    EXPECT_FALSE(seen.timedOut);
  }
}

TEST_F(LogFiles, SelectRunsTheOpenDialog) {
  struct Case {
    const char* argument;
    bool chosen;        // the user picks the good log, or cancels
    bool askedForFile;  // the dialog runs
    bool windowShown;
    bool reportShown;
  };
  const Case cases[] = {
      {"-select", true, true, true, true},
      {"-select", false, true, false, false},
      {"-SELECT", true, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.argument << (c.chosen ? " chosen" : " cancelled"));
    bool asked = false;
    bool hiddenWhileAsking = false;
    const QString choice = c.chosen ? QString::fromStdString(good) : QString();
    auto choose = [&](ui::TfrmViewer& window) {
      asked = true;
      hiddenWhileAsking = !window.isVisible();
      return choice;
    };
    Seen seen;
    EXPECT_EQ(RunViewer(c.argument, seen, choose), 0);
    EXPECT_EQ(asked, c.askedForFile);
    if (asked) {
      EXPECT_TRUE(hiddenWhileAsking);
    }
    EXPECT_EQ(seen.shown, c.windowShown);
    EXPECT_EQ(!seen.report.isEmpty(), c.reportShown);
    EXPECT_FALSE(seen.timedOut);
  }
}

// The real open dialog lists names as Qt shows them, a byte that is no UTF-8 as a replacement
// character; choosing one still opens that very file.
TEST_F(LogFiles, SelectedNamesInAnyScriptOpenTheirFile) {
  for (const auto& c : test_support::FileNameCases()) {
    SCOPED_TRACE(c.kind);
    std::filesystem::copy_file(good, folder + "/" + c.name);
    const QString shown = QFile::decodeName(QByteArray::fromStdString(c.name));
    QTimer user;
    bool chosen = false;
    QObject::connect(&user, &QTimer::timeout, [&] {
      ui::TfrmViewer* window = ui::ReportWindow();
      if (chosen || window == nullptr || QApplication::activeModalWidget() != window->OpenDialog) return;
      chosen = true;
      // As a click on the listed file does: its shown name goes into the name field.
      window->OpenDialog->setDirectory(dir.path());
      auto* name = window->OpenDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(name, nullptr);
      name->setText(shown);
      QMetaObject::invokeMethod(window->OpenDialog, "accept", Qt::QueuedConnection);
    });
    user.start(10);
    Seen seen;
    EXPECT_EQ(RunViewer("-select", seen), 0);
    EXPECT_TRUE(chosen);
    EXPECT_TRUE(seen.report.contains(QStringLiteral("Оператор: MTS"))) << seen.report.toStdString();
  }
}

// Named at start-up, the program keeps its logs in its data folder, and "-select" looks there
// first, although the report viewer gives the application its own title.
TEST_F(LogFiles, SelectOpensInTheLogFolder) {
  const QByteArray savedData = qgetenv("XDG_DATA_HOME");
  const QString savedName = QCoreApplication::applicationName();
  qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("share"))));
  app::NameApplication();
  const QString logFolder = dir.filePath(QStringLiteral("share/ostrin-gsmmon/logs"));
  EXPECT_EQ(ui::LogFolder(), logFolder);

  QString opened;
  auto choose = [&opened](ui::TfrmViewer& window) {
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (!window.OpenDialog->isVisible()) return;
      opened = window.OpenDialog->directory().absolutePath();
      window.OpenDialog->reject();
    });
    watch.start(10);
    return window.RunOpenDialog();
  };
  Seen seen;
  EXPECT_EQ(RunViewer("-select", seen, choose), 0);
  EXPECT_FALSE(seen.timedOut);
  EXPECT_EQ(opened, logFolder);
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Lumatrek"));
  EXPECT_EQ(ui::LogFolder(), logFolder);

  ui::SetLogFolder(QString());
  QCoreApplication::setApplicationName(savedName);
  qputenv("XDG_DATA_HOME", savedData);
}

TEST_F(LogFiles, MonitorModeDisablesTheMainWindowWhileTheReportIsShown) {
  struct Steps {
    bool mainShown = false, reportHidden = false, disabledWithReport = false, enabledAfter = false;
    bool viewerOnly = true;
  } steps;
  QTimer::singleShot(0, qApp, [&] {
    QWidget* main = ui::MainWindow();
    ui::TfrmViewer* report = ui::ReportWindow();
    if (main == nullptr || report == nullptr) {
      QCoreApplication::exit(0);
      return;
    }
    steps.viewerOnly = ui::ViewerOnly();
    steps.mainShown = main->isVisible();
    steps.reportHidden = !report->isVisible();
    ui::ShowLogReport(good);
    steps.disabledWithReport = report->isVisible() && !main->isEnabled();
    report->close();
    steps.enabledAfter = main->isEnabled();
    main->close();  // idle: the program ends
  });
  bool timedOut = false;
  QTimer::singleShot(10000, qApp, [&] {
    timedOut = true;
    QCoreApplication::exit(0);
  });
  EXPECT_EQ(app::RunMonitorMode(), 0);
  EXPECT_FALSE(timedOut) << "closing the idle main window ends the program";
  EXPECT_FALSE(steps.viewerOnly);
  EXPECT_TRUE(steps.mainShown);
  EXPECT_TRUE(steps.reportHidden);
  EXPECT_TRUE(steps.disabledWithReport);
  EXPECT_TRUE(steps.enabledAfter);
}

}  // namespace
