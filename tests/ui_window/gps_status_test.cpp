// The window's GPS: its state on the graph's tooltip and the window's context menu, the settings
// dialog and the settings remembered, all without moving a control.

#include "ui/gps_status.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <map>

#include "form_fixture.h"
#include "tests/support/gpsd_process.h"
#include "tests/support/qt_wait.h"
#include "ui/gps_indicator.h"

namespace {

using uitest::FormTest;

// Settings go to a folder of the test's own.
class GpsSettingsStore {
 public:
  GpsSettingsStore() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
    QSettings(QStringLiteral("ostrin"), QStringLiteral("ostrin_gsmmon")).clear();
  }

 private:
  QTemporaryDir dir_;
};

std::map<QString, QRect> Geometries(const QWidget& window) {
  std::map<QString, QRect> places;
  for (const QWidget* child : window.findChildren<QWidget*>()) {
    if (!child->objectName().isEmpty()) places[child->objectName()] = child->geometry();
  }
  return places;
}

gps::Fix Fix3D() {
  gps::Fix fix;
  fix.mode = 3;
  fix.latitude = 55.7558261;
  fix.longitude = -37.6173;
  return fix;
}

TEST(GpsStateText, EveryState) {
  EXPECT_EQ(ui::GpsStateText(gps::GpsState::off, std::nullopt, std::nullopt), "GPS: выключен");
  EXPECT_EQ(ui::GpsStateText(gps::GpsState::noGpsd, std::nullopt, gps::GpsdAddress{"localhost", "2947"}),
            "GPS: нет связи с gpsd localhost:2947");
  EXPECT_EQ(ui::GpsStateText(gps::GpsState::noFix, std::nullopt, std::nullopt), "GPS: нет местоположения");
  EXPECT_EQ(ui::GpsStateText(gps::GpsState::fix3D, Fix3D(), std::nullopt), "GPS: 3D, 55.75583 -37.61730");
  gps::Fix flat = Fix3D();
  flat.mode = 2;
  EXPECT_EQ(ui::GpsStateText(gps::GpsState::fix2D, flat, std::nullopt), "GPS: 2D, 55.75583 -37.61730");
}

TEST_F(FormTest, GpsStateOnTheGraphAndTheMenuMovesNoControl) {
  const auto before = Geometries(*form_);
  const QString title = form_->windowTitle();
  gps::GpsLink link;
  const int port = testsupport::FreeLoopbackPort();
  link.Start({"127.0.0.1", std::to_string(port)});
  ui::InstallGpsStatus(*form_, link);
  EXPECT_EQ(Geometries(*form_), before);
  EXPECT_EQ(form_->windowTitle(), title);
  EXPECT_EQ(form_->contextMenuPolicy(), Qt::CustomContextMenu);
  const QString noGpsd = QStringLiteral("GPS: нет связи с gpsd 127.0.0.1:%1").arg(port);
  // The GPS state is the tooltip's line below where the log goes.
  EXPECT_TRUE(form_->Graph()->toolTip().endsWith(QStringLiteral("\n") + noGpsd))
      << form_->Graph()->toolTip().toStdString();

  std::unique_ptr<QMenu> menu(ui::BuildGpsMenu(form_.get(), link));
  const auto actions = menu->actions();
  ASSERT_EQ(actions.size(), 5);
  EXPECT_EQ(actions[0]->text(), noGpsd);
  EXPECT_FALSE(actions[0]->isEnabled());
  EXPECT_EQ(actions[1]->text(), "Настройки GPS...");
  EXPECT_EQ(actions[2]->text(), "Настройки MQTT...");
  EXPECT_TRUE(actions[3]->isSeparator());
  EXPECT_EQ(actions[4]->text(), "Открыть папку протоколов");

  // A right click on a control without a menu of its own, the graph, opens the window's.
  form_->show();
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), form_->Graph()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(form_->Graph(), &click);
  QWidget* popup = QApplication::activePopupWidget();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->objectName(), "GpsMenu");
  popup->close();
  form_->hide();

  link.Stop();
  ui::UpdateGpsStatus(*form_, link);
  EXPECT_TRUE(form_->Graph()->toolTip().endsWith(QStringLiteral("\nGPS: выключен")));
}

// The indicator over a drive through Debian's gpsd, from a receiver that lists its satellites:
// the fix with its satellites and age, then the last fix growing old, then no gpsd.
TEST(GpsIndicator, FollowsGpsdThroughAFixItsAgeAndItsEnd) {
  auto drive = testsupport::ReadNmeaDrive(GSMMON_DRIVE_NMEA);
  ASSERT_EQ(drive.size(), 60u);
  testsupport::NmeaFeeder feeder;
  ASSERT_TRUE(feeder.Opened());
  testsupport::GpsdProcess gpsd(feeder.DevicePath());
  if (!gpsd.Started()) GTEST_SKIP() << "gpsd cannot be started here";
  gps::GpsLink link;
  link.Start(*gps::ParseGpsdAddress(gpsd.Address()));
  ui::GpsIndicator indicator(nullptr, &link);
  const auto shows = [&](const QString& start) {
    return testsupport::WaitUntil(
        [&] {
          indicator.Refresh();
          return indicator.Text().startsWith(start);
        },
        std::chrono::seconds(8));
  };
  EXPECT_TRUE(shows(QStringLiteral("GPS: нет местоположения"))) << indicator.Text().toStdString();
  EXPECT_EQ(indicator.ToolTipText(), "gpsd: " + QString::fromStdString(gpsd.Address()));

  std::vector<testsupport::NmeaGroup> groups(drive.begin(), drive.begin() + 3);
  for (auto& group : groups) {
    group.sentences.insert(group.sentences.end(), {"GPGSV,3,1,11,02,45,100,40,05,30,200,38,07,60,050,42,09,20,300,35",
                                                   "GPGSV,3,2,11,13,50,120,41,16,10,220,30,20,70,010,44,26,25,260,36",
                                                   "GPGSV,3,3,11,29,35,150,39,30,15,330,33,31,05,010,"});
  }
  feeder.Start(groups, std::chrono::seconds(1));
  EXPECT_TRUE(shows(QStringLiteral("GPS: 3D, спутников 10 из 11, "))) << indicator.Text().toStdString();
  EXPECT_TRUE(indicator.Text().endsWith(QStringLiteral(" с назад"))) << indicator.Text().toStdString();
  EXPECT_TRUE(indicator.ToolTipText().startsWith(QStringLiteral("Местоположение: 55.75756 37.6")))
      << indicator.ToolTipText().toStdString();
  ASSERT_TRUE(feeder.WaitDone(std::chrono::seconds(10)));
  EXPECT_TRUE(shows(QStringLiteral("GPS: нет местоположения (последнее "))) << indicator.Text().toStdString();
  EXPECT_TRUE(indicator.ToolTipText().startsWith(QStringLiteral("Последнее местоположение: 55.75756 37.6")));
  gpsd.Stop();
  EXPECT_TRUE(shows(QStringLiteral("GPS: нет связи с gpsd ") + QString::fromStdString(gpsd.Address())))
      << indicator.Text().toStdString();
  link.Stop();
  indicator.Refresh();
  EXPECT_EQ(indicator.Text(), "GPS: выключен");
}

TEST(GpsSettings, RememberedAndApplied) {
  const GpsSettingsStore store;
  const ui::GpsSettings defaults = ui::LoadGpsSettings();
  EXPECT_TRUE(defaults.enabled);
  EXPECT_EQ(defaults.gpsd, "localhost:2947");

  ui::SaveGpsSettings({true, QStringLiteral("127.0.0.1:12001")});
  EXPECT_EQ(ui::LoadGpsSettings().gpsd, "127.0.0.1:12001");
  gps::GpsLink link;
  ui::ApplyGpsSettings(link, ui::LoadGpsSettings());
  ASSERT_TRUE(link.Address());
  EXPECT_EQ(link.Address()->port, "12001");
  ui::ApplyGpsSettings(link, {false, QStringLiteral("127.0.0.1:12001")});
  EXPECT_FALSE(link.Address());
  ui::ApplyGpsSettings(link, {true, QStringLiteral("no port:")});
  EXPECT_FALSE(link.Address());
}

// A greyed OK says why, under the address; a usable address or GPS switched off says nothing.
TEST(GpsSettings, DialogSaysWhyOkIsGreyed) {
  ui::TfrmGpsSettings dialog({true, QStringLiteral("localhost:2947")});
  struct Case {
    const char* text;
    const char* problem;  // "" for a usable address
  };
  const Case cases[] = {
      {"localhost:2947", ""},
      {" 127.0.0.1:12002 ", ""},
      {"localhost:99999", "Порт должен быть от 1 до 65535"},
      {"localhost:0", "Порт должен быть от 1 до 65535"},
      {"localhost:29x", "Порт должен быть числом от 1 до 65535"},
      {"", "Не указан узел gpsd"},
      {":2947", "Не указан узел gpsd"},
      {"localhost:", "Не указан порт после \":\""},
      {"gps host:2947", "Недопустимый символ в имени узла"},
      {"::1:2947", "Адрес IPv6 пишется в квадратных скобках: [::1]:2947"},
      {"[::1", "Нет закрывающей скобки \"]\""},
      {"[::1]2947", "После \"]\" ожидается \":\" и порт"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    dialog.txtGpsd->setText(QString::fromUtf8(c.text));
    EXPECT_EQ(dialog.lblGpsdProblem->text(), QString::fromUtf8(c.problem));
    EXPECT_EQ(dialog.lblGpsdProblem->isVisibleTo(&dialog), *c.problem != '\0');
    EXPECT_EQ(dialog.btnOk->isEnabled(), *c.problem == '\0');
  }
  dialog.chkEnabled->setChecked(false);
  EXPECT_TRUE(dialog.btnOk->isEnabled());
  EXPECT_FALSE(dialog.lblGpsdProblem->isVisibleTo(&dialog));
}

TEST(GpsSettings, DialogOffersOkOnlyForAUsableAddressAndRestartsTheLink) {
  const GpsSettingsStore store;
  ui::TfrmGpsSettings dialog({true, QStringLiteral("localhost:2947")});
  EXPECT_EQ(dialog.windowTitle(), "Настройки GPS");
  EXPECT_TRUE(dialog.btnOk->isEnabled());
  dialog.txtGpsd->setText(QStringLiteral("localhost:99999"));
  EXPECT_FALSE(dialog.btnOk->isEnabled());
  dialog.chkEnabled->setChecked(false);  // nothing to connect to, nothing to check
  EXPECT_TRUE(dialog.btnOk->isEnabled());
  EXPECT_FALSE(dialog.txtGpsd->isEnabled());

  // Through the menu's way: the dialog answered on the event loop.
  gps::GpsLink link;
  QWidget owner;
  QTimer::singleShot(0, [] {
    auto* open = qobject_cast<ui::TfrmGpsSettings*>(QApplication::activeModalWidget());
    if (open == nullptr) return;
    open->txtGpsd->setText(QStringLiteral(" 127.0.0.1:12002 "));
    open->btnOk->click();
  });
  ui::EditGpsSettings(&owner, link);
  ASSERT_TRUE(link.Address());
  EXPECT_EQ(link.Address()->port, "12002");
  EXPECT_EQ(ui::LoadGpsSettings().gpsd, "127.0.0.1:12002");
}

}  // namespace
