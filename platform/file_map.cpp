#include "platform/file_map.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/read_only_file.h"

namespace platform {

namespace {

// Reads until the end of the file; the buffer is left uninitialised so a large file is written once.
bool ReadToEnd(int fd, std::size_t sizeHint, std::unique_ptr<std::uint8_t[]>& buffer, std::size_t& used) {
  std::size_t capacity = sizeHint > 0 ? sizeHint + 1 : 4096;
  buffer.reset(new std::uint8_t[capacity]);
  used = 0;
  for (;;) {
    if (used == capacity) {
      std::unique_ptr<std::uint8_t[]> bigger(new std::uint8_t[capacity * 2]);
      std::copy(buffer.get(), buffer.get() + used, bigger.get());
      buffer = std::move(bigger);
      capacity *= 2;
    }
    const ssize_t got = ::read(fd, buffer.get() + used, capacity - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    used += static_cast<std::size_t>(got);
  }
}

}  // namespace

FileMap::~FileMap() { Close(); }

void FileMap::Close() {
  if (mapping_) ::munmap(mapping_, size_);
  mapping_ = nullptr;
  buffer_.reset();
  data_ = nullptr;
  size_ = 0;
}

FileMap::Status FileMap::Open(const std::string& path, FileReadMode mode) {
  Close();
  const ReadOnlyFile file(path);
  if (file.IsFolder()) return Status::readFailed;
  if (file.Fd() < 0) return Status::openFailed;
  struct stat info {};
  if (::fstat(file.Fd(), &info) != 0) return Status::readFailed;
  const auto fileSize = static_cast<std::size_t>(info.st_size);

  if (mode == FileReadMode::map) {
    if (fileSize == 0) return Status::readFailed;
    void* view = ::mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE, file.Fd(), 0);
    if (view == MAP_FAILED) return Status::readFailed;
    ::madvise(view, fileSize, MADV_SEQUENTIAL);
    mapping_ = view;
    data_ = static_cast<const std::uint8_t*>(view);
    size_ = fileSize;
    return Status::ok;
  }

  std::size_t used = 0;
  if (!ReadToEnd(file.Fd(), fileSize, buffer_, used) || used == 0) {
    buffer_.reset();
    return Status::readFailed;
  }
  data_ = buffer_.get();
  size_ = used;
  return Status::ok;
}

}  // namespace platform
