#include "export/output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "platform/file_name.h"
#include "platform/text_encoding.h"

namespace gsmexport {
namespace {

using namespace platform::literals;

std::string ExistsMessage(const std::string& outName) {
  return std::string("Файл "_cp1251) + platform::FileNameText(outName) + std::string(" уже существует"_cp1251);
}

std::string NotRegularMessage(const std::string& outName) {
  return std::string("Невозможно записать файл "_cp1251) + platform::FileNameText(outName) +
         std::string(": это не обычный файл"_cp1251);
}

// The folder part of a file name, with its slash ("" for a name in the current folder).
std::string FolderOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

std::string BaseOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

}  // namespace

std::string CannotCreateMessage(const std::string& outName) {
  return std::string("Невозможно создать файл "_cp1251) + platform::FileNameText(outName);
}

std::string CannotWriteMessage(const std::string& outName) {
  return std::string("Невозможно записать файл "_cp1251) + platform::FileNameText(outName);
}

std::optional<OutputFile> OutputFile::Prepare(const std::string& outName, const std::string& logName, bool overwrite,
                                              std::string& error) {
  struct stat out {};
  // lstat: a link named as the output is not followed, neither to a device nor to another file.
  if (::lstat(outName.c_str(), &out) == 0) {
    if (!S_ISREG(out.st_mode)) {
      error = NotRegularMessage(outName);
      return std::nullopt;
    }
    struct stat log {};
    const bool isLog = ::stat(logName.c_str(), &log) == 0 && log.st_dev == out.st_dev && log.st_ino == out.st_ino;
    if (!overwrite || isLog) {
      error = ExistsMessage(outName);
      return std::nullopt;
    }
  } else if (errno != ENOENT || outName.empty() || outName.back() == '/') {
    error = CannotCreateMessage(outName);
    return std::nullopt;
  }
  // Beside the output, so that the finished file is renamed into place on the same file system.
  std::string pattern = FolderOf(outName) + "." + BaseOf(outName) + ".export-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) {
    error = CannotCreateMessage(outName);
    return std::nullopt;
  }
  return OutputFile(outName, std::string(buffer.data()), overwrite);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : outName_(std::move(other.outName_)), folder_(std::move(other.folder_)), overwrite_(other.overwrite_) {
  other.folder_.clear();
}

OutputFile::~OutputFile() {
  if (folder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);  // the export's own folder: everything in it is its own
}

std::string OutputFile::Work(const std::string& extension) const { return folder_ + "/cycles." + extension; }

bool OutputFile::Commit(const std::string& workFile, std::string& error) {
  if (!SyncFile(workFile)) {
    error = CannotWriteMessage(outName_);
    return false;
  }
  // Whatever appeared at the name meanwhile is checked again: only a regular file is replaced,
  // and only when asked to.
  struct stat out {};
  const bool exists = ::lstat(outName_.c_str(), &out) == 0;
  if (exists && !S_ISREG(out.st_mode)) {
    error = NotRegularMessage(outName_);
    return false;
  }
  if (exists && !overwrite_) {
    error = ExistsMessage(outName_);
    return false;
  }
  int moved = overwrite_ ? ::rename(workFile.c_str(), outName_.c_str())
                         : ::renameat2(AT_FDCWD, workFile.c_str(), AT_FDCWD, outName_.c_str(), RENAME_NOREPLACE);
  // A file system without the no-replace rename: the name was found free just above.
  if (moved != 0 && errno == EINVAL && !overwrite_) moved = ::rename(workFile.c_str(), outName_.c_str());
  if (moved != 0) {
    error = errno == EEXIST ? ExistsMessage(outName_) : CannotWriteMessage(outName_);
    return false;
  }
  return true;
}

}  // namespace gsmexport
