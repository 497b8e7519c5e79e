#include "ui/map_view.h"

#include <QDateTime>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "map/scale_bar.h"
#include "platform/text_encoding.h"
#include "survey/level_colour.h"
#include "ui/caption_lane.h"
#include "ui/map_tiles.h"

namespace ui {

namespace {

constexpr int kReach = 8;        // pixels: hover and click find a point this close
constexpr int kFollowZoom = 16;  // the first live position is shown at street level
constexpr int kMostFittedZoom = 17;
constexpr int kScaleRoom = 120;  // the scale bar's longest length, pixels

QString ToQt(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }

std::optional<int> ServingLevel(const map::TrackPoint& point) {
  if (!point.serving) return std::nullopt;
  const auto level = point.serving->LevelDbm();
  if (!level) return std::nullopt;
  return static_cast<int>(std::lround(*level));
}

QColor LevelColourOf(const map::TrackPoint& point) {
  const auto level = ServingLevel(point);
  if (!level) return QColor(150, 150, 150);
  const survey::Colour colour = survey::ScaleColour(*level);
  return QColor(static_cast<int>(colour & 0xff), static_cast<int>((colour >> 8) & 0xff),
                static_cast<int>((colour >> 16) & 0xff));
}

// "62 / 7.3", "LTE 1850 / PCI 123"
QString CellName(const radio::Cell& cell) {
  static const QString kPrefixes[] = {QString(), QStringLiteral("WCDMA "), QStringLiteral("LTE "),
                                      QStringLiteral("NR ")};
  static const QString kIds[] = {QString(), QStringLiteral("PSC "), QStringLiteral("PCI "), QStringLiteral("PCI ")};
  const auto tech = static_cast<std::size_t>(cell.tech());
  QString name = kPrefixes[tech] + (cell.channel ? QString::number(*cell.channel) : QStringLiteral("?"));
  if (const auto id = cell.PhysicalId()) {
    name +=
        QStringLiteral(" / ") + kIds[tech] +
        (cell.tech() == radio::Tech::gsm ? QStringLiteral("%1.%2").arg(*id / 8).arg(*id % 8) : QString::number(*id));
  }
  if (cell.cellId) name += QStringLiteral(", сота ") + QString::number(*cell.cellId);
  if (cell.lac) name += QStringLiteral(", LAC ") + QString::number(*cell.lac);
  if (cell.tac) name += QStringLiteral(", TAC ") + QString::number(*cell.tac);
  return name;
}

}  // namespace

MapView::MapView(const map::DriveTrack& track, MapTiles& tiles, QWidget* parent)
    : QWidget(parent), track_(track), tiles_(tiles) {
  setObjectName(QStringLiteral("MapView"));
  setMouseTracking(true);
  setMinimumSize(300, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
  connect(&tiles_, &MapTiles::tileArrived, this, qOverload<>(&QWidget::update));
}

map::LatLon MapView::Centre() const { return map::ToLatLon(centre_, zoom_); }

void MapView::SetView(map::LatLon centre, int zoom) {
  zoom_ = std::clamp(zoom, 0, map::kMaxZoom);
  centre_ = map::ToPixel(centre, zoom_);
  placed_ = true;
  userMoved_ = true;
  update();
}

void MapView::ShowAll() {
  const auto bounds = track_.Bounds();
  if (!bounds) {
    zoom_ = 2;
    centre_ = map::ToPixel({30, 40}, zoom_);
    update();
    return;
  }
  const double roomX = std::max(width() - 60, 40);
  const double roomY = std::max(height() - 60, 40);
  int zoom = kMostFittedZoom;
  for (; zoom > 0; --zoom) {
    const map::WorldPixel a = map::ToPixel(bounds->southWest, zoom);
    const map::WorldPixel b = map::ToPixel(bounds->northEast, zoom);
    if (b.x - a.x <= roomX && a.y - b.y <= roomY) break;
  }
  const map::WorldPixel a = map::ToPixel(bounds->southWest, zoom);
  const map::WorldPixel b = map::ToPixel(bounds->northEast, zoom);
  zoom_ = zoom;
  centre_ = {(a.x + b.x) / 2, (a.y + b.y) / 2};
  placed_ = true;
  userMoved_ = false;
  update();
}

void MapView::SetFollowing(bool follow) {
  if (follow == follow_) return;
  follow_ = follow;
  if (follow_) ModelChanged();
  emit followChanged(follow_);
}

void MapView::ModelChanged() {
  const auto& points = track_.Points();
  if (!points.empty()) {
    if (follow_) {
      if (!placed_) zoom_ = kFollowZoom;
      centre_ = map::ToPixel(points.back().place, zoom_);
      placed_ = true;
    } else if (!placed_ || !userMoved_) {
      ShowAll();
    }
  }
  update();
}

void MapView::ZoomAt(int steps, QPoint at) {
  const int zoom = std::clamp(zoom_ + steps, 0, map::kMaxZoom);
  if (zoom == zoom_) return;
  const double factor = std::ldexp(1.0, zoom - zoom_);
  const QPointF fixed = follow_ ? QPointF(width() / 2.0, height() / 2.0) : QPointF(at);
  const map::WorldPixel under = WorldAt(fixed);
  zoom_ = zoom;
  centre_ = {under.x * factor - (fixed.x() - width() / 2.0), under.y * factor - (fixed.y() - height() / 2.0)};
  placed_ = true;
  userMoved_ = true;
  update();
}

map::WorldPixel MapView::WorldAt(QPointF pixel) const {
  return {centre_.x + pixel.x() - width() / 2.0, centre_.y + pixel.y() - height() / 2.0};
}

QPointF MapView::PixelOf(map::LatLon place) const {
  const map::WorldPixel world = map::ToPixel(place, zoom_);
  return {world.x - centre_.x + width() / 2.0, world.y - centre_.y + height() / 2.0};
}

std::optional<std::size_t> MapView::PointNear(QPoint at) const {
  std::optional<std::size_t> best;
  double bestDistance = kReach * kReach + 0.5;
  const auto& points = track_.Points();
  for (std::size_t i = 0; i < points.size(); ++i) {
    const QPointF d = PixelOf(points[i].place) - QPointF(at);
    const double distance = d.x() * d.x() + d.y() * d.y();
    // Among points at one place, the newest.
    if (distance <= bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

namespace {

QString TimeText(const map::DriveTrack& track, double time, long cycle) {
  if (track.AxisKind() == map::DriveTrack::Axis::cycleNumber) return QStringLiteral("Цикл %1").arg(cycle);
  const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(time * 1000)));
  return at.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) + QStringLiteral(", цикл %1").arg(cycle);
}

}  // namespace

QString MapView::HoverText(QPoint at) const {
  // Every event marked here, then the cycle under the pointer.
  QStringList events;
  for (const map::TrackEvent& e : track_.Events()) {
    const QPointF d = PixelOf(e.place) - QPointF(at);
    if (d.x() * d.x() + d.y() * d.y() > 36) continue;
    const QString when = track_.AxisKind() == map::DriveTrack::Axis::time
                             ? QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(e.time * 1000)))
                                   .toString(QStringLiteral("HH:mm:ss"))
                             : QStringLiteral("цикл %1").arg(std::llround(e.time));
    events << QStringLiteral("<span style='color:%1'>%2  %3</span>")
                  .arg(MarkerColour(e.event.kind).name(), when, ToQt(history::EventText(e.event)).toHtmlEscaped());
  }
  const auto index = PointNear(at);
  if (!index) return events.join(QStringLiteral("<br>"));

  const map::TrackPoint& point = track_.Points()[*index];
  QStringList lines;
  lines << QStringLiteral("<b>") + TimeText(track_, point.time, point.cycle) + QStringLiteral("</b>");
  const auto level = ServingLevel(point);
  lines << QStringLiteral("<span style='color:%1'>&#9632;</span> Уровень: ").arg(LevelColourOf(point).name()) +
               (level ? QString::number(*level) + QStringLiteral(" dBm") : QStringLiteral("(n/a)"));
  if (point.serving) lines << QStringLiteral("Активная: ") + CellName(*point.serving).toHtmlEscaped();
  lines << QStringLiteral("Соседних сот: %1").arg(point.neighbours);
  lines << QStringLiteral("%1, %2").arg(point.place.latitude, 0, 'f', 5).arg(point.place.longitude, 0, 'f', 5);
  if (!events.isEmpty()) lines << QStringLiteral("<hr>") + events.join(QStringLiteral("<br>"));
  return lines.join(QStringLiteral("<br>"));
}

QString MapView::ScaleText() const {
  const map::ScaleBar bar = map::ChooseScaleBar(map::MetresPerPixel(Centre().latitude, zoom_), kScaleRoom);
  if (bar.metres >= 1000) return QStringLiteral("%1 км").arg(bar.metres / 1000);
  return QStringLiteral("%1 м").arg(bar.metres);
}

void MapView::PaintTiles(QPainter& painter) {
  painter.fillRect(rect(), QColor(232, 232, 228));
  const double left = centre_.x - width() / 2.0;
  const double top = centre_.y - height() / 2.0;
  const int count = 1 << zoom_;
  const int x0 = static_cast<int>(std::floor(left / map::kTileSize));
  const int x1 = static_cast<int>(std::floor((left + width()) / map::kTileSize));
  const int y0 = std::max(static_cast<int>(std::floor(top / map::kTileSize)), 0);
  const int y1 = std::min(static_cast<int>(std::floor((top + height()) / map::kTileSize)), count - 1);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  for (int ty = y0; ty <= y1; ++ty) {
    for (int tx = x0; tx <= x1; ++tx) {
      const int x = ((tx % count) + count) % count;  // the world repeats east and west
      const QRectF target(tx * map::kTileSize - left, ty * map::kTileSize - top, map::kTileSize, map::kTileSize);
      QImage image = tiles_.Tile({zoom_, x, ty});
      if (!image.isNull()) {
        painter.drawImage(target, image);
        continue;
      }
      // Beyond the set's zooms, or until the tile comes: a part of a coarser tile, enlarged.
      for (int up = 1; up <= std::min(zoom_, 6); ++up) {
        image = tiles_.Tile({zoom_ - up, x >> up, ty >> up}, false);
        if (image.isNull()) continue;
        const double part = image.width() / static_cast<double>(1 << up);
        const QRectF source((x - ((x >> up) << up)) * part, (ty - ((ty >> up) << up)) * part, part, part);
        painter.drawImage(target, image, source);
        break;
      }
    }
  }
}

void MapView::PaintGrid(QPainter& painter) {
  painter.fillRect(rect(), QColor(246, 246, 242));
  const map::ScaleBar bar = map::ChooseScaleBar(map::MetresPerPixel(Centre().latitude, zoom_), kScaleRoom);
  if (bar.pixels < 8) return;
  const double step = bar.pixels;
  const double left = centre_.x - width() / 2.0;
  const double top = centre_.y - height() / 2.0;
  painter.setPen(QPen(QColor(218, 218, 212), 1));
  for (double x = std::ceil(left / step) * step; x < left + width(); x += step)
    painter.drawLine(QPointF(x - left, 0), QPointF(x - left, height()));
  for (double y = std::ceil(top / step) * step; y < top + height(); y += step)
    painter.drawLine(QPointF(0, y - top), QPointF(width(), y - top));
}

void MapView::PaintTrack(QPainter& painter) {
  const auto& points = track_.Points();
  if (points.empty()) return;
  painter.setRenderHint(QPainter::Antialiasing);
  // Points closer than two pixels to the last one drawn add nothing to the picture: a day's drive
  // shown whole is drawn as a few thousand stretches, not tens of thousands.
  struct Drawn {
    QPointF at;
    std::size_t index;
    bool joined;  // a line from the one drawn before
  };
  std::vector<Drawn> drawn;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const QPointF at = PixelOf(points[i].place);
    const bool joined = i > 0 && track_.Joined(i - 1, i);
    if (joined && i + 1 < points.size() && !drawn.empty() && (at - drawn.back().at).manhattanLength() < 2) continue;
    drawn.push_back({at, i, joined});
  }
  const QRectF seen = QRectF(rect()).adjusted(-10, -10, 10, 10);
  const auto visible = [&seen](QPointF a, QPointF b) {
    return seen.intersects(QRectF(a, b).normalized().adjusted(-1, -1, 1, 1));
  };

  // A dark edge under the whole track, so that every colour of the scale stands out from the
  // background, then each stretch in the colour of the level where it starts.
  const QPen edge(QColor(30, 30, 30, 170), 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(edge);
  for (std::size_t k = 0; k < drawn.size(); ++k) {
    if (drawn[k].joined) {
      if (visible(drawn[k - 1].at, drawn[k].at)) painter.drawLine(drawn[k - 1].at, drawn[k].at);
    } else if (seen.contains(drawn[k].at)) {
      painter.drawPoint(drawn[k].at);
    }
  }
  for (std::size_t k = 0; k < drawn.size(); ++k) {
    if (drawn[k].joined) {
      if (!visible(drawn[k - 1].at, drawn[k].at)) continue;
      painter.setPen(QPen(LevelColourOf(points[drawn[k - 1].index]), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter.drawLine(drawn[k - 1].at, drawn[k].at);
    } else if (seen.contains(drawn[k].at)) {
      painter.setPen(QPen(LevelColourOf(points[drawn[k].index]), 6, Qt::SolidLine, Qt::RoundCap));
      painter.drawPoint(drawn[k].at);
    }
  }

  // The events: a serving cell change as a ring, the others as squares.
  for (const map::TrackEvent& event : track_.Events()) {
    const QPointF p = PixelOf(event.place);
    if (!seen.contains(p)) continue;
    const QColor colour = MarkerColour(event.event.kind);
    if (event.event.kind == history::EventKind::servingCell) {
      painter.setPen(QPen(colour, 2.5));
      painter.setBrush(Qt::white);
      painter.drawEllipse(p, 6, 6);
    } else {
      painter.setPen(QPen(Qt::white, 1.5));
      painter.setBrush(colour);
      painter.drawRect(QRectF(p.x() - 5, p.y() - 5, 10, 10));
    }
  }
  if (markNewest_) {
    const QPointF p = drawn.back().at;
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(p, 10, 10);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawEllipse(p, 12, 12);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setRenderHint(QPainter::Antialiasing, false);
}

void MapView::PaintScaleBar(QPainter& painter) {
  const map::ScaleBar bar = map::ChooseScaleBar(map::MetresPerPixel(Centre().latitude, zoom_), kScaleRoom);
  const QString label = ScaleText();
  const QFontMetrics metrics(font());
  const int x = 10;
  const int y = height() - 12;
  const QRect box(x - 4, y - metrics.height() - 10, std::max(bar.pixels, metrics.horizontalAdvance(label)) + 8,
                  metrics.height() + 16);
  painter.fillRect(box, QColor(255, 255, 255, 210));
  painter.setPen(QPen(Qt::black, 2));
  painter.drawLine(x, y, x + bar.pixels, y);
  painter.drawLine(x, y, x, y - 5);
  painter.drawLine(x + bar.pixels, y, x + bar.pixels, y - 5);
  painter.drawText(QRect(x, box.top() + 2, box.width(), metrics.height()), Qt::AlignLeft | Qt::AlignTop, label);
}

void MapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (tiles_.HasSource()) {
    PaintTiles(painter);
  } else {
    PaintGrid(painter);
  }
  PaintTrack(painter);
  PaintScaleBar(painter);
  if (track_.Points().empty()) {
    painter.setPen(Qt::black);
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Нет измерений с местоположением"));
  }
}

void MapView::resizeEvent(QResizeEvent*) {
  if (!follow_ && !userMoved_) ShowAll();
}

void MapView::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps == 0) return;
  ZoomAt(steps, event->position().toPoint());
  event->accept();
}

void MapView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = true;
  dragged_ = false;
  pressAt_ = event->position().toPoint();
  pressCentre_ = centre_;
}

void MapView::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_ || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint d = event->position().toPoint() - pressAt_;
  if (!dragged_ && d.manhattanLength() <= 3) return;
  dragged_ = true;
  SetFollowing(false);
  centre_ = {pressCentre_.x - d.x(), pressCentre_.y - d.y()};
  userMoved_ = true;
  update();
}

void MapView::mouseReleaseEvent(QMouseEvent* event) {
  if (!pressed_ || event->button() != Qt::LeftButton) return;
  pressed_ = false;
  if (dragged_) return;
  if (const auto index = PointNear(event->position().toPoint())) emit pointPicked(track_.Points()[*index].time);
}

bool MapView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = HoverText(help->pos());
    if (text.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
  }
  return QWidget::event(event);
}

}  // namespace ui
