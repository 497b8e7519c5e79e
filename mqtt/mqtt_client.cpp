#include "mqtt/mqtt_client.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

namespace mqtt {

// What libmosquitto's callbacks are given: both clients' state starts with it.
struct ClientBase {
  ClientOptions options;
  // Ends the wait for a first connection.
  std::mutex startMutex;
  std::condition_variable startChanged;
  bool stopRequested = false;

  void Problem(std::string text) const {
    // libmosquitto's lines may end with a line end of their own.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    if (options.onProblem && !text.empty()) options.onProblem(text);
  }

  // The first connection, tried until it is under way with the same back-off as libmosquitto's
  // reconnections (whose network thread takes over only from a connection begun), then the
  // network thread. False when stopped first.
  bool ConnectAndLoop(mosquitto* client) {
    int delay = 1;
    while (mosquitto_connect_async(client, options.broker.host.c_str(), options.broker.port,
                                   options.keepAliveSeconds) != MOSQ_ERR_SUCCESS) {
      std::unique_lock lock(startMutex);
      if (startChanged.wait_for(lock, std::chrono::seconds(delay), [this] { return stopRequested; })) return false;
      delay = std::min(delay * 2, 5);
    }
    std::lock_guard lock(startMutex);
    if (stopRequested) return false;
    mosquitto_loop_start(client);
    return true;
  }
  void RequestStop() {
    {
      std::lock_guard lock(startMutex);
      stopRequested = true;
    }
    startChanged.notify_all();
  }
};

namespace {

ClientBase& Base(void* owner) { return *static_cast<ClientBase*>(owner); }

// At most this many messages handed to libmosquitto and not yet acknowledged.
constexpr std::size_t kInFlight = 20;

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string RefusalText(int rc) {
  switch (rc) {
    case 4:
    case 5:
      return "брокер MQTT отказал во входе: неверное имя или пароль";
    default:
      return "брокер MQTT отказал в соединении (" + std::string(mosquitto_connack_string(rc)) + ")";
  }
}

// A mosquitto object set up from the options; null when libmosquitto refused one of them.
mosquitto* MakeClient(const ClientOptions& options, ClientBase* owner) {
  const auto problem = [&](const std::string& text) { Base(owner).Problem(text); };
  InitLibrary();
  mosquitto* client = mosquitto_new(options.clientId.c_str(), options.cleanSession, owner);
  if (client == nullptr) {
    problem("не удалось создать клиента MQTT");
    return nullptr;
  }
  const BrokerUrl& broker = options.broker;
  if (!broker.user.empty()) {
    mosquitto_username_pw_set(client, broker.user.c_str(), broker.password ? broker.password->c_str() : nullptr);
  }
  if (broker.tls) {
    const int rc = options.caFile.empty()
                       ? mosquitto_tls_set(client, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                       : mosquitto_tls_set(client, options.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      problem("не удалось прочитать сертификат центра сертификации " + options.caFile);
      mosquitto_destroy(client);
      return nullptr;
    }
  }
  if (options.will) {
    const Message& will = *options.will;
    mosquitto_will_set(client, will.topic.c_str(), static_cast<int>(will.payload.size()), will.payload.data(), 1,
                       will.retain);
  }
  mosquitto_reconnect_delay_set(client, 1, 5, true);
  if (options.onProblem) {
    mosquitto_log_callback_set(client, [](mosquitto*, void* data, int level, const char* text) {
      if (level == MOSQ_LOG_ERR && text != nullptr) Base(data).Problem(text);
    });
  }
  return client;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Publisher

struct Publisher::Impl : ClientBase {
  std::size_t capacity;
  LinkChanged linkChanged;
  mosquitto* client = nullptr;
  std::thread pump;

  // The queue: Publish (any thread) and the pump. Held only for the queue's own operations.
  mutable std::mutex queueMutex;
  std::condition_variable changed;
  std::deque<Message> queue;
  bool connected = false;
  bool stopping = false;
  bool runEnded = false;  // the pump thread has left Run
  std::size_t inFlight = 0;
  std::set<int> inFlightIds;
  // Held from a hand-over to libmosquitto until its id is noted, so that the acknowledgement,
  // which may come at once on the network thread, always finds the id.
  std::mutex handOver;
  Counts counts;

  ~Impl() {
    if (client != nullptr) mosquitto_destroy(client);
  }

  static Impl& Of(void* owner) { return static_cast<Impl&>(Base(owner)); }

  void Run() {
    client = MakeClient(options, static_cast<ClientBase*>(this));
    if (client == nullptr) return;
    mosquitto_connect_callback_set(client, [](mosquitto* m, void* owner, int rc) { Of(owner).Connected(m, rc); });
    mosquitto_disconnect_callback_set(client, [](mosquitto*, void* owner, int) { Of(owner).Disconnected(); });
    mosquitto_publish_callback_set(client, [](mosquitto*, void* owner, int mid) { Of(owner).Acknowledged(mid); });
    if (ConnectAndLoop(client)) Pump();
  }

  void Connected(mosquitto* m, int rc) {
    if (rc != 0) {
      Problem(RefusalText(rc));
      return;
    }
    for (const Message& message : options.onConnect) {
      mosquitto_publish(m, nullptr, message.topic.c_str(), static_cast<int>(message.payload.size()),
                        message.payload.data(), 1, message.retain);
    }
    {
      std::lock_guard lock(queueMutex);
      connected = true;
    }
    changed.notify_all();
    if (linkChanged) linkChanged(true);
  }

  void Disconnected() {
    bool told = false;
    {
      std::lock_guard lock(queueMutex);
      // The end of the run's own disconnection is no news.
      told = connected && !stopping;
      connected = false;
    }
    if (told && linkChanged) linkChanged(false);
  }

  void Acknowledged(int mid) {
    std::lock_guard handing(handOver);
    {
      std::lock_guard lock(queueMutex);
      if (inFlightIds.erase(mid) == 0) return;  // a status, published outside the queue
      --inFlight;
      ++counts.acknowledged;
    }
    changed.notify_all();
  }

  // Hands queued messages to libmosquitto while connected, keeping the window of unacknowledged
  // ones small so that the queue, not libmosquitto, holds what waits.
  void Pump() {
    std::unique_lock lock(queueMutex);
    while (true) {
      changed.wait(lock, [this] { return stopping || (connected && !queue.empty() && inFlight < kInFlight); });
      if (stopping) return;
      Message message = std::move(queue.front());
      queue.pop_front();
      ++inFlight;
      lock.unlock();
      std::unique_lock handing(handOver);
      int mid = 0;
      const int rc = mosquitto_publish(client, &mid, message.topic.c_str(), static_cast<int>(message.payload.size()),
                                       message.payload.data(), 1, message.retain);
      lock.lock();
      if (rc == MOSQ_ERR_SUCCESS) {
        inFlightIds.insert(mid);
        continue;
      }
      // Not taken (the link went down meanwhile): back to the head of the queue, unless the queue
      // filled up meanwhile, when it is the oldest and goes.
      --inFlight;
      if (rc == MOSQ_ERR_NO_CONN) connected = false;
      if (queue.size() < capacity) {
        queue.push_front(std::move(message));
      } else {
        ++counts.dropped;
      }
    }
  }
};

Publisher::Publisher(ClientOptions options, std::size_t capacity, LinkChanged linkChanged)
    : impl_(std::make_shared<Impl>()) {
  impl_->options = std::move(options);
  impl_->capacity = capacity == 0 ? 1 : capacity;
  impl_->linkChanged = std::move(linkChanged);
}

Publisher::~Publisher() {
  if (impl_->pump.joinable()) Finish(std::chrono::steady_clock::now(), {});
}

void Publisher::Start() {
  if (impl_->pump.joinable()) return;
  impl_->pump = std::thread([impl = impl_] {
    impl->Run();
    {
      std::lock_guard lock(impl->queueMutex);
      impl->runEnded = true;
    }
    impl->changed.notify_all();
  });
}

void Publisher::Publish(std::string topic, std::string payload, bool retain) {
  {
    std::lock_guard lock(impl_->queueMutex);
    impl_->queue.push_back(Message{std::move(topic), std::move(payload), retain});
    ++impl_->counts.queued;
    if (impl_->queue.size() > impl_->capacity) {
      impl_->queue.pop_front();
      ++impl_->counts.dropped;
    }
  }
  impl_->changed.notify_all();
}

void Publisher::Finish(std::chrono::steady_clock::time_point deadline, const std::vector<Message>& finalMessages,
                       const std::function<bool()>& stopWaiting) {
  Impl& impl = *impl_;
  if (!impl.pump.joinable()) return;
  const auto drained = [&] { return impl.queue.empty() && impl.inFlight == 0; };
  {
    std::unique_lock lock(impl.queueMutex);
    while (!drained() && std::chrono::steady_clock::now() < deadline) {
      impl.changed.wait_for(lock, std::chrono::milliseconds(100));
      if (stopWaiting && stopWaiting()) break;
    }
    impl.stopping = true;
  }
  impl.changed.notify_all();
  impl.RequestStop();
  {
    // The pump ends at once, unless libmosquitto is still looking up the broker's name.
    const auto pumpDeadline = std::max(deadline, std::chrono::steady_clock::now() + std::chrono::seconds(1));
    std::unique_lock lock(impl.queueMutex);
    while (!impl.runEnded && std::chrono::steady_clock::now() < pumpDeadline && !(stopWaiting && stopWaiting())) {
      impl.changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (!impl.runEnded) {
      // Never connected: nothing to disconnect. The thread holds what it uses.
      impl.pump.detach();
      impl.counts.unsent = impl.queue.size() + impl.inFlight;
      return;
    }
  }
  impl.pump.join();
  if (impl.client == nullptr) return;

  bool connected = false;
  {
    std::lock_guard lock(impl.queueMutex);
    connected = impl.connected;
  }
  if (connected) {
    std::vector<int> ids;
    for (const Message& message : finalMessages) {
      std::lock_guard handing(impl.handOver);
      int mid = 0;
      if (mosquitto_publish(impl.client, &mid, message.topic.c_str(), static_cast<int>(message.payload.size()),
                            message.payload.data(), 1, message.retain) == MOSQ_ERR_SUCCESS) {
        std::lock_guard lock(impl.queueMutex);
        impl.inFlightIds.insert(mid);
        ++impl.inFlight;
      }
    }
    // The last words get a second of their own to be acknowledged.
    std::unique_lock lock(impl.queueMutex);
    impl.changed.wait_for(lock, std::chrono::seconds(1), [&] { return impl.inFlight == 0 || !impl.connected; });
  }
  mosquitto_disconnect(impl.client);
  mosquitto_loop_stop(impl.client, false);
  std::lock_guard lock(impl.queueMutex);
  impl.counts.unsent = impl.queue.size() + impl.inFlight;
}

Publisher::Counts Publisher::GetCounts() const {
  std::lock_guard lock(impl_->queueMutex);
  Counts counts = impl_->counts;
  counts.waiting = impl_->queue.size() + impl_->inFlight;
  return counts;
}

// ---------------------------------------------------------------------------------------------
// Subscriber

struct Subscriber::Impl : ClientBase {
  std::vector<std::string> filters;
  Handler handler;
  Commit commit;
  LinkChanged linkChanged;
  mosquitto* client = nullptr;
  bool running = false;
  std::atomic<bool> stopping{false};
  std::thread loop;

  // On the loop thread only.
  bool connected = false;
  bool refused = false;   // a message was not taken: nothing more is until the link is new
  std::size_t taken = 0;  // messages taken since the last commit
  std::chrono::steady_clock::time_point firstTaken{};
  std::chrono::seconds backOff{0};
  int delay = 1;  // seconds before the next attempt to connect

  ~Impl() {
    if (client != nullptr) mosquitto_destroy(client);
  }
  static Impl& Of(void* owner) { return static_cast<Impl&>(Base(owner)); }

  // Sleeps for a while unless a stop comes first; false when it did.
  bool Pause(std::chrono::seconds span) {
    std::unique_lock lock(startMutex);
    return !startChanged.wait_for(lock, span, [this] { return stopRequested; });
  }

  void Refuse() {
    // The acknowledgements queued for this batch must never reach the broker: the socket ends
    // here unwritten, and a reconnection discards what libmosquitto still holds.
    refused = true;
    taken = 0;
    ::shutdown(mosquitto_socket(client), SHUT_RDWR);
    backOff = std::min(std::max(backOff * 2, std::chrono::seconds(1)), std::chrono::seconds(30));
  }

  // What the handler took is made durable before its acknowledgements may leave.
  void CommitTaken() {
    if (taken == 0 || refused) return;
    if (commit && !commit()) {
      Refuse();
      return;
    }
    taken = 0;
    backOff = std::chrono::seconds(0);
  }

  void Message(const mosquitto_message* message) {
    if (refused || message == nullptr || message->topic == nullptr || message->payloadlen < 0) return;
    if (!handler(message->topic, static_cast<const std::uint8_t*>(message->payload),
                 static_cast<std::size_t>(message->payloadlen))) {
      Refuse();
      return;
    }
    if (taken++ == 0) firstTaken = std::chrono::steady_clock::now();
  }

  // The network loop on a thread of its own, in place of libmosquitto's: read what has come,
  // commit it, and only then write (the acknowledgements libmosquitto queued while reading).
  void Run() {
    mosquitto_threaded_set(client, true);
    bool everTried = false;
    while (!stopping.load()) {
      if (!connected) {
        // Attempts after the first wait: a growing delay, and longer after a refused message.
        if (everTried) {
          if (!Pause(std::max(backOff, std::chrono::seconds(delay)))) break;
          delay = std::min(delay * 2, 5);
        }
        refused = false;
        taken = 0;
        const int rc = everTried ? mosquitto_reconnect(client)
                                 : mosquitto_connect(client, options.broker.host.c_str(), options.broker.port,
                                                     options.keepAliveSeconds);
        everTried = true;
        if (rc != MOSQ_ERR_SUCCESS) continue;
        connected = true;
      }
      const int socket = mosquitto_socket(client);
      pollfd ready{socket, static_cast<short>(POLLIN | (taken == 0 && mosquitto_want_write(client) ? POLLOUT : 0)), 0};
      // A batch closes when nothing more is waiting, when it is large, or when it is old.
      const bool batchDue =
          taken > 0 && (taken >= kMaxBatch || std::chrono::steady_clock::now() - firstTaken >= kMaxBatchAge);
      const int waitMs = taken > 0 ? 0 : 100;
      const int polled = batchDue ? 0 : ::poll(&ready, 1, waitMs);
      int rc = MOSQ_ERR_SUCCESS;
      if (polled > 0 && (ready.revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
        rc = mosquitto_loop_read(client, 1);
      } else if (taken > 0) {
        CommitTaken();
      }
      if (rc == MOSQ_ERR_SUCCESS && taken == 0 && !refused) rc = mosquitto_loop_write(client, 1);
      if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(client);
      if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(client) < 0) Lost();
    }
    if (connected) {
      CommitTaken();
      if (!refused) {
        mosquitto_disconnect(client);
        mosquitto_loop_write(client, 1);
      }
    }
  }

  void Lost() {
    if (!connected) return;
    connected = false;
    taken = 0;
  }
};

Subscriber::Subscriber(ClientOptions options, std::vector<std::string> filters, Handler handler,
                       LinkChanged linkChanged, Commit commit)
    : impl_(std::make_shared<Impl>()) {
  impl_->options = std::move(options);
  impl_->filters = std::move(filters);
  impl_->handler = std::move(handler);
  impl_->commit = std::move(commit);
  impl_->linkChanged = std::move(linkChanged);
}

Subscriber::~Subscriber() { Stop(); }

void Subscriber::Start() {
  Impl& impl = *impl_;
  if (impl.running) return;
  impl.client = MakeClient(impl.options, static_cast<ClientBase*>(&impl));
  if (impl.client == nullptr) return;
  mosquitto_connect_callback_set(impl.client, [](mosquitto* m, void* owner, int rc) {
    Impl& self = Impl::Of(owner);
    if (rc != 0) {
      self.Problem(RefusalText(rc));
      return;
    }
    self.delay = 1;
    // Subscribed anew on every connection: a broker without the session does not remember them.
    for (const std::string& filter : self.filters) mosquitto_subscribe(m, nullptr, filter.c_str(), 1);
    if (self.linkChanged) self.linkChanged(true);
  });
  mosquitto_disconnect_callback_set(impl.client, [](mosquitto*, void* owner, int) {
    Impl& self = Impl::Of(owner);
    self.Lost();
    if (self.linkChanged && !self.stopping.load()) self.linkChanged(false);
  });
  mosquitto_message_callback_set(
      impl.client, [](mosquitto*, void* owner, const mosquitto_message* message) { Impl::Of(owner).Message(message); });
  impl.loop = std::thread([impl = impl_] { impl->Run(); });
  impl.running = true;
}

void Subscriber::Stop() {
  Impl& impl = *impl_;
  if (!impl.running) return;
  impl.stopping.store(true);
  impl.RequestStop();
  impl.loop.join();
  impl.running = false;
}

}  // namespace mqtt
