#pragma once
// The program's one error display: a modal box with an empty title, the error icon and OK.

#include <string>

namespace ui {

// text is Windows-1251. Owned by the main window, or by nobody in viewer-only mode.
// Window's thread only; returns when the user has closed the box.
void ShowError(const std::string& text);

}  // namespace ui
