#pragma once
// Serial port names: "COMn" as the window offers it, resolved to a device path on this machine.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Environment variable naming a folder whose entries COM1, COM2, ... (symbolic links) stand for
// the COM ports; such an entry takes precedence over the default device.
inline constexpr const char* kComDirVariable = "OSTRIN_GSMMON_COMDIR";

// "COMn" (n = 1..255) gives $OSTRIN_GSMMON_COMDIR/COMn when that entry exists, otherwise
// /dev/ttyS{n-1}. Any other name (a path such as /dev/ttyUSB0) is returned unchanged.
std::string ResolvePortName(std::string_view portName);

// The serial devices present, for the port list: /dev/serial/by-id/* first, then /dev/ttyUSB*
// and /dev/ttyACM*, each group sorted by name. Empty when there are none.
std::vector<std::string> ListSerialDevices();

}  // namespace platform
