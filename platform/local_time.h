#pragma once
// The local date and time, in the fields the log writer needs.

namespace platform {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The current local time (the machine's time zone).
LocalTime CaptureLocalTime();

}  // namespace platform
