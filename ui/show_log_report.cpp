#include <QString>

#include "log/log_viewer.h"
#include "platform/file_map.h"
#include "platform/text_encoding.h"
#include "ui/message_box.h"
#include "ui/viewer.h"

namespace ui {
namespace {

// The name is Windows-1251 for the messages, but Linux paths are UTF-8 bytes: the file is opened
// under its UTF-8 name, so a log in a folder with a Russian name opens too. The raw bytes are
// tried next, for a log created under them.
gsmlog::LogReport BuildReport(const std::string& fileName) {
  platform::FileMap file;
  const std::string utf8Name = platform::Cp1251ToUtf8(fileName);
  platform::FileMap::Status status = file.Open(utf8Name);
  if (status == platform::FileMap::Status::openFailed && utf8Name != fileName) status = file.Open(fileName);
  switch (status) {
    case platform::FileMap::Status::openFailed:
      return {false, {}, gsmlog::OpenFailedMessage(fileName)};
    case platform::FileMap::Status::readFailed:
      return {false, {}, gsmlog::ReadFailedMessage(fileName)};
    case platform::FileMap::Status::ok:
      break;
  }
  return gsmlog::BuildLogReportFromData(file.data(), file.size(), fileName);
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
