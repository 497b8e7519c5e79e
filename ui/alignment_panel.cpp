#include "ui/alignment_panel.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCheckBox>
#include <QGridLayout>
#include <QIODevice>
#include <QLabel>
#include <QMediaDevices>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace ui {

// An endless sine at a pitch that can change while it plays, as 16-bit mono samples; the phase
// runs on across a change, so the tone glides without a click.
class ToneSource : public QIODevice {
 public:
  explicit ToneSource(int sampleRate) : rate_(sampleRate) { open(QIODevice::ReadOnly); }
  void SetPitch(double hz) { pitch_ = hz; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    const qint64 samples = maxSize / 2;
    auto* out = reinterpret_cast<qint16*>(data);
    for (qint64 i = 0; i < samples; ++i) {
      out[i] = static_cast<qint16>(9000 * std::sin(phase_));
      phase_ += 2 * std::numbers::pi * pitch_ / rate_;
      if (phase_ > 2 * std::numbers::pi) phase_ -= 2 * std::numbers::pi;
    }
    return samples * 2;
  }
  qint64 writeData(const char*, qint64) override { return -1; }
  qint64 bytesAvailable() const override { return 4096 + QIODevice::bytesAvailable(); }
  bool isSequential() const override { return true; }

 private:
  int rate_;
  double pitch_ = 440;
  double phase_ = 0;
};

namespace {

constexpr int kSampleRate = 22050;

QString Dbm(std::optional<int> level) {
  return level ? QString::number(*level) + QStringLiteral(" dBm") : QStringLiteral("(n/a)");
}

}  // namespace

double AlignmentPanel::TonePitch(int level) { return 300.0 + 20.0 * (std::clamp(level, -113, -40) + 113); }

AlignmentPanel::AlignmentPanel(const history::CellHistory& model, QWidget* parent) : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("AlignmentPanel"));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  auto* caption = new QLabel(QStringLiteral("Уровень активной соты"), this);
  grid->addWidget(caption, 0, 0, 1, 2);
  level_ = new QLabel(QStringLiteral("(n/a)"), this);
  level_->setObjectName(QStringLiteral("lblAlignLevel"));
  QFont big = level_->font();
  big.setPixelSize(44);
  big.setBold(true);
  level_->setFont(big);
  level_->setAlignment(Qt::AlignCenter);
  grid->addWidget(level_, 1, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Наибольший:"), this), 2, 0);
  highestLabel_ = new QLabel(this);
  highestLabel_->setObjectName(QStringLiteral("lblAlignHighest"));
  grid->addWidget(highestLabel_, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Наименьший:"), this), 3, 0);
  lowestLabel_ = new QLabel(this);
  lowestLabel_->setObjectName(QStringLiteral("lblAlignLowest"));
  grid->addWidget(lowestLabel_, 3, 1);
  auto* reset = new QPushButton(QStringLiteral("Сбросить"), this);
  reset->setObjectName(QStringLiteral("btnAlignReset"));
  reset->setToolTip(QStringLiteral("Начать наибольший и наименьший уровень заново"));
  grid->addWidget(reset, 4, 0, 1, 2);
  tone_ = new QCheckBox(QStringLiteral("Звук (выше уровень, выше тон)"), this);
  tone_->setObjectName(QStringLiteral("chkTone"));
  grid->addWidget(tone_, 5, 0, 1, 2);
  toneState_ = new QLabel(this);
  toneState_->setObjectName(QStringLiteral("lblToneState"));
  toneState_->setWordWrap(true);
  grid->addWidget(toneState_, 6, 0, 1, 2);

  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  QAudioFormat format;
  format.setSampleRate(kSampleRate);
  format.setChannelCount(1);
  format.setSampleFormat(QAudioFormat::Int16);
  if (device.isNull()) {
    toneUnavailable_ = QStringLiteral("Звук недоступен: нет устройства вывода звука");
  } else if (!device.isFormatSupported(format)) {
    toneUnavailable_ = QStringLiteral("Звук недоступен: устройство \"%1\" не воспроизводит 16 бит, %2 Гц")
                           .arg(device.description())
                           .arg(kSampleRate);
  } else {
    source_ = std::make_unique<ToneSource>(kSampleRate);
    sink_ = std::make_unique<QAudioSink>(device, format);
  }
  tone_->setEnabled(toneUnavailable_.isEmpty());
  toneState_->setText(toneUnavailable_);
  toneState_->setVisible(!toneUnavailable_.isEmpty());

  connect(reset, &QPushButton::clicked, this, [this] { Reset(); });
  connect(tone_, &QCheckBox::toggled, this, [this](bool on) { SetTone(on); });
  Reset();
}

AlignmentPanel::~AlignmentPanel() {
  if (sink_) sink_->stop();
}

void AlignmentPanel::Reset() {
  highest_.reset();
  lowest_.reset();
  seenCycles_ = model_.CycleCount();
  if (const auto level = model_.LatestServingLevel(); level && seenCycles_ > 0) highest_ = lowest_ = level;
  highestLabel_->setText(Dbm(highest_));
  lowestLabel_->setText(Dbm(lowest_));
}

void AlignmentPanel::ModelChanged() {
  if (model_.CycleCount() < seenCycles_) Reset();  // a new connection
  const auto level = model_.LatestServingLevel();
  if (model_.CycleCount() != seenCycles_) {
    seenCycles_ = model_.CycleCount();
    if (level) {
      highest_ = highest_ ? std::max(*highest_, *level) : *level;
      lowest_ = lowest_ ? std::min(*lowest_, *level) : *level;
    }
  }
  level_->setText(Dbm(level));
  highestLabel_->setText(Dbm(highest_));
  lowestLabel_->setText(Dbm(lowest_));
  if (source_ && level) source_->SetPitch(TonePitch(*level));
}

void AlignmentPanel::SetTone(bool on) {
  if (!sink_) return;
  if (on) {
    if (const auto level = model_.LatestServingLevel()) source_->SetPitch(TonePitch(*level));
    sink_->start(source_.get());
  } else {
    sink_->stop();
  }
}

bool AlignmentPanel::TonePlaying() const { return sink_ && sink_->state() == QAudio::ActiveState; }

}  // namespace ui
