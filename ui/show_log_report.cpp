#include <QString>

#include "log/log_viewer.h"
#include "ui/message_box.h"
#include "ui/viewer.h"

namespace ui {

void ShowLogReport(const std::string& fileName) {
  const gsmlog::LogReport report = gsmlog::BuildLogReport(fileName);
  if (!report.ok) {
    ShowError(report.error);
    return;
  }
  TfrmViewer* window = ReportWindow();
  if (window == nullptr) return;
  window->show();
  window->SetReport(report.text, fileName);
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace ui
