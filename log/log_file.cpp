#include "log/log_file.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace gsmlog {

namespace {

// How long one append may wait for a pipe or a device named as the log to take its bytes.
constexpr auto kWriteWait = std::chrono::milliseconds(500);

platform::SystemError Cause(int error) { return {platform::ErrorReason::other, error}; }

}  // namespace

DescriptorLogFile::~DescriptorLogFile() {
  if (fd_ >= 0) ::close(fd_);
}

platform::SystemError DescriptorLogFile::Append(const std::uint8_t* bytes, std::size_t n) {
  const auto deadline = std::chrono::steady_clock::now() + kWriteWait;
  while (n > 0) {
    const ssize_t written = ::write(fd_, bytes, n);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return Cause(EAGAIN);
      pollfd entry{fd_, POLLOUT, 0};
      (void)::poll(&entry, 1, static_cast<int>(left));
      continue;
    }
    if (written < 0) return Cause(errno);
    if (written == 0) return Cause(0);  // nothing taken, and no reason given
    bytes += written;
    n -= static_cast<std::size_t>(written);
  }
  return {};
}

platform::SystemError DescriptorLogFile::Sync() {
  // Character devices and pipes cannot sync (EINVAL); that loses nothing already written.
  if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) return Cause(errno);
  return {};
}

}  // namespace gsmlog
