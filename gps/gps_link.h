#pragma once
// A front end's GPS: the gpsd client started from the settings and the latest fix it keeps. Safe to
// call from any thread; restarting with new settings never waits for the old connection.

#include <memory>
#include <mutex>
#include <optional>

#include "gps/gps_fix.h"
#include "gps/gpsd_client.h"

namespace gps {

class GpsLink {
 public:
  GpsLink() = default;
  GpsLink(const GpsLink&) = delete;
  GpsLink& operator=(const GpsLink&) = delete;

  // Starts reading gpsd at address, in place of what ran before; onLink as for GpsdClient.
  void Start(const GpsdAddress& address, GpsdClient::LinkCallback onLink = {});
  // Back to no GPS (state off).
  void Stop();

  // The fresh fix, if any, for a cycle ending now.
  std::optional<Fix> Fresh() const;
  GpsState State() const;
  // The state with the latest fix, its age and the satellites; off when stopped.
  GpsStatus Status() const;
  // The address being read; nothing when stopped.
  std::optional<GpsdAddress> Address() const;

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<LatestFix> latest_;
  std::unique_ptr<GpsdClient> client_;
};

}  // namespace gps
