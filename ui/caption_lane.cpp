#include "ui/caption_lane.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "platform/text_encoding.h"

namespace ui {

namespace {

constexpr int kPadding = 3;  // pixels between a caption's text and its frame
constexpr int kGap = 4;      // the least room between two captions

// The first part of the event's text: "Смена соты" of "Смена соты: 62 -> 70".
QString ShortCaption(const history::CellEvent& event) {
  return QString::fromStdString(platform::Cp1251ToUtf8(history::EventText(event))).section(QLatin1Char(':'), 0, 0);
}

// The cluster's text, colour and frame, from the x of its first marker.
void Fit(CaptionCluster& cluster, const std::vector<history::Marker>& markers, int x, const QFontMetrics& metrics,
         QRect lane) {
  const history::EventKind kind = markers[cluster.markers.front()].event.kind;
  const bool oneKind = std::all_of(cluster.markers.begin(), cluster.markers.end(),
                                   [&](std::size_t m) { return markers[m].event.kind == kind; });
  const auto count = static_cast<qsizetype>(cluster.markers.size());
  const QString first = ShortCaption(markers[cluster.markers.front()].event);
  if (count == 1) {
    cluster.text = first;
  } else if (oneKind) {
    cluster.text = first + QStringLiteral(" ×") + QString::number(count);
  } else {
    cluster.text = QStringLiteral("События: ") + QString::number(count);
  }
  cluster.colour = oneKind ? MarkerColour(kind) : QColor(60, 60, 60);
  const int width = metrics.horizontalAdvance(cluster.text) + 2 * kPadding;
  cluster.rect = QRect(x, lane.top(), width, lane.height());
}

}  // namespace

QColor MarkerColour(history::EventKind kind) {
  switch (kind) {
    case history::EventKind::servingCell:
      return QColor(0, 0, 160);
    case history::EventKind::areaChanged:
    case history::EventKind::bandChanged:
      return QColor(120, 0, 160);
    case history::EventKind::levelLow:
      return QColor(200, 0, 0);
    case history::EventKind::levelRestored:
      return QColor(0, 140, 0);
    default:
      return QColor(90, 90, 90);
  }
}

std::vector<CaptionCluster> LayOutCaptions(const std::vector<history::Marker>& markers, double from, double to,
                                           const std::function<int(double)>& xOf, QRect lane,
                                           const QFontMetrics& metrics) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < markers.size(); ++i)
    if (markers[i].time >= from && markers[i].time < to) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return markers[a].time < markers[b].time; });

  std::vector<CaptionCluster> captions;
  for (const std::size_t m : order) {
    const int x = xOf(markers[m].time);
    if (!captions.empty() && x <= captions.back().rect.right() + kGap) {
      CaptionCluster& last = captions.back();
      last.markers.push_back(m);
      Fit(last, markers, last.rect.left(), metrics, lane);
      continue;
    }
    CaptionCluster cluster;
    cluster.markers.push_back(m);
    Fit(cluster, markers, x, metrics, lane);
    captions.push_back(std::move(cluster));
  }
  // A caption past the lane's right end moves left, joining the one before it where they would meet.
  while (!captions.empty() && captions.back().rect.right() > lane.right()) {
    CaptionCluster& last = captions.back();
    last.rect.moveRight(lane.right());
    if (captions.size() == 1 || last.rect.left() > captions[captions.size() - 2].rect.right() + kGap) {
      if (last.rect.left() < lane.left()) last.rect.moveLeft(lane.left());
      break;
    }
    CaptionCluster& before = captions[captions.size() - 2];
    before.markers.insert(before.markers.end(), last.markers.begin(), last.markers.end());
    captions.pop_back();
    Fit(captions.back(), markers, captions.back().rect.left(), metrics, lane);
  }
  return captions;
}

void DrawCaptions(QPainter& painter, const std::vector<CaptionCluster>& captions) {
  for (const CaptionCluster& caption : captions) {
    QColor fill = caption.colour;
    fill.setAlpha(28);
    painter.fillRect(caption.rect, fill);
    painter.setPen(caption.colour);
    painter.drawRect(caption.rect.adjusted(0, 0, -1, -1));
    painter.drawText(caption.rect.adjusted(kPadding, 0, -kPadding, 0), Qt::AlignLeft | Qt::AlignVCenter, caption.text);
  }
}

}  // namespace ui
