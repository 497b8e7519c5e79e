#pragma once
// Fuzz harness of the line reader and the token waits: the input (after one control byte) is the
// byte stream a modem sends, queued in a pipe that the port takes as its device (a pipe holds
// the whole stream before reading starts, a terminal would not), read with a zero time-out so
// that the end of the stream costs nothing. The control byte picks the match mode and whether
// the port keeps its trace.

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "modem/com_port.h"

namespace fuzzing {

// Inputs above this are cut: the stream must fit in the pipe before reading starts.
inline constexpr std::size_t kMaxStream = 60000;

inline void CheckLine(const std::string& line) {
  for (const char c : line) FUZZ_CHECK(c != '\r' && c != '\n' && c != '\0');
}

inline void RunLineReader(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::uint8_t control = data[0];
  const char* stream = reinterpret_cast<const char*>(data + 1);
  const std::size_t length = std::min(size - 1, kMaxStream);

  int pipeFds[2];
  FUZZ_CHECK(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) == 0);
  (void)::fcntl(pipeFds[1], F_SETPIPE_SZ, 1 << 16);
  for (std::size_t done = 0; done < length;) {
    const ssize_t n = ::write(pipeFds[1], stream + done, length - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<std::size_t>(n);
  }

  static constexpr std::array<modem::MatchMode, 6> kModes = {modem::MatchMode::wholeLine, modem::MatchMode::anywhere,
                                                             modem::MatchPrefix(1),       modem::MatchPrefix(2),
                                                             modem::MatchPrefix(5),       modem::MatchMode{-2}};
  const modem::MatchMode matchMode = kModes[(control >> 1) % kModes.size()];
  const bool trace = (control & 1) != 0;

  modem::PortHandle port;
  FUZZ_CHECK(modem::AttachPort(port, pipeFds[0], 0, trace));
  const std::vector<std::string> tokens = {"OK", "ERROR", "Serving Cell", "chann", ""};

  // Each line or wait takes at least one byte, so the stream bounds the loop; a spare round sees
  // the end of the stream.
  std::size_t rounds = 0;
  std::string line;
  for (bool more = true; more && rounds <= length + 1; ++rounds) {
    if (control & 0x80) {
      int index = -2;
      more = modem::WaitForAnyToken(port, tokens, matchMode, line, index);
      CheckLine(line);
      if (more) {
        FUZZ_CHECK(index >= 0 && index < static_cast<int>(tokens.size()));
        FUZZ_CHECK(modem::TokenMatches(line, tokens[static_cast<std::size_t>(index)], matchMode));
      } else {
        FUZZ_CHECK(index == -1);
      }
    } else {
      const modem::TransferStatus status = modem::ReadLine(port, line);
      FUZZ_CHECK(status == modem::TransferStatus::done || status == modem::TransferStatus::timeout ||
                 status == modem::TransferStatus::failed);
      CheckLine(line);
      FUZZ_CHECK(line.size() <= length);
      more = status == modem::TransferStatus::done;
    }
  }
  FUZZ_CHECK(rounds <= length + 2);

  if (const auto info = modem::TraceOf(port); info) {
    FUZZ_CHECK(trace);
    FUZZ_CHECK(info->count >= 0 && info->count <= 20);
    for (int i = 0; i < info->count; ++i) FUZZ_CHECK(info->lines[static_cast<std::size_t>(i)].starts_with("RECV \""));
  } else {
    FUZZ_CHECK(!trace);
  }
  FUZZ_CHECK(modem::ClosePort(port));
  FUZZ_CHECK(port.Fd() == -1);
  ::close(pipeFds[1]);
}

}  // namespace fuzzing
