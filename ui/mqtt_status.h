#pragma once
// The window publishing its cycles to an MQTT broker, as the headless monitor's --mqtt does: the
// settings (remembered between runs, used from the next connection on) and their dialog on the
// window's context menu; the window's run publishes through sites::SitePublishing.

#include <QDialog>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "sites/site_publishing.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QWidget;

namespace ui {

struct MqttSettings {
  QString url;  // empty: nothing is published
  QString passwordFile;
  QString caFile;
  int queue = 10'000;
};

MqttSettings LoadMqttSettings();
void SaveMqttSettings(const MqttSettings& settings);

// The dialog: the broker's address, the password's file, the CA certificate and the queue. OK is
// offered for an empty address (no publishing) or a usable one.
class TfrmMqttSettings : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmMqttSettings(const MqttSettings& settings, QWidget* parent = nullptr);
  MqttSettings Settings() const;

  QLineEdit* txtUrl = nullptr;
  QLineEdit* txtPasswordFile = nullptr;
  QLineEdit* txtCaFile = nullptr;
  QSpinBox* spnQueue = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void InputChange();
};

// Runs the dialog; on OK saves the settings (a connection takes them when polling starts).
void EditMqttSettings(QWidget* parent);
// "Настройки MQTT..." on a menu.
void AddMqttSettingsAction(QMenu& menu, QWidget* parent);

// The broker a connection starting now publishes to, from the saved settings; nothing when they
// name none or a usable one no longer (a password file gone is said nowhere). Any thread.
std::optional<sites::SitePublishing::Target> SavedPublishingTarget();

}  // namespace ui
