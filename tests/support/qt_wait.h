#pragma once
// Runs the Qt event loop until a condition holds or a deadline passes, for widget tests.

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <thread>

namespace testsupport {

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testsupport
