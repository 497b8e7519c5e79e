#pragma once
// A file opened for reading, closed when the object goes. The open never blocks (a FIFO without a
// writer, a device), and only a regular file is taken: Fd() is -1 for anything else.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/system_error.h"

namespace platform {

class ReadOnlyFile {
 public:
  enum class Status {
    ok,          // a regular file, open
    openFailed,  // missing, no access, or not a regular file (a FIFO, a device, a socket)
    folder,      // a folder
  };

  explicit ReadOnlyFile(const std::string& path) {
    do {
      fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
      error_ = DecodeSystemError(errno);
      return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
      status_ = Status::ok;
      return;
    }
    status_ = ::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode) ? Status::folder : Status::openFailed;
    error_ = CheckFailed(ErrorReason::wrongType);
    ::close(fd_);
    fd_ = -1;
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  // A folder was named (Fd() is -1): reading it is what fails, not opening it.
  bool IsFolder() const { return status_ == Status::folder; }
  int Fd() const { return fd_; }
  // Why Fd() is -1: the errno of the open, or wrongType for a file that is no regular file.
  SystemError Error() const { return error_; }

 private:
  int fd_ = -1;
  Status status_ = Status::openFailed;
  SystemError error_;
};

}  // namespace platform
