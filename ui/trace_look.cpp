#include "ui/trace_look.h"

#include <QPainter>

#include "history/trace_style.h"
#include "platform/text_encoding.h"

namespace ui {

namespace {

QString ToQt(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }

}  // namespace

QString TraceName(const history::Trace& trace) {
  static const QString kPrefixes[] = {QString(), QStringLiteral("WCDMA "), QStringLiteral("LTE "),
                                      QStringLiteral("NR ")};
  static const QString kIds[] = {QString(), QStringLiteral("PSC "), QStringLiteral("PCI "), QStringLiteral("PCI ")};
  const auto tech = static_cast<std::size_t>(trace.key.tech);
  QString name = kPrefixes[tech] + ToQt(trace.channel) + QStringLiteral(" / ") +
                 (trace.id.empty() ? QStringLiteral("?") : kIds[tech] + ToQt(trace.id));
  if (!trace.cell.empty()) name += QStringLiteral("  сота ") + ToQt(trace.cell);
  if (!trace.band.empty()) name += QStringLiteral("  ") + ToQt(trace.band);
  return name;
}

QColor TraceColour(int index) {
  const history::Rgb c = history::TraceStyleOf(index).colour;
  return QColor(c.r, c.g, c.b);
}

QPen TracePen(int index, int extraWidth) {
  const history::LineDash dash = history::TraceStyleOf(index).dash;
  QPen pen(TraceColour(index), (dash == history::LineDash::solid ? 1 : 2) + extraWidth);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  // In pen widths: long enough to tell apart at a glance, short enough to show on a short stretch.
  switch (dash) {
    case history::LineDash::solid:
      break;
    case history::LineDash::dash:
      pen.setDashPattern({4, 2});
      break;
    case history::LineDash::dot:
      pen.setDashPattern({1, 1.5});
      break;
    case history::LineDash::dashDot:
      pen.setDashPattern({4, 1.5, 1, 1.5});
      break;
  }
  return pen;
}

QPixmap TraceSwatch(int index, bool hidden) {
  QPixmap swatch(28, 14);
  swatch.fill(Qt::transparent);
  QPainter painter(&swatch);
  if (hidden) {
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(0, 3, 27, 7);
    return swatch;
  }
  painter.setPen(TracePen(index, 1));
  painter.drawLine(0, 7, 28, 7);
  return swatch;
}

}  // namespace ui
