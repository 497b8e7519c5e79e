#include "platform/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

void GuardStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is taken, and every lower one is open by now: this is fd itself.
    const int placeholder = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (placeholder >= 0 && placeholder != fd) {
      ::dup2(placeholder, fd);
      ::close(placeholder);
    }
  }
}

}  // namespace platform
