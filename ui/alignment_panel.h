#pragma once
// The alignment mode of the live history window: one cell locked by its technology, channel and
// identity (the serving one at the press of a button, or one another window names), its level in
// digits that grow with the panel, its highest and lowest since the lock or the last reset, and a
// tone whose pitch rises with its level, for a user turning an antenna who listens instead of
// looking. The cell is followed whether it serves or is a neighbour, so a reselection never mixes
// two cells' levels. F11 or a double click shows the panel alone on the whole screen (Esc leaves).
// Window's thread only.

#include <QWidget>
#include <memory>
#include <optional>

#include "history/cell_history.h"

class QAudioSink;
class QCheckBox;
class QLabel;
class QPushButton;
class QShortcut;

namespace ui {

class ToneSource;

class AlignmentPanel : public QWidget {
  Q_OBJECT
 public:
  // model must outlive the panel.
  explicit AlignmentPanel(const history::CellHistory& model, QWidget* parent = nullptr);
  ~AlignmentPanel() override;

  // New cycles: the locked cell's levels since the last call folded into its highest and lowest.
  // While the panel is shown and no cell is locked, the serving cell of the newest cycle is.
  void ModelChanged();
  // Highest and lowest start again, from the locked cell's level in the newest cycle.
  void Reset();

  // Locks onto the serving cell of the newest cycle; false (the lock unchanged) when it had none.
  bool LockServing();
  // Locks onto a cell, heard now or not; highest and lowest start again.
  void LockCell(const history::TraceKey& key);
  std::optional<history::TraceKey> LockedCell() const { return locked_; }

  // Where the locked cell stands in the newest cycle.
  enum class Heard { noCell, serving, neighbour, notHeard };
  Heard LockedHeard() const;
  // Its level in the newest cycle, dBm, when heard.
  std::optional<int> LockedLevel() const;
  std::optional<int> Highest() const { return highest_; }
  std::optional<int> Lowest() const { return lowest_; }

  // The panel alone on the whole screen, or back in its place.
  void SetFullScreen(bool on);
  bool FullScreen() const;
  // The digits' font size in pixels, from the height (and width) the digits have.
  int DigitsPixelSize() const;

  // "GSM, канал 62, BSIC 7.3, сота 28641"; "LTE, канал 1850, PCI 123, сота 26132481". trace:
  // the cell's, for what was heard of it (may be null).
  static QString CellText(const history::TraceKey& key, const history::Trace* trace);

  // Empty when a tone can be played; otherwise why not (Russian).
  QString ToneUnavailable() const { return toneUnavailable_; }
  // The tone's pitch for a level, Hz: 300 at -113 dBm, rising by 20 Hz a dB.
  static double TonePitch(int level);
  bool TonePlaying() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const history::Trace* LockedTrace() const;
  void Fold();
  void ShowState();
  void FitFonts();
  void SetTone(bool on);

  const history::CellHistory& model_;
  QLabel* cell_ = nullptr;
  QLabel* heard_ = nullptr;
  QLabel* level_ = nullptr;
  QLabel* highestLabel_ = nullptr;
  QLabel* lowestLabel_ = nullptr;
  QCheckBox* tone_ = nullptr;
  QLabel* toneState_ = nullptr;
  QPushButton* whole_ = nullptr;
  QShortcut* leave_ = nullptr;
  QFont normalFont_;
  std::optional<history::TraceKey> locked_;
  std::size_t seenCycles_ = 0;  // cycles whose levels are folded in
  std::optional<int> highest_, lowest_;
  QString toneUnavailable_;
  std::unique_ptr<ToneSource> source_;
  std::unique_ptr<QAudioSink> sink_;
};

}  // namespace ui
