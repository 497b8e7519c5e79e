#pragma once
// The report's font: the monospaced "Courier New" of 12 points (16 pixels at 96 dpi), taken by a
// metric-compatible face where it is missing, so the report's table keeps its columns.

#include <QFont>

namespace ui {

QFont ReportFont();

}  // namespace ui
