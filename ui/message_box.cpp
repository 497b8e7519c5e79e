#include "ui/message_box.h"

#include <QMessageBox>

#include "platform/text_encoding.h"
#include "ui/app_state.h"

namespace ui {

void ShowError(const std::string& text) {
  QWidget* owner = ViewerOnly() ? nullptr : MainWindow();
  QMessageBox box(QMessageBox::Critical, QString(), QString::fromStdString(platform::Cp1251ToUtf8(text)),
                  QMessageBox::Ok, owner);
  box.setObjectName("ErrorBox");
  box.exec();
}

}  // namespace ui
