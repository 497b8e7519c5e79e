#pragma once
// The history's plot as a picture: a PNG or SVG file, the clipboard, a printed page. SVG and print
// draw the plot anew (lines stay lines); PNG and the clipboard take the pixels shown.

#include <QString>

class QPrinter;

namespace ui {

class HistoryPlot;

// Writes the plot to fileName, SVG when it ends in ".svg" and PNG otherwise; false when the file
// could not be written.
bool SavePlotImage(const HistoryPlot& plot, const QString& fileName);
void CopyPlotImage(const HistoryPlot& plot);
// The plot on one page, as large as it fits with its proportions kept; false when printing failed.
bool PrintPlot(const HistoryPlot& plot, QPrinter& printer);

}  // namespace ui
