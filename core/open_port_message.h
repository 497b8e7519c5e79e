#pragma once
// The message shown when the port does not open.

#include <string>

#include "platform/system_error.h"

namespace core {

// "Невозможно открыть порт " + portName and, on a second line, why, in words the user can act
// on (no such device, no permission and how to get it, in use by another program, not a serial
// port). Windows-1251; portName as the user chose it.
std::string OpenPortMessage(const std::string& portName, const platform::SystemError& error);

}  // namespace core
