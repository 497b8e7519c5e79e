#include "gps/gps_link.h"

namespace gps {

void GpsLink::Start(const GpsdAddress& address, GpsdClient::LinkCallback onLink) {
  // Each connection gets its own latest fix: one that is ending can never write into the next.
  auto latest = std::make_shared<LatestFix>();
  latest->SetLinked(false);  // until the first answer
  auto client = std::make_unique<GpsdClient>(address, latest, std::move(onLink));
  std::lock_guard lock(mutex_);
  latest_ = std::move(latest);
  client_ = std::move(client);
}

void GpsLink::Stop() {
  std::lock_guard lock(mutex_);
  client_.reset();
  latest_.reset();
}

std::optional<Fix> GpsLink::Fresh() const {
  std::lock_guard lock(mutex_);
  return latest_ ? latest_->Fresh() : std::nullopt;
}

GpsState GpsLink::State() const {
  std::lock_guard lock(mutex_);
  return latest_ ? latest_->State() : GpsState::off;
}

GpsStatus GpsLink::Status() const {
  std::lock_guard lock(mutex_);
  return latest_ ? latest_->Status() : GpsStatus{};
}

std::optional<GpsdAddress> GpsLink::Address() const {
  std::lock_guard lock(mutex_);
  if (!client_) return std::nullopt;
  return client_->Address();
}

}  // namespace gps
