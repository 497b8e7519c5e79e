#pragma once
// "Статистика по сотам": a table of every cell of a history, when it was heard first and last, in
// how many cycles, its lowest, mean and highest level and its time as the serving cell; a click
// on a column's header sorts by it. Refreshed as the history grows. Window's thread only.

#include <QElapsedTimer>
#include <QWidget>

#include "history/cell_history.h"

class QStandardItemModel;
class QSortFilterProxyModel;
class QTableView;

namespace ui {

class CellStatisticsWindow : public QWidget {
  Q_OBJECT
 public:
  CellStatisticsWindow(const history::CellHistory& model, QWidget* parent = nullptr);

  // New cycles: the figures again, at most every two seconds (a day's history takes a while).
  void ModelChanged();
  // The figures again now.
  void Refresh();

  QTableView* Table() const { return table_; }
  QSortFilterProxyModel* Sorted() const { return sorted_; }

 private:
  const history::CellHistory& model_;
  QStandardItemModel* rows_ = nullptr;
  QSortFilterProxyModel* sorted_ = nullptr;
  QTableView* table_ = nullptr;
  QElapsedTimer sinceRefresh_;
};

}  // namespace ui
