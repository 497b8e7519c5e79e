#include "ui/history_legend.h"

#include <QContextMenuEvent>
#include <QMenu>

#include "ui/history_plot.h"
#include "ui/trace_look.h"

namespace ui {

HistoryLegend::HistoryLegend(const history::CellHistory& model, HistoryPlot& plot, QWidget* parent)
    : QListWidget(parent), model_(model), plot_(plot) {
  setObjectName(QStringLiteral("HistoryLegend"));
  setSelectionMode(QAbstractItemView::NoSelection);
  setWordWrap(true);
  setIconSize(QSize(28, 14));
  setMouseTracking(true);
  setToolTip(QStringLiteral("Щелчок: скрыть или показать соту; двойной щелчок: только эта сота"));
  connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const int trace = row(item);
    plot_.SetTraceHidden(trace, !plot_.TraceHidden(trace));
  });
  // The double click's first click has toggled the cell already: undone before showing only it.
  connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    const int trace = row(item);
    plot_.SetTraceHidden(trace, !plot_.TraceHidden(trace));
    ShowOnly(trace);
  });
  connect(this, &QListWidget::itemEntered, this, [this](QListWidgetItem* item) { plot_.SetHighlighted(row(item)); });
  connect(&plot_, &HistoryPlot::traceShownChanged, this, [this](int trace) { Restyle(trace); });
}

void HistoryLegend::ModelChanged() {
  const auto& traces = model_.Traces();
  if (traces.size() < entries_) {  // a new connection started a new history: every cell shown again
    ShowAll();
    plot_.SetHighlighted(-1);
    clear();
    entries_ = 0;
  }
  for (std::size_t i = entries_; i < traces.size(); ++i) {
    addItem(new QListWidgetItem);
    Restyle(static_cast<int>(i));
  }
  entries_ = traces.size();
  const std::uint32_t newest = model_.CycleCount() > 0 ? static_cast<std::uint32_t>(model_.CycleCount() - 1) : 0;
  for (std::size_t i = 0; i < traces.size(); ++i) {
    const history::Trace& trace = traces[i];
    QString text = TraceName(trace);
    if (!trace.cycles.empty() && trace.cycles.back() == newest && trace.serving.back() != 0)
      text += QStringLiteral("  (активная)");
    QListWidgetItem* entry = item(static_cast<int>(i));
    if (entry->text() != text) entry->setText(text);
  }
}

void HistoryLegend::Restyle(int trace) {
  QListWidgetItem* entry = item(trace);
  if (entry == nullptr) return;
  const bool hidden = plot_.TraceHidden(trace);
  entry->setIcon(QIcon(TraceSwatch(trace, hidden)));
  entry->setForeground(palette().brush(hidden ? QPalette::Disabled : QPalette::Active, QPalette::Text));
}

void HistoryLegend::ShowOnly(int trace) {
  bool onlyOne = !plot_.TraceHidden(trace);
  for (int i = 0; i < count() && onlyOne; ++i) onlyOne = i == trace || plot_.TraceHidden(i);
  if (onlyOne) {
    ShowAll();
    return;
  }
  for (int i = 0; i < count(); ++i) plot_.SetTraceHidden(i, i != trace);
}

void HistoryLegend::ShowAll() {
  for (int i = 0; i < count(); ++i) plot_.SetTraceHidden(i, false);
}

QMenu* HistoryLegend::BuildMenu(int trace) {
  auto* menu = new QMenu(this);
  QAction* only = menu->addAction(QStringLiteral("Только эта сота"), this, [this, trace] { ShowOnly(trace); });
  only->setObjectName(QStringLiteral("actShowOnlyCell"));
  only->setEnabled(trace >= 0);
  QAction* all = menu->addAction(QStringLiteral("Показать все"), this, [this] { ShowAll(); });
  all->setObjectName(QStringLiteral("actShowAllCells"));
  return menu;
}

void HistoryLegend::contextMenuEvent(QContextMenuEvent* event) {
  QListWidgetItem* entry = itemAt(viewport()->mapFrom(this, event->pos()));
  QMenu* menu = BuildMenu(entry != nullptr ? row(entry) : -1);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void HistoryLegend::leaveEvent(QEvent* event) {
  plot_.SetHighlighted(-1);
  QListWidget::leaveEvent(event);
}

}  // namespace ui
