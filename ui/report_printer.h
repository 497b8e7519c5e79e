#pragma once
// Prints a report's text on a printer, page after page, in the report's monospaced font, with
// 200 printer pixels of margin on the left and the top of the printable area and none on the
// right and the bottom.

#include <QString>

class QPagedPaintDevice;
class QPrinter;

namespace ui {

inline constexpr int kPrintMargin = 200;  // printer pixels

// The number of pages printed, or 0 when the print job could not start. The printer's job gets
// an empty document title.
int PrintReport(const QString& text, QPrinter& printer);
// The same on any paged device, such as a PDF writer.
int PrintReport(const QString& text, QPagedPaintDevice& device);

}  // namespace ui
