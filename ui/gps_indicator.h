#pragma once
// A small, permanent GPS state for the status area of any window: the fix mode, the satellites
// and the age of the fix ("GPS: 3D, спутников 9 из 12, 1 с назад"), a coloured mark beside it,
// and the position and gpsd's address in its tooltip. Refreshed every second. Window's thread.

#include <QString>
#include <QWidget>
#include <optional>

#include "gps/gps_link.h"

class QLabel;
class QTimer;

namespace ui {

class GpsIndicator : public QWidget {
  Q_OBJECT
 public:
  // Shows link, which must outlive the indicator; null: the monitor window's link (none: "GPS:
  // выключен").
  explicit GpsIndicator(QWidget* parent = nullptr, const gps::GpsLink* link = nullptr);

  // Reads the link now (the timer does it every second).
  void Refresh();
  QString Text() const;
  QString ToolTipText() const;

  // The texts of a state: the line and its tooltip.
  static QString LineOf(const gps::GpsStatus& status, const std::optional<gps::GpsdAddress>& address);
  static QString ToolTipOf(const gps::GpsStatus& status, const std::optional<gps::GpsdAddress>& address);

 private:
  const gps::GpsLink* Link() const;

  const gps::GpsLink* link_;
  QLabel* mark_ = nullptr;
  QLabel* text_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace ui
