#include "ui/rxlevel_graphbar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <cstring>

namespace ui {
namespace {

constexpr int kLowestLevel = -113;
constexpr double kLevelSpan = 66.0;
constexpr int kColumnsPerSample = 4;

constexpr int ColourByte(Colour colour, int index) { return static_cast<int>((colour >> (8 * index)) & 0xFFu); }

QRgb ToQRgb(Colour colour) { return qRgb(ColourByte(colour, 0), ColourByte(colour, 1), ColourByte(colour, 2)); }

}  // namespace

RxLevelGraph::RxLevelGraph(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void RxLevelGraph::SetTipLine(TipLine line, const QString& text) {
  tipLines_[static_cast<int>(line)] = text;
  QStringList lines;
  for (const QString& tip : tipLines_) {
    if (!tip.isEmpty()) lines << tip;
  }
  setToolTip(lines.join(QLatin1Char('\n')));
}

void RxLevelGraph::CreateGraphSurface() {
  if (width() <= 0 || height() <= 0) {
    surface_ = QImage();
    return;
  }
  surface_ = QImage(width(), height(), QImage::Format_RGB32);
  surface_.fill(Qt::black);
}

void RxLevelGraph::DestroyGraphSurface() { surface_ = QImage(); }

void RxLevelGraph::AddGraphSample(int level) {
  if (surface_.isNull()) return;
  const int w = surface_.width();
  const int h = surface_.height();
  // The height is clamped before the conversion: any int level must stay defined behaviour, and
  // rows beyond the surface are never drawn anyway.
  const double exact = (static_cast<double>(level) - kLowestLevel) / kLevelSpan * h;
  const int column = static_cast<int>(std::clamp(exact, -1.0, h + 1.0));
  // Row H - i: i = 0 falls just below the surface, so the visible column starts at i = 1.
  const int lastRow = std::min(column - 1, h);
  for (int n = 0; n < kColumnsPerSample; ++n) {
    for (int i = 1; i <= lastRow; ++i) {
      surface_.setPixel(w - 1, h - i, ToQRgb(LevelColour(level, i, column)));
    }
    for (int y = 0; y < h; ++y) {
      auto* line = reinterpret_cast<QRgb*>(surface_.scanLine(y));
      std::memmove(line, line + 1, static_cast<std::size_t>(w - 1) * sizeof(QRgb));
      line[w - 1] = qRgb(0, 0, 0);
    }
  }
  CopyGraphToScreen();
}

void RxLevelGraph::CopyGraphToScreen() { update(); }

void RxLevelGraph::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::black);
  if (!surface_.isNull()) painter.drawImage(0, 0, surface_);
}

}  // namespace ui
