#pragma once
// The events' captions, in a lane of their own above the plot so they never cover a trace. Events
// too close to caption apart share one caption with their count ("Смена соты ×3", or "События: 5"
// for different kinds); hovering it lists every one.

#include <QColor>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

#include "history/cell_history.h"

class QFontMetrics;
class QPainter;

namespace ui {

struct CaptionCluster {
  QRect rect;                        // the caption, inside the lane
  std::vector<std::size_t> markers;  // indices into CellHistory::Markers(), in time order
  QString text;
  QColor colour;
};

// An event kind's colour, the same on the history and on the map.
QColor MarkerColour(history::EventKind kind);

// The captions of the markers in [from, to), left to right; xOf gives a time's pixel column.
std::vector<CaptionCluster> LayOutCaptions(const std::vector<history::Marker>& markers, double from, double to,
                                           const std::function<int(double)>& xOf, QRect lane,
                                           const QFontMetrics& metrics);
void DrawCaptions(QPainter& painter, const std::vector<CaptionCluster>& captions);

}  // namespace ui
