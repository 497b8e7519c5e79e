#pragma once
// A whole file as read-only bytes in memory: mapped, or read in one go. The bytes stay valid
// until the object is destroyed or opened again.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class FileReadMode {
  map,   // mmap of a regular file
  read,  // one read into memory: immune to the file being cut while it is in use
};

class FileMap {
 public:
  enum class Status {
    ok,
    openFailed,  // missing, no access, or not a regular file (a FIFO, a device)
    readFailed,  // empty, a folder, or an I/O error
  };

  FileMap() = default;
  FileMap(const FileMap&) = delete;
  FileMap& operator=(const FileMap&) = delete;
  ~FileMap();

  Status Open(const std::string& path, FileReadMode mode = FileReadMode::read);
  void Close();

  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  void* mapping_ = nullptr;
  std::unique_ptr<std::uint8_t[]> buffer_;
};

}  // namespace platform
