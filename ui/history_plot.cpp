#include "ui/history_plot.h"

#include <QDateTime>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "platform/text_encoding.h"
#include "ui/trace_look.h"

namespace ui {

namespace {

constexpr int kTopLevel = -45;  // dBm at the top of the plot
constexpr int kBottomLevel = -115;
// With cells of other technologies: their levels (RSCP, RSRP) go lower, down to what a point holds.
constexpr int kLowestBottomLevel = -130;
constexpr double kShortestSpan = 5;  // the closest zoom: five seconds, or five cycles
constexpr double kLiveSpan = 600;    // live, the newest ten minutes until the user zooms
constexpr int kLeftMargin = 44, kRightMargin = 8, kBottomMargin = 22;
constexpr int kLabelGap = 12;  // the least room between two time labels

QString ToQt(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }

QDateTime LocalTime(double time) {
  return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(time * 1000)));
}

}  // namespace

struct HistoryPlot::Axis {
  double step = 1;
  QString format;
  std::vector<double> times;
  std::vector<HistoryPlot::AxisLabel> labels;  // each time's, with an empty rect where it is left out
};

HistoryPlot::HistoryPlot(const history::CellHistory& model, QWidget* parent) : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("HistoryPlot"));
  setMouseTracking(true);
  setMinimumSize(400, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
  ShowAll();
}

QColor HistoryPlot::TraceColour(int index) { return ui::TraceColour(index); }

QRect HistoryPlot::CaptionLane(QSize size) const {
  const int height = QFontMetrics(font()).height() + 6;
  return QRect(kLeftMargin, 4, size.width() - kLeftMargin - kRightMargin, height);
}

QRect HistoryPlot::CaptionLane() const { return CaptionLane(size()); }

QRect HistoryPlot::PlotArea(QSize size) const {
  const QRect lane = CaptionLane(size);
  return QRect(QPoint(kLeftMargin, lane.bottom() + 4),
               QPoint(size.width() - 1 - kRightMargin, size.height() - 1 - kBottomMargin));
}

int HistoryPlot::BottomLevel() const {
  const bool onlyGsm = std::all_of(model_.Traces().begin(), model_.Traces().end(),
                                   [](const history::Trace& trace) { return trace.key.tech == radio::Tech::gsm; });
  return onlyGsm ? kBottomLevel : kLowestBottomLevel;
}

int HistoryPlot::LevelY(int dbm, QRect area) const {
  const int bottom = BottomLevel();
  return area.bottom() - (dbm - bottom) * (area.height() - 1) / (kTopLevel - bottom);
}

int HistoryPlot::LevelY(int dbm) const { return LevelY(dbm, PlotArea()); }

double HistoryPlot::TimeAt(int x) const {
  const QRect area = PlotArea();
  return from_ + (x - area.left()) * (to_ - from_) / std::max(area.width(), 1);
}

int HistoryPlot::XOf(double time, QRect area) const {
  return area.left() + static_cast<int>(std::lround((time - from_) / (to_ - from_) * area.width()));
}

void HistoryPlot::SetRange(double from, double to) {
  if (!(to - from >= kShortestSpan)) {
    const double middle = (from + to) / 2;
    from = middle - kShortestSpan / 2;
    to = middle + kShortestSpan / 2;
  }
  from_ = from;
  to_ = to;
  update();
}

void HistoryPlot::ShowAll() {
  const double first = model_.CycleCount() > 0 ? model_.FirstTime() : 0;
  const double last = model_.CycleCount() > 0 ? model_.LastTime() : first;
  const double span = std::max(last - first, kShortestSpan);
  // A margin of one part in fifty on either side, so the first and last points are seen.
  SetRange(first - span / 50, first + span * 51 / 50);
}

void HistoryPlot::SetFollowing(bool follow) {
  if (follow == follow_) return;
  follow_ = follow;
  if (follow_) ModelChanged();
  emit followChanged(follow_);
}

void HistoryPlot::ModelChanged() {
  if (follow_ && model_.CycleCount() > 0) {
    const double last = model_.LastTime();
    double span = to_ - from_;
    if (!spanChosen_) {
      const double whole = last - model_.FirstTime();
      span = model_.AxisKind() == history::CellHistory::Axis::time
                 ? std::min(std::max(whole * 1.05, 2 * kShortestSpan), kLiveSpan)
                 : std::max(whole * 1.05, kShortestSpan);
    }
    SetRange(last - span * 49 / 50, last + span / 50);
  }
  update();
}

void HistoryPlot::Zoom(double factor, int x) {
  const double anchor = TimeAt(x);
  spanChosen_ = true;
  double from = anchor - (anchor - from_) * factor;
  double to = anchor + (to_ - anchor) * factor;
  // Never much wider than the run.
  const double widest = std::max(model_.LastTime() - model_.FirstTime(), kShortestSpan) * 1.2;
  if (to - from > widest) {
    from = anchor - (anchor - from) * widest / (to - from);
    to = from + widest;
  }
  SetRange(from, to);
  if (follow_) ModelChanged();
}

bool HistoryPlot::TraceHidden(int trace) const {
  return trace >= 0 && static_cast<std::size_t>(trace) < hidden_.size() && hidden_[static_cast<std::size_t>(trace)];
}

void HistoryPlot::SetTraceHidden(int trace, bool hidden) {
  if (trace < 0 || TraceHidden(trace) == hidden) return;
  const auto index = static_cast<std::size_t>(trace);
  if (hidden_.size() <= index) hidden_.resize(index + 1, false);
  hidden_[index] = hidden;
  update();
  emit traceShownChanged(trace);
}

void HistoryPlot::SetHighlighted(int trace) {
  if (trace == highlighted_) return;
  highlighted_ = trace;
  update();
}

void HistoryPlot::SetOnlyActive(bool only) {
  if (only == onlyActive_) return;
  onlyActive_ = only;
  update();
}

void HistoryPlot::SetThreshold(std::optional<int> dbm) {
  threshold_ = dbm;
  update();
}

void HistoryPlot::SetDateOnAxis(bool always) {
  dateAlways_ = always;
  update();
}

void HistoryPlot::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps == 0) return;
  Zoom(std::pow(0.8, steps), static_cast<int>(event->position().x()));
  event->accept();
}

void HistoryPlot::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragX_ = static_cast<int>(event->position().x());
  dragFrom_ = from_;
}

void HistoryPlot::mouseMoveEvent(QMouseEvent* event) {
  if (dragX_ < 0 || !(event->buttons() & Qt::LeftButton)) return;
  const int dx = static_cast<int>(event->position().x()) - dragX_;
  if (dx == 0) return;
  SetFollowing(false);
  const double span = to_ - from_;
  const double shift = -dx * span / std::max(PlotArea().width(), 1);
  SetRange(dragFrom_ + shift, dragFrom_ + shift + span);
}

void HistoryPlot::mouseReleaseEvent(QMouseEvent*) { dragX_ = -1; }

bool HistoryPlot::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = HoverText(help->pos());
    if (text.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
  }
  return QWidget::event(event);
}

bool HistoryPlot::DateOnAxis() const {
  if (model_.AxisKind() == history::CellHistory::Axis::cycleNumber) return false;
  return dateAlways_ || LocalTime(from_).date() != LocalTime(to_).date();
}

QString HistoryPlot::TimeText(double time) const {
  if (model_.AxisKind() == history::CellHistory::Axis::cycleNumber) return QString::number(std::llround(time));
  return LocalTime(time).toString(DateOnAxis() ? QStringLiteral("dd.MM.yyyy HH:mm:ss") : QStringLiteral("HH:mm:ss"));
}

HistoryPlot::Axis HistoryPlot::TimeAxis(QSize size) const {
  // Time ticks at a round step, as many as their labels leave room for.
  static const double kSteps[] = {1,   2,    5,    10,   15,    30,    60,    120,   300,    600,
                                  900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800};
  const QRect area = PlotArea(size);
  const QFontMetrics metrics(font());
  const bool numbers = model_.AxisKind() == history::CellHistory::Axis::cycleNumber;
  const QString date = DateOnAxis() ? QStringLiteral("dd.MM ") : QString();
  const double span = to_ - from_;
  Axis axis;
  axis.step = kSteps[std::size(kSteps) - 1];
  for (const double s : kSteps) {
    axis.format = date + (s < 60 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
    const int width = numbers ? metrics.horizontalAdvance(QString::number(std::llround(to_)))
                              : metrics.horizontalAdvance(LocalTime(to_).toString(axis.format));
    if (span / s * (width + kLabelGap) <= area.width()) {
      axis.step = s;
      break;
    }
  }
  axis.format = date + (axis.step < 60 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
  // Local time ticks fall on local round times.
  const double offset = numbers ? 0 : QDateTime::currentDateTime().offsetFromUtc();
  int lastRight = -kLabelGap;
  for (double t = std::ceil((from_ + offset) / axis.step) * axis.step - offset; t < to_; t += axis.step) {
    const QString text = numbers ? QString::number(std::llround(t)) : LocalTime(t).toString(axis.format);
    const int width = metrics.horizontalAdvance(text) + 2;
    QRect rect(XOf(t, area) - width / 2, area.bottom() + 4, width, metrics.height());
    // A label at an end moves inside the widget rather than being cut; one that would then meet
    // its neighbour is left out.
    if (rect.right() > size.width() - 1) rect.moveRight(size.width() - 1);
    if (rect.left() < 0) rect.moveLeft(0);
    if (rect.left() < lastRight + kLabelGap) rect = QRect();
    if (!rect.isNull()) lastRight = rect.right();
    axis.times.push_back(t);
    axis.labels.push_back({rect, text});
  }
  return axis;
}

std::vector<HistoryPlot::AxisLabel> HistoryPlot::AxisLabels() const {
  std::vector<AxisLabel> shown;
  for (const AxisLabel& label : TimeAxis(size()).labels)
    if (!label.rect.isNull()) shown.push_back(label);
  return shown;
}

std::vector<CaptionCluster> HistoryPlot::Captions(QSize size) const {
  const QRect area = PlotArea(size);
  return LayOutCaptions(
      model_.Markers(), from_, to_, [&](double t) { return XOf(t, area); }, CaptionLane(size), QFontMetrics(font()));
}

std::vector<CaptionCluster> HistoryPlot::Captions() const { return Captions(size()); }

QString HistoryPlot::HoverText(QPoint at) const {
  const QRect area = PlotArea();
  if (model_.CycleCount() == 0) return {};
  const auto eventLines = [&](const std::vector<std::size_t>& markers) {
    QStringList lines;
    for (const std::size_t m : markers) {
      const history::Marker& marker = model_.Markers()[m];
      lines << TimeText(marker.time) + QStringLiteral("  ") + ToQt(history::EventText(marker.event));
    }
    return lines.join(QLatin1Char('\n'));
  };
  // A caption lists every event it stands for.
  if (CaptionLane().contains(at)) {
    for (const CaptionCluster& caption : Captions())
      if (caption.rect.contains(at)) return eventLines(caption.markers);
    return {};
  }
  if (!area.contains(at)) return {};
  const double time = TimeAt(at.x());
  const double perPixel = (to_ - from_) / std::max(area.width(), 1);
  // Events within three pixels say what they were, every one of them.
  std::vector<std::size_t> near;
  for (std::size_t m = 0; m < model_.Markers().size(); ++m)
    if (std::abs(model_.Markers()[m].time - time) <= 3 * perPixel) near.push_back(m);
  if (!near.empty()) return eventLines(near);
  QStringList lines;
  double shownAt = time;
  bool any = false;
  for (const history::Trace& trace : model_.Traces()) {
    if (TraceHidden(trace.colour)) continue;
    // The nearest point within four pixels, or, zoomed in further, within about a cycle and a half
    // (0.6 s, a poll cycle taking 0.4 s) or half a cycle number.
    const double reach = model_.AxisKind() == history::CellHistory::Axis::time ? 0.6 : 0.5;
    const long point = model_.PointNear(trace, time, std::max(4 * perPixel, reach));
    if (point < 0) continue;
    const auto index = static_cast<std::size_t>(point);
    if (onlyActive_ && trace.serving[index] == 0) continue;
    if (!any) shownAt = model_.TimeOf(trace.cycles[index]);
    any = true;
    QString line = QStringLiteral("<span style='color:%1'>&#9632;</span> ").arg(TraceColour(trace.colour).name()) +
                   TraceName(trace).toHtmlEscaped() + QStringLiteral(": ") + QString::number(trace.levels[index]) +
                   QStringLiteral(" dBm");
    if (trace.serving[index]) line += QStringLiteral(" (активная)");
    lines << line;
  }
  if (!any) return {};
  return QStringLiteral("<b>") + TimeText(shownAt) + QStringLiteral("</b><br>") + lines.join(QStringLiteral("<br>"));
}

void HistoryPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Render(painter, size());
}

void HistoryPlot::DrawTrace(QPainter& painter, const history::Trace& trace, QRect area, bool faded) const {
  const int columns = area.width();
  model_.Decimate(trace, from_, to_, columns, columns_, onlyActive_);
  const int extra = trace.colour == highlighted_ ? 2 : 0;
  QPen thin = TracePen(trace.colour, extra);
  QPen thick = TracePen(trace.colour, extra + (onlyActive_ ? 1 : 2));
  if (faded) {
    QColor light = thin.color();
    light.setAlpha(50);
    thin.setColor(light);
    thick.setColor(light);
  }
  // A line through each column's mean, joined to the next column where the cell was heard without
  // a break, one polyline per stretch so a broken line's pattern runs on; a column whose points
  // spread also shows their range, faintly.
  const int bottom = BottomLevel();
  const auto yOf = [&](double dbm) {
    return static_cast<int>(std::lround(area.bottom() - (dbm - bottom) * (area.height() - 1) / (kTopLevel - bottom)));
  };
  QColor rangeColour = thin.color();
  rangeColour.setAlpha(faded ? 20 : 70);
  QPolygon run;
  bool runServing = false;
  const auto flush = [&] {
    painter.setPen(runServing ? thick : thin);
    if (run.size() == 1) painter.drawPoint(run.front());
    if (run.size() > 1) painter.drawPolyline(run);
    run.clear();
  };
  int previous = -1;
  for (int c = 0; c < columns; ++c) {
    const history::Column& column = columns_[static_cast<std::size_t>(c)];
    if (!column.any) continue;
    const int x = area.left() + c;
    const QPoint mean(x, yOf(static_cast<double>(column.sum) / column.count));
    if (column.max - column.min >= 3) {
      painter.setPen(rangeColour);
      painter.drawLine(x, yOf(column.min), x, yOf(column.max));
    }
    const history::Column* before = previous >= 0 ? &columns_[static_cast<std::size_t>(previous)] : nullptr;
    // Points of consecutive cycles are joined; a cycle without the cell leaves a gap.
    const bool joined = before != nullptr && column.firstCycle == before->lastCycle + 1;
    if (!joined || column.serving != runServing) {
      const QPoint carried = run.isEmpty() ? mean : run.back();
      flush();
      runServing = column.serving;
      if (joined) run << carried;
    }
    run << mean;
    previous = c;
  }
  flush();
}

void HistoryPlot::Render(QPainter& painter, QSize size) const {
  const QRect whole(QPoint(0, 0), size);
  painter.fillRect(whole, palette().window());
  const QRect area = PlotArea(size);
  painter.fillRect(area, Qt::white);
  // In pixels, so an SVG or a printed page scaled from the widget's size keeps the proportions.
  QFont plotFont = font();
  plotFont.setPixelSize(QFontInfo(font()).pixelSize());
  painter.setFont(plotFont);
  const QFontMetrics metrics(font());

  // Below the threshold, a tinted band.
  std::optional<int> thresholdY;
  if (threshold_ && *threshold_ > BottomLevel() && *threshold_ < kTopLevel) {
    thresholdY = LevelY(*threshold_, area);
    painter.fillRect(QRect(QPoint(area.left(), *thresholdY), area.bottomRight()), QColor(255, 240, 240));
  }

  // The level grid, every 10 dBm.
  const int bottom = BottomLevel();
  for (int level = bottom / 10 * 10 + (bottom % 10 == 0 ? 10 : 0); level <= -50; level += 10) {
    const int y = LevelY(level, area);
    painter.setPen(QColor(225, 225, 225));
    painter.drawLine(area.left(), y, area.right(), y);
    if (thresholdY && std::abs(y - *thresholdY) < metrics.height()) continue;
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, y - 8, area.left() - 4, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
  }
  painter.setPen(Qt::black);
  painter.drawText(QRect(0, area.top() - 6, area.left() - 4, 14), Qt::AlignRight | Qt::AlignTop, QStringLiteral("dBm"));

  const Axis axis = TimeAxis(size);
  for (std::size_t i = 0; i < axis.times.size(); ++i) {
    const int x = XOf(axis.times[i], area);
    painter.setPen(QColor(235, 235, 235));
    painter.drawLine(x, area.top(), x, area.bottom());
    painter.setPen(Qt::black);
    painter.drawLine(x, area.bottom(), x, area.bottom() + 3);
    const AxisLabel& label = axis.labels[i];
    if (!label.rect.isNull()) painter.drawText(label.rect, Qt::AlignHCenter | Qt::AlignTop, label.text);
  }

  painter.setClipRect(area);
  // The events' lines, faint, under the traces; events that share a caption only a tick at the top.
  const std::vector<CaptionCluster> captions = Captions(size);
  for (const CaptionCluster& caption : captions) {
    for (const std::size_t m : caption.markers) {
      const history::Marker& marker = model_.Markers()[m];
      QColor colour = MarkerColour(marker.event.kind);
      const int x = XOf(marker.time, area);
      if (caption.markers.size() > 1) {
        painter.setPen(QPen(colour, 1));
        painter.drawLine(x, area.top(), x, area.top() + 5);
        continue;
      }
      colour.setAlpha(110);
      painter.setPen(QPen(colour, 1, Qt::DashLine));
      painter.drawLine(x, area.top(), x, area.bottom());
    }
  }
  // The threshold under the traces: a trace along it stays seen.
  if (thresholdY) {
    painter.setPen(QPen(ThresholdColour(), 1));
    painter.drawLine(area.left(), *thresholdY, area.right(), *thresholdY);
  }
  const bool highlighting = highlighted_ >= 0 && !TraceHidden(highlighted_) &&
                            static_cast<std::size_t>(highlighted_) < model_.Traces().size();
  for (const history::Trace& trace : model_.Traces()) {
    if (TraceHidden(trace.colour) || trace.colour == highlighted_) continue;
    DrawTrace(painter, trace, area, highlighting);
  }
  if (highlighting) DrawTrace(painter, model_.Traces()[static_cast<std::size_t>(highlighted_)], area, false);
  painter.setClipping(false);
  if (thresholdY) {
    QFont bold = plotFont;
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(ThresholdColour());
    painter.drawText(QRect(0, *thresholdY - 8, area.left() - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(*threshold_));
    painter.setFont(plotFont);
  }

  DrawCaptions(painter, captions);
  painter.setPen(Qt::black);
  painter.drawRect(area.adjusted(0, 0, -1, -1));
  if (model_.CycleCount() == 0) painter.drawText(area, Qt::AlignCenter, QStringLiteral("Нет измерений"));
}

}  // namespace ui
