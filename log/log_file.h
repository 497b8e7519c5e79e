#pragma once
// Where the bytes of a log go: a file, a device or a pipe the user named (DescriptorLogFile), or
// memory in tests. The writer appends a poll cycle's records in one call and syncs after its seal.

#include <cstddef>
#include <cstdint>

#include "platform/system_error.h"

namespace gsmlog {

class LogFile {
 public:
  virtual ~LogFile() = default;
  // Appends all n bytes; the cause when they could not all be written.
  virtual platform::SystemError Append(const std::uint8_t* bytes, std::size_t n) = 0;
  // Makes everything appended so far survive a crash; the cause when that failed.
  virtual platform::SystemError Sync() = 0;
};

// A log on an open, writable descriptor, which it closes. A pipe or a device that does not take
// its bytes within half a second fails the append, so a stop never waits on a reader that stopped
// reading; a descriptor that cannot sync (a pipe, a device) syncs as a matter of course.
class DescriptorLogFile final : public LogFile {
 public:
  explicit DescriptorLogFile(int fd) : fd_(fd) {}
  DescriptorLogFile(const DescriptorLogFile&) = delete;
  DescriptorLogFile& operator=(const DescriptorLogFile&) = delete;
  ~DescriptorLogFile() override;

  platform::SystemError Append(const std::uint8_t* bytes, std::size_t n) override;
  platform::SystemError Sync() override;

 private:
  int fd_;
};

}  // namespace gsmlog
