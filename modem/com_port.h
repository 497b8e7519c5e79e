#pragma once
// The serial connection to the modem: a port opened raw 8N1 with flow control and time-outs,
// byte transfers, a line reader (CR, LF and NUL each end a line) and waits for a token.
// Every operation blocks the calling thread until the bytes moved or the time-out ran out.

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_error.h"

namespace modem {

// The port trace, kept only when a port is opened with the trace on: the last 20 exchanges.
struct THandleInfo {
  int handle = -1;  // the port's file descriptor
  int count = 0;    // lines held, 0..20
  std::string portName;
  std::array<std::string, 20> lines;  // oldest first
};

namespace detail {
struct PortState;
}

// The port handle holder: a small copyable value standing for one open port (its descriptor
// and, with the trace on, its THandleInfo). A default-constructed holder stands for no port.
// Copies share the port; the descriptor number stays reserved until the last copy is gone, so
// a stale copy used after ClosePort fails instead of reaching another file.
class PortHandle {
 public:
  PortHandle() = default;
  bool IsSet() const { return state_ != nullptr; }
  // The descriptor, or -1 when no port or the port was closed.
  int Fd() const;
  bool operator==(const PortHandle& other) const { return state_ == other.state_; }

 private:
  friend struct PortAccess;
  std::shared_ptr<detail::PortState> state_;
};

// Result of every transfer and of the line reader.
enum class TransferStatus : int {
  done = 0,     // all requested bytes moved (for ReadLine: any byte arrived)
  timeout = 1,  // the call worked but fewer bytes moved within the time-out
  failed = 2,   // the call failed (no port, device gone, I/O error)
};

// What an errno value means to a transfer loop.
enum class IoOutcome { retry, wait, failed };
IoOutcome ClassifyErrno(int error);

// How a token wait compares a line with its token: the whole line equals the token (0), the
// first N bytes of the line equal it (N > 0, MatchPrefix), or the token occurs anywhere in the
// line (-1). Every other negative mode matches nothing.
enum class MatchMode : int { wholeLine = 0, anywhere = -1 };
constexpr MatchMode MatchPrefix(int n) { return static_cast<MatchMode>(n); }

bool TokenMatches(std::string_view line, std::string_view token, MatchMode matchMode);

// The trace entry for a text sent (marker '>') or a line read (marker '<'): cut at the first CR,
// control bytes as "<XXh>", then SEND "text" or RECV "text".
std::string TraceEntry(char marker, std::string_view text);

// Opens portName ("COMn" or a device path) exclusively, raw 8N1, at baud bits/s (a speed the
// system does not know leaves the device's speed as it was), hardware (RTS/CTS) or software
// (XON/XOFF) flow control, read time-out timeoutMs per read, write time-out n × timeoutMs.
// Only a terminal device is taken: anything else (a regular file, a FIFO, /dev/null) is refused
// before a byte is written. holder receives the port, or an unset value on failure (then nothing
// else is touched); error, when given, receives the cause of a failure.
bool OpenPort(PortHandle& holder, std::string_view portName, int baud, int timeoutMs, bool softwareFlow, bool trace,
              platform::SystemError* error = nullptr);

// Takes an already open descriptor as a port, as it is: no line settings, no lock, no check of
// what it is. For byte streams that stand in for a modem in tests and fuzzing (a pipe); the
// holder owns fd from now on. False (fd closed) when the port's resources cannot be made.
bool AttachPort(PortHandle& holder, int fd, int timeoutMs, bool trace);

// Puts back the settings saved on open and closes the device. False for an unset holder and for
// a port already closed.
bool ClosePort(const PortHandle& holder);

// Transfers with the port's time-outs; a TransferStatus. Reads are served from a small input
// buffer that one system call fills with whatever the device has queued.
TransferStatus WriteBytes(const PortHandle& holder, const char* buffer, std::size_t count);
TransferStatus ReadBytes(const PortHandle& holder, char* buffer, std::size_t count);

bool SendText(const PortHandle& holder, std::string_view text);
// SendText of text followed by CR LF.
bool SendLine(const PortHandle& holder, std::string_view text);

// One line without its terminator. The first byte may take the read time-out; from it on the whole
// line must arrive within one more time-out (a modem that drips bytes cannot hold the reader),
// and what came by then is the line. Status 0 when any byte arrived (terminator included),
// otherwise that of the last read.
TransferStatus ReadLine(const PortHandle& holder, std::string& line);
// The longest line ReadLine returns; longer input continues as the next line (a modem's report
// lines are about 100 bytes).
inline constexpr std::size_t kMaxLineLength = 1024;
bool ReadLineOk(const PortHandle& holder, std::string& line);

// Up to 10 line reads; true at the first line that matches a token (index = its position).
// A failed read ends the wait at once. Without a match index is -1 and line the last line read.
bool WaitForAnyToken(const PortHandle& holder, const std::vector<std::string>& tokens, MatchMode matchMode,
                     std::string& line, int& index);
bool WaitForToken(const PortHandle& holder, std::string_view token, MatchMode matchMode, std::string& line);
bool ExpectToken(const PortHandle& holder, std::string_view token, MatchMode matchMode);

// Stop requests, so that a stop never waits long for the modem. InterruptPort (any thread) with
// StopKind::now ends a transfer waiting on the port at once and makes every later one fail at
// once (status 2). With StopKind::finishExchange the exchange under way goes on while the modem
// answers promptly: a transfer fails once the modem has been quiet for 300 ms or 800 ms have
// passed since the request, and from then on the port is interrupted (a second request of either
// kind interrupts it at once). BeginFinalExchange (the port's own thread) lifts that for the
// exchange that closes the connection: transfers work again, but each ends by now + budget at the
// latest, and an interrupt no longer applies. Neither does anything on an unset or closed holder.
enum class StopKind { now, finishExchange };
void InterruptPort(const PortHandle& holder, StopKind kind = StopKind::now);
void BeginFinalExchange(const PortHandle& holder, std::chrono::milliseconds budget);
// True once a stop request has cut a transfer (or every transfer) short, until BeginFinalExchange.
bool PortInterrupted(const PortHandle& holder);

// A copy of the port's trace; empty when the port was opened without it.
std::optional<THandleInfo> TraceOf(const PortHandle& holder);

// The port of the calling thread's current link (modem/link_state.h), shared by a session's
// monitor thread and call workers. Reads and writes are safe from any thread.
PortHandle ActivePort();
void SetActivePort(PortHandle holder);

}  // namespace modem
