#include "ui/mqtt_status.h"

#include <QFileDialog>
#include <QFileInfo>
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
#include <utility>

#include "mqtt/broker_url.h"
#include "platform/text_encoding.h"
#include "ui/app_state.h"
#include "ui/frmNetMonitor.h"
#include "ui/message_box.h"
#include "ui/rxlevel_graphbar.h"

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
  // Room for an address with a login, a long host name and a prefix.
  txtUrl->setMinimumWidth(txtUrl->fontMetrics().horizontalAdvance(QLatin1Char('m')) * 40);
  txtPasswordFile = edit(settings.passwordFile, "txtPasswordFile");
  txtCaFile = edit(settings.caFile, "txtCaFile");
  const auto browse = [this](QLineEdit* line, const char* name, const QString& title) {
    auto* button = new QPushButton(QStringLiteral("Обзор..."), this);
    button->setObjectName(QString::fromLatin1(name));
    connect(button, &QPushButton::clicked, this, [this, line, title] { Browse(line, title); });
    return button;
  };
  btnPasswordFile = browse(txtPasswordFile, "btnPasswordFile", QStringLiteral("Файл пароля MQTT"));
  btnCaFile = browse(txtCaFile, "btnCaFile", QStringLiteral("Сертификат центра сертификации"));
  spnQueue = new QSpinBox(this);
  spnQueue->setObjectName(QStringLiteral("spnQueue"));
  spnQueue->setRange(1, 1'000'000);
  spnQueue->setValue(settings.queue);
  lblProblem = new QLabel(this);
  lblProblem->setObjectName(QStringLiteral("lblProblem"));
  btnOk = new QPushButton(QStringLiteral("ОК"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Отмена"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));

  const auto withButton = [](QLineEdit* line, QPushButton* button) {
    auto* row = new QHBoxLayout;
    row->addWidget(line);
    row->addWidget(button);
    return row;
  };
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Адрес брокера:"), txtUrl);
  form->addRow(QStringLiteral("Файл пароля:"), withButton(txtPasswordFile, btnPasswordFile));
  form->addRow(QStringLiteral("Сертификат ЦС:"), withButton(txtCaFile, btnCaFile));
  form->addRow(QStringLiteral("Очередь, сообщений:"), spnQueue);
  auto* note = new QLabel(
      QStringLiteral("Пустой адрес: циклы не публикуются. Настройки действуют со следующего подключения."), this);
  note->setWordWrap(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(lblProblem);
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addLayout(buttons);

  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  for (QLineEdit* line : {txtUrl, txtPasswordFile, txtCaFile})
    connect(line, &QLineEdit::textChanged, this, [this] { InputChange(); });
  InputChange();
}

void TfrmMqttSettings::Browse(QLineEdit* edit, const QString& title) {
  const QString chosen = QFileDialog::getOpenFileName(this, title, QFileInfo(edit->text().trimmed()).absolutePath());
  if (!chosen.isEmpty()) edit->setText(chosen);
}

MqttSettings TfrmMqttSettings::Settings() const {
  return {txtUrl->text().trimmed(), txtPasswordFile->text().trimmed(), txtCaFile->text().trimmed(), spnQueue->value()};
}

void TfrmMqttSettings::InputChange() {
  const QString url = txtUrl->text().trimmed();
  const auto fileMissing = [](QLineEdit* line) {
    const QFileInfo file(line->text().trimmed());
    return !line->text().trimmed().isEmpty() && !(file.isFile() && file.isReadable());
  };
  QString problem;
  if (!url.isEmpty() && !mqtt::ParseBrokerUrl(url.toStdString())) {
    problem = QStringLiteral("Неверный адрес брокера");
  } else if (fileMissing(txtPasswordFile)) {
    problem = QStringLiteral("Файл пароля не найден");
  } else if (fileMissing(txtCaFile)) {
    problem = QStringLiteral("Сертификат ЦС не найден");
  }
  lblProblem->setText(problem);
  btnOk->setEnabled(problem.isEmpty());
}

void EditMqttSettings(QWidget* parent) {
  TfrmMqttSettings dialog(LoadMqttSettings(), parent);
  if (dialog.exec() == QDialog::Accepted) SaveMqttSettings(dialog.Settings());
}

void AddMqttSettingsAction(QMenu& menu, QWidget* parent) {
  if (MqttStatus* status = State().mqtt) {
    QAction* state = menu.addAction(status->StateText());
    state->setObjectName(QStringLiteral("actMqttState"));
    state->setEnabled(false);
  }
  QAction* action = menu.addAction(QStringLiteral("Настройки MQTT..."));
  action->setObjectName(QStringLiteral("actMqttSettings"));
  QObject::connect(action, &QAction::triggered, parent, [parent] { EditMqttSettings(parent); });
}

std::optional<sites::SitePublishing::Target> SavedPublishingTarget(std::string& why) {
  const MqttSettings settings = LoadMqttSettings();
  if (settings.url.isEmpty()) return std::nullopt;
  sites::MqttSettings site{settings.url.toStdString(), settings.passwordFile.toStdString(),
                           settings.caFile.toStdString(), static_cast<std::size_t>(settings.queue)};
  const auto broker = sites::BrokerOf(site, why);
  if (!broker) return std::nullopt;
  return sites::SitePublishing::Target{*broker, site};
}

void MqttStatus::Report(sites::BrokerEvent event, const std::string& text) {
  std::lock_guard lock(mutex_);
  switch (event) {
    case sites::BrokerEvent::connecting:
      // A new run: its problems are shown anew.
      state_ = State::connecting;
      address_ = text;
      since_ = std::chrono::steady_clock::now();
      shown_.clear();
      unreachableTold_ = false;
      return;
    case sites::BrokerEvent::connected:
      state_ = State::connected;
      return;
    case sites::BrokerEvent::lost:
      state_ = State::lost;
      return;
    case sites::BrokerEvent::problem:
      state_ = State::problem;
      problem_ = text;
      if (shown_.insert(text).second) unshown_.push_back(text);
      return;
  }
}

QString MqttStatus::StateText() const {
  std::lock_guard lock(mutex_);
  const QString address = QString::fromStdString(address_);
  switch (state_) {
    case State::idle:
      return LoadMqttSettings().url.isEmpty() ? QStringLiteral("MQTT: выключен")
                                              : QStringLiteral("MQTT: не подключено");
    case State::connecting:
      if (std::chrono::steady_clock::now() - since_ >= kUnreachableAfter)
        return QStringLiteral("MQTT: нет связи с брокером ") + address;
      return QStringLiteral("MQTT: подключение к ") + address;
    case State::connected:
      return QStringLiteral("MQTT: подключено к ") + address;
    case State::lost:
      return QStringLiteral("MQTT: связь с брокером ") + address + QStringLiteral(" прервана");
    case State::problem: {
      const QString problem = QString::fromStdString(problem_);
      return problem.startsWith(QStringLiteral("MQTT")) ? problem : QStringLiteral("MQTT: ") + problem;
    }
  }
  return {};
}

std::vector<std::string> MqttStatus::TakeProblems() {
  std::lock_guard lock(mutex_);
  if (state_ == State::connecting && !unreachableTold_ &&
      std::chrono::steady_clock::now() - since_ >= kUnreachableAfter) {
    unreachableTold_ = true;
    unshown_.push_back("Нет связи с брокером MQTT " + address_);
  }
  return std::exchange(unshown_, {});
}

void ReportBrokerTo(sites::SitePublishing& publishing, MqttStatus& status) {
  publishing.SetBrokerReport(
      [&status](sites::BrokerEvent event, const std::string& text) { status.Report(event, text); });
}

void UpdateMqttStatus(Tfrm& window, MqttStatus& status) {
  if (RxLevelGraph* graph = window.Graph()) graph->SetTipLine(RxLevelGraph::TipLine::mqtt, status.StateText());
  // One box at a time: the timer goes on while a box waits for its OK.
  static bool showing = false;
  if (showing) return;
  showing = true;
  for (const std::string& problem : status.TakeProblems()) ShowError(platform::Utf8ToCp1251(problem));
  showing = false;
}

}  // namespace ui
