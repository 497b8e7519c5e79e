#pragma once
// The gpsd client: a thread of its own connects to gpsd, watches its reports and keeps the latest
// fix in a LatestFix; it reconnects every second while gpsd does not answer. Nothing here ever
// makes the caller wait for gpsd.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "gps/gps_fix.h"

namespace gps {

struct GpsdAddress {
  std::string host = "localhost";
  std::string port = "2947";
};

// What keeps a text from being a gpsd address.
enum class GpsdAddressFault {
  none,
  noHost,           // empty, or a port alone
  hostCharacter,    // a blank, a control character, '[', ']' or '/' in the host
  bareIpv6,         // an IPv6 address with a port but without its brackets
  unclosedBracket,  // "[::1" without "]"
  afterBracket,     // something other than ":PORT" after "]"
  noPort,           // a ':' with nothing after it
  portNotNumber,
  portOutOfRange,  // not 1..65535
};

// "HOST:PORT", "[IPv6]:PORT" or "HOST" (port 2947); the port 1..65535. Nothing for any other text,
// and then, when fault is given, why.
std::optional<GpsdAddress> ParseGpsdAddress(std::string_view text, GpsdAddressFault* fault = nullptr);
// "localhost:2947", "[::1]:2947".
std::string FormatGpsdAddress(const GpsdAddress& address);

class GpsdClient {
 public:
  // Told on the client's thread whether gpsd answers: after the first attempt and at each change.
  using LinkCallback = std::function<void(bool linked)>;

  // Starts the thread. latest receives every report; onLink may be empty.
  GpsdClient(GpsdAddress address, std::shared_ptr<LatestFix> latest, LinkCallback onLink = {});
  // Stop().
  ~GpsdClient();
  GpsdClient(const GpsdClient&) = delete;
  GpsdClient& operator=(const GpsdClient&) = delete;

  // Asks the thread to end and returns at once; the thread closes its connection within about half a
  // second (a connection attempt still under way ends first).
  void Stop();

  const GpsdAddress& Address() const { return address_; }

  // What the thread uses, owned jointly with it.
  struct Shared;

 private:
  GpsdAddress address_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace gps
