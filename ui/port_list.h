#pragma once
// The entries of the port list: "COM1" ... "COM16", then the serial devices found on the machine.

#include <string>
#include <vector>

namespace ui {

// COM1..COM16 followed by devices in their order, without repeating an entry.
std::vector<std::string> PortNames(const std::vector<std::string>& devices);

// PortNames of the serial devices this machine has now.
std::vector<std::string> AvailablePortNames();

}  // namespace ui
