#pragma once
// The window publishing its cycles to an MQTT broker, as the headless monitor's --mqtt does: the
// settings (remembered between runs, used from the next connection on), their dialog on the
// window's context menu, and the run observer that publishes each completed cycle beside the log
// recorder. Settings and dialog on the window's thread; the observer on the monitor thread.

#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

#include "core/window_ops.h"
#include "history/cell_events.h"
#include "parser/measurement_fields.h"
#include "sites/cycle_message.h"
#include "sites/site_publisher.h"
#include "survey/cycle_stamp.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QWidget;

namespace core {
class LogRecorder;
}
namespace gps {
class GpsLink;
}
namespace gsmlog {
class TLogWriter;
}

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

// The window's run observer: the log recorder first, then, when the settings name a broker, the
// cycle published (its values, time and position, the same that go into the log). Also the log
// sink, so that it sees every value on its way to the writer.
class CyclePublishing : public core::RunObserver, public parser::FieldSink {
 public:
  CyclePublishing(core::LogRecorder& recorder, gsmlog::TLogWriter& writer, gps::GpsLink& gps);

  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override;
  void PollStarted() override;
  void CycleCompleted(int n) override;
  void ConnectionEnded(bool reachedPoll) override;
  // An event of the run, published under the site's event topic while a broker is in use; on
  // the monitor thread.
  void Event(const history::CellEvent& event);

  // The running cycle's stamp, for the records held before its seal.
  const survey::CycleStamp& Stamp() const { return stamp_; }

 private:
  core::LogRecorder& recorder_;
  gsmlog::TLogWriter& writer_;
  gps::GpsLink& gps_;
  // On the monitor thread only.
  bool polling_ = false;
  std::vector<radio::DeliveredField> values_;
  sites::SiteIdentity identity_;
  survey::CycleStamp stamp_;
  std::unique_ptr<sites::SitePublisher> publisher_;
};

}  // namespace ui
