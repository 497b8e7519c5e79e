#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(SystemError, ErrnoValuesSortIntoReasons) {
  using platform::ErrorReason;
  struct Case {
    int error;
    ErrorReason reason;
  };
  const Case cases[] = {
      {0, ErrorReason::none},         {ENOENT, ErrorReason::notFound},     {ENODEV, ErrorReason::notFound},
      {ENXIO, ErrorReason::notFound}, {EACCES, ErrorReason::noPermission}, {EPERM, ErrorReason::noPermission},
      {EBUSY, ErrorReason::busy},     {EWOULDBLOCK, ErrorReason::busy},    {ENOTTY, ErrorReason::wrongType},
      {EIO, ErrorReason::other},      {EMFILE, ErrorReason::other},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    const platform::SystemError decoded = platform::DecodeSystemError(c.error);
    EXPECT_EQ(decoded.reason, c.reason);
    EXPECT_EQ(decoded.code, c.error);
    EXPECT_EQ(decoded.Failed(), c.reason != ErrorReason::none);
  }
  EXPECT_EQ(platform::ErrnoName(EIO), "EIO");
  EXPECT_EQ(platform::ErrnoName(-12345), "");
}
