#include "ui/viewer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/text_encoding.h"
#include "tests/support/modal_closer.h"
#include "tests/ui_viewer/pdf_probe.h"
#include "ui/app_state.h"

namespace {

using namespace platform::literals;

const std::string kReport = std::string("Дата: 09.12.2026\r\nBCCH    |(n/a) |(n/a) \r\n"_cp1251);

// Runs the application's event loop until something ends it; -1 when nothing did within a bound.
int RunLoop() {
  QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(-1); });
  return QApplication::exec();
}

struct ViewerFixture : testing::Test {
  void SetUp() override {
    ui::SetViewerOnly(false);
    ui::SetMainWindow(&mainWindow);
  }
  void TearDown() override {
    viewer.hide();
    ui::SetMainWindow(nullptr);
    ui::SetViewerOnly(false);
  }
  QWidget mainWindow;
  ui::TfrmViewer viewer;
};

TEST_F(ViewerFixture, WindowAndControls) {
  EXPECT_EQ(ui::ReportWindow(), &viewer);
  EXPECT_EQ(viewer.windowTitle(), QStringLiteral("Просмотр протокола"));
  EXPECT_TRUE(viewer.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(viewer.Panel1->height(), 25);
  EXPECT_EQ(viewer.btnPrint->text(), QStringLiteral("Печать"));
  EXPECT_EQ(viewer.btnPrint->geometry(), QRect(0, 1, 105, 25));
  EXPECT_EQ(viewer.btnClipboard->text(), QStringLiteral("Скопировать в буфер обмена"));
  EXPECT_EQ(viewer.btnClipboard->geometry(), QRect(112, 1, 161, 25));
  EXPECT_FALSE(viewer.btnClipboard->isHidden());
  EXPECT_TRUE(viewer.Report->isReadOnly());
  EXPECT_TRUE(QFontInfo(viewer.Report->font()).fixedPitch());
  EXPECT_EQ(viewer.Report->palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_EQ(viewer.OpenDialog->windowTitle(), QStringLiteral("Ostrin GSM monitor"));
  EXPECT_EQ(viewer.OpenDialog->nameFilters(), QStringList{QStringLiteral("Файлы протокола (*.log)")});
  EXPECT_EQ(viewer.OpenDialog->defaultSuffix(), QStringLiteral("log"));
  EXPECT_EQ(viewer.OpenDialog->fileMode(), QFileDialog::ExistingFile);
  for (const char* name : {"Panel1", "btnPrint", "btnClipboard", "OpenDialog", "Report"}) {
    EXPECT_NE(viewer.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
  }
}

TEST_F(ViewerFixture, ReportTextIsDecodedWithLinuxLineEnds) {
  viewer.SetReport(kReport, QString());
  EXPECT_EQ(viewer.ReportText(), QStringLiteral("Дата: 09.12.2026\nBCCH    |(n/a) |(n/a) \n"));
}

TEST_F(ViewerFixture, MainWindowDisabledWhileTheReportIsShown) {
  mainWindow.show();
  viewer.show();
  EXPECT_FALSE(mainWindow.isEnabled());
  EXPECT_TRUE(viewer.isEnabled()) << "the report window stays usable";
  viewer.close();
  EXPECT_TRUE(mainWindow.isEnabled());
  viewer.show();
  EXPECT_FALSE(mainWindow.isEnabled());
  viewer.hide();
  EXPECT_TRUE(mainWindow.isEnabled());
}

TEST_F(ViewerFixture, ViewerOnlyEndsTheProgramWhenHiddenOrClosed) {
  ui::SetViewerOnly(true);
  ui::SetMainWindow(nullptr);
  for (bool close : {false, true}) {
    SCOPED_TRACE(close ? "closed" : "hidden");
    QTimer::singleShot(0, &viewer, [this, close] {
      viewer.show();
      if (close) {
        viewer.close();
      } else {
        viewer.hide();
      }
    });
    EXPECT_EQ(RunLoop(), 0);
  }
}

TEST_F(ViewerFixture, SelectionIsNeverKept) {
  viewer.SetReport(kReport, QString());
  viewer.show();
  QTextCursor cursor = viewer.Report->textCursor();
  cursor.setPosition(2);
  cursor.setPosition(10, QTextCursor::KeepAnchor);
  viewer.Report->setTextCursor(cursor);
  EXPECT_FALSE(viewer.Report->textCursor().hasSelection());
  EXPECT_EQ(viewer.Report->textCursor().position(), 10) << "the caret follows";

  // A mouse drag over the first line.
  QWidget* area = viewer.Report->viewport();
  const QRect line = viewer.Report->cursorRect(QTextCursor(viewer.Report->document()));
  const QPoint from = line.center() + QPoint(2, 0);
  const QPoint to = line.center() + QPoint(120, 0);
  auto send = [area](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, at, area->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(area, &event);
  };
  send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(viewer.Report->textCursor().hasSelection());
  EXPECT_GT(viewer.Report->textCursor().position(), 0) << "the caret follows the mouse";
}

TEST_F(ViewerFixture, ClipboardGetsTheReport) {
  for (const std::string& text : {kReport, std::string()}) {
    viewer.SetReport(text, QString());
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    viewer.btnClipboard->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), viewer.ReportText());
  }
}

TEST_F(ViewerFixture, PdfBesideTheLogWhenThereIsNoPrinter) {
  struct Case {
    const char* log;
    const char* pdf;
  };
  const Case cases[] = {{"/data/2026-12-09.log", "/data/2026-12-09.pdf"},
                        {"/data/run.LOG", "/data/run.pdf"},
                        {"/data/run", "/data/run.pdf"}};
  for (const Case& c : cases) {
    viewer.SetReport(std::string(), QString::fromLatin1(c.log));
    EXPECT_EQ(viewer.PdfFallbackPath(), QString::fromLatin1(c.pdf));
  }

  if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
  QTemporaryDir dir;
  const QString log = dir.filePath(QStringLiteral("отчёт 1.log"));
  viewer.SetReport(kReport, log);
  test_support::ModalCloser closer;
  viewer.btnPrint->click();
  ASSERT_TRUE(closer.Seen());
  const QString pdf = dir.filePath(QStringLiteral("отчёт 1.pdf"));
  EXPECT_EQ(closer.Text(), QStringLiteral("Принтер не найден. Протокол сохранен в файл ") + pdf);
  const PdfPages read = ReadPdf(pdf);
  if (!read.ok) GTEST_SKIP() << "pdftotext is not installed";
  ASSERT_EQ(read.pages.size(), 1u);
  ASSERT_FALSE(read.pages[0].empty());
  EXPECT_EQ(read.pages[0].front().text, QStringLiteral("Дата:"));
}

TEST_F(ViewerFixture, UnwritablePdfIsReported) {
  if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
  viewer.SetReport(kReport, QStringLiteral("/nonexistent-folder/a.log"));
  test_support::ModalCloser closer;
  viewer.btnPrint->click();
  ASSERT_TRUE(closer.Seen());
  EXPECT_EQ(closer.Text(), QStringLiteral("Невозможно сохранить протокол в файл /nonexistent-folder/a.pdf"));
}

// The report window never waits on a FIFO that no program writes: it says it cannot open it.
TEST_F(ViewerFixture, AFifoIsRefusedAtOnce) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath(QStringLiteral("fifo.log"));
  ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  test_support::ModalCloser closer;
  QElapsedTimer took;
  took.start();
  ui::ShowLogReport(platform::Utf8ToCp1251(fifo.toStdString()));
  EXPECT_LT(took.elapsed(), 2000);
  ASSERT_TRUE(closer.Seen());
  EXPECT_EQ(closer.Text(), QStringLiteral("Невозможно открыть файл протокола \"%1\"").arg(fifo));
  EXPECT_FALSE(viewer.isVisible());
}

}  // namespace
