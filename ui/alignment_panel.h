#pragma once
// The alignment mode of the live history window: the serving level in large digits, the highest
// and lowest since the last reset, and a tone whose pitch rises with the level, for a user
// turning an antenna who listens instead of looking. Window's thread only.

#include <QWidget>
#include <memory>
#include <optional>

#include "history/cell_history.h"

class QAudioSink;
class QCheckBox;
class QLabel;
class QPushButton;

namespace ui {

class ToneSource;

class AlignmentPanel : public QWidget {
  Q_OBJECT
 public:
  // model must outlive the panel.
  explicit AlignmentPanel(const history::CellHistory& model, QWidget* parent = nullptr);
  ~AlignmentPanel() override;

  // New cycles: the newest serving level, folded into the highest and lowest.
  void ModelChanged();
  void Reset();

  std::optional<int> Highest() const { return highest_; }
  std::optional<int> Lowest() const { return lowest_; }
  // Empty when a tone can be played; otherwise why not (Russian).
  QString ToneUnavailable() const { return toneUnavailable_; }
  // The tone's pitch for a level, Hz: 300 at -113 dBm, rising by 20 Hz a dB.
  static double TonePitch(int level);
  bool TonePlaying() const;

 private:
  void SetTone(bool on);

  const history::CellHistory& model_;
  QLabel* level_ = nullptr;
  QLabel* highestLabel_ = nullptr;
  QLabel* lowestLabel_ = nullptr;
  QCheckBox* tone_ = nullptr;
  QLabel* toneState_ = nullptr;
  std::size_t seenCycles_ = 0;
  std::optional<int> highest_, lowest_;
  QString toneUnavailable_;
  std::unique_ptr<ToneSource> source_;
  std::unique_ptr<QAudioSink> sink_;
};

}  // namespace ui
