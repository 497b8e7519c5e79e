#include "ui/port_list.h"

#include <algorithm>

#include "platform/serial_device.h"

namespace ui {

std::vector<std::string> PortNames(const std::vector<std::string>& devices) {
  std::vector<std::string> names;
  for (int n = 1; n <= 16; ++n) names.push_back("COM" + std::to_string(n));
  for (const auto& device : devices) {
    if (!device.empty() && std::find(names.begin(), names.end(), device) == names.end()) names.push_back(device);
  }
  return names;
}

std::vector<std::string> AvailablePortNames() { return PortNames(platform::ListSerialDevices()); }

}  // namespace ui
