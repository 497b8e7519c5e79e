#include "ui/plot_image.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QSvgGenerator>
#include <algorithm>

#include "ui/history_plot.h"

namespace ui {

namespace {

QImage PlotPixels(const HistoryPlot& plot) {
  QImage image(plot.size(), QImage::Format_RGB32);
  QPainter painter(&image);
  plot.Render(painter, plot.size());
  return image;
}

}  // namespace

bool SavePlotImage(const HistoryPlot& plot, const QString& fileName) {
  if (!fileName.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) return PlotPixels(plot).save(fileName, "PNG");
  QSvgGenerator svg;
  svg.setFileName(fileName);
  svg.setSize(plot.size());
  svg.setViewBox(QRect(QPoint(0, 0), plot.size()));
  svg.setTitle(plot.window()->windowTitle());
  QPainter painter;
  if (!painter.begin(&svg)) return false;
  plot.Render(painter, plot.size());
  return painter.end();
}

void CopyPlotImage(const HistoryPlot& plot) { QApplication::clipboard()->setImage(PlotPixels(plot)); }

bool PrintPlot(const HistoryPlot& plot, QPrinter& printer) {
  printer.setPageOrientation(QPageLayout::Landscape);
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRect page = painter.viewport();
  const double scale =
      std::min(static_cast<double>(page.width()) / plot.width(), static_cast<double>(page.height()) / plot.height());
  painter.scale(scale, scale);
  plot.Render(painter, plot.size());
  return painter.end();
}

}  // namespace ui
