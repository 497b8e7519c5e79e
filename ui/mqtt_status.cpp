#include "ui/mqtt_status.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>
#include <chrono>
#include <thread>

#include "core/log_recorder.h"
#include "gps/gps_link.h"
#include "log/log_writer.h"
#include "mqtt/broker_url.h"
#include "parser/field_table.h"
#include "platform/text_encoding.h"
#include "sites/event_message.h"
#include "sites/live_cycle.h"

namespace ui {

MqttSettings LoadMqttSettings() {
  const QSettings store(QStringLiteral("ostrin"), QStringLiteral("ostrin_gsmmon"));
  MqttSettings settings;
  settings.url = store.value(QStringLiteral("mqtt/url"), settings.url).toString();
  settings.passwordFile = store.value(QStringLiteral("mqtt/passwordFile"), settings.passwordFile).toString();
  settings.caFile = store.value(QStringLiteral("mqtt/caFile"), settings.caFile).toString();
  settings.queue = store.value(QStringLiteral("mqtt/queue"), settings.queue).toInt();
  if (settings.queue < 1) settings.queue = 10'000;
  return settings;
}

void SaveMqttSettings(const MqttSettings& settings) {
  QSettings store(QStringLiteral("ostrin"), QStringLiteral("ostrin_gsmmon"));
  store.setValue(QStringLiteral("mqtt/url"), settings.url);
  store.setValue(QStringLiteral("mqtt/passwordFile"), settings.passwordFile);
  store.setValue(QStringLiteral("mqtt/caFile"), settings.caFile);
  store.setValue(QStringLiteral("mqtt/queue"), settings.queue);
  store.sync();
}

TfrmMqttSettings::TfrmMqttSettings(const MqttSettings& settings, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmMqttSettings"));
  setWindowTitle(QStringLiteral("Настройки MQTT"));
  const auto edit = [this](const QString& text, const char* name) {
    auto* line = new QLineEdit(text, this);
    line->setObjectName(QString::fromLatin1(name));
    return line;
  };
  txtUrl = edit(settings.url, "txtUrl");
  txtUrl->setPlaceholderText(QStringLiteral("mqtts://пользователь@сервер/префикс"));
  txtPasswordFile = edit(settings.passwordFile, "txtPasswordFile");
  txtCaFile = edit(settings.caFile, "txtCaFile");
  spnQueue = new QSpinBox(this);
  spnQueue->setObjectName(QStringLiteral("spnQueue"));
  spnQueue->setRange(1, 1'000'000);
  spnQueue->setValue(settings.queue);
  btnOk = new QPushButton(QStringLiteral("ОК"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Отмена"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Адрес брокера:"), txtUrl);
  form->addRow(QStringLiteral("Файл пароля:"), txtPasswordFile);
  form->addRow(QStringLiteral("Сертификат ЦС:"), txtCaFile);
  form->addRow(QStringLiteral("Очередь, сообщений:"), spnQueue);
  auto* note = new QLabel(
      QStringLiteral("Пустой адрес: циклы не публикуются. Настройки действуют со следующего подключения."), this);
  note->setWordWrap(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addLayout(buttons);

  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(txtUrl, &QLineEdit::textChanged, this, [this] { InputChange(); });
  InputChange();
}

MqttSettings TfrmMqttSettings::Settings() const {
  return {txtUrl->text().trimmed(), txtPasswordFile->text().trimmed(), txtCaFile->text().trimmed(), spnQueue->value()};
}

void TfrmMqttSettings::InputChange() {
  const QString url = txtUrl->text().trimmed();
  btnOk->setEnabled(url.isEmpty() || mqtt::ParseBrokerUrl(url.toStdString()).has_value());
}

void EditMqttSettings(QWidget* parent) {
  TfrmMqttSettings dialog(LoadMqttSettings(), parent);
  if (dialog.exec() == QDialog::Accepted) SaveMqttSettings(dialog.Settings());
}

void AddMqttSettingsAction(QMenu& menu, QWidget* parent) {
  QAction* action = menu.addAction(QStringLiteral("Настройки MQTT..."));
  action->setObjectName(QStringLiteral("actMqttSettings"));
  QObject::connect(action, &QAction::triggered, parent, [parent] { EditMqttSettings(parent); });
}

CyclePublishing::CyclePublishing(core::LogRecorder& recorder, gsmlog::TLogWriter& writer, gps::GpsLink& gps)
    : recorder_(recorder), writer_(writer), gps_(gps) {}

void CyclePublishing::AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) {
  writer_.AcceptField(fieldCode, cellIndex, value);
  // Measured fields come from the monitor thread alone (the call workers send only diagnostics).
  const parser::FieldInfo* field = parser::FindField(fieldCode);
  if (field == nullptr) return;
  if (polling_) {
    values_.push_back({fieldCode, cellIndex, value.text, value.number});
    return;
  }
  if (cellIndex != 0 || value.text == parser::kNotAvailable) return;
  const std::string text = platform::Cp1251ToPrintable(value.text);
  if (fieldCode == parser::fcImei) identity_.imei = text;
  if (fieldCode == parser::fcManufacturer) identity_.manufacturer = text;
  if (fieldCode == parser::fcModel) identity_.model = text;
  if (fieldCode == parser::fcFirmware) identity_.firmware = text;
}

void CyclePublishing::PollStarted() {
  recorder_.PollStarted();
  polling_ = true;
  values_.clear();
  const MqttSettings settings = LoadMqttSettings();
  if (settings.url.isEmpty()) return;
  sites::MqttSettings site{settings.url.toStdString(), settings.passwordFile.toStdString(),
                           settings.caFile.toStdString(), static_cast<std::size_t>(settings.queue)};
  std::string message;
  const auto broker = sites::BrokerOf(site, message);
  if (!broker) return;  // the dialog takes only usable addresses; a password file gone is said nowhere
  publisher_ = std::make_unique<sites::SitePublisher>(*broker, site, identity_);
  publisher_->Start();
}

void CyclePublishing::CycleCompleted(int n) {
  stamp_ = survey::StampCycle(gps_.Fresh());
  recorder_.CycleCompleted(n);
  const radio::Cycle cycle = sites::CycleOfDelivered(n, stamp_, std::exchange(values_, {}));
  if (publisher_) publisher_->Cycle(sites::CycleObject(cycle, publisher_->Session()));
}

void CyclePublishing::Event(const history::CellEvent& event) {
  if (publisher_) publisher_->Event(sites::EventObject(event));
}

void CyclePublishing::ConnectionEnded(bool reachedPoll) {
  recorder_.ConnectionEnded(reachedPoll);
  polling_ = false;
  identity_ = {};
  if (!publisher_) return;
  // The queued cycles get their time to go out without holding the window's return to idle.
  std::thread([publisher = std::move(publisher_)] {
    publisher->Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10), {});
  }).detach();
}

}  // namespace ui
