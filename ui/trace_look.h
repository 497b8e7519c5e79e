#pragma once
// How a cell's trace is shown: its name in the legend, tooltips and statistics, and its pen and
// legend swatch from the trace style (history/trace_style.h).

#include <QColor>
#include <QPen>
#include <QPixmap>
#include <QString>

#include "history/cell_history.h"

namespace ui {

// "62 / 7.3  сота 28641  900"; other technologies name theirs and the identity's kind:
// "LTE 1850 / PCI 123  сота 26132481  B3".
QString TraceName(const history::Trace& trace);

QColor TraceColour(int index);
// The trace's pen: its colour and line style; width 1 for solid lines, 2 for broken ones (thin
// dots would vanish), plus extra for serving stretches or a highlighted trace.
QPen TracePen(int index, int extraWidth = 0);
// A legend swatch: a short stretch of the trace's line; hollow when the trace is hidden.
QPixmap TraceSwatch(int index, bool hidden);

}  // namespace ui
