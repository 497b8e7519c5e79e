#include "ui/log_folder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QUrl>

#include "platform/file_name.h"
#include "platform/text_encoding.h"
#include "ui/app_state.h"
#include "ui/frmNetMonitor.h"
#include "ui/message_box.h"
#include "ui/rxlevel_graphbar.h"

namespace ui {
namespace {

using namespace platform::literals;

QString ToQt(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }

// Shown while the mouse rests on the graph.
QString LocationText(const QString& logName) {
  if (QDir::isAbsolutePath(logName)) return ToQt("Протокол записывается в файл "_cp1251) + logName;
  return ToQt("Протоколы записываются в папку "_cp1251) + QDir::toNativeSeparators(LogFolder());
}

}  // namespace

QString LogFolder() {
  if (!State().logFolder.isEmpty()) return State().logFolder;
  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  return data.isEmpty() ? QString() : data + QStringLiteral("/logs");
}

void SetLogFolder(const QString& folder) { State().logFolder = folder; }

bool MakeLogFolder() {
  const QString folder = LogFolder();
  return !folder.isEmpty() && QDir().mkpath(folder);
}

std::string LogPath(const std::string& name, bool create) {
  if (name.empty() || name.front() == '/' || LogFolder().isEmpty()) return name;
  if (create) MakeLogFolder();
  return QFile::encodeName(LogFolder()).toStdString() + "/" + name;
}

void AttachLogFolder(Tfrm& form) {
  RxLevelGraph* graph = form.Graph();
  auto* txtLog = form.findChild<QLineEdit*>(QStringLiteral("txtLog"));
  if (graph == nullptr || txtLog == nullptr) return;
  graph->SetTipLine(RxLevelGraph::TipLine::log, LocationText(txtLog->text()));
  QObject::connect(txtLog, &QLineEdit::textChanged, graph,
                   [graph](const QString& name) { graph->SetTipLine(RxLevelGraph::TipLine::log, LocationText(name)); });

  graph->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(graph, &QWidget::customContextMenuRequested, graph, [graph](const QPoint& at) {
    auto* menu = new QMenu(graph);
    menu->setObjectName(QStringLiteral("LogFolderMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddLogFolderAction(*menu);
    menu->popup(graph->mapToGlobal(at));
  });
}

void AddLogFolderAction(QMenu& menu) {
  QAction* action = menu.addAction(ToQt("Открыть папку протоколов"_cp1251), [] { OpenLogFolder(); });
  action->setObjectName(QStringLiteral("actOpenLogFolder"));
}

void OpenLogFolder() {
  const QString folder = LogFolder();
  if (!MakeLogFolder() || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
    ShowError(std::string("Невозможно открыть папку "_cp1251) +
              platform::FileNameText(QFile::encodeName(folder).toStdString()));
  }
}

}  // namespace ui
