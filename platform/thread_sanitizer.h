#pragma once

// GSMMON_THREAD_SANITIZER is defined in a ThreadSanitizer build, whichever compiler made it: the
// few places that tell the sanitizer what it cannot see for itself test this one name.

#if defined(__SANITIZE_THREAD__)
#define GSMMON_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define GSMMON_THREAD_SANITIZER 1
#endif
#endif
