#include "ui/history_window.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "history/run_events.h"
#include "platform/text_encoding.h"
#include "ui/alignment_panel.h"
#include "ui/app_state.h"
#include "ui/message_box.h"
#include "ui/program_settings.h"

namespace ui {

struct LiveHistory {
  history::CellHistory model;
  QPointer<HistoryWindow> window;
};

namespace {

using namespace platform::literals;

constexpr int kTopLevel = -45;  // dBm at the top of the plot
constexpr int kBottomLevel = -115;
// With cells of other technologies: their levels (RSCP, RSRP) go lower, down to what a point holds.
constexpr int kLowestBottomLevel = -130;
constexpr double kShortestSpan = 5;  // the closest zoom: five seconds, or five cycles
constexpr double kLiveSpan = 600;    // live, the newest ten minutes until the user zooms

QString ToQt(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }

LiveHistory& Live() {
  WindowState& state = State();
  if (state.liveHistory == nullptr) state.liveHistory = new LiveHistory;
  return *state.liveHistory;
}

// A legend line: "62 / 7.3  сота 28641  900"; other technologies name theirs and the identity's
// kind: "LTE 1850 / PCI 123  сота 26132481  B3".
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

QColor MarkerColour(history::EventKind kind) {
  switch (kind) {
    case history::EventKind::servingCell:
      return QColor(0, 0, 160);
    case history::EventKind::areaChanged:
    case history::EventKind::bandChanged:
      return QColor(120, 0, 160);
    case history::EventKind::levelLow:
      return QColor(200, 0, 0);
    case history::EventKind::levelRestored:
      return QColor(0, 140, 0);
    default:
      return QColor(90, 90, 90);
  }
}

}  // namespace

QColor HistoryPlot::TraceColour(int index) {
  static const QColor kColours[] = {
      QColor(31, 119, 180),  QColor(255, 127, 14), QColor(44, 160, 44),   QColor(214, 39, 40),
      QColor(148, 103, 189), QColor(140, 86, 75),  QColor(227, 119, 194), QColor(127, 127, 127),
      QColor(188, 189, 34),  QColor(23, 190, 207), QColor(0, 0, 0),       QColor(128, 128, 0),
  };
  constexpr int kCount = static_cast<int>(std::size(kColours));
  if (index < kCount) return kColours[index];
  // Past the palette: hues spread by the golden angle.
  return QColor::fromHsv(static_cast<int>(std::fmod(index * 137.508, 360.0)), 200, 190);
}

HistoryPlot::HistoryPlot(const history::CellHistory& model, QWidget* parent) : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("HistoryPlot"));
  setMouseTracking(true);
  setMinimumSize(400, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
  ShowAll();
}

QRect HistoryPlot::PlotArea() const { return rect().adjusted(44, 8, -8, -22); }

double HistoryPlot::TimeAt(int x) const {
  const QRect area = PlotArea();
  return from_ + (x - area.left()) * (to_ - from_) / std::max(area.width(), 1);
}

int HistoryPlot::XOf(double time) const {
  const QRect area = PlotArea();
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

void HistoryPlot::CentreOn(double time) {
  SetFollowing(false);
  const double span = to_ - from_;
  SetRange(time - span / 2, time + span / 2);
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

QString HistoryPlot::AxisLabel(double time, double span) const {
  if (model_.AxisKind() == history::CellHistory::Axis::cycleNumber) return QString::number(std::llround(time));
  const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(time * 1000)));
  if (span > 2 * 86400) return at.toString(QStringLiteral("dd.MM HH:mm"));
  return at.toString(span > 600 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss"));
}

QString HistoryPlot::HoverText(QPoint at) const {
  const QRect area = PlotArea();
  if (!area.contains(at) || model_.CycleCount() == 0) return {};
  const double time = TimeAt(at.x());
  const double perPixel = (to_ - from_) / std::max(area.width(), 1);
  // An event within three pixels says what it was.
  for (const history::Marker& marker : model_.Markers()) {
    if (std::abs(marker.time - time) <= 3 * perPixel)
      return AxisLabel(marker.time, 0) + QStringLiteral("  ") + ToQt(history::EventText(marker.event));
  }
  QStringList lines;
  double shownAt = time;
  bool any = false;
  for (const history::Trace& trace : model_.Traces()) {
    // The nearest point within four pixels, or, zoomed in further, within about a cycle and a half
    // (0.6 s, a poll cycle taking 0.4 s) or half a cycle number.
    const double reach = model_.AxisKind() == history::CellHistory::Axis::time ? 0.6 : 0.5;
    const long point = model_.PointNear(trace, time, std::max(4 * perPixel, reach));
    if (point < 0) continue;
    const auto index = static_cast<std::size_t>(point);
    if (!any) shownAt = model_.TimeOf(trace.cycles[index]);
    any = true;
    QString line = QStringLiteral("<span style='color:%1'>&#9632;</span> ").arg(TraceColour(trace.colour).name()) +
                   TraceName(trace).toHtmlEscaped() + QStringLiteral(": ") + QString::number(trace.levels[index]) +
                   QStringLiteral(" dBm");
    if (trace.serving[index]) line += QStringLiteral(" (активная)");
    lines << line;
  }
  if (!any) return {};
  return QStringLiteral("<b>") + AxisLabel(shownAt, 0) + QStringLiteral("</b><br>") +
         lines.join(QStringLiteral("<br>"));
}

void HistoryPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const QRect area = PlotArea();
  painter.fillRect(area, Qt::white);
  const bool onlyGsm = std::all_of(model_.Traces().begin(), model_.Traces().end(),
                                   [](const history::Trace& trace) { return trace.key.tech == radio::Tech::gsm; });
  const int bottom = onlyGsm ? kBottomLevel : kLowestBottomLevel;
  const auto yOf = [&](int level) {
    return area.bottom() - (level - bottom) * (area.height() - 1) / (kTopLevel - bottom);
  };

  // The level grid, every 10 dBm.
  painter.setFont(font());
  for (int level = bottom / 10 * 10 + (bottom % 10 == 0 ? 10 : 0); level <= -50; level += 10) {
    const int y = yOf(level);
    painter.setPen(QColor(225, 225, 225));
    painter.drawLine(area.left(), y, area.right(), y);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, y - 8, area.left() - 4, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
  }
  painter.drawText(QRect(0, area.top() - 6, area.left() - 4, 14), Qt::AlignRight | Qt::AlignTop, QStringLiteral("dBm"));

  // Time ticks at a round step giving about one label per 110 pixels.
  const double span = to_ - from_;
  static const double kSteps[] = {1,   2,    5,    10,   15,    30,    60,    120,   300,    600,
                                  900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800};
  const bool numbers = model_.AxisKind() == history::CellHistory::Axis::cycleNumber;
  double step = kSteps[std::size(kSteps) - 1];
  for (const double s : kSteps) {
    if (span / s * 110 <= area.width()) {
      step = s;
      break;
    }
  }
  // Local time ticks fall on local round times.
  const double offset = numbers ? 0 : QDateTime::currentDateTime().offsetFromUtc();
  for (double t = std::ceil((from_ + offset) / step) * step - offset; t < to_; t += step) {
    const int x = XOf(t);
    painter.setPen(QColor(235, 235, 235));
    painter.drawLine(x, area.top(), x, area.bottom());
    painter.setPen(Qt::black);
    painter.drawLine(x, area.bottom(), x, area.bottom() + 3);
    painter.drawText(QRect(x - 60, area.bottom() + 4, 120, 16), Qt::AlignHCenter | Qt::AlignTop, AxisLabel(t, span));
  }

  painter.setClipRect(area);
  // The traces: each column a bar from its lowest to its highest point, joined to the next column
  // where the cell was heard without a break. Serving stretches are drawn thicker.
  const int columns = area.width();
  for (const history::Trace& trace : model_.Traces()) {
    model_.Decimate(trace, from_, to_, columns, columns_);
    const QColor colour = TraceColour(trace.colour);
    QPen thin(colour, 1);
    QPen thick(colour, 3);
    int previous = -1;
    for (int c = 0; c < columns; ++c) {
      const history::Column& column = columns_[static_cast<std::size_t>(c)];
      if (!column.any) continue;
      const int x = area.left() + c;
      painter.setPen(column.serving ? thick : thin);
      if (previous >= 0) {
        const history::Column& before = columns_[static_cast<std::size_t>(previous)];
        // Points of consecutive cycles are joined; a cycle without the cell leaves a gap.
        if (column.firstCycle == before.lastCycle + 1)
          painter.drawLine(area.left() + previous, yOf(before.last), x, yOf(column.first));
      }
      if (column.min == column.max) {
        painter.drawPoint(x, yOf(column.min));
      } else {
        painter.drawLine(x, yOf(column.min), x, yOf(column.max));
      }
      previous = c;
    }
  }

  // The events: a dashed line each, and a short caption at the top in the first of three rows
  // with room for it (none where all are taken: hovering the line still tells).
  int rowEnd[3] = {area.left() - 1000, area.left() - 1000, area.left() - 1000};
  const QFontMetrics metrics(font());
  for (const history::Marker& marker : model_.Markers()) {
    if (marker.time < from_ || marker.time >= to_) continue;
    const int x = XOf(marker.time);
    const QColor colour = MarkerColour(marker.event.kind);
    painter.setPen(QPen(colour, 1, Qt::DashLine));
    painter.drawLine(x, area.top(), x, area.bottom());
    const QString caption = ToQt(history::EventText(marker.event)).section(QLatin1Char(':'), 0, 0);
    for (int row = 0; row < 3; ++row) {
      if (x + 3 <= rowEnd[row] + 6) continue;
      painter.setPen(colour);
      painter.drawText(x + 3, area.top() + 13 + (metrics.height() + 2) * row, caption);
      rowEnd[row] = x + 3 + metrics.horizontalAdvance(caption);
      break;
    }
  }
  painter.setClipping(false);
  painter.setPen(Qt::black);
  painter.drawRect(area.adjusted(0, 0, -1, -1));
  if (model_.CycleCount() == 0) painter.drawText(area, Qt::AlignCenter, QStringLiteral("Нет измерений"));
}

HistoryWindow::HistoryWindow(const history::CellHistory& model, bool live, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
  setObjectName(live ? QStringLiteral("LiveHistoryWindow") : QStringLiteral("LogHistoryWindow"));
  setWindowTitle(QStringLiteral("История измерений"));
  setAttribute(Qt::WA_DeleteOnClose, !live);
  resize(900, 520);

  auto* layout = new QVBoxLayout(this);
  QPushButton* alignButton = nullptr;
  auto* bar = new QHBoxLayout;
  layout->addLayout(bar);
  follow_ = new QCheckBox(QStringLiteral("Следить"), this);
  follow_->setObjectName(QStringLiteral("chkFollow"));
  follow_->setToolTip(QStringLiteral("Держать в виду последний цикл"));
  bar->addWidget(follow_);
  auto* all = new QPushButton(QStringLiteral("Весь протокол"), this);
  all->setObjectName(QStringLiteral("btnShowAll"));
  bar->addWidget(all);
  if (live) {
    bar->addSpacing(16);
    bar->addWidget(new QLabel(QStringLiteral("Порог уровня:"), this));
    auto* threshold = new QSpinBox(this);
    threshold->setObjectName(QStringLiteral("spnThreshold"));
    threshold->setRange(-120, -40);
    threshold->setSuffix(QStringLiteral(" dBm"));
    threshold->setValue(SavedLevelThreshold());
    threshold->setToolTip(
        QStringLiteral("Событие, когда уровень активной соты опускается ниже порога и поднимается снова"));
    connect(threshold, &QSpinBox::valueChanged, this, [](int dbm) {
      SaveLevelThreshold(dbm);
      if (history::RunEvents* events = State().liveEvents) events->SetThreshold(dbm);
    });
    bar->addWidget(threshold);
    bar->addSpacing(16);
    alignButton = new QPushButton(QStringLiteral("Режим наведения"), this);
    alignButton->setObjectName(QStringLiteral("btnAlignment"));
    alignButton->setCheckable(true);
    alignButton->setToolTip(QStringLiteral("Уровень крупными цифрами, наибольший и наименьший, звук"));
    bar->addWidget(alignButton);
  }
  bar->addStretch(1);
  auto* hint = new QLabel(QStringLiteral("Колесо: масштаб, перетаскивание: прокрутка"), this);
  hint->setEnabled(false);
  bar->addWidget(hint);

  auto* body = new QHBoxLayout;
  layout->addLayout(body, 1);
  plot_ = new HistoryPlot(model, this);
  body->addWidget(plot_, 1);
  auto* side = new QVBoxLayout;
  body->addLayout(side);
  legend_ = new QListWidget(this);
  legend_->setObjectName(QStringLiteral("HistoryLegend"));
  legend_->setFixedWidth(270);
  legend_->setSelectionMode(QAbstractItemView::NoSelection);
  legend_->setWordWrap(true);
  side->addWidget(legend_, 1);
  if (live) {
    alignment_ = new AlignmentPanel(model, this);
    alignment_->setVisible(false);
    side->addWidget(alignment_);
    connect(alignButton, &QPushButton::toggled, alignment_, &QWidget::setVisible);
  }

  follow_->setChecked(live);
  plot_->SetFollowing(live);
  connect(follow_, &QCheckBox::toggled, plot_, &HistoryPlot::SetFollowing);
  connect(plot_, &HistoryPlot::followChanged, follow_, &QCheckBox::setChecked);
  connect(all, &QPushButton::clicked, this, [this] {
    plot_->SetFollowing(false);
    plot_->ShowAll();
  });
  if (!live) plot_->ShowAll();
  ModelChanged();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::ModelChanged() {
  UpdateLegend();
  plot_->ModelChanged();
  if (alignment_ != nullptr) alignment_->ModelChanged();
}

void HistoryWindow::UpdateLegend() {
  const auto& traces = model_.Traces();
  if (traces.size() < legendTraces_) {  // a new connection started a new history
    legend_->clear();
    legendTraces_ = 0;
  }
  for (std::size_t i = legendTraces_; i < traces.size(); ++i) {
    QPixmap swatch(14, 14);
    swatch.fill(HistoryPlot::TraceColour(traces[i].colour));
    legend_->addItem(new QListWidgetItem(QIcon(swatch), QString()));
  }
  legendTraces_ = traces.size();
  // The serving cell of the newest cycle is named so; texts follow what was last heard.
  const std::uint32_t newest = model_.CycleCount() > 0 ? static_cast<std::uint32_t>(model_.CycleCount() - 1) : 0;
  for (std::size_t i = 0; i < traces.size(); ++i) {
    const history::Trace& trace = traces[i];
    QString text = TraceName(trace);
    if (!trace.cycles.empty() && trace.cycles.back() == newest && trace.serving.back() != 0)
      text += QStringLiteral("  (активная)");
    QListWidgetItem* item = legend_->item(static_cast<int>(i));
    if (item->text() != text) item->setText(text);
  }
}

void AddLiveCycle(const radio::Cycle& cycle) {
  if (!history::HasCells(cycle)) return;
  LiveHistory& live = Live();
  live.model.AddCycle(history::AxisTime(cycle.time), cycle);
  if (live.window) live.window->ModelChanged();
}

void AddLiveEvent(const history::CellEvent& event) {
  LiveHistory& live = Live();
  // A new connection starts a new history.
  if (event.kind == history::EventKind::connectionStarted) {
    live.model.Clear(history::CellHistory::Axis::time);
  }
  live.model.AddEvent(history::AxisTime(event.time), event);
  if (live.window) live.window->ModelChanged();
}

HistoryWindow& OpenLiveHistory(QWidget* parent) {
  LiveHistory& live = Live();
  if (!live.window) live.window = new HistoryWindow(live.model, true, parent);
  live.window->show();
  live.window->raise();
  live.window->activateWindow();
  return *live.window;
}

HistoryWindow* OpenLogHistory(const std::string& fileName, QWidget* parent) {
  auto model = std::make_unique<history::CellHistory>();
  const history::LoadResult loaded = history::LoadHistory(fileName, *model);
  // A damaged log still shows the cycles before the damage; an unreadable one nothing.
  if (!loaded.ok && loaded.cycles == 0) {
    ShowError(loaded.error);
    return nullptr;
  }
  auto* window = new HistoryWindow(*model, false, parent);
  // The model lives as long as its window.
  QObject::connect(window, &QObject::destroyed, [held = model.release()] { delete held; });
  window->show();
  window->raise();
  return window;
}

QAction* AddLiveHistoryAction(QMenu& menu, QWidget* parent) {
  QAction* action = menu.addAction(QStringLiteral("История измерений"), parent, [parent] { OpenLiveHistory(parent); });
  action->setObjectName(QStringLiteral("actHistory"));
  action->setShortcut(kHistoryShortcut);
  return action;
}

QAction* AddLogHistoryAction(QMenu& menu, QWidget* parent, std::string fileName) {
  QAction* action = menu.addAction(QStringLiteral("История измерений"), parent,
                                   [parent, fileName] { OpenLogHistory(fileName, parent); });
  action->setObjectName(QStringLiteral("actLogHistory"));
  action->setEnabled(!fileName.empty());
  return action;
}

void InstallHistoryShortcut(QWidget& window) {
  auto* shortcut = new QShortcut(kHistoryShortcut, &window);
  shortcut->setObjectName(QStringLiteral("HistoryShortcut"));
  QObject::connect(shortcut, &QShortcut::activated, &window, [&window] { OpenLiveHistory(&window); });
}

int SavedLevelThreshold() {
  const QSettings store(kSettingsOrganization, kSettingsApplication);
  const int dbm =
      store.value(QStringLiteral("history/levelThreshold"), history::EventDetector::kDefaultThreshold).toInt();
  return std::clamp(dbm, -120, -40);
}

void SaveLevelThreshold(int dbm) {
  QSettings store(kSettingsOrganization, kSettingsApplication);
  store.setValue(QStringLiteral("history/levelThreshold"), dbm);
}

}  // namespace ui
