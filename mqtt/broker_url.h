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

// Nothing for a text that is no such address (a missing host or one with bytes no host name
// has, a query or fragment, a port out of range, a prefix with the wildcards '+' or '#', a bad
// percent escape, a user or password with a NUL byte). User and password may be percent-encoded.
std::optional<BrokerUrl> ParseBrokerUrl(std::string_view text);

// The text of an address as it may be shown: a password in it, whatever else is wrong with the
// text, is replaced by "***".
std::string MaskedBrokerUrl(std::string_view text);

// A topic level made from a text that may carry anything (an IMEI as the modem answered):
// letters, digits, '-', '_' and '.' stay, every other byte becomes '_'; "unknown" when empty.
std::string TopicLevel(std::string_view text);

// The first line of a file, its line end removed; nothing when it cannot be read or is no small
// regular file (a device, a FIFO or anything over kMaxPasswordFile bytes is not read).
inline constexpr long kMaxPasswordFile = 4096;
std::optional<std::string> ReadPasswordFile(const std::string& path);

}  // namespace mqtt
