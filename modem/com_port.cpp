#include "modem/com_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "platform/serial_device.h"

namespace modem {

namespace detail {

struct PortState {
  std::atomic<int> fd{-1};
  std::atomic<bool> closed{false};
  int timeoutMs = 0;
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

detail::PortState* openState(const PortHandle& holder) {
  detail::PortState* state = PortAccess::State(holder);
  if (state == nullptr || state->closed.load() || state->fd.load() < 0) return nullptr;
  return state;
}

int pollTimeout(Clock::time_point until) {
  const auto left = std::chrono::ceil<Millis>(until - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

speed_t speedFor(int baud) {
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

void configureLine(int fd, int baud, bool softwareFlow) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return;
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD | CS8;
  settings.c_cflag &= ~(PARENB | CSTOPB);
  if (softwareFlow) {
    settings.c_cflag &= ~CRTSCTS;
    settings.c_iflag |= IXON | IXOFF;
    settings.c_iflag &= ~IXANY;
    settings.c_cc[VSTART] = 0x11;
    settings.c_cc[VSTOP] = 0x13;
  } else {
    settings.c_cflag |= CRTSCTS;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  }
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  // An unknown speed is refused by the system here too: the device keeps the speed it had.
  if (const speed_t speed = speedFor(baud); speed != B0) {
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
  }
  // Pseudo-terminals refuse some of these flags; the line works without them.
  (void)::tcsetattr(fd, TCSANOW, &settings);
}

void addTrace(detail::PortState& state, char marker, std::string_view text) {
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

std::mutex& activeMutex() {
  static std::mutex mutex;
  return mutex;
}

PortHandle& activeHolder() {
  static PortHandle holder;
  return holder;
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

bool TokenMatches(std::string_view line, std::string_view token, int matchMode) {
  if (matchMode == 0) return line == token;
  if (matchMode > 0) return line.substr(0, static_cast<std::size_t>(matchMode)) == token;
  if (matchMode == -1) return line.find(token) != std::string_view::npos;
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

bool OpenPort(PortHandle& holder, std::string_view portName, int baud, int timeoutMs, bool softwareFlow, bool trace) {
  holder = PortHandle{};
  const std::string path = platform::ResolvePortName(portName);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // TIOCEXCL keeps other programs out (root passes it); flock also keeps out root and ourselves.
  (void)::ioctl(fd, TIOCEXCL);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  auto state = std::make_shared<detail::PortState>();
  state->fd.store(fd);
  state->timeoutMs = timeoutMs < 0 ? 0 : timeoutMs;
  state->savedValid = ::tcgetattr(fd, &state->saved) == 0;
  configureLine(fd, baud, softwareFlow);
  // A freshly opened port starts with empty queues: nothing left over from an earlier user.
  (void)::tcflush(fd, TCIFLUSH);
  if (trace) {
    THandleInfo info;
    info.handle = fd;
    info.portName = std::string(portName);
    state->trace = std::move(info);
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

int WriteBytes(const PortHandle& holder, const char* buffer, std::size_t count) {
  detail::PortState* state = openState(holder);
  if (state == nullptr) return tsFailed;
  const int fd = state->fd.load();
  const auto deadline = Clock::now() + Millis(static_cast<long long>(state->timeoutMs) * static_cast<long long>(count));
  std::size_t sent = 0;
  while (sent < count) {
    const ssize_t n = ::write(fd, buffer + sent, count - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0) {
      const IoOutcome outcome = ClassifyErrno(errno);
      if (outcome == IoOutcome::failed) return tsFailed;
      if (outcome == IoOutcome::retry) continue;
    }
    if (Clock::now() >= deadline) return tsTimeout;
    pollfd entry{fd, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, pollTimeout(deadline));
    if (ready < 0 && ClassifyErrno(errno) == IoOutcome::failed) return tsFailed;
    if (ready > 0 && (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return tsFailed;
  }
  return tsDone;
}

int ReadBytes(const PortHandle& holder, char* buffer, std::size_t count) {
  detail::PortState* state = openState(holder);
  if (state == nullptr) return tsFailed;
  const int fd = state->fd.load();
  const auto deadline = Clock::now() + Millis(state->timeoutMs);
  Clock::time_point lastByte{};
  std::size_t got = 0;
  bool hungUp = false;
  std::lock_guard lock(state->inputMutex);
  while (got < count) {
    if (state->inputBegin < state->inputEnd) {
      const std::size_t take = std::min(count - got, state->inputEnd - state->inputBegin);
      std::copy_n(state->input.data() + state->inputBegin, take, buffer + got);
      state->inputBegin += take;
      got += take;
      continue;
    }
    const ssize_t n = ::read(fd, state->input.data(), state->input.size());
    if (n > 0) {
      state->inputBegin = 0;
      state->inputEnd = static_cast<std::size_t>(n);
      lastByte = Clock::now();
      continue;
    }
    // A raw terminal with VMIN = VTIME = 0 reads 0 bytes when nothing is queued.
    if (n < 0) {
      const IoOutcome outcome = ClassifyErrno(errno);
      if (outcome == IoOutcome::failed) return tsFailed;
      if (outcome == IoOutcome::retry) continue;
    }
    if (state->closed.load() || hungUp) return tsFailed;
    const auto until = got > 0 ? std::min(deadline, lastByte + kIntervalTimeout) : deadline;
    if (Clock::now() >= until) break;
    pollfd entry{fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, pollTimeout(until));
    if (ready < 0 && ClassifyErrno(errno) == IoOutcome::failed) return tsFailed;
    // After a hang-up the bytes still queued are read; then the line counts as failed.
    if (ready > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) hungUp = true;
  }
  return got == count ? tsDone : tsTimeout;
}

bool SendText(const PortHandle& holder, std::string_view text) {
  const int status = WriteBytes(holder, text.data(), text.size());
  if (detail::PortState* state = PortAccess::State(holder)) addTrace(*state, '>', text);
  return status == tsDone;
}

bool SendLine(const PortHandle& holder, std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return SendText(holder, line);
}

int ReadLine(const PortHandle& holder, std::string& line) {
  line.clear();
  bool anyByte = false;
  int status = tsDone;
  for (;;) {
    char byte = 0;
    status = ReadBytes(holder, &byte, 1);
    if (status != tsDone) break;
    anyByte = true;
    if (byte == '\r' || byte == '\n' || byte == '\0') break;
    line += byte;
    // A modem that babbles without line ends must not hold the reader for ever.
    if (line.size() >= kMaxLineLength) break;
  }
  if (detail::PortState* state = PortAccess::State(holder)) addTrace(*state, '<', line);
  return anyByte ? tsDone : status;
}

bool ReadLineOk(const PortHandle& holder, std::string& line) { return ReadLine(holder, line) == tsDone; }

bool WaitForAnyToken(const PortHandle& holder, const std::vector<std::string>& tokens, int matchMode, std::string& line,
                     int& index) {
  index = -1;
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int status = ReadLine(holder, line);
    if (status == tsFailed) return false;
    if (status != tsDone) continue;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      if (TokenMatches(line, tokens[i], matchMode)) {
        index = static_cast<int>(i);
        return true;
      }
    }
  }
  return false;
}

bool WaitForToken(const PortHandle& holder, std::string_view token, int matchMode, std::string& line) {
  int index = -1;
  return WaitForAnyToken(holder, {std::string(token)}, matchMode, line, index);
}

bool ExpectToken(const PortHandle& holder, std::string_view token, int matchMode) {
  std::string line;
  return WaitForToken(holder, token, matchMode, line);
}

std::optional<THandleInfo> TraceOf(const PortHandle& holder) {
  detail::PortState* state = PortAccess::State(holder);
  if (state == nullptr) return std::nullopt;
  std::lock_guard lock(state->traceMutex);
  return state->trace;
}

PortHandle ActivePort() {
  std::lock_guard lock(activeMutex());
  return activeHolder();
}

void SetActivePort(PortHandle holder) {
  std::lock_guard lock(activeMutex());
  activeHolder() = std::move(holder);
}

}  // namespace modem
