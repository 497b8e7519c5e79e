// The subscriber on a real Mosquitto broker: a batch is acknowledged only when its commit
// succeeded, so a failed commit brings the same messages again, and a committed batch never
// comes again, not even to a new client of the same persistent session.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mqtt/mqtt_client.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/wait_for.h"

using namespace std::chrono_literals;
using testsupport::WaitFor;

namespace {

// What a subscriber was handed, and its commits.
struct Received {
  std::mutex mutex;
  std::map<std::string, int> deliveries;  // by payload
  int commits = 0;
  int failedCommits = 0;

  int Total() {
    std::lock_guard lock(mutex);
    int total = 0;
    for (const auto& [payload, count] : deliveries) total += count;
    return total;
  }
  std::size_t Distinct() {
    std::lock_guard lock(mutex);
    return deliveries.size();
  }
};

mqtt::ClientOptions Options(const testsupport::MosquittoProcess& broker) {
  mqtt::ClientOptions options;
  options.broker.host = "127.0.0.1";
  options.broker.port = broker.Port();
  options.clientId = "subscriber-test";
  options.cleanSession = false;
  return options;
}

// A subscriber whose commits fail the first failures times.
std::unique_ptr<mqtt::Subscriber> Subscribe(const testsupport::MosquittoProcess& broker, Received& received,
                                            int failures) {
  auto subscriber = std::make_unique<mqtt::Subscriber>(
      Options(broker), std::vector<std::string>{"t/#"},
      [&received](const std::string&, const std::uint8_t* payload, std::size_t size) {
        std::lock_guard lock(received.mutex);
        ++received.deliveries[std::string(reinterpret_cast<const char*>(payload), size)];
        return true;
      },
      mqtt::LinkChanged{},
      [&received, failures] {
        std::lock_guard lock(received.mutex);
        if (received.failedCommits < failures) {
          ++received.failedCommits;
          return false;
        }
        ++received.commits;
        return true;
      });
  subscriber->Start();
  return subscriber;
}

TEST(MqttSubscriber, ABatchIsAcknowledgedOnlyWhenItsCommitSucceeded) {
  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / ("subscriber-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  testsupport::MosquittoProcess broker(dir, {});
  ASSERT_TRUE(broker.Running()) << broker.Log();

  {
    // Subscribed once (and left) so that the broker keeps the session's messages from the start.
    Received first;
    auto subscriber = Subscribe(broker, first, 0);
    std::this_thread::sleep_for(1s);
    subscriber->Stop();
  }
  std::ofstream(dir / "lines") << "m1\nm2\nm3\nm4\nm5\n";
  testsupport::ChildProcess publisher({"/bin/sh", "-c",
                                       "'" + std::string(MOSQUITTO_PUB_PATH) + "' -q 1 -t t/x -l -p " +
                                           std::to_string(broker.Port()) + " -h 127.0.0.1 < '" +
                                           (dir / "lines").string() + "'"});
  ASSERT_EQ(publisher.Wait(15s), 0) << publisher.Stderr();

  Received failing;
  auto subscriber = Subscribe(broker, failing, 1);
  // The first batch's commit fails: it is not acknowledged and comes again after the back-off.
  ASSERT_TRUE(WaitFor([&] { return failing.Distinct() == 5 && failing.Total() > 5 && failing.commits > 0; }, 20s, 50ms))
      << failing.Total();
  // Nothing more comes once every batch is committed.
  const int total = failing.Total();
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(failing.Total(), total);
  subscriber->Stop();

  // A new client of the session gets nothing: every acknowledgement went out.
  Received after;
  subscriber = Subscribe(broker, after, 0);
  std::this_thread::sleep_for(2s);
  subscriber->Stop();
  EXPECT_EQ(after.Total(), 0);
  std::error_code error;
  if (!::testing::Test::HasFailure()) std::filesystem::remove_all(dir, error);
}

}  // namespace
