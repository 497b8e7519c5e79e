#include "modem/com_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "modem/link_state.h"
#include "platform/serial_device.h"

namespace modem {

namespace detail {

// How far a stop request has come: see InterruptPort and BeginFinalExchange.
enum class StopState { running, stopping, interrupted, finalExchange };

struct PortState {
  std::atomic<int> fd{-1};
  std::atomic<bool> closed{false};
  int timeoutMs = 0;
  // Readable once the port is interrupted, so a poll() that waits for the modem wakes up.
  int wakeFd = -1;
  std::atomic<StopState> stop{StopState::running};
  // Steady-clock ticks; set before stop turns to finalExchange.
  std::atomic<std::chrono::steady_clock::rep> finalDeadline{0};
  // Steady-clock ticks; set before stop turns to stopping.
  std::atomic<std::chrono::steady_clock::rep> stopDeadline{0};
  bool savedValid = false;
  termios saved{};
  std::mutex traceMutex;
  std::optional<THandleInfo> trace;
  // Bytes taken from the device but not yet handed out: one system call brings a whole answer,
  // not one byte of it.
  std::mutex inputMutex;
  std::array<char, 256> input{};
  std::size_t inputBegin = 0;
  std::size_t inputEnd = 0;

  PortState() = default;
  PortState(const PortState&) = delete;
  PortState& operator=(const PortState&) = delete;
  ~PortState() {
    if (const int descriptor = fd.load(); descriptor >= 0) ::close(descriptor);
    if (wakeFd >= 0) ::close(wakeFd);
  }
};

}  // namespace detail

struct PortAccess {
  static detail::PortState* State(const PortHandle& holder) { return holder.state_.get(); }
  static void Set(PortHandle& holder, std::shared_ptr<detail::PortState> state) { holder.state_ = std::move(state); }
};

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// The gap after a byte that ends a multi-byte read, as the modem's serial driver used it.
constexpr Millis kIntervalTimeout{5};
constexpr std::size_t kTraceLines = 20;
// After a stop request a modem that keeps answering may finish its exchange, unless it falls
// silent this long or the exchange is still going when the grace ends: a prompt modem's cycle is
// over well within it, and the closing "ATZ" still fits into the promised stop time.
constexpr Millis kStopQuietLimit{300};
constexpr Millis kStopGrace{800};

detail::PortState* OpenState(const PortHandle& holder) {
  detail::PortState* state = PortAccess::State(holder);
  if (state == nullptr || state->closed.load() || state->fd.load() < 0) return nullptr;
  return state;
}

int PollTimeout(Clock::time_point until) {
  const auto left = std::chrono::ceil<Millis>(until - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

// True when a stop request ends every transfer now: the port is interrupted, or its grace is over.
bool StopEnds(detail::PortState& state) {
  auto stop = state.stop.load();
  if (stop == detail::StopState::stopping &&
      Clock::now() >= Clock::time_point(Clock::duration(state.stopDeadline.load()))) {
    state.stop.compare_exchange_strong(stop, detail::StopState::interrupted);
    stop = state.stop.load();
  }
  return stop == detail::StopState::interrupted;
}

// Applies a stop request to a transfer about to wait, whose last byte moved (or which began) at
// quietSince: false when the port is interrupted, or is stopping and the modem was quiet too long
// or the grace is over (the port is interrupted from then on); otherwise until is cut to what the
// stop leaves, and watchWake tells whether the wait must also watch for a stop request.
bool StopAllows(detail::PortState& state, Clock::time_point quietSince, Clock::time_point& until, bool& watchWake) {
  switch (state.stop.load()) {
    case detail::StopState::running:
      watchWake = state.wakeFd >= 0;
      return true;
    case detail::StopState::stopping: {
      const auto limit =
          std::min(Clock::time_point(Clock::duration(state.stopDeadline.load())), quietSince + kStopQuietLimit);
      if (Clock::now() >= limit) {
        auto expected = detail::StopState::stopping;
        state.stop.compare_exchange_strong(expected, detail::StopState::interrupted);
        return false;
      }
      watchWake = false;
      until = std::min(until, limit);
      return true;
    }
    case detail::StopState::interrupted:
      return false;
    case detail::StopState::finalExchange:
      watchWake = false;
      until = std::min(until, Clock::time_point(Clock::duration(state.finalDeadline.load())));
      return true;
  }
  return false;
}

// Waits until fd is ready for events, the port is interrupted, or until passes. False when the
// wait itself failed; revents receives fd's events (0 when it is not ready).
bool WaitReady(const detail::PortState& state, int fd, short events, Clock::time_point until, bool watchWake,
               short& revents) {
  pollfd entries[2] = {{fd, events, 0}, {state.wakeFd, POLLIN, 0}};
  const int ready = ::poll(entries, watchWake ? 2 : 1, PollTimeout(until));
  revents = ready > 0 ? entries[0].revents : 0;
  return ready >= 0 || ClassifyErrno(errno) != IoOutcome::failed;
}

// Reads count bytes, the first by deadline and each further one within the interval time-out of
// the one before.
TransferStatus ReadInto(detail::PortState& state, char* buffer, std::size_t count, Clock::time_point deadline) {
  const int fd = state.fd.load();
  const Clock::time_point start = Clock::now();
  Clock::time_point lastByte{};
  std::size_t got = 0;
  bool hungUp = false;
  std::lock_guard lock(state.inputMutex);
  while (got < count) {
    if (StopEnds(state)) return TransferStatus::failed;
    if (state.inputBegin < state.inputEnd) {
      const std::size_t take = std::min(count - got, state.inputEnd - state.inputBegin);
      std::copy_n(state.input.data() + state.inputBegin, take, buffer + got);
      state.inputBegin += take;
      got += take;
      continue;
    }
    const ssize_t n = ::read(fd, state.input.data(), state.input.size());
    if (n > 0) {
      state.inputBegin = 0;
      state.inputEnd = static_cast<std::size_t>(n);
      lastByte = Clock::now();
      continue;
    }
    // A raw terminal with VMIN = VTIME = 0 reads 0 bytes when nothing is queued.
    if (n < 0) {
      const IoOutcome outcome = ClassifyErrno(errno);
      if (outcome == IoOutcome::failed) return TransferStatus::failed;
      if (outcome == IoOutcome::retry) continue;
    }
    if (state.closed.load() || hungUp) return TransferStatus::failed;
    auto until = got > 0 ? std::min(deadline, lastByte + kIntervalTimeout) : deadline;
    bool watchWake = false;
    if (!StopAllows(state, got > 0 ? lastByte : start, until, watchWake)) return TransferStatus::failed;
    if (Clock::now() >= until) break;
    short revents = 0;
    if (!WaitReady(state, fd, POLLIN, until, watchWake, revents)) return TransferStatus::failed;
    // After a hang-up the bytes still queued are read; then the line counts as failed.
    if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) hungUp = true;
  }
  return got == count ? TransferStatus::done : TransferStatus::timeout;
}

speed_t SpeedFor(int baud) {
  struct SpeedRow {
    int baud;
    speed_t speed;
  };
  static constexpr SpeedRow kSpeeds[] = {
      {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},   {4800, B4800},
      {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600}, {115200, B115200},
      {230400, B230400}, {460800, B460800}, {921600, B921600},
  };
  for (const auto& row : kSpeeds) {
    if (row.baud == baud) return row.speed;
  }
  return B0;
}

void ConfigureLine(int fd, int baud, bool softwareFlow) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return;
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD | CS8;
  settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB);
  if (softwareFlow) {
    settings.c_cflag &= ~CRTSCTS;
    settings.c_iflag |= IXON | IXOFF;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXANY);
    settings.c_cc[VSTART] = 0x11;
    settings.c_cc[VSTOP] = 0x13;
  } else {
    settings.c_cflag |= CRTSCTS;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  }
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  // An unknown speed is refused by the system here too: the device keeps the speed it had.
  if (const speed_t speed = SpeedFor(baud); speed != B0) {
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
  }
  // Pseudo-terminals refuse some of these flags; the line works without them.
  (void)::tcsetattr(fd, TCSANOW, &settings);
}

void AddTrace(detail::PortState& state, char marker, std::string_view text) {
  std::lock_guard lock(state.traceMutex);
  if (!state.trace) return;
  THandleInfo& info = *state.trace;
  if (info.count >= static_cast<int>(kTraceLines)) {
    for (std::size_t i = 1; i < kTraceLines; ++i) info.lines[i - 1] = std::move(info.lines[i]);
    info.count = kTraceLines - 1;
  }
  info.lines[static_cast<std::size_t>(info.count)] = TraceEntry(marker, text);
  ++info.count;
}

}  // namespace

int PortHandle::Fd() const {
  const detail::PortState* state = state_.get();
  if (state == nullptr || state->closed.load()) return -1;
  return state->fd.load();
}

IoOutcome ClassifyErrno(int error) {
  if (error == EINTR) return IoOutcome::retry;
  if (error == EAGAIN || error == EWOULDBLOCK) return IoOutcome::wait;
  return IoOutcome::failed;
}

bool TokenMatches(std::string_view line, std::string_view token, MatchMode matchMode) {
  const int mode = static_cast<int>(matchMode);
  if (mode == 0) return line == token;
  if (mode > 0) return line.substr(0, static_cast<std::size_t>(mode)) == token;
  if (matchMode == MatchMode::anywhere) return line.find(token) != std::string_view::npos;
  return false;
}

std::string TraceEntry(char marker, std::string_view text) {
  std::string raw(1, marker);
  raw.append(text.substr(0, text.find('\r')));
  std::string entry = marker == '>' ? "SEND \"" : "RECV \"";
  for (std::size_t i = 1; i < raw.size(); ++i) {
    const auto byte = static_cast<unsigned char>(raw[i]);
    if (byte < 0x20) {
      char code[6];
      std::snprintf(code, sizeof code, "<%02Xh>", byte);
      entry += code;
    } else {
      entry += raw[i];
    }
  }
  entry += '"';
  return entry;
}

namespace {

// The state of a port on an open descriptor; null when the wake-up descriptor cannot be made.
std::shared_ptr<detail::PortState> MakePortState(int fd, int timeoutMs, bool trace, std::string_view portName) {
  auto state = std::make_shared<detail::PortState>();
  state->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (state->wakeFd < 0) return nullptr;
  state->fd.store(fd);
  state->timeoutMs = timeoutMs < 0 ? 0 : timeoutMs;
  if (trace) {
    THandleInfo info;
    info.handle = fd;
    info.portName = std::string(portName);
    state->trace = std::move(info);
  }
  return state;
}

}  // namespace

bool OpenPort(PortHandle& holder, std::string_view portName, int baud, int timeoutMs, bool softwareFlow, bool trace,
              platform::SystemError* error) {
  holder = PortHandle{};
  if (error != nullptr) *error = {};
  const auto fail = [error](platform::SystemError cause) {
    if (error != nullptr) *error = cause;
    return false;
  };
  const std::string path = platform::ResolvePortName(portName);
  // Looked at before it is opened: a regular file or a FIFO named as the port is never opened.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return fail(platform::DecodeSystemError(errno));
  if (!S_ISCHR(info.st_mode)) return fail(platform::CheckFailed(platform::ErrorReason::wrongType));
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // A /dev/ttyS node whose serial chip is absent answers the open with EIO: no such device.
    if (errno == EIO) return fail({platform::ErrorReason::notFound, EIO});
    return fail(platform::DecodeSystemError(errno));
  }
  const auto refuse = [fd, &fail](platform::SystemError cause) {
    ::close(fd);
    return fail(cause);
  };
  // What was opened counts, not what the name showed a moment before; and only a terminal
  // (not /dev/null, not another character device) is a serial port.
  termios saved{};
  if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
    return refuse(platform::CheckFailed(platform::ErrorReason::wrongType));
  }
  if (::tcgetattr(fd, &saved) != 0) return refuse(platform::DecodeSystemError(errno));
  // TIOCEXCL keeps other programs out (root passes it); flock also keeps out root and ourselves.
  (void)::ioctl(fd, TIOCEXCL);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(platform::DecodeSystemError(errno));
  auto state = MakePortState(fd, timeoutMs, trace, portName);
  if (state == nullptr) return refuse(platform::DecodeSystemError(errno));
  state->saved = saved;
  state->savedValid = true;
  ConfigureLine(fd, baud, softwareFlow);
  // A freshly opened port starts with empty queues: nothing left over from an earlier user.
  (void)::tcflush(fd, TCIFLUSH);
  PortAccess::Set(holder, std::move(state));
  return true;
}

bool AttachPort(PortHandle& holder, int fd, int timeoutMs, bool trace) {
  holder = PortHandle{};
  if (fd < 0) return false;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  auto state = MakePortState(fd, timeoutMs, trace, "fd " + std::to_string(fd));
  if (state == nullptr) {
    ::close(fd);
    return false;
  }
  PortAccess::Set(holder, std::move(state));
  return true;
}

bool ClosePort(const PortHandle& holder) {
  detail::PortState* state = PortAccess::State(holder);
  if (state == nullptr || state->closed.exchange(true)) return false;
  const int fd = state->fd.load();
  if (fd < 0) return false;
  if (state->savedValid) (void)::tcsetattr(fd, TCSANOW, &state->saved);
  (void)::ioctl(fd, TIOCNXCL);
  (void)::flock(fd, LOCK_UN);
  // The device is released now, but the descriptor number stays taken (by /dev/null) while
  // copies of the holder live, so a late read or write on them cannot reach a reused number.
  const int placeholder = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (placeholder < 0) {
    state->fd.store(-1);
    return ::close(fd) == 0;
  }
  const bool closed = ::dup3(placeholder, fd, O_CLOEXEC) >= 0;
  ::close(placeholder);
  return closed;
}

TransferStatus WriteBytes(const PortHandle& holder, const char* buffer, std::size_t count) {
  detail::PortState* state = OpenState(holder);
  if (state == nullptr) return TransferStatus::failed;
  const int fd = state->fd.load();
  const auto deadline = Clock::now() + Millis(static_cast<long long>(state->timeoutMs) * static_cast<long long>(count));
  auto lastMoved = Clock::now();
  std::size_t sent = 0;
  while (sent < count) {
    if (StopEnds(*state)) return TransferStatus::failed;
    const ssize_t n = ::write(fd, buffer + sent, count - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      lastMoved = Clock::now();
      continue;
    }
    if (n < 0) {
      const IoOutcome outcome = ClassifyErrno(errno);
      if (outcome == IoOutcome::failed) return TransferStatus::failed;
      if (outcome == IoOutcome::retry) continue;
    }
    auto until = deadline;
    bool watchWake = false;
    if (!StopAllows(*state, lastMoved, until, watchWake)) return TransferStatus::failed;
    if (Clock::now() >= until) return TransferStatus::timeout;
    short revents = 0;
    if (!WaitReady(*state, fd, POLLOUT, until, watchWake, revents)) return TransferStatus::failed;
    if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return TransferStatus::failed;
  }
  return TransferStatus::done;
}

TransferStatus ReadBytes(const PortHandle& holder, char* buffer, std::size_t count) {
  detail::PortState* state = OpenState(holder);
  if (state == nullptr) return TransferStatus::failed;
  return ReadInto(*state, buffer, count, Clock::now() + Millis(state->timeoutMs));
}

bool SendText(const PortHandle& holder, std::string_view text) {
  const TransferStatus status = WriteBytes(holder, text.data(), text.size());
  if (detail::PortState* state = PortAccess::State(holder)) AddTrace(*state, '>', text);
  return status == TransferStatus::done;
}

bool SendLine(const PortHandle& holder, std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return SendText(holder, line);
}

TransferStatus ReadLine(const PortHandle& holder, std::string& line) {
  line.clear();
  bool anyByte = false;
  TransferStatus status = TransferStatus::failed;
  auto lineDeadline = Clock::time_point::max();
  for (;;) {
    detail::PortState* state = OpenState(holder);
    if (state == nullptr) {
      status = TransferStatus::failed;
      break;
    }
    const Millis timeout(state->timeoutMs);
    char byte = 0;
    status = ReadInto(*state, &byte, 1, std::min(Clock::now() + timeout, lineDeadline));
    if (status != TransferStatus::done) break;
    if (!anyByte) lineDeadline = Clock::now() + timeout;
    anyByte = true;
    if (byte == '\r' || byte == '\n' || byte == '\0') break;
    line += byte;
    // A modem that babbles without line ends must not hold the reader for ever.
    if (line.size() >= kMaxLineLength) break;
  }
  if (detail::PortState* state = PortAccess::State(holder)) AddTrace(*state, '<', line);
  return anyByte ? TransferStatus::done : status;
}

bool ReadLineOk(const PortHandle& holder, std::string& line) { return ReadLine(holder, line) == TransferStatus::done; }

bool WaitForAnyToken(const PortHandle& holder, const std::vector<std::string>& tokens, MatchMode matchMode,
                     std::string& line, int& index) {
  index = -1;
  for (int attempt = 0; attempt < 10; ++attempt) {
    const TransferStatus status = ReadLine(holder, line);
    if (status == TransferStatus::failed) return false;
    if (status != TransferStatus::done) continue;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      if (TokenMatches(line, tokens[i], matchMode)) {
        index = static_cast<int>(i);
        return true;
      }
    }
  }
  return false;
}

bool WaitForToken(const PortHandle& holder, std::string_view token, MatchMode matchMode, std::string& line) {
  int index = -1;
  return WaitForAnyToken(holder, {std::string(token)}, matchMode, line, index);
}

bool ExpectToken(const PortHandle& holder, std::string_view token, MatchMode matchMode) {
  std::string line;
  return WaitForToken(holder, token, matchMode, line);
}

void InterruptPort(const PortHandle& holder, StopKind kind) {
  detail::PortState* state = PortAccess::State(holder);
  if (state == nullptr) return;
  auto expected = detail::StopState::running;
  state->stopDeadline.store((Clock::now() + kStopGrace).time_since_epoch().count());
  const auto next = kind == StopKind::now ? detail::StopState::interrupted : detail::StopState::stopping;
  if (!state->stop.compare_exchange_strong(expected, next)) {
    // A second request does not wait for the modem at all.
    if (expected == detail::StopState::stopping)
      state->stop.compare_exchange_strong(expected, detail::StopState::interrupted);
    return;
  }
  // Wakes a wait begun before the request. Left unread on purpose: the descriptor stays readable,
  // so every later wait of an interrupted port ends at once too (a stopping port's waits do not
  // watch it).
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(state->wakeFd, &one, sizeof one);
}

void BeginFinalExchange(const PortHandle& holder, std::chrono::milliseconds budget) {
  detail::PortState* state = PortAccess::State(holder);
  if (state == nullptr) return;
  state->finalDeadline.store((Clock::now() + budget).time_since_epoch().count());
  state->stop.store(detail::StopState::finalExchange);
}

bool PortInterrupted(const PortHandle& holder) {
  const detail::PortState* state = PortAccess::State(holder);
  return state != nullptr && state->stop.load() == detail::StopState::interrupted;
}

std::optional<THandleInfo> TraceOf(const PortHandle& holder) {
  detail::PortState* state = PortAccess::State(holder);
  if (state == nullptr) return std::nullopt;
  std::lock_guard lock(state->traceMutex);
  return state->trace;
}

namespace {
thread_local Link t_ownLink;
thread_local Link* t_currentLink = nullptr;
}  // namespace

Link& CurrentLink() { return t_currentLink != nullptr ? *t_currentLink : t_ownLink; }

ScopedLink::ScopedLink(Link& link) : previous_(t_currentLink) { t_currentLink = &link; }
ScopedLink::~ScopedLink() { t_currentLink = previous_; }

PortHandle ActivePort() { return CurrentLink().Port(); }

void SetActivePort(PortHandle holder) { CurrentLink().SetPort(std::move(holder)); }

}  // namespace modem
