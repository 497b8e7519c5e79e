// The window's MQTT: its settings remembered, the dialog on the context menu, and the run observer
// publishing each cycle to a real broker beside the log.

#include "ui/mqtt_status.h"

#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <nlohmann/json.hpp>

#include "core/log_recorder.h"
#include "form_fixture.h"
#include "gps/gps_link.h"
#include "log/log_writer.h"
#include "parser/cycle_fields.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/recording_window.h"
#include "ui/gps_status.h"

namespace {

using namespace std::chrono_literals;

class SettingsStore {
 public:
  SettingsStore() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
    QSettings(QStringLiteral("ostrin"), QStringLiteral("ostrin_gsmmon")).clear();
  }

 private:
  QTemporaryDir dir_;
};

TEST(MqttSettings, DialogOnTheMenuOffersOkOnlyForAUsableAddress) {
  const SettingsStore store;
  EXPECT_TRUE(ui::LoadMqttSettings().url.isEmpty());
  EXPECT_EQ(ui::LoadMqttSettings().queue, 10'000);

  ui::TfrmMqttSettings dialog(ui::LoadMqttSettings());
  EXPECT_EQ(dialog.windowTitle(), "Настройки MQTT");
  EXPECT_TRUE(dialog.btnOk->isEnabled());  // empty: nothing published
  dialog.txtUrl->setText(QStringLiteral("mqtt://broker:99999"));
  EXPECT_FALSE(dialog.btnOk->isEnabled());
  dialog.txtUrl->setText(QStringLiteral("mqtts://site@broker/north"));
  EXPECT_TRUE(dialog.btnOk->isEnabled());

  // The window's context menu leads to it; the answer is remembered.
  gps::GpsLink link;
  QWidget owner;
  QMenu* menu = ui::BuildGpsMenu(&owner, link);
  QAction* action = menu->findChild<QAction*>(QStringLiteral("actMqttSettings"));
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), "Настройки MQTT...");
  QTimer::singleShot(0, [] {
    auto* open = qobject_cast<ui::TfrmMqttSettings*>(QApplication::activeModalWidget());
    if (open == nullptr) return;
    open->txtUrl->setText(QStringLiteral(" mqtt://127.0.0.1:18830/sites "));
    open->spnQueue->setValue(500);
    open->btnOk->click();
  });
  action->trigger();
  EXPECT_EQ(ui::LoadMqttSettings().url, "mqtt://127.0.0.1:18830/sites");
  EXPECT_EQ(ui::LoadMqttSettings().queue, 500);
  delete menu;
}

TEST(MqttSettings, TheWindowsObserverPublishesEachCycle) {
  const SettingsStore store;
  QTemporaryDir dir;
  testsupport::MosquittoProcess broker(std::filesystem::path(dir.path().toStdString()) / "broker", {});
  ASSERT_TRUE(broker.Running()) << broker.Log();
  ui::SaveMqttSettings({QString::fromStdString(broker.Url("win")), {}, {}, 100});

  std::vector<std::string> args = {MOSQUITTO_SUB_PATH, "-t", "win/#", "-v", "-C", "3", "-W", "20"};
  const auto more = broker.ClientArgs();
  args.insert(args.end(), more.begin(), more.end());
  testsupport::ChildProcess sub(args);
  std::this_thread::sleep_for(500ms);  // subscribed before anything is published

  // The window's run publishes to the broker its saved settings name.
  {
    sites::SitePublishing publishing([] { return ui::SavedPublishingTarget(); }, true);
    core::RunStart start;
    start.identity.imei = "357889315217211";
    publishing.RunStarted(start);
    radio::Cycle cycle;
    cycle.n = 1;
    cycle.time = std::chrono::system_clock::now();
    parser::ApplyField(cycle, parser::fcRxLevel, 0, {"-75", -75});
    parser::ApplyField(cycle, parser::fcChannel, 2, {"55", 55});
    publishing.CycleCompleted(cycle);
    publishing.RunEnded({.reachedPoll = true, .lost = false, .cycles = 1});
  }

  ASSERT_EQ(sub.Wait(30s), 0) << sub.Stderr();
  const std::string out = sub.Stdout();
  EXPECT_NE(out.find("win/357889315217211/status {"), std::string::npos) << out;
  const std::string topic = "win/357889315217211/cycle ";
  const std::size_t at = out.find(topic);
  ASSERT_NE(at, std::string::npos) << out;
  const std::size_t start = at + topic.size();
  const std::string line = out.substr(start, out.find('\n', start) - start);
  const auto cycle = nlohmann::json::parse(line);
  EXPECT_EQ(cycle["n"], 1);
  EXPECT_EQ(cycle["schema"], 2);
  EXPECT_EQ(cycle["serving"]["rxlevel_dbm"], -75);
  EXPECT_EQ(cycle["neighbours"][1]["channel"], 55);
}

}  // namespace
