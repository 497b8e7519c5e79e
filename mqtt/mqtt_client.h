#pragma once
// Clients of an MQTT broker through libmosquitto. Each runs libmosquitto's network thread
// (mosquitto_loop_start), which reconnects with a back-off from 1 s doubling to 5 s.
//
// Publisher: Publish only puts a message into a bounded queue and returns, from any thread, so a
// caller that must keep its pace (the poll) never waits for the network. A thread of the
// publisher hands queued messages to libmosquitto while the broker is connected, at most 20
// unacknowledged at a time (libmosquitto sends those again after a reconnect). When the queue is
// full the oldest message is dropped and counted.
//
// Subscriber: subscribes to topic filters on every (re)connection and hands each message to a
// callback, in batches: on a network thread of its own (not libmosquitto's), it reads what has
// come, hands it over, calls the commit callback once for the batch and only then writes the
// acknowledgements that libmosquitto queued while reading. A batch closes when nothing more is
// waiting on the socket, at kMaxBatch messages or kMaxBatchAge after its first. A message the
// callback could not take, or a batch whose commit failed, is not acknowledged: the link is
// dropped at once unwritten (with it the acknowledgements of the batch, which a broker sends
// again), and the connection is tried again after a back-off from 1 s doubling to 30 s, so that
// a persistent session keeps and redelivers what was not taken. How many messages a batch can
// hold is bounded by the broker's in-flight window for the client (mosquitto:
// max_inflight_messages, 20 unless configured).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mqtt/broker_url.h"

struct mosquitto;

namespace mqtt {

struct Message {
  std::string topic;
  std::string payload;
  bool retain = false;
};

struct ClientOptions {
  BrokerUrl broker;
  std::string clientId;
  bool cleanSession = true;
  std::string caFile;              // TLS: the CA certificate; empty: the system's (/etc/ssl/certs)
  int keepAliveSeconds = 10;       // a dead link is noticed within 1.5 times this
  std::optional<Message> will;     // published by the broker when the link breaks unannounced
  std::vector<Message> onConnect;  // published at once on every connection (a retained status)
  // Told on the network thread of what keeps the client from its broker: a refused login, a
  // certificate that does not verify, a CA file that cannot be read (libmosquitto's texts are
  // English). The same problem may be told again at the next attempt.
  std::function<void(const std::string&)> onProblem;
};

// Told on the network thread whenever the link comes up (true) or goes down (false).
using LinkChanged = std::function<void(bool connected)>;

class Publisher {
 public:
  static constexpr std::size_t kDefaultCapacity = 10'000;

  Publisher(ClientOptions options, std::size_t capacity = kDefaultCapacity, LinkChanged linkChanged = {});
  ~Publisher();
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  // Starts connecting on a thread of its own; returns at once.
  void Start();
  // Queues a message at QoS 1; never waits for the network. Safe from any thread.
  void Publish(std::string topic, std::string payload, bool retain = false);
  // Waits (at most until deadline, or until stopWaiting says so) for the queue to empty, then
  // publishes finalMessages, disconnects and ends the threads. The messages still queued are lost
  // and counted as unsent. A first connection still looking up the broker's name (which cannot be
  // cut short) is not waited for beyond that: its thread is left to end by itself.
  void Finish(std::chrono::steady_clock::time_point deadline, const std::vector<Message>& finalMessages,
              const std::function<bool()>& stopWaiting = {});

  struct Counts {
    std::uint64_t queued = 0;        // taken by Publish
    std::uint64_t acknowledged = 0;  // confirmed by the broker
    std::uint64_t dropped = 0;       // the oldest, pushed out by a full queue
    std::uint64_t unsent = 0;        // still queued when Finish gave up
    std::size_t waiting = 0;         // in the queue or unacknowledged now
  };
  Counts GetCounts() const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

class Subscriber {
 public:
  // True when the message is taken; false when it must come again.
  using Handler = std::function<bool(const std::string& topic, const std::uint8_t* payload, std::size_t size)>;
  // Makes what the handler took since the last call durable: true, or false when none of it is.
  using Commit = std::function<bool()>;

  static constexpr std::size_t kMaxBatch = 5000;
  static constexpr std::chrono::milliseconds kMaxBatchAge{20};

  Subscriber(ClientOptions options, std::vector<std::string> filters, Handler handler, LinkChanged linkChanged = {},
             Commit commit = {});
  ~Subscriber();
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  // Starts connecting on the network thread; returns at once.
  void Start();
  // Commits what was taken, disconnects and ends the network thread; no callback runs after it.
  void Stop();

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace mqtt
