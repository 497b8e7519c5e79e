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

#include "mqtt/broker_url.h"
#include "platform/text_encoding.h"

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

std::optional<sites::SitePublishing::Target> SavedPublishingTarget() {
  const MqttSettings settings = LoadMqttSettings();
  if (settings.url.isEmpty()) return std::nullopt;
  sites::MqttSettings site{settings.url.toStdString(), settings.passwordFile.toStdString(),
                           settings.caFile.toStdString(), static_cast<std::size_t>(settings.queue)};
  std::string message;
  const auto broker = sites::BrokerOf(site, message);
  if (!broker) return std::nullopt;
  return sites::SitePublishing::Target{*broker, site};
}

}  // namespace ui
