// The monitor's poll period with the live history window open, zoomed and redrawn all the time,
// next to the period without it: the window (offscreen) connected to the simulated modem, the
// period taken from the times the simulator logs each "AT^MONI". Prints the two means.
// Usage: history_poll_bench [CYCLES]   (20 by default)

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/session.h"
#include "platform/serial_device.h"
#include "tests/support/modem_sim_process.h"
#include "ui/frmNetMonitor.h"
#include "ui/history_window.h"
#include "ui/monitor_window.h"

namespace {

namespace fs = std::filesystem;

std::vector<double> PollTimes(const fs::path& commands) {
  std::vector<double> times;
  std::ifstream in(commands);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    double ms = 0;
    std::string command;
    if (fields >> ms >> command && command == "AT^MONI") times.push_back(ms);
  }
  return times;
}

template <typename Condition>
bool Wait(Condition condition, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// One connection of `cycles` poll cycles; the mean period in ms, or a negative number on failure.
double Run(ui::Tfrm& form, const fs::path& dir, int cycles, const char* tag) {
  const fs::path commands = dir / (std::string(tag) + "-commands.txt");
  testsupport::ModemSimProcess sim({"--seed", "5", "--reselect-every", "5", "--log-commands", commands.string()});
  if (!sim.Started()) return -1;
  fs::remove(dir / "COM1");
  fs::create_symlink(sim.DevicePath(), dir / "COM1");
  auto* control = form.findChild<QPushButton*>("btnControl");
  control->click();
  const bool polled = Wait([&] { return PollTimes(commands).size() >= static_cast<std::size_t>(cycles + 1); },
                           std::chrono::seconds(10 + cycles));
  control->click();
  // Idle again: the thread has ended and the window has shown it.
  Wait(
      [&] {
        return !ui::MonitorSession().MonitorThreadRunning() && control->isEnabled() &&
               control->property("Tag").toInt() == 0;
      },
      std::chrono::seconds(20));
  const auto times = PollTimes(commands);
  if (!polled || times.size() < 3) return -1;
  return (times.back() - times[1]) / static_cast<double>(times.size() - 2);
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const int cycles = argc > 1 ? std::max(3, std::atoi(argv[1])) : 20;
  const fs::path dir = fs::temp_directory_path() / ("history-poll-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  ::setenv(platform::kComDirVariable, dir.c_str(), 1);
  ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  ui::Tfrm& form = ui::CreateMonitorWindow();
  form.show();

  const double without = Run(form, dir, cycles, "without");

  ui::HistoryWindow& history = ui::OpenLiveHistory(&form);
  QImage screen(history.size(), QImage::Format_RGB32);
  QTimer busy;
  int tick = 0;
  long redraws = 0;
  QObject::connect(&busy, &QTimer::timeout, [&] {
    history.Plot()->Zoom(tick++ % 2 ? 1.25 : 0.8, history.Plot()->width() / 2);
    history.render(&screen);
    ++redraws;
  });
  busy.start(16);
  const double with = Run(form, dir, cycles, "with");
  busy.stop();

  std::printf(
      "poll period over %d cycles: %.1f ms without the history window, %.1f ms with it open, zoomed and "
      "redrawn every 16 ms (%ld redraws)\n",
      cycles, without, with, redraws);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  std::fflush(stdout);
  std::_Exit(without > 0 && with > 0 ? 0 : 1);
}
