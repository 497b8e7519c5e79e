#pragma once
// The receive-level graph: the paint box RxLevGraph and its off-screen surface, a scrolling
// colour strip chart of the serving cell's receive level between -113 dBm and -47 dBm.
// Every operation runs on the window's thread.

#include <QImage>
#include <QWidget>
#include <cstdint>

namespace ui {

// A colour in the COLORREF layout: red in bits 0-7, green 8-15, blue 16-23.
using Colour = std::uint32_t;

// The colour of row (0 = bottom) of a column of height pixels for level (dBm): yellow to green
// above -75, red to yellow from -85, white to red below; darker towards the top. Levels above -47
// take the colour of -47 and levels below -113 that of -113, so every byte stays within 0..255.
Colour LevelColour(int level, int row, int height);
// a * (1 - t) + b * t per byte, truncated (and kept within 0..255).
Colour BlendColour(Colour a, Colour b, float t);

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

  bool HasSurface() const { return !surface_.isNull(); }
  // The off-screen surface, for tests and screenshots.
  const QImage& Surface() const { return surface_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void CopyGraphToScreen();

  QImage surface_;
};

}  // namespace ui
