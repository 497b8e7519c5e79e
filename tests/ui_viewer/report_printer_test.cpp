#include "ui/report_printer.h"

#include <gtest/gtest.h>

#include <QPrinter>
#include <QTemporaryDir>

#include "tests/ui_viewer/pdf_probe.h"

namespace {

// A PDF printer with no margins of its own, so the printable area is the whole sheet.
void SetUpPdf(QPrinter& printer, const QString& path, int dpi) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setResolution(dpi);
  printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

QString NumberedLines(int count) {
  QStringList lines;
  for (int n = 1; n <= count; ++n) lines << QStringLiteral("Строка%1 |(n/a)").arg(n, 3, 10, QLatin1Char('0'));
  return lines.join(QLatin1Char('\n'));
}

TEST(ReportPrinter, MarginsOfTwoHundredPrinterPixels) {
  struct Case {
    int dpi;
    double marginPoints;  // 200 px at dpi, in 1/72 inch
  };
  const Case cases[] = {{600, 24.0}, {300, 48.0}};
  QTemporaryDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    const QString path = dir.filePath(QStringLiteral("short-%1.pdf").arg(c.dpi));
    QPrinter printer(QPrinter::HighResolution);
    SetUpPdf(printer, path, c.dpi);
    ASSERT_EQ(ui::PrintReport(NumberedLines(41), printer), 1);
    const PdfPages pdf = ReadPdf(path);
    if (!pdf.ok) GTEST_SKIP() << "pdftotext is not installed";
    ASSERT_EQ(pdf.pages.size(), 1u);
    ASSERT_FALSE(pdf.pages[0].empty());
    const PdfWord& first = pdf.pages[0].front();
    EXPECT_EQ(first.text, QStringLiteral("Строка001"));
    EXPECT_NEAR(first.xMin, c.marginPoints, 1.0);
    EXPECT_NEAR(first.yMin, c.marginPoints, 3.0);
  }
}

TEST(ReportPrinter, LongReportRunsOverPagesWithoutLosingLines) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("long.pdf"));
  QPrinter printer(QPrinter::HighResolution);
  SetUpPdf(printer, path, 600);
  const int lineCount = 200;
  const int printed = ui::PrintReport(NumberedLines(lineCount), printer);
  EXPECT_GE(printed, 3);
  const PdfPages pdf = ReadPdf(path);
  if (!pdf.ok) GTEST_SKIP() << "pdftotext is not installed";
  ASSERT_EQ(static_cast<int>(pdf.pages.size()), printed);
  int next = 1;
  for (const auto& page : pdf.pages) {
    ASSERT_FALSE(page.empty());
    EXPECT_NEAR(page.front().xMin, 24.0, 1.0);
    EXPECT_NEAR(page.front().yMin, 24.0, 3.0) << "every page starts below the top margin";
    for (const PdfWord& w : page) {
      if (!w.text.startsWith(QStringLiteral("Строка"))) continue;
      EXPECT_EQ(w.text.mid(6).toInt(), next) << "each line once, in order";
      ++next;
    }
  }
  EXPECT_EQ(next, lineCount + 1);
}

TEST(ReportPrinter, EmptyReportPrintsOnePage) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("empty.pdf"));
  QPrinter printer(QPrinter::HighResolution);
  SetUpPdf(printer, path, 600);
  EXPECT_EQ(ui::PrintReport(QString(), printer), 1);
}

TEST(ReportPrinter, UnwritableOutputPrintsNothing) {
  QPrinter printer(QPrinter::HighResolution);
  SetUpPdf(printer, QStringLiteral("/nonexistent-folder/report.pdf"), 600);
  EXPECT_EQ(ui::PrintReport(QStringLiteral("x"), printer), 0);
}

}  // namespace
