#pragma once
// The history's legend: a line per cell with its trace's swatch. A click hides or shows the cell,
// a double click shows only it (and, on the one cell shown, all again), the entry's menu does the
// same; the cell under the pointer is highlighted on the plot. Window's thread only.

#include <QListWidget>

#include "history/cell_history.h"

class QMenu;

namespace ui {

class HistoryPlot;

class HistoryLegend : public QListWidget {
  Q_OBJECT
 public:
  HistoryLegend(const history::CellHistory& model, HistoryPlot& plot, QWidget* parent = nullptr);

  // New cells, and the texts of the known ones (the serving cell of the newest cycle is named so).
  void ModelChanged();
  // Shows only trace; when it is the only one shown already, every trace.
  void ShowOnly(int trace);
  void ShowAll();
  // The menu of the entry of trace (owned by the caller).
  QMenu* BuildMenu(int trace);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void Restyle(int trace);

  const history::CellHistory& model_;
  HistoryPlot& plot_;
  std::size_t entries_ = 0;
};

}  // namespace ui
