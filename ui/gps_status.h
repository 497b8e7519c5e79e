#pragma once
// The window's GPS: its settings (remembered between runs), the link to gpsd they start, the
// state shown as the graph's tooltip and on the window's context menu, and the settings dialog.
// No specified control moves: the state lives in a tooltip and a context menu. Window's thread.

#include <QDialog>
#include <QString>
#include <optional>

#include "gps/gps_link.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QWidget;

namespace ui {

class Tfrm;

struct GpsSettings {
  bool enabled = true;
  QString gpsd = QStringLiteral("localhost:2947");  // HOST:PORT
};

// The settings saved last (the defaults before any), and saving new ones.
GpsSettings LoadGpsSettings();
void SaveGpsSettings(const GpsSettings& settings);

// Starts the link at the settings' address, or stops it when GPS is off or the address is bad.
void ApplyGpsSettings(gps::GpsLink& link, const GpsSettings& settings);

// "GPS: 3D, 55.75583 37.61730", "GPS: нет местоположения", "GPS: нет связи с gpsd localhost:2947",
// "GPS: выключен".
QString GpsStateText(gps::GpsState state, const std::optional<gps::Fix>& fix,
                     const std::optional<gps::GpsdAddress>& address);
QString GpsStateText(const gps::GpsLink& link);

// The window's context menu: the GPS state (not selectable), "Настройки GPS...", "Настройки
// MQTT..." and, after a separator, "Открыть папку протоколов".
QMenu* BuildGpsMenu(QWidget* parent, gps::GpsLink& link);

// Puts the menu on the window's free area (and every control without a menu of its own) and
// keeps the GPS state as a line of the graph's tooltip. Changes no control's place or size.
void InstallGpsStatus(Tfrm& window, gps::GpsLink& link);

// The graph's tooltip, now (the installed timer does this every second).
void UpdateGpsStatus(Tfrm& window, const gps::GpsLink& link);

// The settings dialog: "Записывать местоположение от gpsd" and the address. OK is offered only
// for an address that can be used; under the address a line says what is wrong with it.
class TfrmGpsSettings : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmGpsSettings(const GpsSettings& settings, QWidget* parent = nullptr);
  GpsSettings Settings() const;

  QCheckBox* chkEnabled = nullptr;
  QLineEdit* txtGpsd = nullptr;
  QLabel* lblGpsdProblem = nullptr;  // empty and hidden while the address can be used
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void InputChange();
};

// Why a text is no gpsd address (Russian); empty for a usable one.
QString GpsdAddressProblem(const QString& text);

// Runs the dialog for the link; on OK saves the settings and restarts the link with them.
void EditGpsSettings(QWidget* parent, gps::GpsLink& link);

}  // namespace ui
