#pragma once
// Polls a condition until it holds or a bound passes, for tests that watch other processes.

#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds bound,
                    std::chrono::milliseconds step = std::chrono::milliseconds(100)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(step);
  }
  return true;
}

}  // namespace testsupport
