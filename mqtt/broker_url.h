#pragma once
// Where a broker is and how to log in: "mqtt://[user[:password]@]host[:port][/prefix]", or
// "mqtts://" for TLS. The path is the topic prefix every site's topics go under.

#include <optional>
#include <string>
#include <string_view>

namespace mqtt {

inline constexpr std::string_view kDefaultPrefix = "ostrin-gsmmon";

struct BrokerUrl {
  bool tls = false;
  std::string host;
  int port = 1883;  // 8883 for mqtts:// unless given
  std::string user;
  std::optional<std::string> password;
  std::string prefix{kDefaultPrefix};  // without leading or trailing '/'
};

// Nothing for a text that is no such address (a missing host, a port out of range, a prefix
// with the wildcards '+' or '#', a bad percent escape). User and password may be percent-encoded.
std::optional<BrokerUrl> ParseBrokerUrl(std::string_view text);

// A topic level made from a text that may carry anything (an IMEI as the modem answered):
// letters, digits, '-', '_' and '.' stay, every other byte becomes '_'; "unknown" when empty.
std::string TopicLevel(std::string_view text);

// The first line of a file, its line end removed; nothing when it cannot be read.
std::optional<std::string> ReadPasswordFile(const std::string& path);

}  // namespace mqtt
