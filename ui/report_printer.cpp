#include "ui/report_printer.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>
#include <QTextOption>

#include "ui/report_font.h"

namespace ui {

int PrintReport(const QString& text, QPrinter& printer) {
  printer.setDocName(QString());
  return PrintReport(text, static_cast<QPagedPaintDevice&>(printer));
}

int PrintReport(const QString& text, QPagedPaintDevice& printer) {
  QPainter painter;
  if (!painter.begin(&printer)) return 0;

  QTextDocument document;
  document.setDocumentMargin(0);
  document.setDefaultFont(ReportFont());
  QTextOption option = document.defaultTextOption();
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  document.setDefaultTextOption(option);
  document.setPlainText(text);
  // Laid out in printer pixels, so the points of the font scale to the printer's resolution.
  document.documentLayout()->setPaintDevice(&printer);
  const QSizeF body(printer.width() - kPrintMargin, printer.height() - kPrintMargin);
  document.setPageSize(body);

  const int pages = document.pageCount();
  int printed = 0;
  for (int page = 0; page < pages; ++page, ++printed) {
    if (page > 0 && !printer.newPage()) break;
    const QRectF clip(0, page * body.height(), body.width(), body.height());
    painter.save();
    painter.translate(kPrintMargin, kPrintMargin - clip.top());
    document.drawContents(&painter, clip);
    painter.restore();
  }
  painter.end();
  return printed;
}

}  // namespace ui
