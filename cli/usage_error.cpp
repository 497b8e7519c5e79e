#include "cli/usage_error.h"

#include <algorithm>
#include <string_view>

namespace cli {
namespace {

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

bool Ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// What comes after the first ": ", or the whole text.
std::string_view After(std::string_view text, std::string_view separator = ": ") {
  const std::size_t at = text.find(separator);
  return at == std::string_view::npos ? text : text.substr(at + separator.size());
}

// A check's message about a value: our own checks speak Russian already; CLI11's are put into it.
std::string ValueText(std::string_view message) {
  if (!Ascii(message)) return std::string(message);
  if (StartsWith(message, "File does not exist: ")) return "файл не существует: " + std::string(After(message));
  if (StartsWith(message, "Directory does not exist: ")) return "папка не существует: " + std::string(After(message));
  if (StartsWith(message, "Path does not exist: ")) return "путь не существует: " + std::string(After(message));
  if (const std::size_t at = message.find(" not in range "); at != std::string_view::npos) {
    std::string_view value = message.substr(0, at);
    if (StartsWith(value, "Value ")) value.remove_prefix(6);
    std::string range(message.substr(at + 14));
    if (const std::size_t to = range.find(" to "); to != std::string::npos) range.replace(to, 4, "..");
    return "значение " + std::string(value) + " вне диапазона " + range;
  }
  if (const std::size_t at = message.find(" not in "); at != std::string_view::npos) {
    return "недопустимое значение " + std::string(message.substr(0, at)) +
           ", допустимы: " + std::string(message.substr(at + 8));
  }
  return "недопустимое значение";
}

}  // namespace

std::string UsageErrorText(const CLI::ParseError& error) {
  const std::string_view text = error.what();
  if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
    const std::size_t colon = text.find(": ");
    if (colon == std::string_view::npos) return ValueText(text);
    return std::string(text.substr(0, colon)) + ": " + ValueText(text.substr(colon + 2));
  }
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    if (text.find("subcommand") != std::string_view::npos) {
      return "Не указана команда: monitor, collect, report, dump или export";
    }
    if (const std::size_t at = text.find(" is required");
        at != std::string_view::npos && !StartsWith(text, "Exactly")) {
      return "Не указан параметр " + std::string(text.substr(0, at));
    }
    return "Не указаны нужные параметры";
  }
  if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr) {
    const std::size_t at = text.find(" excludes ");
    if (at != std::string_view::npos) {
      return "Параметры " + std::string(text.substr(0, at)) + " и " + std::string(text.substr(at + 10)) +
             " несовместимы";
    }
  }
  if (dynamic_cast<const CLI::RequiresError*>(&error) != nullptr) {
    const std::size_t at = text.find(" requires ");
    if (at != std::string_view::npos) {
      return "Параметр " + std::string(text.substr(0, at)) + " требует " + std::string(text.substr(at + 10));
    }
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) return "Лишние аргументы: " + std::string(After(text));
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    return "Неверное число значений параметра " + std::string(text.substr(0, text.find(": ")));
  }
  if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
    const std::string_view what = After(text);
    const std::size_t equals = what.find(" = ");
    if (equals != std::string_view::npos) {
      return "Неверное значение параметра " + std::string(what.substr(0, equals)) + ": " +
             std::string(what.substr(equals + 3));
    }
  }
  return "Неверная командная строка";
}

}  // namespace cli
