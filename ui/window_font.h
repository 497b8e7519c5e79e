#pragma once
// The window font: Tahoma at 11 pixels (8 pt at 96 dpi). Debian ships it with Wine's fonts
// (fonts-wine) without registering it, so it is added from there when the system lacks it.

#include <QFont>

namespace ui {

// pixelSize 11 for the window, smaller for scale captions.
QFont WindowFont(int pixelSize = 11, bool bold = false);

}  // namespace ui
