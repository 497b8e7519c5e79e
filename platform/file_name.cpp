#include "platform/file_name.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/text_encoding.h"

namespace platform {

std::string FileNameText(std::string_view name) { return Utf8ToCp1251(name); }

std::string NumberedName(std::string_view name, int k) {
  const std::size_t slash = name.find_last_of('/');
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash) || dot == slash + 1 ||
      dot == 0) {
    dot = name.size();
  }
  std::string numbered(name.substr(0, dot));
  numbered += '-';
  numbered += std::to_string(k);
  numbered += name.substr(dot);
  return numbered;
}

NewFile CreateNewFile(const std::string& name) {
  NewFile created;
  for (int k = 1; k <= 999; ++k) {
    std::string candidate = k == 1 ? name : NumberedName(name, k);
    int fd;
    do {
      fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      created.fd = fd;
      created.name = std::move(candidate);
      return created;
    }
    created.error = errno;
    if (created.error != EEXIST) return created;
  }
  return created;
}

}  // namespace platform
