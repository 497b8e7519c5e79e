// The window's MQTT: its settings remembered, the dialog on the context menu, and the run observer
// publishing each cycle to a real broker beside the log.

#include "ui/mqtt_status.h"

#include <QAction>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
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
#include "ui/app_state.h"
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

// The dialog refuses files that are not there, offers a browse button for each, and shows a
// long address whole.
TEST(MqttSettings, DialogChecksItsFilesAndShowsALongAddress) {
  const SettingsStore store;
  QTemporaryDir dir;
  const QString present = dir.filePath(QStringLiteral("password"));
  QFile file(present);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("secret\n");
  file.close();
  const QString missing = dir.filePath(QStringLiteral("missing"));

  ui::TfrmMqttSettings dialog(ui::LoadMqttSettings());
  dialog.txtUrl->setText(QStringLiteral("mqtts://site@broker/north"));
  struct Case {
    const char* name;
    QString passwordFile, caFile;
    bool ok;
    const char* problem;
  };
  const Case cases[] = {{"both present", present, present, true, ""},
                        {"none named", {}, {}, true, ""},
                        {"password file missing", missing, present, false, "Файл пароля не найден"},
                        {"CA file missing", present, missing, false, "Сертификат ЦС не найден"},
                        {"a folder as the CA file", {}, dir.path(), false, "Сертификат ЦС не найден"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialog.txtPasswordFile->setText(c.passwordFile);
    dialog.txtCaFile->setText(c.caFile);
    EXPECT_EQ(dialog.btnOk->isEnabled(), c.ok);
    EXPECT_EQ(dialog.lblProblem->text(), QString::fromUtf8(c.problem));
  }
  EXPECT_EQ(dialog.btnPasswordFile->text(), "Обзор...");
  EXPECT_EQ(dialog.btnCaFile->text(), "Обзор...");
  dialog.show();
  const QString longUrl = QStringLiteral("mqtts://356938035643809@broker.example.org:8883/north");
  EXPECT_GE(dialog.txtUrl->width(), dialog.txtUrl->fontMetrics().horizontalAdvance(longUrl));
}

// What keeps the window's run from its broker is its broker state, in the context menu and the
// graph's tooltip, and each problem goes to the window's error box once.
TEST(MqttSettings, TheBrokersStateAndProblemsReachTheWindow) {
  const SettingsStore store;
  QTemporaryDir dir;
  const int port = testsupport::FreeLoopbackPort();
  const std::string address = "127.0.0.1:" + std::to_string(port);
  struct Case {
    const char* name;
    ui::MqttSettings settings;
    std::string problem;  // the start of the error shown
    QString state;        // the start of the state line
  };
  const Case cases[] = {
      {"nobody listens",
       {QString::fromStdString("mqtt://" + address + "/w"), {}, {}, 10},
       "Нет связи с брокером MQTT " + address,
       QStringLiteral("MQTT: нет связи с брокером ")},
      {"the password file gone",
       {QString::fromStdString("mqtt://u@" + address + "/w"), dir.filePath(QStringLiteral("gone")), {}, 10},
       "Невозможно прочитать файл пароля MQTT",
       QStringLiteral("MQTT: Невозможно прочитать файл пароля")},
      {"the CA file gone",
       {QString::fromStdString("mqtts://" + address + "/w"), {}, dir.filePath(QStringLiteral("gone.crt")), 10},
       "MQTT: не удалось прочитать сертификат",
       QStringLiteral("MQTT: не удалось прочитать сертификат")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui::SaveMqttSettings(c.settings);
    ui::MqttStatus status;
    sites::SitePublishing publishing([](std::string& why) { return ui::SavedPublishingTarget(why); }, true);
    ui::ReportBrokerTo(publishing, status);
    core::RunStart start;
    start.identity.imei = "357889315217211";
    publishing.RunStarted(start);
    std::vector<std::string> problems;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (problems.empty() && std::chrono::steady_clock::now() < deadline) {
      problems = status.TakeProblems();
      std::this_thread::sleep_for(100ms);
    }
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << problems[0];
    EXPECT_TRUE(status.StateText().startsWith(c.state)) << status.StateText().toStdString();
    std::this_thread::sleep_for(1500ms);  // the next attempts tell the same, which is not shown again
    EXPECT_TRUE(status.TakeProblems().empty());

    // The window's menu carries the state line above the settings.
    ui::State().mqtt = &status;
    gps::GpsLink link;
    QWidget owner;
    QMenu* menu = ui::BuildGpsMenu(&owner, link);
    QAction* line = menu->findChild<QAction*>(QStringLiteral("actMqttState"));
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->isEnabled());
    EXPECT_TRUE(line->text().startsWith(c.state)) << line->text().toStdString();
    delete menu;
    ui::State().mqtt = nullptr;
    publishing.RunEnded({.reachedPoll = true, .lost = false, .cycles = 0});
  }
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
    sites::SitePublishing publishing([](std::string& why) { return ui::SavedPublishingTarget(why); }, true);
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
