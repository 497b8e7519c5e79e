#pragma once
// The receive-level graph: the paint box RxLevGraph and its off-screen surface, a scrolling
// colour strip chart of the serving cell's receive level between -113 dBm and -47 dBm.
// Every operation runs on the window's thread.

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "survey/level_colour.h"

namespace ui {

// The colour scale lives below the window, where the map exports share it.
using survey::BlendColour;
using survey::Colour;
using survey::LevelColour;

class RxLevelGraph : public QWidget {
  Q_OBJECT
 public:
  explicit RxLevelGraph(QWidget* parent = nullptr);

  // A new black surface of the paint box's current size (MonitorLayout).
  void CreateGraphSurface();
  // Drops the surface; a sample without a surface changes nothing.
  void DestroyGraphSurface();
  // Four new columns for one level sample (dBm), then a repaint.
  void AddGraphSample(int level);

  // The tooltip holds one line per subject (where the log goes, the GPS state), each set by its
  // owner; an empty text drops that line.
  enum class TipLine { log, gps, mqtt };
  void SetTipLine(TipLine line, const QString& text);

  bool HasSurface() const { return !surface_.isNull(); }
  // The off-screen surface, for tests and screenshots.
  const QImage& Surface() const { return surface_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void CopyGraphToScreen();

  QImage surface_;
  QString tipLines_[3];
};

}  // namespace ui
