// Where the window records: bare log names go into the program's data folder, which the graph
// names in its tooltip and opens from its context menu.

#include "ui/log_folder.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>
#include <QUrl>

#include "log/log_writer.h"
#include "tests/support/modal_closer.h"
#include "tests/ui_window/form_fixture.h"

namespace {

using namespace platform::literals;
using uitest::Utf;

// Takes the file: URLs the program hands to the desktop.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls << url; }
};

class LogFolderTest : public uitest::FormTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.filePath(QStringLiteral("data/ostrin-gsmmon/logs"));
    ui::SetLogFolder(folder_);
    FormTest::SetUp();
  }
  void TearDown() override { ui::SetLogFolder(QString()); }
  QTemporaryDir dir_;
  QString folder_;
};

TEST_F(LogFolderTest, DefaultFolderIsLogsInTheApplicationsDataFolder) {
  const QByteArray saved = qgetenv("XDG_DATA_HOME");
  const QString savedName = QCoreApplication::applicationName();
  qputenv("XDG_DATA_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("share"))));
  QCoreApplication::setApplicationName(QString::fromLatin1(ui::kDataFolderName));
  ui::SetLogFolder(QString());
  EXPECT_EQ(ui::LogFolder(), dir_.filePath(QStringLiteral("share/ostrin-gsmmon/logs")));
  // Fixed, it no longer follows the application's name.
  ui::SetLogFolder(ui::LogFolder());
  QCoreApplication::setApplicationName(QStringLiteral("Lumatrek"));
  EXPECT_EQ(ui::LogFolder(), dir_.filePath(QStringLiteral("share/ostrin-gsmmon/logs")));
  QCoreApplication::setApplicationName(savedName);
  qputenv("XDG_DATA_HOME", saved);
}

TEST_F(LogFolderTest, BareNamesGoIntoTheFolderAndPathsStay) {
  const std::string folder = folder_.toStdString();
  struct Case {
    std::string name;
    std::string path;
  };
  const Case cases[] = {
      {"09122026.log", folder + "/09122026.log"}, {"runs/a.log", folder + "/runs/a.log"},
      {"/var/tmp/a.log", "/var/tmp/a.log"},       {"", ""},
      {"протокол.log", folder + "/протокол.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ui::LogPath(c.name, false), c.path);
  }
  EXPECT_FALSE(QFileInfo::exists(folder_)) << "looking up a name creates nothing";
  ui::LogPath("a.log", true);
  EXPECT_TRUE(QFileInfo(folder_).isDir()) << "created on first use, with its parents";
}

TEST_F(LogFolderTest, RecordActionWritesABareNameIntoTheFolderAndTheGraphNamesIt) {
  EXPECT_EQ(form_->Graph()->toolTip(), QStringLiteral("Протоколы записываются в папку ") + folder_);
  Edit("txtLog")->setText(QStringLiteral("09122026.log"));
  auto* record = Control<QPushButton>("btnStartLog");
  record->click();
  ASSERT_TRUE(writer_.IsOpen());
  const QString file = folder_ + QStringLiteral("/09122026.log");
  EXPECT_EQ(Text("txtLog"), file);
  EXPECT_TRUE(QFileInfo::exists(file));
  EXPECT_EQ(form_->Graph()->toolTip(), QStringLiteral("Протокол записывается в файл ") + file);
  record->click();
  EXPECT_FALSE(writer_.IsOpen());

  // The next run of the day gets its own file beside the first.
  Edit("txtLog")->setText(QStringLiteral("09122026.log"));
  record->click();
  EXPECT_EQ(Text("txtLog"), folder_ + QStringLiteral("/09122026-2.log"));
  record->click();
}

TEST_F(LogFolderTest, GraphMenuOpensTheFolder) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
  form_->show();
  ui::RxLevelGraph* graph = form_->Graph();
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10), graph->mapToGlobal(QPoint(10, 10)));
  QApplication::sendEvent(graph, &click);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->actions().size(), 1);
  EXPECT_EQ(menu->actions().front()->text(), QStringLiteral("Открыть папку протоколов"));
  menu->actions().front()->trigger();
  menu->close();
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_EQ(catcher.urls.front(), QUrl::fromLocalFile(folder_));
  EXPECT_TRUE(QFileInfo(folder_).isDir()) << "created before it is opened";
}

TEST_F(LogFolderTest, AFolderThatCannotBeMadeIsReported) {
  ui::SetLogFolder(QStringLiteral("/proc/ostrin-gsmmon/logs"));
  test_support::ModalCloser closer;
  ui::OpenLogFolder();
  ASSERT_TRUE(closer.Seen());
  EXPECT_EQ(closer.Text(), QStringLiteral("Невозможно открыть папку /proc/ostrin-gsmmon/logs"));
}

}  // namespace

#include "log_folder_test.moc"
