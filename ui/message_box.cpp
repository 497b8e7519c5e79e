#include "ui/message_box.h"

#include <QMessageBox>

#include "platform/text_encoding.h"
#include "ui/app_state.h"
#include "ui/viewer.h"
#include "ui/window_font.h"

namespace ui {

void ShowError(const std::string& text) {
  QWidget* owner = ViewerOnly() ? nullptr : MainWindow();
  QMessageBox box(QMessageBox::Critical, QString(), QString::fromStdString(platform::Cp1251ToUtf8(text)),
                  QMessageBox::Ok, owner);
  box.setObjectName("ErrorBox");
  // The 8-point font of the window the box speaks for: the main window's, or the report window's
  // when that is the only one.
  const QWidget* window = owner != nullptr ? owner : ReportWindow();
  box.setFont(window != nullptr ? window->font() : WindowFont());
  box.exec();
}

}  // namespace ui
