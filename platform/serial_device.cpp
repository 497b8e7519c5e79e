#include "platform/serial_device.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {

namespace {

// The port number of "COMn" (1..255, written without leading zeros), or 0 when the name is not
// of that form: "COM0", "COM-1" or "COM256" are no COM names.
int ComNumber(std::string_view name) {
  if (name.size() < 4 || name.substr(0, 3) != "COM") return 0;
  const std::string_view digits = name.substr(3);
  if (digits.size() > 3 || digits.front() == '0') return 0;
  int number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number <= 255 ? number : 0;
}

std::vector<std::string> EntriesOf(const std::filesystem::path& folder, std::string_view prefix) {
  std::vector<std::string> found;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with(prefix)) found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

std::string ResolvePortName(std::string_view portName) {
  const int number = ComNumber(portName);
  if (number == 0) return std::string(portName);
  if (const char* folder = std::getenv(kComDirVariable); folder != nullptr && *folder != '\0') {
    const std::filesystem::path entry = std::filesystem::path(folder) / portName;
    std::error_code error;
    // A dangling link still names the port: opening it then fails, as an absent port should.
    if (std::filesystem::is_symlink(entry, error) || std::filesystem::exists(entry, error)) return entry.string();
  }
  return "/dev/ttyS" + std::to_string(number - 1);
}

std::vector<std::string> ListSerialDevices() {
  std::vector<std::string> devices = EntriesOf("/dev/serial/by-id", "");
  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    const auto group = EntriesOf("/dev", prefix);
    devices.insert(devices.end(), group.begin(), group.end());
  }
  return devices;
}

}  // namespace platform
