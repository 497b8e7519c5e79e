#include "core/open_port_message.h"

#include "platform/serial_device.h"
#include "platform/text_encoding.h"

namespace core {

using namespace platform::literals;

namespace {

std::string Reason(const std::string& portName, const platform::SystemError& error) {
  using platform::ErrorReason;
  switch (error.reason) {
    case ErrorReason::none:
      return {};
    case ErrorReason::notFound: {
      // "COM3" stands for a device path here; the path is what the user looks for.
      std::string text("Нет такого устройства"_cp1251);
      const std::string path = platform::ResolvePortName(portName);
      if (path != portName) text += " (" + path + ")";
      return text;
    }
    case ErrorReason::noPermission:
      return std::string(
          "Нет прав на доступ к порту: добавьте пользователя в группу dialout и войдите в систему заново"_cp1251);
    case ErrorReason::busy:
      return std::string("Порт занят другой программой (например, ModemManager)"_cp1251);
    case ErrorReason::wrongType:
      return std::string("Это не последовательный порт"_cp1251);
    case ErrorReason::other:
      break;
  }
  std::string text = std::string("Системная ошибка "_cp1251) + std::to_string(error.code);
  if (const std::string_view name = platform::ErrnoName(error.code); !name.empty()) {
    text += " (" + std::string(name) + ")";
  }
  return text;
}

}  // namespace

std::string OpenPortMessage(const std::string& portName, const platform::SystemError& error) {
  std::string message = std::string("Невозможно открыть порт "_cp1251) + portName;
  if (const std::string reason = Reason(portName, error); !reason.empty()) message += "\n" + reason;
  return message;
}

}  // namespace core
