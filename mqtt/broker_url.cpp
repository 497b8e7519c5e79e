#include "mqtt/broker_url.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>

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

// A host name's or IPv4 address's bytes; an IPv6 address's between its brackets.
bool ValidHost(std::string_view host, bool bracketed) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [bracketed](char c) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return alnum || c == '-' || c == '.' || c == '_' || (bracketed && (c == ':' || c == '%'));
  });
}

}  // namespace

std::string MaskedBrokerUrl(std::string_view text) {
  const std::size_t scheme = text.find("://");
  const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
  const std::size_t end = std::min(text.find('/', start), text.size());
  const std::size_t at = text.substr(0, end).rfind('@');
  if (at == std::string_view::npos || at < start) return std::string(text);
  const std::size_t colon = text.find(':', start);
  if (colon >= at) return std::string(text);
  return std::string(text.substr(0, colon + 1)) + "***" + std::string(text.substr(at));
}

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
  // No query or fragment: a broker address has neither, and they would end up in the prefix.
  if (text.find_first_of("?#") != std::string_view::npos) return std::nullopt;
  const std::size_t slash = text.find('/');
  std::string_view authority = text.substr(0, slash);
  std::string_view path = slash == std::string_view::npos ? std::string_view{} : text.substr(slash + 1);

  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view login = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    const std::size_t colon = login.find(':');
    const auto user = PercentDecoded(login.substr(0, colon));
    // The client library takes C strings: a NUL would cut the login short.
    if (!user || user->empty() || user->find('\0') != std::string::npos) return std::nullopt;
    url.user = *user;
    if (colon != std::string_view::npos) {
      url.password = PercentDecoded(login.substr(colon + 1));
      if (!url.password || url.password->find('\0') != std::string::npos) return std::nullopt;
    }
  }

  std::string_view portText;
  const bool bracketed = authority.starts_with('[');
  if (bracketed) {  // an IPv6 address
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
  if (!ValidHost(url.host, bracketed)) return std::nullopt;
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
  // Non-blocking, so that a FIFO named as the file does not hold the start.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::string text;
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxPasswordFile;
  if (ok) {
    text.resize(static_cast<std::size_t>(kMaxPasswordFile) + 1);
    const ssize_t n = ::read(fd, text.data(), text.size());
    ok = n >= 0 && n <= kMaxPasswordFile;  // a file that grew meanwhile is refused too
    text.resize(ok ? static_cast<std::size_t>(n) : 0);
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  std::string line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace mqtt
