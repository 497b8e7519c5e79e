#include <QString>
#include <filesystem>
#include <system_error>

#include "log/log_viewer.h"
#include "platform/text_encoding.h"
#include "ui/message_box.h"
#include "ui/viewer.h"

namespace ui {
namespace {

// The message of a build under one name, told under another.
std::string Renamed(const std::string& error, const std::string& usedName, const std::string& shownName) {
  for (auto message : {gsmlog::OpenFailedMessage, gsmlog::ReadFailedMessage, gsmlog::DamagedMessage}) {
    if (error == message(usedName)) return message(shownName);
  }
  return error;
}

// The name is Windows-1251, but Linux paths are UTF-8 bytes: a file that exists under the UTF-8
// form of the name is read under it (a log in a folder with a Russian name), otherwise the raw
// bytes are the path, as the log writer uses them. Messages always carry the name as given.
gsmlog::LogReport BuildReport(const std::string& fileName) {
  const std::string utf8Name = platform::Cp1251ToUtf8(fileName);
  std::error_code ignored;
  if (utf8Name == fileName || !std::filesystem::exists(utf8Name, ignored)) return gsmlog::BuildLogReport(fileName);
  gsmlog::LogReport report = gsmlog::BuildLogReport(utf8Name);
  if (!report.ok) report.error = Renamed(report.error, utf8Name, fileName);
  return report;
}

}  // namespace

void ShowLogReport(const std::string& fileName) {
  const gsmlog::LogReport report = BuildReport(fileName);
  if (!report.ok) {
    ShowError(report.error);
    return;
  }
  TfrmViewer* window = ReportWindow();
  if (window == nullptr) return;
  window->show();
  window->SetReport(report.text, QString::fromStdString(platform::Cp1251ToUtf8(fileName)));
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace ui
