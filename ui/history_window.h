#pragma once
// The history window ("История измерений"): every cell's level over time (RxLev, RSCP, RSRP), one
// trace per cell (technology, channel and BSIC, PSC or PCI) in a look of its own, with a legend
// that hides, shows only or highlights cells, the run's events, hover values, zoom on the time
// axis with the wheel, scrolling by dragging, "follow", which keeps the newest cycle in view, the
// serving cell alone, and the plot's menu (pictures, print, each cell's statistics). Live it shows
// the monitor's history as cycles arrive; opened for a log it shows that run, named in the title.
// Window's thread only.

#include <QKeySequence>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "history/cell_history.h"
#include "radio/cycle.h"
#include "ui/history_legend.h"
#include "ui/history_plot.h"

class QAction;
class QDateTime;
class QCheckBox;
class QMenu;
class QListWidget;
class QPrinter;
class QSpinBox;
class QLabel;

namespace ui {

class AlignmentPanel;
class CellStatisticsWindow;
class HistoryLegend;

class HistoryWindow : public QWidget {
  Q_OBJECT
 public:
  // Shows model, which must outlive the window; live: the monitor's own (the level threshold and
  // the alignment mode are offered).
  HistoryWindow(const history::CellHistory& model, bool live, QWidget* parent = nullptr);
  ~HistoryWindow() override;

  // New cycles or events in the model.
  void ModelChanged();
  // Centres the view on time, keeping the span, and stops following; false (nothing moves) when
  // the history's axis counts cycles rather than time.
  bool ShowTime(const QDateTime& time);

  const history::CellHistory& Model() const { return model_; }
  HistoryPlot* Plot() const { return plot_; }
  HistoryLegend* Legend() const { return legend_; }
  AlignmentPanel* Alignment() const { return alignment_; }

  // The plot's menu (owned by the caller): save as PNG or SVG, copy, print, the cells' statistics.
  QMenu* BuildPlotMenu();
  // "Статистика по сотам" for this history, opened or raised.
  CellStatisticsWindow& OpenStatistics();

 private:
  void SavePlot(const QString& format);
  void Print();

  const history::CellHistory& model_;
  HistoryPlot* plot_ = nullptr;
  HistoryLegend* legend_ = nullptr;
  QCheckBox* follow_ = nullptr;
  AlignmentPanel* alignment_ = nullptr;
  QPointer<CellStatisticsWindow> statistics_;
};

// The live history of monitor mode, on the window's thread: each completed cycle at its own time,
// and each event of the run.
void AddLiveCycle(const radio::Cycle& cycle);
void AddLiveEvent(const history::CellEvent& event);
// Opens (or raises) the live history window over parent.
HistoryWindow& OpenLiveHistory(QWidget* parent);
// Opens a history window for a log over parent; false, with the message shown, when the log cannot be read.
HistoryWindow* OpenLogHistory(const std::string& fileName, QWidget* parent);

// The main window's shortcut for the live history.
inline const QKeySequence kHistoryShortcut{Qt::CTRL | Qt::Key_H};
// "История измерений" on a context menu: the live history over parent, or the history of a log
// (disabled when there is none).
QAction* AddLiveHistoryAction(QMenu& menu, QWidget* parent);
QAction* AddLogHistoryAction(QMenu& menu, QWidget* parent, std::string fileName);
// The shortcut on the main window.
void InstallHistoryShortcut(QWidget& window);

// The level threshold of the events (dBm), remembered between runs; the live run's events use it.
int SavedLevelThreshold();
void SaveLevelThreshold(int dbm);

}  // namespace ui
