#include "ui/map_source_settings.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "map/tile_url.h"
#include "ui/program_settings.h"

namespace ui {

MapSourceSettings LoadMapSourceSettings() {
  const QSettings store(kSettingsOrganization, kSettingsApplication);
  return {store.value(QStringLiteral("map/mbtiles")).toString(),
          store.value(QStringLiteral("map/tileFolder")).toString(),
          store.value(QStringLiteral("map/tileUrl")).toString()};
}

void SaveMapSourceSettings(const MapSourceSettings& settings) {
  QSettings store(kSettingsOrganization, kSettingsApplication);
  store.setValue(QStringLiteral("map/mbtiles"), settings.mbtiles);
  store.setValue(QStringLiteral("map/tileFolder"), settings.folder);
  store.setValue(QStringLiteral("map/tileUrl"), settings.url);
}

TfrmMapSource::TfrmMapSource(const MapSourceSettings& settings, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmMapSource"));
  setWindowTitle(QStringLiteral("Источник карты"));
  auto* grid = new QGridLayout;
  const auto row = [this, grid](int at, const QString& caption, const QString& value, const QString& name) {
    auto* label = new QLabel(caption, this);
    auto* edit = new QLineEdit(value, this);
    edit->setObjectName(name);
    edit->setMinimumWidth(360);
    edit->setClearButtonEnabled(true);
    label->setBuddy(edit);
    grid->addWidget(label, at, 0);
    grid->addWidget(edit, at, 1);
    return edit;
  };
  txtMbtiles = row(0, QStringLiteral("Файл MBTiles:"), settings.mbtiles, QStringLiteral("txtMbtiles"));
  txtFolder = row(1, QStringLiteral("Папка плиток {z}/{x}/{y}:"), settings.folder, QStringLiteral("txtFolder"));
  txtUrl = row(2, QStringLiteral("Адрес плиток:"), settings.url, QStringLiteral("txtUrl"));
  txtUrl->setPlaceholderText(QStringLiteral("https://сервер/{z}/{x}/{y}.png"));
  auto* pickFile = new QPushButton(QStringLiteral("..."), this);
  pickFile->setObjectName(QStringLiteral("btnMbtiles"));
  grid->addWidget(pickFile, 0, 2);
  connect(pickFile, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Файл MBTiles"), txtMbtiles->text(),
                                                      QStringLiteral("MBTiles (*.mbtiles);;Все файлы (*)"));
    if (!file.isEmpty()) txtMbtiles->setText(file);
  });
  auto* pickFolder = new QPushButton(QStringLiteral("..."), this);
  pickFolder->setObjectName(QStringLiteral("btnFolder"));
  grid->addWidget(pickFolder, 1, 2);
  connect(pickFolder, &QPushButton::clicked, this, [this] {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Папка плиток"), txtFolder->text());
    if (!folder.isEmpty()) txtFolder->setText(folder);
  });

  auto* order = new QLabel(QStringLiteral("Плитки берутся сначала из файла, затем из папки, затем по адресу; "
                                          "загруженные по адресу хранятся в ~/.cache/ostrin-gsmmon/tiles. "
                                          "Без источника маршрут рисуется на сетке."),
                           this);
  order->setWordWrap(true);
  order->setEnabled(false);
  lblWhy = new QLabel(this);
  lblWhy->setObjectName(QStringLiteral("lblWhy"));
  lblWhy->setStyleSheet(QStringLiteral("color: #a00000"));
  btnOk = new QPushButton(QStringLiteral("ОК"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Отмена"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(lblWhy, 1);
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(order);
  layout->addLayout(buttons);

  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(txtUrl, &QLineEdit::textChanged, this, &TfrmMapSource::InputChange);
  InputChange();
}

MapSourceSettings TfrmMapSource::Settings() const {
  return {txtMbtiles->text().trimmed(), txtFolder->text().trimmed(), txtUrl->text().trimmed()};
}

void TfrmMapSource::InputChange() {
  const QString url = txtUrl->text().trimmed();
  const bool usable = url.isEmpty() || map::IsTileUrlTemplate(url.toStdString());
  btnOk->setEnabled(usable);
  lblWhy->setText(usable ? QString()
                         : QStringLiteral("Адрес должен начинаться с http:// или https:// и содержать {z}, {x} и {y}"));
}

bool EditMapSource(QWidget* parent) {
  TfrmMapSource dialog(LoadMapSourceSettings(), parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  SaveMapSourceSettings(dialog.Settings());
  return true;
}

}  // namespace ui
