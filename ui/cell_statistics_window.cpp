#include "ui/cell_statistics_window.h"

#include <QDateTime>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>

#include "history/cell_statistics.h"
#include "ui/trace_look.h"

namespace ui {

namespace {

enum Column { kCell, kFirst, kLast, kCycles, kMin, kMean, kMax, kServing, kColumns };

constexpr int kSortRole = Qt::UserRole;

// "1:02:03" or "2:03".
QString Duration(double seconds) {
  const auto whole = static_cast<long long>(std::llround(seconds));
  const long long h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
  const QString ms =
      QStringLiteral("%1:%2").arg(m, h > 0 ? 2 : 1, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
  return h > 0 ? QString::number(h) + QLatin1Char(':') + ms : ms;
}

QStandardItem* Cell(const QString& text, const QVariant& key, Qt::Alignment alignment = Qt::AlignRight) {
  auto* item = new QStandardItem(text);
  item->setData(key, kSortRole);
  item->setData(QVariant::fromValue(alignment | Qt::AlignVCenter), Qt::TextAlignmentRole);
  item->setEditable(false);
  return item;
}

}  // namespace

CellStatisticsWindow::CellStatisticsWindow(const history::CellHistory& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
  setObjectName(QStringLiteral("CellStatisticsWindow"));
  setWindowTitle(QStringLiteral("Статистика по сотам"));
  setAttribute(Qt::WA_DeleteOnClose);
  resize(820, 400);
  rows_ = new QStandardItemModel(0, kColumns, this);
  rows_->setHorizontalHeaderLabels({QStringLiteral("Сота"), QStringLiteral("Впервые"), QStringLiteral("Последний раз"),
                                    QStringLiteral("Циклов"), QStringLiteral("Мин., dBm"),
                                    QStringLiteral("Средн., dBm"), QStringLiteral("Макс., dBm"),
                                    QStringLiteral("Активная")});
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(rows_);
  sorted_->setSortRole(kSortRole);
  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("tblCellStatistics"));
  table_->setModel(sorted_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(kServing, Qt::DescendingOrder);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setStretchLastSection(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  Refresh();
}

void CellStatisticsWindow::ModelChanged() {
  if (sinceRefresh_.isValid() && sinceRefresh_.elapsed() < 2000) return;
  Refresh();
}

void CellStatisticsWindow::Refresh() {
  sinceRefresh_.start();
  const bool numbers = model_.AxisKind() == history::CellHistory::Axis::cycleNumber;
  const bool days = !numbers && QDateTime::fromSecsSinceEpoch(static_cast<qint64>(model_.FirstTime())).date() !=
                                    QDateTime::fromSecsSinceEpoch(static_cast<qint64>(model_.LastTime())).date();
  const auto timeText = [&](double t) {
    if (numbers) return QString::number(std::llround(t));
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(t * 1000)))
        .toString(days ? QStringLiteral("dd.MM HH:mm:ss") : QStringLiteral("HH:mm:ss"));
  };
  rows_->removeRows(0, rows_->rowCount());
  for (const history::CellStatistics& s : history::ComputeStatistics(model_)) {
    const history::Trace& trace = model_.Traces()[static_cast<std::size_t>(s.trace)];
    auto* name = Cell(TraceName(trace), s.trace, Qt::AlignLeft);
    name->setIcon(QIcon(TraceSwatch(s.trace, false)));
    const QString serving = numbers ? QString::number(s.servingCycles) : Duration(s.servingSeconds);
    rows_->appendRow({name, Cell(timeText(s.firstSeen), s.firstSeen), Cell(timeText(s.lastSeen), s.lastSeen),
                      Cell(QString::number(s.cycles), static_cast<qlonglong>(s.cycles)),
                      Cell(QString::number(s.minDbm), s.minDbm), Cell(QString::number(s.meanDbm, 'f', 1), s.meanDbm),
                      Cell(QString::number(s.maxDbm), s.maxDbm), Cell(serving, s.servingSeconds)});
  }
}

}  // namespace ui
