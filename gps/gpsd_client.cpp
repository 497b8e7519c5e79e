#include "gps/gpsd_client.h"

#include <gps.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <thread>

namespace gps {

struct GpsdClient::Shared {
  GpsdAddress address;
  std::shared_ptr<LatestFix> latest;
  LinkCallback onLink;
  std::atomic<bool> stop{false};
};

namespace {

using namespace std::chrono_literals;

constexpr int kWaitMicroseconds = 500'000;
constexpr auto kRetryPause = 1s;

// Sleeps up to pause, in short steps so that a stop is seen soon.
void Pause(const std::atomic<bool>& stop, std::chrono::milliseconds pause) {
  for (auto slept = 0ms; slept < pause && !stop.load(); slept += 100ms) std::this_thread::sleep_for(100ms);
}

Fix FixOf(const gps_fix_t& reported) {
  Fix fix;
  fix.mode = reported.mode;
  fix.latitude = reported.latitude;
  fix.longitude = reported.longitude;
  fix.altitude = reported.mode == MODE_3D ? reported.altMSL : NAN;
  fix.horizontalError = reported.eph;
  // A time no receiver reports makes the whole report unusable, like one without a fix.
  const auto time = FixTimeOf(static_cast<std::int64_t>(reported.time.tv_sec), reported.time.tv_nsec);
  if (time) fix.time = *time;
  if (!time) fix.mode = MODE_NO_FIX;
  return fix;
}

// Reads gpsd's reports on an open connection until gpsd goes away or a stop is asked for.
void Watch(GpsdClient::Shared& shared, gps_data_t& data) {
  while (!shared.stop.load()) {
    errno = 0;
    if (!gps_waiting(&data, kWaitMicroseconds)) {
      if (errno != 0 && errno != EINTR && errno != EAGAIN) return;
      continue;
    }
    data.set = 0;
    if (gps_read(&data, nullptr, 0) < 0) return;
    // Only a TPV report carries the fix mode; other reports (sky view, devices) leave it unset.
    if (data.set & MODE_SET) shared.latest->Report(FixOf(data.fix), LatestFix::Clock::now());
    // Only a sky report counts satellites (gpsd sends one when the receiver lists them).
    if (data.set & SATELLITE_SET)
      shared.latest->ReportSky(data.satellites_used, data.satellites_visible, LatestFix::Clock::now());
  }
}

void Run(const std::shared_ptr<GpsdClient::Shared>& shared) {
  bool told = false;
  bool linked = false;
  const auto tell = [&](bool now) {
    if (told && now == linked) return;
    told = true;
    linked = now;
    shared->latest->SetLinked(now);
    if (shared->onLink && !shared->stop.load()) shared->onLink(now);
  };
  while (!shared->stop.load()) {
    gps_data_t data{};
    if (gps_open(shared->address.host.c_str(), shared->address.port.c_str(), &data) == 0) {
      if (gps_stream(&data, WATCH_ENABLE | WATCH_JSON, nullptr) == 0) {
        tell(true);
        Watch(*shared, data);
      }
      gps_close(&data);
    }
    if (shared->stop.load()) break;
    tell(false);
    Pause(shared->stop, kRetryPause);
  }
}

}  // namespace

std::optional<GpsdAddress> ParseGpsdAddress(std::string_view text, GpsdAddressFault* fault) {
  const auto refuse = [fault](GpsdAddressFault why) -> std::optional<GpsdAddress> {
    if (fault) *fault = why;
    return std::nullopt;
  };
  if (fault) *fault = GpsdAddressFault::none;
  GpsdAddress address;
  std::string_view host = text;
  std::string_view port;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return refuse(GpsdAddressFault::unclosedBracket);
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return refuse(GpsdAddressFault::afterBracket);
      port = rest.substr(1);
      if (port.empty()) return refuse(GpsdAddressFault::noPort);
    }
  } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) return refuse(GpsdAddressFault::bareIpv6);
    if (port.empty()) return refuse(host.empty() ? GpsdAddressFault::noHost : GpsdAddressFault::noPort);
  }
  if (host.empty()) return refuse(GpsdAddressFault::noHost);
  for (const char c : host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '[' || c == ']' || c == '/')
      return refuse(GpsdAddressFault::hostCharacter);
  }
  if (!port.empty()) {
    if (port.find_first_not_of("0123456789") != std::string_view::npos) return refuse(GpsdAddressFault::portNotNumber);
    int number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (error != std::errc{} || end != port.data() + port.size() || number < 1 || number > 65535)
      return refuse(GpsdAddressFault::portOutOfRange);
    address.port = std::to_string(number);
  }
  address.host = std::string(host);
  return address;
}

std::string FormatGpsdAddress(const GpsdAddress& address) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return (v6 ? "[" + address.host + "]" : address.host) + ":" + address.port;
}

GpsdClient::GpsdClient(GpsdAddress address, std::shared_ptr<LatestFix> latest, LinkCallback onLink)
    : address_(std::move(address)), shared_(std::make_shared<Shared>()) {
  shared_->address = address_;
  shared_->latest = std::move(latest);
  shared_->onLink = std::move(onLink);
  // Detached: a connection attempt to a host that does not answer may take long, and nobody waits
  // for it; the thread owns what it uses.
  std::thread([shared = shared_] { Run(shared); }).detach();
}

GpsdClient::~GpsdClient() { Stop(); }

void GpsdClient::Stop() { shared_->stop.store(true); }

}  // namespace gps
