#pragma once
// The history's plot: levels from -115 (-130 once a cell of another technology than GSM is
// traced) to -45 dBm upwards, time to the right; a trace per cell in its own colour and line
// style (thicker where the cell served), the events' captions in a lane above, the level
// threshold as a line over a tinted band below it. Traces can be hidden, one highlighted, or only
// the serving cell's points shown. Window's thread only.

#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "history/cell_history.h"
#include "ui/caption_lane.h"

class QPainter;

namespace ui {

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
  bool Following() const { return follow_; }
  void SetFollowing(bool follow);
  // New cycles or events: keeps the newest in view while following, then repaints.
  void ModelChanged();
  // Zooms by factor (below 1: in) around the axis position at pixel x.
  void Zoom(double factor, int x);
  // The text hovering at pixel (x, y) shows: the time and each shown cell's level there, or every
  // event at that time.
  QString HoverText(QPoint at) const;
  // The colour of a trace.
  static QColor TraceColour(int index);
  static QColor ThresholdColour() { return {190, 0, 0}; }

  // Which traces show (by their index in the model's traces).
  bool TraceHidden(int trace) const;
  void SetTraceHidden(int trace, bool hidden);
  // The trace drawn over the others, thicker, the rest faded; -1 for none.
  int Highlighted() const { return highlighted_; }
  void SetHighlighted(int trace);
  // Only the serving cell's points, each in its cell's colour.
  bool OnlyActive() const { return onlyActive_; }
  void SetOnlyActive(bool only);
  // The level threshold line, dBm; none when unset.
  void SetThreshold(std::optional<int> dbm);
  std::optional<int> Threshold() const { return threshold_; }
  // The time axis names the date at every label (a log's history), not only across midnight.
  void SetDateOnAxis(bool always);

  // Where things are drawn at the widget's size: the plot, the captions' lane above it, a level's
  // row, the captions and the time axis labels.
  QRect PlotArea() const { return PlotArea(size()); }
  QRect CaptionLane() const;
  int LevelY(int dbm) const;
  std::vector<CaptionCluster> Captions() const;
  struct AxisLabel {
    QRect rect;
    QString text;
  };
  std::vector<AxisLabel> AxisLabels() const;

  // Draws the whole plot at size onto painter (the screen, an image, SVG, a printer).
  void Render(QPainter& painter, QSize size) const;

 signals:
  void followChanged(bool follow);
  void traceShownChanged(int trace);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct Axis;  // the time axis's step, format and labels at one size

  QRect PlotArea(QSize size) const;
  QRect CaptionLane(QSize size) const;
  int BottomLevel() const;
  int LevelY(int dbm, QRect area) const;
  double TimeAt(int x) const;
  int XOf(double time, QRect area) const;
  bool DateOnAxis() const;
  QString TimeText(double time) const;
  Axis TimeAxis(QSize size) const;
  std::vector<CaptionCluster> Captions(QSize size) const;
  void DrawTrace(QPainter& painter, const history::Trace& trace, QRect area, bool faded) const;

  const history::CellHistory& model_;
  double from_ = 0, to_ = 60;
  bool follow_ = true;
  bool spanChosen_ = false;  // the user zoomed: following keeps the span
  int dragX_ = -1;
  double dragFrom_ = 0;
  std::vector<bool> hidden_;
  int highlighted_ = -1;
  bool onlyActive_ = false;
  std::optional<int> threshold_;
  bool dateAlways_ = false;
  mutable std::vector<history::Column> columns_;
};

}  // namespace ui
