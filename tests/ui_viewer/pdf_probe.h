#pragma once
// Reads back a PDF with poppler's pdftotext -bbox: the pages and the words on each, in points.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <vector>

struct PdfWord {
  QString text;
  double xMin = 0;
  double yMin = 0;
};

struct PdfPages {
  bool ok = false;
  std::vector<std::vector<PdfWord>> pages;
};

inline PdfPages ReadPdf(const QString& path) {
  PdfPages result;
  QProcess tool;
  tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
  if (!tool.waitForFinished(30000) || tool.exitCode() != 0) return result;
  const QString html = QString::fromUtf8(tool.readAllStandardOutput());
  static const char* const kWord = R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)"[^>]*>([^<]*)</word>)re";
  static const QRegularExpression word(QString::fromLatin1(kWord));
  for (const QString& line : html.split(QLatin1Char('\n'))) {
    if (line.contains(QStringLiteral("<page "))) result.pages.emplace_back();
    const auto match = word.match(line);
    if (match.hasMatch() && !result.pages.empty()) {
      result.pages.back().push_back({match.captured(3), match.captured(1).toDouble(), match.captured(2).toDouble()});
    }
  }
  result.ok = true;
  return result;
}
