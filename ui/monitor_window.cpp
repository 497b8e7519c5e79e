#include "ui/monitor_window.h"

#include <memory>

#include "core/log_recorder.h"
#include "core/session.h"
#include "gps/gps_link.h"
#include "history/run_events.h"
#include "log/log_writer.h"
#include "sites/site_publishing.h"
#include "survey/cycle_stamp.h"
#include "ui/app_state.h"
#include "ui/cells_window.h"
#include "ui/dialect_choice.h"
#include "ui/frmNetMonitor.h"
#include "ui/gps_status.h"
#include "ui/history_window.h"
#include "ui/main_window_ops.h"
#include "ui/map_window.h"
#include "ui/mqtt_status.h"

namespace ui {

// Everything of monitor mode's run, destroyed in the reverse order of its making: the session
// first, so no consumer outlives its thread.
struct MonitorWiring {
  gsmlog::TLogWriter writer;
  std::unique_ptr<Tfrm> window;
  std::unique_ptr<sites::SitePublishing> publishing;
  std::unique_ptr<history::RunEvents> events;
  std::unique_ptr<LiveHistoryFeed> liveHistory;
  std::unique_ptr<LiveCellsFeed> liveCells;
  std::unique_ptr<LiveMapFeed> liveMap;
  std::unique_ptr<core::Session> session;
};

namespace {

// Ended by EndMonitorWindow while the application still exists; a holder destroyed at exit would
// delete the window after QApplication.
std::unique_ptr<MonitorWiring>& Wiring() {
  static auto* const wiring = new std::unique_ptr<MonitorWiring>;
  return *wiring;
}

}  // namespace

Tfrm& CreateMonitorWindow() {
  auto wiring = std::make_unique<MonitorWiring>();
  wiring->window = std::make_unique<Tfrm>(nullptr, wiring->writer);
  Tfrm* window = wiring->window.get();
  SetMainWindow(window);
  WindowState& state = State();
  state.gps = std::make_unique<gps::GpsLink>();
  gps::GpsLink& gps = *state.gps;
  ApplyGpsSettings(gps, LoadGpsSettings());
  InstallGpsStatus(*window, gps);

  // A connection publishes to the broker the settings name when its polling starts.
  wiring->publishing =
      std::make_unique<sites::SitePublishing>([](std::string& why) { return SavedPublishingTarget(why); }, true);
  sites::SitePublishing* publishing = wiring->publishing.get();
  if (state.mqtt == nullptr) state.mqtt = new MqttStatus;
  ReportBrokerTo(*publishing, *state.mqtt);
  wiring->events =
      std::make_unique<history::RunEvents>(wiring->writer, [window, publishing](const history::CellEvent& event) {
        window->Ops().ShowEvent(event);
        publishing->Event(event);
      });
  history::RunEvents* events = wiring->events.get();
  events->SetThreshold(SavedLevelThreshold());
  state.liveEvents = events;
  // Each cycle goes into the log with its events, its time and, when fresh, its position.
  window->Recorder().SetBeforeValues(
      [events](gsmlog::TLogWriter& log, const radio::Cycle&) { events->HoldLeadingRecords(log); });
  window->Recorder().SetBeforeSeal([events](gsmlog::TLogWriter& log, const radio::Cycle& cycle) {
    events->HoldRecords(log);
    survey::HoldCycleRecords(log, cycle);
  });
  wiring->liveHistory = std::make_unique<LiveHistoryFeed>(window->Ops());
  wiring->liveCells = std::make_unique<LiveCellsFeed>(window->Ops());
  wiring->liveMap = std::make_unique<LiveMapFeed>(window->Ops());
  wiring->session = std::make_unique<core::Session>(
      window->Ops(),
      std::vector<core::RunConsumer*>{events, &window->Recorder(), publishing, wiring->liveHistory.get(),
                                      wiring->liveCells.get(), wiring->liveMap.get()},
      [&gps] { return gps.Fresh(); });
  wiring->session->SetDialect(LoadDialectChoice().toStdString());
  window->SetSession(*wiring->session);
  InstallHistoryShortcut(*window);
  InstallCellsShortcut(*window);
  InstallMapShortcut(*window);
  Wiring() = std::move(wiring);
  return *window;
}

core::Session& MonitorSession() { return *Wiring()->session; }

bool EndMonitorWindow() {
  std::unique_ptr<MonitorWiring>& wiring = Wiring();
  if (!wiring) return true;
  if (wiring->session->MonitorThreadRunning()) return false;
  State().liveEvents = nullptr;
  SetMainWindow(nullptr);
  wiring.reset();
  return true;
}

}  // namespace ui
