#pragma once
// Tfrm, the monitoring window (object name "frm"): port settings, modem information, the
// serving-cell results, the grid of seven cells with their level bars and the receive-level
// graph. Every control carries its conventional name as objectName and an int property "Tag".
// Window's thread only.

#include <QPoint>
#include <QWidget>
#include <memory>

class QCloseEvent;

namespace core {
class LogRecorder;
class Session;
}  // namespace core
namespace gsmlog {
class TLogWriter;
}

namespace ui {

class MainWindowOps;
class RxLevelGraph;

class Tfrm : public QWidget {
  Q_OBJECT
 public:
  // Builds every control and runs FormCreate: the idle state in PortLayout, centred on the
  // desktop. The record action records with writer (one of the window's own unless given), which
  // must outlive the window.
  explicit Tfrm(QWidget* parent = nullptr);
  Tfrm(QWidget* parent, gsmlog::TLogWriter& writer);
  ~Tfrm() override;

  void FormCreate();
  void btnControlClick();
  void txtNumberChange();
  // sender null: only resets the call controls and sends nothing to the modem.
  void btnCallClick(QObject* sender);
  void chkRxViewClick();
  void btnStartLogClick();
  void txtLogChange();
  void btnViewLogClick();
  void lblMailClick();

  // The position (frame included) that every layout is centred around; (0, 0) until a connection
  // is prepared.
  QPoint SavedPosition() const { return savedPosition_; }
  void SetSavedPosition(QPoint position) { savedPosition_ = position; }

  RxLevelGraph* Graph() const { return graph_; }

  // The window as the monitor thread sees it, and its record action (btnStartLog and every
  // connection's log).
  MainWindowOps& Ops() const { return *ops_; }
  core::LogRecorder& Recorder() const { return *recorder_; }
  // The session the window's buttons drive; none until set (the buttons then do nothing).
  void SetSession(core::Session& session) { session_ = &session; }
  core::Session* Session() const { return session_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Tfrm(QWidget* parent, std::unique_ptr<gsmlog::TLogWriter> ownWriter, gsmlog::TLogWriter* writer);
  void FormClose(QCloseEvent* event);
  void BuildPanelInfo(QWidget* panel);
  void BuildPanelRxLevel(QWidget* panel);

  QPoint savedPosition_;
  RxLevelGraph* graph_ = nullptr;
  std::unique_ptr<gsmlog::TLogWriter> ownWriter_;
  std::unique_ptr<MainWindowOps> ops_;
  std::unique_ptr<core::LogRecorder> recorder_;
  core::Session* session_ = nullptr;
};

// The paint box of the receive-level graph, which fits inside its 641-pixel frame.
inline constexpr int kGraphWidth = 637;
inline constexpr int kGraphHeight = 125;

// The address lblMailClick opens.
inline constexpr const char* kSupportMailUrl = "mailto:support@ostrin-gsm.example";

}  // namespace ui
