#pragma once
// A front end for the monitor thread that records every window operation, for tests.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/window_ops.h"
#include "parser/measurement_fields.h"
#include "tests/support/recording_sink.h"

namespace testsupport {

class RecordingWindow : public core::WindowOps {
 public:
  explicit RecordingWindow(core::PortSettings settings) : settings_(std::move(settings)) {}

  // "state" and the two flags the state shows: settings enabled, busy ("state 10": idle).
  void ShowConnectionState(core::ConnectionState state) override {
    Record(std::string("state ") + (core::SettingsEnabled(state) ? "1" : "0") + (core::Busy(state) ? "1" : "0"));
  }
  void SetWindowLayout(core::WindowLayout layout) override {
    static const char* const kNames[] = {"PortLayout", "ModemLayout", "MonitorLayout"};
    const std::string name = kNames[static_cast<int>(layout)];
    Record("layout " + name);
    if (onLayout) onLayout(name);
  }
  core::PortSettings ReadPortSettings() override {
    Record("settings");
    return settings_;
  }
  void ShowError(const std::string& text) override { Record("error " + text); }
  void MarkFields(bool withIdentity, parser::SweepPass pass) override {
    Record(std::string("mark ") + (withIdentity ? "1" : "0") + std::to_string(static_cast<int>(pass)));
    if (!withIdentity && pass == parser::SweepPass::markMissing && onSweep) onSweep();
  }
  void ShowValue(const radio::DeliveredField& field) override {
    shown.AcceptField(field.code, field.cell, parser::FieldValue{field.text, field.number});
  }
  void PrepareConnection() override { Record("prepare"); }
  void ExitProgram() override { Record("exit"); }

  std::vector<std::string> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  bool Saw(const std::string& call) const {
    std::lock_guard lock(mutex_);
    for (const auto& c : calls_) {
      if (c == call) return true;
    }
    return false;
  }
  int Count(const std::string& call) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& c : calls_) n += c == call;
    return n;
  }
  // Waits (bounded) until pred holds over the calls recorded so far.
  bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  // Every value shown, identity and cycles, in order.
  RecordingSink shown;

  // Called on the monitor thread after each end-of-cycle sweep, and after each layout change.
  std::function<void()> onSweep;
  std::function<void(const std::string&)> onLayout;

 private:
  void Record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }

  core::PortSettings settings_;
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

}  // namespace testsupport
