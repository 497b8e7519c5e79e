#include "ui/viewer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/file_name.h"
#include "platform/text_encoding.h"
#include "tests/support/file_name_cases.h"
#include "tests/support/modal_closer.h"
#include "tests/ui_viewer/pdf_probe.h"
#include "ui/app_state.h"
#include "ui/message_box.h"
#include "ui/qt_translations.h"
#include "ui/window_font.h"

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
  viewer.SetReport(kReport, {});
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
  viewer.SetReport(kReport, {});
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
    viewer.SetReport(text, {});
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
    viewer.SetReport(std::string(), c.log);
    EXPECT_EQ(viewer.PdfFallbackPath(), c.pdf);
  }

  if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
  QTemporaryDir dir;
  const std::string folder = QFile::encodeName(dir.path()).toStdString();
  // QTemporaryDir cannot remove names that are no UTF-8.
  const std::unique_ptr<const std::string, void (*)(const std::string*)> cleanup(
      &folder, [](const std::string* path) { std::filesystem::remove_all(*path); });
  for (const auto& c : test_support::FileNameCases()) {
    SCOPED_TRACE(c.kind);
    const std::string stem = folder + "/" + c.name.substr(0, c.name.size() - 4);
    const std::string textStem = platform::FileNameText(stem);
    // A PDF of the same name is already there: it stays, and each print gets the next number.
    { std::ofstream(stem + ".pdf") << "keep"; }
    viewer.SetReport(kReport, folder + "/" + c.name);
    for (int k = 2; k <= 3; ++k) {
      test_support::ModalCloser closer;
      viewer.btnPrint->click();
      ASSERT_TRUE(closer.Seen());
      const std::string pdf = stem + "-" + std::to_string(k) + ".pdf";
      EXPECT_EQ(closer.Text(), QStringLiteral("Принтер не найден. Протокол сохранен в файл ") +
                                   QString::fromStdString(platform::Cp1251ToUtf8(textStem)) +
                                   QStringLiteral("-%1.pdf").arg(k));
      std::ifstream written(pdf, std::ios::binary);
      std::string head(4, '\0');
      written.read(head.data(), 4);
      EXPECT_EQ(head, "%PDF") << "written under its own bytes";
    }
    std::ifstream kept(stem + ".pdf");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");

    // pdftotext takes the file through a plain name.
    const QString plain = dir.filePath(QStringLiteral("plain.pdf"));
    QFile::remove(plain);
    ASSERT_EQ(::link((stem + "-2.pdf").c_str(), QFile::encodeName(plain).constData()), 0);
    const PdfPages read = ReadPdf(plain);
    if (!read.ok) GTEST_SKIP() << "pdftotext is not installed";
    ASSERT_EQ(read.pages.size(), 1u);
    ASSERT_FALSE(read.pages[0].empty());
    EXPECT_EQ(read.pages[0].front().text, QStringLiteral("Дата:"));
  }
}

// Qt's own texts are Russian, and the open dialog appears over its window: while the window is
// still hidden (the "-select" start), over the desktop's centre where the window will appear.
TEST_F(ViewerFixture, OpenDialogSpeaksRussianOverItsWindow) {
  ASSERT_TRUE(ui::InstallQtTranslations()) << "Qt's Russian catalogue (qt6-translations-l10n) is missing";
  for (const bool shown : {false, true}) {
    SCOPED_TRACE(shown ? "window shown" : "window hidden");
    if (shown) {
      viewer.show();
      viewer.move(40, 30);
    }
    const QPoint expected = shown ? viewer.frameGeometry().center() : viewer.screen()->availableGeometry().center();
    QStringList texts;
    QPoint centre;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (QApplication::activeModalWidget() != viewer.OpenDialog) return;
      poll.stop();
      centre = viewer.OpenDialog->frameGeometry().center();
      for (const auto* button : viewer.OpenDialog->findChildren<QPushButton*>()) {
        if (button->isVisible()) texts << button->text().remove(QLatin1Char('&'));
      }
      for (const auto* label : viewer.OpenDialog->findChildren<QLabel*>()) {
        if (label->isVisible()) texts << label->text().remove(QLatin1Char('&'));
      }
      viewer.OpenDialog->reject();
    });
    poll.start(10);
    EXPECT_TRUE(viewer.RunOpenDialog().isEmpty());
    EXPECT_LE((centre - expected).manhattanLength(), 2) << centre.x() << "," << centre.y();
    for (const char* text : {"Открыть", "Отмена", "Имя файла:", "Перейти к:"}) {
      EXPECT_TRUE(texts.contains(QString::fromUtf8(text)))
          << text << " in " << texts.join(QLatin1Char('|')).toStdString();
    }
  }
}

// Message boxes speak in the 8-point font of the window they belong to.
TEST_F(ViewerFixture, MessageBoxesTakeTheFontOfTheirWindow) {
  viewer.SetReport(kReport, "/nonexistent-folder/a.log");
  {
    test_support::ModalCloser closer;
    viewer.btnPrint->click();
    ASSERT_TRUE(closer.Seen());
    EXPECT_EQ(closer.Font(), viewer.font());
    EXPECT_EQ(QFontInfo(closer.Font()).pointSize(), 8);
  }
  mainWindow.setFont(ui::WindowFont());
  for (const bool viewerOnly : {false, true}) {
    SCOPED_TRACE(viewerOnly ? "viewer only" : "monitor");
    ui::SetViewerOnly(viewerOnly);
    test_support::ModalCloser closer;
    ui::ShowError("x");
    ASSERT_TRUE(closer.Seen());
    EXPECT_EQ(closer.Font(), viewerOnly ? viewer.font() : ui::WindowFont());
  }
}

TEST_F(ViewerFixture, UnwritablePdfIsReported) {
  if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
  viewer.SetReport(kReport, "/nonexistent-folder/a.log");
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
