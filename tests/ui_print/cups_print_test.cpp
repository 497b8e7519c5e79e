// "Печать" in the report window against a real CUPS scheduler of the test's own: the report of a
// real log goes to the default printer, and the PDF that comes out holds every report line once,
// in order, with the left and top margins of 200 printer pixels.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "log/log_writer.h"
#include "tests/support/modal_closer.h"
#include "tests/ui_print/private_cups.h"
#include "tests/ui_viewer/pdf_probe.h"
#include "ui/app_state.h"
#include "ui/viewer.h"

namespace {

// One printed line: its words, left to right, and where it begins.
struct PrintedLine {
  QString text;
  double xMin = 0;
  double yMin = 0;
};

// Words of a page put back into lines by their height on the page.
std::vector<PrintedLine> LinesOf(std::vector<PdfWord> words) {
  std::stable_sort(words.begin(), words.end(), [](const PdfWord& a, const PdfWord& b) {
    return a.yMin < b.yMin - 1.0 || (std::abs(a.yMin - b.yMin) <= 1.0 && a.xMin < b.xMin);
  });
  std::vector<PrintedLine> lines;
  for (const PdfWord& word : words) {
    if (lines.empty() || std::abs(lines.back().yMin - word.yMin) > 1.0) {
      lines.push_back({word.text, word.xMin, word.yMin});
    } else {
      lines.back().text += QLatin1Char(' ') + word.text;
    }
  }
  return lines;
}

// The report's lines as pdftotext puts words together: blanks squeezed, empty lines gone.
QStringList NonBlankLines(const QString& report) {
  QStringList lines;
  for (const QString& line : report.split(QLatin1Char('\n'))) {
    if (!line.trimmed().isEmpty()) lines << line.simplified();
  }
  return lines;
}

struct CupsPrint : testing::Test {
  using Queue = test_support::PrivateCups::Queue;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ui::SetViewerOnly(false);
    ui::SetMainWindow(&mainWindow);
  }
  void TearDown() override {
    viewer.hide();
    ui::SetMainWindow(nullptr);
    cups.Stop();
  }

  // The scheduler, and the program pointed at it before anything asks for printers.
  void StartScheduler(Queue queue) {
    if (!cups.CanHave(queue)) GTEST_SKIP() << cups.Why().toStdString();
    if (!cups.Start(queue)) GTEST_SKIP() << "no private CUPS scheduler: " << cups.Why().toStdString();
    ::setenv("CUPS_SERVER", QFile::encodeName(cups.Server()).constData(), 1);
  }

  // The report of a real log of one connection, shown in the report window.
  void ShowReportOfALog() {
    logName = dir.filePath(QStringLiteral("09122026.log"));
    gsmlog::TLogWriter writer;
    const auto log = [&writer](int code, const char* text) { writer.Field(code, 0, parser::TextValue(text)); };
    ASSERT_TRUE(writer.Create(logName.toStdString()).ok);
    log(1, "351234567890123");
    log(3, "MC35i");
    log(257, "Russia");
    log(258, "MTS");
    log(259, "1A2B");
    for (const char* level : {"-71", "-75", "-80"}) log(387, level);
    log(390, "0,57");
    log(265, "900");
    ASSERT_TRUE(writer.Complete());
    ui::ShowLogReport(logName.toStdString());
    ASSERT_TRUE(viewer.isVisible());
    ASSERT_FALSE(viewer.ReportText().isEmpty());
  }

  // Presses "Печать" and gives the PDF the scheduler printed, or an empty string. A message box
  // would stop the print: one that opens is answered and its text kept in boxText.
  QString PressPrint() {
    QTimer boxWatch;
    QObject::connect(&boxWatch, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxText = box->text();
        box->accept();
      }
    });
    boxWatch.start(10);
    viewer.btnPrint->click();
    boxWatch.stop();
    return cups.WaitForPrintedPdf(90000);
  }

  QTemporaryDir dir;
  QString logName;
  QString boxText;
  QWidget mainWindow;
  ui::TfrmViewer viewer;
  test_support::PrivateCups cups;
};

TEST_F(CupsPrint, DefaultPrinterPrintsEveryLineOnceInOrderWithTheMargins) {
  StartScheduler(Queue::PdfFile);
  if (IsSkipped()) return;
  const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
  ASSERT_FALSE(printer.isNull()) << "the scheduler's queue is the default printer";
  EXPECT_EQ(printer.printerName(), QStringLiteral("PDF"));
  ShowReportOfALog();

  // The margins are printer pixels of the queue's resolution, from the corner of its printable
  // area.
  QPrinter settings(printer, QPrinter::HighResolution);
  const double margin = 200.0 * 72.0 / settings.resolution();
  const QRectF printable = settings.pageLayout().paintRectPoints();

  const QString pdf = PressPrint();
  EXPECT_TRUE(boxText.isEmpty()) << "printing asks nothing and says nothing: " << boxText.toStdString();
  ASSERT_FALSE(pdf.isEmpty()) << cups.Why().toStdString();
  const PdfPages read = ReadPdf(pdf);
  ASSERT_TRUE(read.ok) << "pdftotext reads " << pdf.toStdString();
  ASSERT_EQ(read.pages.size(), 1u) << "a report fits on one page";

  const QStringList expected = NonBlankLines(viewer.ReportText());
  const std::vector<PrintedLine> lines = LinesOf(read.pages[0]);
  QStringList printed;
  for (const PrintedLine& line : lines) printed << line.text;
  EXPECT_EQ(printed, expected) << "printed:\n"
                               << printed.join(QLatin1Char('\n')).toStdString() << "\nreport:\n"
                               << expected.join(QLatin1Char('\n')).toStdString();

  ASSERT_FALSE(lines.empty());
  double left = lines.front().xMin;
  for (const PrintedLine& line : lines) left = std::min(left, line.xMin);
  EXPECT_NEAR(left, printable.left() + margin, 1.0) << "left margin at " << settings.resolution() << " dpi";
  EXPECT_NEAR(lines.front().yMin, printable.top() + margin, 3.0) << "top margin";
}

// The virtual PDF printer of a desktop: the job reaches the user's PDF folder as one page with a
// line of glyphs for every line of the report (their text cannot be read back, see private_cups.h).
TEST_F(CupsPrint, CupsPdfPrinterWritesTheReportIntoTheUsersPdfFolder) {
  StartScheduler(Queue::CupsPdf);
  if (IsSkipped()) return;
  ASSERT_EQ(QPrinterInfo::defaultPrinter().printerName(), QStringLiteral("PDF"));
  ShowReportOfALog();

  const QString pdf = PressPrint();
  EXPECT_TRUE(boxText.isEmpty()) << boxText.toStdString();
  ASSERT_FALSE(pdf.isEmpty()) << cups.Why().toStdString();
  EXPECT_TRUE(pdf.startsWith(test_support::PrivateCups::CupsPdfOutputFolder())) << pdf.toStdString();
  const PdfPages read = ReadPdf(pdf);
  QFile::remove(pdf);  // the user's PDF folder keeps nothing of the tests
  ASSERT_TRUE(read.ok);
  ASSERT_EQ(read.pages.size(), 1u);
  EXPECT_EQ(LinesOf(read.pages[0]).size(), static_cast<std::size_t>(NonBlankLines(viewer.ReportText()).size()));
}

TEST_F(CupsPrint, WithoutAPrinterTheReportGoesToAPdfBesideTheLog) {
  StartScheduler(Queue::None);
  if (IsSkipped()) return;
  EXPECT_TRUE(QPrinterInfo::defaultPrinter().isNull());
  ShowReportOfALog();

  test_support::ModalCloser closer;
  viewer.btnPrint->click();
  ASSERT_TRUE(closer.Seen());
  const QString said = QStringLiteral("Принтер не найден. Протокол сохранен в файл ");
  ASSERT_TRUE(closer.Text().startsWith(said + dir.path())) << closer.Text().toStdString();
  const PdfPages read = ReadPdf(closer.Text().mid(said.size()));
  ASSERT_TRUE(read.ok);
  ASSERT_EQ(read.pages.size(), 1u);
}

}  // namespace
