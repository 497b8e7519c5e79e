#pragma once
// The map itself: the background tiles (or, with no source, a plain grid), the drive's track
// coloured by the serving level on the graph's scale, the run's events as marks, the newest
// position, and a scale bar. Zoom with the wheel around the pointer, pan by dragging (which stops
// following), hover for a cycle's values, a click picks the cycle under the pointer. Window's
// thread.

#include <QWidget>
#include <optional>

#include "map/drive_track.h"
#include "map/web_mercator.h"

namespace ui {

class MapTiles;

class MapView : public QWidget {
  Q_OBJECT
 public:
  // track and tiles must outlive the view.
  MapView(const map::DriveTrack& track, MapTiles& tiles, QWidget* parent = nullptr);

  int Zoom() const { return zoom_; }
  // The place at the view's centre.
  map::LatLon Centre() const;
  void SetView(map::LatLon centre, int zoom);
  // The whole track in view (a world view without one).
  void ShowAll();
  bool Following() const { return follow_; }
  void SetFollowing(bool follow);
  // Marks the newest point as the current position (the live run).
  void SetMarkNewest(bool mark) { markNewest_ = mark; }
  // New points or events: keeps the newest point in view while following, then repaints.
  void ModelChanged();
  // Zooms by steps (positive: in) keeping the place under pixel at fixed.
  void ZoomAt(int steps, QPoint at);

  // The pixel of a place in the view.
  QPointF PixelOf(map::LatLon place) const;
  // The point (its index) nearest to pixel within reach, or nothing.
  std::optional<std::size_t> PointNear(QPoint at) const;
  // What hovering at pixel shows: the cycle's time, level, cell and place, and every event marked
  // there.
  QString HoverText(QPoint at) const;
  // The scale bar's length as its label says it ("200 м", "5 км").
  QString ScaleText() const;

 signals:
  void followChanged(bool follow);
  // A click on a point of the track: its time on the history's axis.
  void pointPicked(double time);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  map::WorldPixel WorldAt(QPointF pixel) const;
  void PaintTiles(QPainter& painter);
  void PaintGrid(QPainter& painter);
  void PaintTrack(QPainter& painter);
  void PaintScaleBar(QPainter& painter);

  const map::DriveTrack& track_;
  MapTiles& tiles_;
  int zoom_ = 2;
  map::WorldPixel centre_{512, 512};  // at zoom_
  bool follow_ = false;
  bool placed_ = false;     // the view has been fitted to a track
  bool userMoved_ = false;  // zoomed or panned: a resize no longer fits the track
  bool markNewest_ = false;
  QPoint pressAt_;
  map::WorldPixel pressCentre_;
  bool pressed_ = false;
  bool dragged_ = false;
};

}  // namespace ui
