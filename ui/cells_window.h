#pragma once
// The cells window ("Соты"): every cell of the latest poll cycle, each technology in a table with
// columns of its own (GSM, WCDMA, LTE, NR), the serving cell's identity above them and the modem
// family in use on the status line. Fed by the window's run, a cycle at a time; a table without
// cells is hidden. Window's thread only.

#include <QKeySequence>
#include <QWidget>
#include <array>

#include "radio/cycle.h"

class QAction;
class QLabel;
class QMenu;
class QTableWidget;

namespace ui {

class CellsWindow : public QWidget {
  Q_OBJECT
 public:
  explicit CellsWindow(QWidget* parent = nullptr);

  // Shows the cells of cycle (replacing the last one's).
  void ShowCycle(const radio::Cycle& cycle);
  // The modem family the run talks to, as the status line names it ("" while not known).
  void SetDialect(const QString& dialect);

  // The table of a technology ("GsmCells", "WcdmaCells", "LteCells", "NrCells").
  QTableWidget* Table(radio::Tech tech) const { return tables_[static_cast<std::size_t>(tech)]; }
  QLabel* StatusLine() const { return status_; }

 private:
  void UpdateStatus();

  std::array<QLabel*, 4> captions_{};
  std::array<QTableWidget*, 4> tables_{};
  QLabel* tech_ = nullptr;
  QLabel* mcc_ = nullptr;
  QLabel* mnc_ = nullptr;
  QLabel* areaCaption_ = nullptr;
  QLabel* area_ = nullptr;
  QLabel* cell_ = nullptr;
  QLabel* status_ = nullptr;
  QString dialect_;
  long cycle_ = 0;
  QString time_;
};

// The live cells of monitor mode, on the window's thread: each completed cycle, and the modem
// family in use (kept for a window opened later).
void ShowLiveCells(const radio::Cycle& cycle);
void SetLiveDialect(const QString& dialect);
// Opens (or raises) the live cells window over parent.
CellsWindow& OpenLiveCells(QWidget* parent);

// The main window's shortcut for the cells window.
inline const QKeySequence kCellsShortcut{Qt::CTRL | Qt::Key_L};
// "Соты" on a context menu: the live cells window over parent.
QAction* AddLiveCellsAction(QMenu& menu, QWidget* parent);
// The shortcut on the main window.
void InstallCellsShortcut(QWidget& window);

}  // namespace ui
