#include "ui/gps_indicator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <cmath>

#include "gps/gps_state_text.h"
#include "ui/app_state.h"

namespace ui {
namespace {

QColor MarkColour(const gps::GpsStatus& status) {
  switch (status.state) {
    case gps::GpsState::fix3D:
      return QColor(0, 150, 0);
    case gps::GpsState::fix2D:
      return QColor(210, 150, 0);
    case gps::GpsState::noFix:
    case gps::GpsState::noGpsd:
      return QColor(200, 0, 0);
    case gps::GpsState::off:
      break;
  }
  return QColor(150, 150, 150);
}

}  // namespace

GpsIndicator::GpsIndicator(QWidget* parent, const gps::GpsLink* link) : QWidget(parent), link_(link) {
  setObjectName(QStringLiteral("GpsIndicator"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  mark_ = new QLabel(this);
  mark_->setObjectName(QStringLiteral("lblGpsMark"));
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("lblGpsIndicator"));
  layout->addWidget(mark_);
  layout->addWidget(text_);
  layout->addStretch(1);
  timer_ = new QTimer(this);
  timer_->setInterval(1000);
  connect(timer_, &QTimer::timeout, this, &GpsIndicator::Refresh);
  timer_->start();
  Refresh();
}

const gps::GpsLink* GpsIndicator::Link() const { return link_ != nullptr ? link_ : State().gps.get(); }

void GpsIndicator::Refresh() {
  const gps::GpsLink* link = Link();
  const gps::GpsStatus status = link != nullptr ? link->Status() : gps::GpsStatus{};
  const std::optional<gps::GpsdAddress> address = link != nullptr ? link->Address() : std::nullopt;
  const QString line = LineOf(status, address);
  if (text_->text() != line) text_->setText(line);
  const QString tip = ToolTipOf(status, address);
  if (toolTip() != tip) setToolTip(tip);
  QPixmap mark(10, 10);
  mark.fill(MarkColour(status));
  mark_->setPixmap(mark);
}

QString GpsIndicator::Text() const { return text_->text(); }
QString GpsIndicator::ToolTipText() const { return toolTip(); }

QString GpsIndicator::LineOf(const gps::GpsStatus& status, const std::optional<gps::GpsdAddress>& address) {
  return QString::fromStdString(gps::GpsStatusText(status, address ? gps::FormatGpsdAddress(*address) : std::string()));
}

QString GpsIndicator::ToolTipOf(const gps::GpsStatus& status, const std::optional<gps::GpsdAddress>& address) {
  QStringList lines;
  if (status.last) {
    const gps::Fix& fix = *status.last;
    QString place =
        QString::number(fix.latitude, 'f', 5) + QStringLiteral(" ") + QString::number(fix.longitude, 'f', 5);
    if (std::isfinite(fix.altitude)) place += QStringLiteral(", высота %1 м").arg(std::lround(fix.altitude));
    if (std::isfinite(fix.horizontalError))
      place += QStringLiteral(", точность %1 м").arg(std::lround(fix.horizontalError));
    lines << (status.Stale() ? QStringLiteral("Последнее местоположение: ") : QStringLiteral("Местоположение: ")) +
                 place;
  }
  if (address) lines << QStringLiteral("gpsd: ") + QString::fromStdString(gps::FormatGpsdAddress(*address));
  return lines.join(QLatin1Char('\n'));
}

}  // namespace ui
