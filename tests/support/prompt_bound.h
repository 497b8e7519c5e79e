#pragma once

// The bound a test gives a promise of "promptly" (a stop within 2 s, a refusal within 2 s): the
// promise itself in the release build, three times it in the sanitized builds, whose instrumented
// code runs several times slower and which CI runs two at a time on two cores. A hang still fails
// there; a slow machine does not.

#include <chrono>

namespace testsupport {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr int kSanitizerSlowdown = 3;
#else
inline constexpr int kSanitizerSlowdown = 1;
#endif

constexpr std::chrono::milliseconds Promptly(std::chrono::milliseconds promised) {
  return promised * kSanitizerSlowdown;
}

}  // namespace testsupport
