#include "ui/gps_status.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/app_state.h"
#include "ui/cells_window.h"
#include "ui/dialect_choice.h"
#include "ui/frmNetMonitor.h"
#include "ui/history_window.h"
#include "ui/log_folder.h"
#include "ui/map_window.h"
#include "ui/mqtt_status.h"
#include "ui/program_settings.h"
#include "ui/rxlevel_graphbar.h"

namespace ui {
namespace {

QString Degrees(double value) { return QString::number(value, 'f', 5); }

}  // namespace

GpsSettings LoadGpsSettings() {
  const QSettings store(kSettingsOrganization, kSettingsApplication);
  GpsSettings settings;
  settings.enabled = store.value(QStringLiteral("gps/enabled"), settings.enabled).toBool();
  settings.gpsd = store.value(QStringLiteral("gps/gpsd"), settings.gpsd).toString();
  return settings;
}

void SaveGpsSettings(const GpsSettings& settings) {
  QSettings store(kSettingsOrganization, kSettingsApplication);
  store.setValue(QStringLiteral("gps/enabled"), settings.enabled);
  store.setValue(QStringLiteral("gps/gpsd"), settings.gpsd);
  store.sync();
}

void ApplyGpsSettings(gps::GpsLink& link, const GpsSettings& settings) {
  const auto address = gps::ParseGpsdAddress(settings.gpsd.toStdString());
  if (settings.enabled && address) {
    link.Start(*address);
  } else {
    link.Stop();
  }
}

QString GpsStateText(gps::GpsState state, const std::optional<gps::Fix>& fix,
                     const std::optional<gps::GpsdAddress>& address) {
  switch (state) {
    case gps::GpsState::off:
      return QStringLiteral("GPS: выключен");
    case gps::GpsState::noGpsd:
      return QStringLiteral("GPS: нет связи с gpsd ") +
             QString::fromStdString(address ? gps::FormatGpsdAddress(*address) : std::string());
    case gps::GpsState::noFix:
      return QStringLiteral("GPS: нет местоположения");
    case gps::GpsState::fix2D:
    case gps::GpsState::fix3D: {
      QString text = state == gps::GpsState::fix3D ? QStringLiteral("GPS: 3D") : QStringLiteral("GPS: 2D");
      if (fix) text += QStringLiteral(", ") + Degrees(fix->latitude) + QStringLiteral(" ") + Degrees(fix->longitude);
      return text;
    }
  }
  return {};
}

QString GpsStateText(const gps::GpsLink& link) { return GpsStateText(link.State(), link.Fresh(), link.Address()); }

QMenu* BuildGpsMenu(QWidget* parent, gps::GpsLink& link) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("GpsMenu"));
  QAction* state = menu->addAction(GpsStateText(link));
  state->setObjectName(QStringLiteral("actGpsState"));
  state->setEnabled(false);
  QAction* settings = menu->addAction(QStringLiteral("Настройки GPS..."));
  settings->setObjectName(QStringLiteral("actGpsSettings"));
  QObject::connect(settings, &QAction::triggered, parent, [parent, &link] { EditGpsSettings(parent, link); });
  AddMqttSettingsAction(*menu, parent);
  menu->addSeparator();
  AddLogFolderAction(*menu);
  return menu;
}

void InstallGpsStatus(Tfrm& window, gps::GpsLink& link) {
  // One menu for the window: the graph's own (the log folder alone) gives way to it.
  if (RxLevelGraph* graph = window.Graph()) graph->setContextMenuPolicy(Qt::DefaultContextMenu);
  window.setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(&window, &QWidget::customContextMenuRequested, &window, [&window, &link](const QPoint& at) {
    QMenu* menu = BuildGpsMenu(&window, link);
    menu->addSeparator();
    AddLiveHistoryAction(*menu, &window);
    AddLiveCellsAction(*menu, &window);
    AddLiveMapAction(*menu, &window);
    if (core::Session* session = window.Session()) AddDialectAction(*menu, &window, *session);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(window.mapToGlobal(at));
  });
  auto* timer = new QTimer(&window);
  timer->setObjectName(QStringLiteral("GpsStatusTimer"));
  timer->setInterval(1000);
  QObject::connect(timer, &QTimer::timeout, &window, [&window, &link] { UpdateGpsStatus(window, link); });
  timer->start();
  UpdateGpsStatus(window, link);
}

void UpdateGpsStatus(Tfrm& window, const gps::GpsLink& link) {
  if (RxLevelGraph* graph = window.Graph()) graph->SetTipLine(RxLevelGraph::TipLine::gps, GpsStateText(link));
  // The broker's state beside it, shown the same way.
  if (MqttStatus* mqtt = State().mqtt) UpdateMqttStatus(window, *mqtt);
}

TfrmGpsSettings::TfrmGpsSettings(const GpsSettings& settings, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmGpsSettings"));
  setWindowTitle(QStringLiteral("Настройки GPS"));
  chkEnabled = new QCheckBox(QStringLiteral("Записывать местоположение от gpsd"), this);
  chkEnabled->setObjectName(QStringLiteral("chkEnabled"));
  chkEnabled->setChecked(settings.enabled);
  auto* label = new QLabel(QStringLiteral("Адрес gpsd:"), this);
  txtGpsd = new QLineEdit(settings.gpsd, this);
  txtGpsd->setObjectName(QStringLiteral("txtGpsd"));
  label->setBuddy(txtGpsd);
  btnOk = new QPushButton(QStringLiteral("ОК"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Отмена"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));

  lblGpsdProblem = new QLabel(this);
  lblGpsdProblem->setObjectName(QStringLiteral("lblGpsdProblem"));
  lblGpsdProblem->setWordWrap(true);
  QPalette warning = lblGpsdProblem->palette();
  warning.setColor(QPalette::WindowText, QColor(180, 0, 0));
  lblGpsdProblem->setPalette(warning);

  auto* address = new QGridLayout;
  address->addWidget(label, 0, 0);
  address->addWidget(txtGpsd, 0, 1);
  address->addWidget(lblGpsdProblem, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(chkEnabled);
  layout->addLayout(address);
  layout->addLayout(buttons);

  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(chkEnabled, &QCheckBox::toggled, this, [this] { InputChange(); });
  connect(txtGpsd, &QLineEdit::textChanged, this, [this] { InputChange(); });
  InputChange();
}

GpsSettings TfrmGpsSettings::Settings() const { return {chkEnabled->isChecked(), txtGpsd->text().trimmed()}; }

QString GpsdAddressProblem(const QString& text) {
  gps::GpsdAddressFault fault = gps::GpsdAddressFault::none;
  gps::ParseGpsdAddress(text.trimmed().toStdString(), &fault);
  switch (fault) {
    case gps::GpsdAddressFault::none:
      return {};
    case gps::GpsdAddressFault::noHost:
      return QStringLiteral("Не указан узел gpsd");
    case gps::GpsdAddressFault::hostCharacter:
      return QStringLiteral("Недопустимый символ в имени узла");
    case gps::GpsdAddressFault::bareIpv6:
      return QStringLiteral("Адрес IPv6 пишется в квадратных скобках: [::1]:2947");
    case gps::GpsdAddressFault::unclosedBracket:
      return QStringLiteral("Нет закрывающей скобки \"]\"");
    case gps::GpsdAddressFault::afterBracket:
      return QStringLiteral("После \"]\" ожидается \":\" и порт");
    case gps::GpsdAddressFault::noPort:
      return QStringLiteral("Не указан порт после \":\"");
    case gps::GpsdAddressFault::portNotNumber:
      return QStringLiteral("Порт должен быть числом от 1 до 65535");
    case gps::GpsdAddressFault::portOutOfRange:
      return QStringLiteral("Порт должен быть от 1 до 65535");
  }
  return {};
}

void TfrmGpsSettings::InputChange() {
  // A switched-off GPS connects nowhere: its address is not checked.
  const QString problem = chkEnabled->isChecked() ? GpsdAddressProblem(txtGpsd->text()) : QString();
  txtGpsd->setEnabled(chkEnabled->isChecked());
  lblGpsdProblem->setText(problem);
  lblGpsdProblem->setVisible(!problem.isEmpty());
  btnOk->setEnabled(problem.isEmpty());
  btnOk->setToolTip(problem);
}

void EditGpsSettings(QWidget* parent, gps::GpsLink& link) {
  TfrmGpsSettings dialog(LoadGpsSettings(), parent);
  if (dialog.exec() != QDialog::Accepted) return;
  const GpsSettings settings = dialog.Settings();
  SaveGpsSettings(settings);
  ApplyGpsSettings(link, settings);
}

}  // namespace ui
