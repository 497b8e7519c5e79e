#include "mqtt/broker_url.h"

#include <charconv>
#include <fstream>

namespace mqtt {
namespace {

std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
    if (error != std::errc{} || end != text.data() + i + 3) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

}  // namespace

std::optional<BrokerUrl> ParseBrokerUrl(std::string_view text) {
  BrokerUrl url;
  if (text.starts_with("mqtt://")) {
    text.remove_prefix(7);
  } else if (text.starts_with("mqtts://")) {
    text.remove_prefix(8);
    url.tls = true;
    url.port = 8883;
  } else {
    return std::nullopt;
  }
  const std::size_t slash = text.find('/');
  std::string_view authority = text.substr(0, slash);
  std::string_view path = slash == std::string_view::npos ? std::string_view{} : text.substr(slash + 1);

  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view login = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    const std::size_t colon = login.find(':');
    const auto user = PercentDecoded(login.substr(0, colon));
    if (!user || user->empty()) return std::nullopt;
    url.user = *user;
    if (colon != std::string_view::npos) {
      url.password = PercentDecoded(login.substr(colon + 1));
      if (!url.password) return std::nullopt;
    }
  }

  std::string_view portText;
  if (authority.starts_with('[')) {  // an IPv6 address
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    url.host = std::string(authority.substr(1, close - 1));
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return std::nullopt;
      portText = rest.substr(1);
      if (portText.empty()) return std::nullopt;
    }
  } else {
    const std::size_t colon = authority.find(':');
    url.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = authority.substr(colon + 1);
      if (portText.empty()) return std::nullopt;
    }
  }
  if (url.host.empty() || url.host.find_first_of(" \t\r\n") != std::string::npos) return std::nullopt;
  if (!portText.empty()) {
    int port = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (error != std::errc{} || end != portText.data() + portText.size() || port < 1 || port > 65535) {
      return std::nullopt;
    }
    url.port = port;
  }

  while (path.ends_with('/')) path.remove_suffix(1);
  if (!path.empty()) {
    if (path.find_first_of("+#") != std::string_view::npos || path.find('\0') != std::string_view::npos ||
        path.find("//") != std::string_view::npos || path.size() > 200) {
      return std::nullopt;
    }
    url.prefix = std::string(path);
  }
  return url;
}

std::string TopicLevel(std::string_view text) {
  std::string level;
  for (const char c : text.substr(0, 64)) {
    const bool keep =
        (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '.';
    level += keep ? c : '_';
  }
  // "." and ".." are folder names with a meaning of their own where a collector files a site.
  if (level.empty() || level.find_first_not_of('.') == std::string::npos) return "unknown";
  return level;
}

std::optional<std::string> ReadPasswordFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  if (in.bad()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace mqtt
