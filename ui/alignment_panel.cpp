#include "ui/alignment_panel.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIODevice>
#include <QLabel>
#include <QLayout>
#include <QMediaDevices>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>

namespace ui {

// An endless sine at a pitch that can change while it plays, as 16-bit mono samples; the phase
// runs on across a change, so the tone glides without a click. Silent while the cell is not heard.
// The audio backend may read it on a thread of its own.
class ToneSource : public QIODevice {
 public:
  explicit ToneSource(int sampleRate) : rate_(sampleRate) { open(QIODevice::ReadOnly); }
  void SetPitch(double hz) { pitch_.store(hz); }
  void SetSilent(bool silent) { silent_.store(silent); }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    const qint64 samples = maxSize / 2;
    auto* out = reinterpret_cast<qint16*>(data);
    const double pitch = pitch_.load();
    const double amplitude = silent_.load() ? 0 : 9000;
    for (qint64 i = 0; i < samples; ++i) {
      out[i] = static_cast<qint16>(amplitude * std::sin(phase_));
      phase_ += 2 * std::numbers::pi * pitch / rate_;
      if (phase_ > 2 * std::numbers::pi) phase_ -= 2 * std::numbers::pi;
    }
    return samples * 2;
  }
  qint64 writeData(const char*, qint64) override { return -1; }
  qint64 bytesAvailable() const override { return 4096 + QIODevice::bytesAvailable(); }
  bool isSequential() const override { return true; }

 private:
  int rate_;
  std::atomic<double> pitch_{440};
  std::atomic<bool> silent_{true};
  double phase_ = 0;
};

namespace {

constexpr int kSampleRate = 22050;
constexpr int kLeastDigits = 44;  // px: the digits are never smaller
const QString kWidestLevel = QStringLiteral("-113 dBm");

QString Dbm(std::optional<int> level) {
  return level ? QString::number(*level) + QStringLiteral(" dBm") : QStringLiteral("(n/a)");
}

QFont DigitsFont(QFont font, int pixels) {
  font.setPixelSize(pixels);
  font.setBold(true);
  return font;
}

}  // namespace

double AlignmentPanel::TonePitch(int level) { return 300.0 + 20.0 * (std::clamp(level, -113, -40) + 113); }

QString AlignmentPanel::CellText(const history::TraceKey& key, const history::Trace* trace) {
  static const QString kTechs[] = {QStringLiteral("GSM"), QStringLiteral("WCDMA"), QStringLiteral("LTE"),
                                   QStringLiteral("NR")};
  static const QString kIds[] = {QStringLiteral("BSIC"), QStringLiteral("PSC"), QStringLiteral("PCI"),
                                 QStringLiteral("PCI")};
  const auto tech = static_cast<std::size_t>(key.tech);
  QString text = kTechs[tech] + QStringLiteral(", канал ") + QString::number(key.channel);
  if (key.id >= 0) {
    text += QStringLiteral(", ") + kIds[tech] + QStringLiteral(" ") +
            (key.tech == radio::Tech::gsm ? QStringLiteral("%1.%2").arg(key.id / 8).arg(key.id % 8)
                                          : QString::number(key.id));
  }
  if (trace != nullptr && !trace->cell.empty())
    text +=
        QStringLiteral(", сота ") + QString::fromLatin1(trace->cell.data(), static_cast<qsizetype>(trace->cell.size()));
  return text;
}

AlignmentPanel::AlignmentPanel(const history::CellHistory& model, QWidget* parent) : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("AlignmentPanel"));
  setWindowTitle(QStringLiteral("Режим наведения"));
  normalFont_ = font();
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  cell_ = new QLabel(this);
  cell_->setObjectName(QStringLiteral("lblAlignCell"));
  cell_->setWordWrap(true);
  grid->addWidget(cell_, 0, 0, 1, 2);
  heard_ = new QLabel(this);
  heard_->setObjectName(QStringLiteral("lblAlignHeard"));
  grid->addWidget(heard_, 1, 0, 1, 2);

  level_ = new QLabel(QStringLiteral("(n/a)"), this);
  level_->setObjectName(QStringLiteral("lblAlignLevel"));
  level_->setAlignment(Qt::AlignCenter);
  // Its size comes from the panel, and its font from its size, never the other way round.
  level_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  const QFontMetrics least(DigitsFont(font(), kLeastDigits));
  level_->setMinimumSize(least.horizontalAdvance(kWidestLevel) + 8, least.height());
  level_->setFont(DigitsFont(font(), kLeastDigits));
  level_->installEventFilter(this);
  grid->addWidget(level_, 2, 0, 1, 2);
  grid->setRowStretch(2, 1);

  grid->addWidget(new QLabel(QStringLiteral("Наибольший:"), this), 3, 0);
  highestLabel_ = new QLabel(this);
  highestLabel_->setObjectName(QStringLiteral("lblAlignHighest"));
  grid->addWidget(highestLabel_, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("Наименьший:"), this), 4, 0);
  lowestLabel_ = new QLabel(this);
  lowestLabel_->setObjectName(QStringLiteral("lblAlignLowest"));
  grid->addWidget(lowestLabel_, 4, 1);

  auto* buttons = new QHBoxLayout;
  auto* serving = new QPushButton(QStringLiteral("Активная"), this);
  serving->setObjectName(QStringLiteral("btnAlignServing"));
  serving->setToolTip(QStringLiteral("Навести на активную соту последнего цикла"));
  buttons->addWidget(serving);
  auto* reset = new QPushButton(QStringLiteral("Сбросить"), this);
  reset->setObjectName(QStringLiteral("btnAlignReset"));
  reset->setToolTip(QStringLiteral("Начать наибольший и наименьший уровень заново"));
  buttons->addWidget(reset);
  whole_ = new QPushButton(QStringLiteral("Во весь экран"), this);
  whole_->setObjectName(QStringLiteral("btnAlignFullScreen"));
  whole_->setToolTip(QStringLiteral("F11 или двойной щелчок; выход: Esc"));
  buttons->addWidget(whole_);
  grid->addLayout(buttons, 5, 0, 1, 2);

  tone_ = new QCheckBox(QStringLiteral("Звук (выше уровень, выше тон)"), this);
  tone_->setObjectName(QStringLiteral("chkTone"));
  grid->addWidget(tone_, 6, 0, 1, 2);
  toneState_ = new QLabel(this);
  toneState_->setObjectName(QStringLiteral("lblToneState"));
  toneState_->setWordWrap(true);
  grid->addWidget(toneState_, 7, 0, 1, 2);

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

  // F11 wherever the panel is shown; Esc only to leave the whole screen.
  auto* toggle = new QShortcut(QKeySequence(Qt::Key_F11), this);
  toggle->setObjectName(QStringLiteral("AlignFullScreenShortcut"));
  connect(toggle, &QShortcut::activated, this, [this] { SetFullScreen(!FullScreen()); });
  leave_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  leave_->setEnabled(false);
  connect(leave_, &QShortcut::activated, this, [this] { SetFullScreen(false); });

  connect(serving, &QPushButton::clicked, this, [this] { LockServing(); });
  connect(reset, &QPushButton::clicked, this, [this] { Reset(); });
  connect(whole_, &QPushButton::clicked, this, [this] { SetFullScreen(!FullScreen()); });
  connect(tone_, &QCheckBox::toggled, this, [this](bool on) { SetTone(on); });
  Reset();
}

AlignmentPanel::~AlignmentPanel() {
  if (sink_) sink_->stop();
}

const history::Trace* AlignmentPanel::LockedTrace() const {
  if (!locked_) return nullptr;
  const int found = model_.FindTrace(*locked_);
  return found < 0 ? nullptr : &model_.Traces()[static_cast<std::size_t>(found)];
}

std::optional<int> AlignmentPanel::LockedLevel() const {
  const history::Trace* trace = LockedTrace();
  if (trace == nullptr || trace->cycles.empty() || trace->cycles.back() + 1 != model_.CycleCount()) return std::nullopt;
  return trace->levels.back();
}

AlignmentPanel::Heard AlignmentPanel::LockedHeard() const {
  if (!locked_) return Heard::noCell;
  if (!LockedLevel()) return Heard::notHeard;
  return LockedTrace()->serving.back() != 0 ? Heard::serving : Heard::neighbour;
}

bool AlignmentPanel::LockServing() {
  if (model_.CycleCount() == 0) return false;
  const auto newest = static_cast<std::uint32_t>(model_.CycleCount() - 1);
  const history::Trace* serving = nullptr;
  for (const history::Trace& trace : model_.Traces()) {
    if (trace.cycles.empty() || trace.cycles.back() != newest || trace.serving.back() == 0) continue;
    // With EN-DC the LTE anchor serves beside its NR leg: the anchor is the one to align to.
    if (serving == nullptr || trace.key.tech < serving->key.tech) serving = &trace;
  }
  if (serving == nullptr) return false;
  LockCell(serving->key);
  return true;
}

void AlignmentPanel::LockCell(const history::TraceKey& key) {
  locked_ = key;
  Reset();
}

void AlignmentPanel::Reset() {
  highest_.reset();
  lowest_.reset();
  seenCycles_ = model_.CycleCount();
  if (const auto level = LockedLevel()) highest_ = lowest_ = level;
  ShowState();
}

void AlignmentPanel::Fold() {
  if (const history::Trace* trace = LockedTrace()) {
    for (std::size_t i = trace->cycles.size(); i > 0 && trace->cycles[i - 1] >= seenCycles_; --i) {
      const int level = trace->levels[i - 1];
      highest_ = highest_ ? std::max(*highest_, level) : level;
      lowest_ = lowest_ ? std::min(*lowest_, level) : level;
    }
  }
  seenCycles_ = model_.CycleCount();
}

void AlignmentPanel::ModelChanged() {
  if (model_.CycleCount() < seenCycles_) {  // a new connection: the same cell, its figures anew
    seenCycles_ = 0;
    highest_.reset();
    lowest_.reset();
  }
  if (!locked_ && isVisible()) LockServing();
  Fold();
  ShowState();
}

void AlignmentPanel::ShowState() {
  const std::optional<int> level = LockedLevel();
  cell_->setText(locked_ ? CellText(*locked_, LockedTrace()) : QStringLiteral("Сота не выбрана"));
  switch (LockedHeard()) {
    case Heard::noCell:
      heard_->clear();
      break;
    case Heard::serving:
      heard_->setText(QStringLiteral("активная"));
      break;
    case Heard::neighbour:
      heard_->setText(QStringLiteral("соседняя"));
      break;
    case Heard::notHeard:
      heard_->setText(QStringLiteral("не слышна в последнем цикле"));
      break;
  }
  level_->setText(!locked_ || level ? Dbm(level) : QStringLiteral("нет"));
  highestLabel_->setText(Dbm(highest_));
  lowestLabel_->setText(Dbm(lowest_));
  if (source_) {
    if (level) source_->SetPitch(TonePitch(*level));
    source_->SetSilent(!level);
  }
}

bool AlignmentPanel::FullScreen() const { return isWindow() && windowState().testFlag(Qt::WindowFullScreen); }

void AlignmentPanel::SetFullScreen(bool on) {
  if (on == FullScreen()) return;
  QWidget* home = parentWidget();
  if (on) {
    if (home != nullptr) setWindowFlag(Qt::Window, true);
    showFullScreen();
  } else {
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    if (home != nullptr) setWindowFlag(Qt::Window, false);
    show();
    // Back in its place in the window's layout.
    if (home != nullptr && home->layout() != nullptr) home->layout()->activate();
  }
  leave_->setEnabled(on);
  whole_->setText(on ? QStringLiteral("Вернуть в окно") : QStringLiteral("Во весь экран"));
  if (on) activateWindow();
  FitFonts();
}

int AlignmentPanel::DigitsPixelSize() const { return level_->font().pixelSize(); }

void AlignmentPanel::FitFonts() {
  // Full screen, every text grows to be read from a few metres.
  QFont texts = normalFont_;
  if (FullScreen()) texts.setPixelSize(std::max(QFontInfo(normalFont_).pixelSize(), height() / 24));
  if (font() != texts) setFont(texts);
  const int margin = FullScreen() ? texts.pixelSize() : 0;
  if (layout()->contentsMargins().left() != margin) layout()->setContentsMargins(margin, margin, margin, margin);

  const QFontMetrics hundred(DigitsFont(font(), 100));
  const int byHeight = level_->height() * 100 / std::max(hundred.height(), 1);
  const int byWidth = (level_->width() - 8) * 100 / std::max(hundred.horizontalAdvance(kWidestLevel), 1);
  const int pixels = std::max(kLeastDigits, std::min(byHeight, byWidth));
  if (level_->font().pixelSize() != pixels) level_->setFont(DigitsFont(font(), pixels));
}

void AlignmentPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!locked_) LockServing();
  FitFonts();
}

void AlignmentPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitFonts();
}

bool AlignmentPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == level_ && event->type() == QEvent::Resize) FitFonts();
  return QWidget::eventFilter(watched, event);
}

void AlignmentPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) SetFullScreen(!FullScreen());
}

void AlignmentPanel::closeEvent(QCloseEvent* event) {
  // Closing the whole-screen view puts the panel back rather than losing it.
  if (parentWidget() != nullptr && isWindow()) {
    event->ignore();
    SetFullScreen(false);
    return;
  }
  QWidget::closeEvent(event);
}

void AlignmentPanel::SetTone(bool on) {
  if (!sink_) return;
  if (on) {
    ShowState();
    sink_->start(source_.get());
  } else {
    sink_->stop();
  }
}

bool AlignmentPanel::TonePlaying() const { return sink_ && sink_->state() == QAudio::ActiveState; }

}  // namespace ui
