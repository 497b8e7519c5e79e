#pragma once
// The history window ("История измерений"): every cell's level over time (RxLev, RSCP, RSRP), one
// trace per cell (technology, channel and BSIC, PSC or PCI) in a colour of its own, with a
// legend, the run's events as markers, hover values, zoom on the time axis with the wheel,
// scrolling by dragging, and "follow", which keeps the newest cycle in view. Live it shows the monitor's history as
// cycles arrive; opened for a log it shows that run. Window's thread only.

#include <QKeySequence>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "history/cell_history.h"
#include "radio/cycle.h"

class QAction;
class QCheckBox;
class QMenu;
class QListWidget;
class QSpinBox;
class QLabel;

namespace ui {

class AlignmentPanel;

// The plot: levels from -115 (-130 once a cell of another technology than GSM is traced) to -45
// dBm upwards, time to the right.
class HistoryPlot : public QWidget {
  Q_OBJECT
 public:
  HistoryPlot(const history::CellHistory& model, QWidget* parent = nullptr);

  // The visible part of the axis, [from, to).
  double From() const { return from_; }
  double To() const { return to_; }
  void SetRange(double from, double to);
  // Shows the whole run.
  void ShowAll();
  // Centres the visible span on time, which stops following.
  void CentreOn(double time);
  bool Following() const { return follow_; }
  void SetFollowing(bool follow);
  // New cycles or events: keeps the newest in view while following, then repaints.
  void ModelChanged();
  // Zooms by factor (below 1: in) around the axis position at pixel x.
  void Zoom(double factor, int x);
  // The text hovering at pixel (x, y) shows: the time and each cell's level there, or an event.
  QString HoverText(QPoint at) const;
  // The colour of a trace.
  static QColor TraceColour(int index);

 signals:
  void followChanged(bool follow);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QRect PlotArea() const;
  double TimeAt(int x) const;
  int XOf(double time) const;
  QString AxisLabel(double time, double span) const;

  const history::CellHistory& model_;
  double from_ = 0, to_ = 60;
  bool follow_ = true;
  bool spanChosen_ = false;  // the user zoomed: following keeps the span
  int dragX_ = -1;
  double dragFrom_ = 0;
  mutable std::vector<history::Column> columns_;
};

class HistoryWindow : public QWidget {
  Q_OBJECT
 public:
  // Shows model, which must outlive the window; live: the monitor's own (the level threshold and
  // the alignment mode are offered).
  HistoryWindow(const history::CellHistory& model, bool live, QWidget* parent = nullptr);
  ~HistoryWindow() override;

  // New cycles or events in the model.
  void ModelChanged();
  // Brings time (on the model's axis) into the middle of the plot.
  void ShowTime(double time) { plot_->CentreOn(time); }

  const history::CellHistory& Model() const { return model_; }
  HistoryPlot* Plot() const { return plot_; }
  QListWidget* Legend() const { return legend_; }
  AlignmentPanel* Alignment() const { return alignment_; }

 private:
  void UpdateLegend();

  const history::CellHistory& model_;
  HistoryPlot* plot_ = nullptr;
  QListWidget* legend_ = nullptr;
  QCheckBox* follow_ = nullptr;
  AlignmentPanel* alignment_ = nullptr;
  std::size_t legendTraces_ = 0;
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
