#pragma once
// The window publishing its cycles to an MQTT broker, as the headless monitor's --mqtt does: the
// settings (remembered between runs, used from the next connection on) and their dialog on the
// window's context menu; the window's run publishes through sites::SitePublishing.

#include <QDialog>
#include <QString>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sites/site_publishing.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QWidget;

namespace ui {

class Tfrm;

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
  QPushButton* btnPasswordFile = nullptr;  // "Обзор..." for each file
  QPushButton* btnCaFile = nullptr;
  QSpinBox* spnQueue = nullptr;
  QLabel* lblProblem = nullptr;  // why OK is not offered
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void InputChange();
  void Browse(QLineEdit* edit, const QString& title);
};

// Runs the dialog; on OK saves the settings (a connection takes them when polling starts).
void EditMqttSettings(QWidget* parent);
// The broker state's line (when the window has one, State().mqtt) and "Настройки MQTT..." on a
// menu.
void AddMqttSettingsAction(QMenu& menu, QWidget* parent);

// The broker a connection starting now publishes to, from the saved settings; nothing when they
// name none (why left empty) or one that cannot be used (why says so: the password file cannot
// be read). Any thread.
std::optional<sites::SitePublishing::Target> SavedPublishingTarget(std::string& why);

// The broker state of the window's publishing, as the GPS state is shown: told on the
// publisher's threads (sites::BrokerReport), read on the window's thread.
class MqttStatus {
 public:
  // A broker not connected this long after publishing began counts as one that cannot be reached.
  static constexpr std::chrono::seconds kUnreachableAfter{5};

  void Report(sites::BrokerEvent event, const std::string& text);  // any thread
  // "MQTT: выключен", "MQTT: не подключено", "MQTT: подключение к HOST:PORT", "MQTT: подключено к
  // HOST:PORT", "MQTT: нет связи с брокером HOST:PORT", "MQTT: связь с брокером HOST:PORT
  // прервана", or the problem that keeps it away. Window's thread (reads the settings).
  QString StateText() const;
  // The problems not shown yet, each once a run (a broker not reached in time is one).
  std::vector<std::string> TakeProblems();

 private:
  enum class State { idle, connecting, connected, lost, problem };
  mutable std::mutex mutex_;
  State state_ = State::idle;
  std::string address_;
  std::string problem_;
  std::chrono::steady_clock::time_point since_{};
  std::vector<std::string> unshown_;
  std::set<std::string> shown_;
  bool unreachableTold_ = false;
};

// The window's publishing tells its broker state to status.
void ReportBrokerTo(sites::SitePublishing& publishing, MqttStatus& status);

// The graph's tooltip line of the broker state, and the problems in the window's error box, now
// (the GPS status timer does this every second).
void UpdateMqttStatus(Tfrm& window, MqttStatus& status);

}  // namespace ui
