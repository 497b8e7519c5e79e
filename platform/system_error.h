#pragma once
// A failure that keeps its cause: the errno of the system call that failed, sorted into the few
// reasons a user can act on. Messages are made from it where they are shown.

#include <string_view>

namespace platform {

enum class ErrorReason {
  none,
  notFound,      // no such file or device (ENOENT, ENODEV, ENXIO, ENOTDIR)
  noPermission,  // the user may not use it (EACCES, EPERM, EROFS)
  busy,          // in use by another program (EBUSY, ETXTBSY, a lock held elsewhere: EWOULDBLOCK)
  wrongType,     // it exists, but is not the kind of file asked for (a regular file named as a port)
  other,         // any other system error: see code
};

struct SystemError {
  ErrorReason reason = ErrorReason::none;
  int code = 0;  // the errno; 0 when a check of ours, not a system call, failed
  bool Failed() const { return reason != ErrorReason::none; }
};

// The reason for an errno value of a failed open, lock or terminal call; 0 gives none.
SystemError DecodeSystemError(int error);

// A failure found by a check of ours rather than by a system call.
constexpr SystemError CheckFailed(ErrorReason reason) { return {reason, 0}; }

// The errno's symbolic name ("EIO"), or "" for an unknown value: for messages that must name an
// unusual cause without the C library's English text.
std::string_view ErrnoName(int error);

}  // namespace platform
