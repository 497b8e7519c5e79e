#pragma once
// A file opened for reading, closed when the object goes; fd() is -1 when the open failed.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace platform {

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path) {
    do {
      fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace platform
