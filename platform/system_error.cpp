#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace platform {

SystemError DecodeSystemError(int error) {
  switch (error) {
    case 0:
      return {};
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return {ErrorReason::notFound, error};
    case EACCES:
    case EPERM:
    case EROFS:
      return {ErrorReason::noPermission, error};
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      return {ErrorReason::busy, error};
    case ENOTTY:
    case EISDIR:
      return {ErrorReason::wrongType, error};
    default:
      return {ErrorReason::other, error};
  }
}

std::string_view ErrnoName(int error) {
  const char* name = ::strerrorname_np(error);
  return name != nullptr ? std::string_view(name) : std::string_view();
}

}  // namespace platform
