#include "ui/history_window.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "history/run_events.h"
#include "platform/text_encoding.h"
#include "ui/alignment_panel.h"
#include "ui/app_state.h"
#include "ui/cell_statistics_window.h"
#include "ui/local_file_name.h"
#include "ui/message_box.h"
#include "ui/plot_image.h"
#include "ui/program_settings.h"

namespace ui {

struct LiveHistory {
  history::CellHistory model;
  QPointer<HistoryWindow> window;
};

namespace {

using namespace platform::literals;

LiveHistory& Live() {
  WindowState& state = State();
  if (state.liveHistory == nullptr) state.liveHistory = new LiveHistory;
  return *state.liveHistory;
}

}  // namespace

HistoryWindow::HistoryWindow(const history::CellHistory& model, bool live, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
  setObjectName(live ? QStringLiteral("LiveHistoryWindow") : QStringLiteral("LogHistoryWindow"));
  setWindowTitle(QStringLiteral("История измерений"));
  setAttribute(Qt::WA_DeleteOnClose, !live);
  resize(900, 520);

  auto* layout = new QVBoxLayout(this);
  QPushButton* alignButton = nullptr;
  auto* bar = new QHBoxLayout;
  layout->addLayout(bar);
  follow_ = new QCheckBox(QStringLiteral("Следить"), this);
  follow_->setObjectName(QStringLiteral("chkFollow"));
  follow_->setToolTip(QStringLiteral("Держать в виду последний цикл"));
  bar->addWidget(follow_);
  auto* all = new QPushButton(QStringLiteral("Весь протокол"), this);
  all->setObjectName(QStringLiteral("btnShowAll"));
  bar->addWidget(all);
  auto* onlyActive = new QCheckBox(QStringLiteral("Только активная"), this);
  onlyActive->setObjectName(QStringLiteral("chkOnlyActive"));
  onlyActive->setToolTip(QStringLiteral("Только уровень активной соты, в цвете той соты, что была активной"));
  bar->addWidget(onlyActive);
  QSpinBox* threshold = nullptr;
  if (live) {
    bar->addSpacing(16);
    bar->addWidget(new QLabel(QStringLiteral("Порог уровня:"), this));
    threshold = new QSpinBox(this);
    threshold->setObjectName(QStringLiteral("spnThreshold"));
    threshold->setRange(-120, -40);
    threshold->setSuffix(QStringLiteral(" dBm"));
    threshold->setValue(SavedLevelThreshold());
    threshold->setToolTip(
        QStringLiteral("Событие, когда уровень активной соты опускается ниже порога и поднимается снова"));
    connect(threshold, &QSpinBox::valueChanged, this, [](int dbm) {
      SaveLevelThreshold(dbm);
      if (history::RunEvents* events = State().liveEvents) events->SetThreshold(dbm);
    });
    bar->addWidget(threshold);
    bar->addSpacing(16);
    alignButton = new QPushButton(QStringLiteral("Режим наведения"), this);
    alignButton->setObjectName(QStringLiteral("btnAlignment"));
    alignButton->setCheckable(true);
    alignButton->setToolTip(QStringLiteral("Уровень крупными цифрами, наибольший и наименьший, звук"));
    bar->addWidget(alignButton);
  }
  bar->addStretch(1);
  auto* hint = new QLabel(QStringLiteral("Колесо: масштаб, перетаскивание: прокрутка"), this);
  hint->setEnabled(false);
  bar->addWidget(hint);

  auto* body = new QHBoxLayout;
  layout->addLayout(body, 1);
  plot_ = new HistoryPlot(model, this);
  plot_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(plot_, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
    QMenu* menu = BuildPlotMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(plot_->mapToGlobal(at));
  });
  connect(onlyActive, &QCheckBox::toggled, plot_, &HistoryPlot::SetOnlyActive);
  // Live the threshold is the spin box's; a log's history shows the one the program is set to.
  plot_->SetThreshold(SavedLevelThreshold());
  if (threshold != nullptr)
    connect(threshold, &QSpinBox::valueChanged, plot_, [this](int dbm) { plot_->SetThreshold(dbm); });
  plot_->SetDateOnAxis(!live);
  body->addWidget(plot_, 1);
  auto* side = new QVBoxLayout;
  body->addLayout(side);
  legend_ = new HistoryLegend(model, *plot_, this);
  legend_->setFixedWidth(270);
  side->addWidget(legend_, 1);
  if (live) {
    alignment_ = new AlignmentPanel(model, this);
    alignment_->setVisible(false);
    side->addWidget(alignment_);
    connect(alignButton, &QPushButton::toggled, alignment_, &QWidget::setVisible);
  }

  follow_->setChecked(live);
  plot_->SetFollowing(live);
  connect(follow_, &QCheckBox::toggled, plot_, &HistoryPlot::SetFollowing);
  connect(plot_, &HistoryPlot::followChanged, follow_, &QCheckBox::setChecked);
  connect(all, &QPushButton::clicked, this, [this] {
    plot_->SetFollowing(false);
    plot_->ShowAll();
  });
  if (!live) plot_->ShowAll();
  ModelChanged();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::ModelChanged() {
  legend_->ModelChanged();
  plot_->ModelChanged();
  if (alignment_ != nullptr) alignment_->ModelChanged();
  if (statistics_) statistics_->ModelChanged();
}

QMenu* HistoryWindow::BuildPlotMenu() {
  auto* menu = new QMenu(this);
  const auto add = [&](const QString& text, const char* name, auto slot) {
    QAction* action = menu->addAction(text, this, slot);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  add(QStringLiteral("Сохранить как PNG…"), "actSavePlotPng", [this] { SavePlot(QStringLiteral("png")); });
  add(QStringLiteral("Сохранить как SVG…"), "actSavePlotSvg", [this] { SavePlot(QStringLiteral("svg")); });
  add(QStringLiteral("Копировать"), "actCopyPlot", [this] { CopyPlotImage(*plot_); });
  add(QStringLiteral("Печать…"), "actPrintPlot", [this] { Print(); });
  menu->addSeparator();
  add(QStringLiteral("Статистика по сотам"), "actCellStatistics", [this] { OpenStatistics(); });
  return menu;
}

CellStatisticsWindow& HistoryWindow::OpenStatistics() {
  if (!statistics_) statistics_ = new CellStatisticsWindow(model_, this);
  statistics_->Refresh();
  statistics_->show();
  statistics_->raise();
  return *statistics_;
}

void HistoryWindow::SavePlot(const QString& format) {
  QFileDialog dialog(this, QStringLiteral("Сохранить график"));
  dialog.setObjectName(QStringLiteral("dlgSavePlot"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(format.toUpper() + QStringLiteral(" (*.") + format + QLatin1Char(')'));
  dialog.setDefaultSuffix(format);
  dialog.selectFile(QStringLiteral("История измерений.") + format);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString fileName = dialog.selectedFiles().front();
  if (!SavePlotImage(*plot_, fileName))
    ShowError(std::string("Невозможно сохранить график в файл "_cp1251) +
              platform::Utf8ToCp1251(fileName.toStdString()));
}

void HistoryWindow::Print() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  dialog.setObjectName(QStringLiteral("dlgPrintPlot"));
  if (dialog.exec() != QDialog::Accepted) return;
  if (!PrintPlot(*plot_, printer)) ShowError(std::string("Невозможно напечатать график"_cp1251));
}

bool HistoryWindow::ShowTime(const QDateTime& time) {
  if (model_.AxisKind() != history::CellHistory::Axis::time || !time.isValid()) return false;
  plot_->SetFollowing(false);
  const double at = static_cast<double>(time.toMSecsSinceEpoch()) / 1000;
  const double span = plot_->To() - plot_->From();
  plot_->SetRange(at - span / 2, at + span / 2);
  return true;
}

void AddLiveCycle(const radio::Cycle& cycle) {
  if (!history::HasCells(cycle)) return;
  LiveHistory& live = Live();
  live.model.AddCycle(history::AxisTime(cycle.time), cycle);
  if (live.window) live.window->ModelChanged();
}

void AddLiveEvent(const history::CellEvent& event) {
  LiveHistory& live = Live();
  // A new connection starts a new history.
  if (event.kind == history::EventKind::connectionStarted) {
    live.model.Clear(history::CellHistory::Axis::time);
  }
  live.model.AddEvent(history::AxisTime(event.time), event);
  if (live.window) live.window->ModelChanged();
}

HistoryWindow& OpenLiveHistory(QWidget* parent) {
  LiveHistory& live = Live();
  if (!live.window) live.window = new HistoryWindow(live.model, true, parent);
  live.window->show();
  live.window->raise();
  live.window->activateWindow();
  return *live.window;
}

HistoryWindow* OpenLogHistory(const std::string& fileName, QWidget* parent) {
  auto model = std::make_unique<history::CellHistory>();
  const history::LoadResult loaded = history::LoadHistory(fileName, *model);
  // A damaged log still shows the cycles before the damage; an unreadable one nothing.
  if (!loaded.ok && loaded.cycles == 0) {
    ShowError(loaded.error);
    return nullptr;
  }
  auto* window = new HistoryWindow(*model, false, parent);
  window->setWindowTitle(QStringLiteral("История измерений — ") +
                         ShownFileName(std::filesystem::path(fileName).filename().string()));
  // The model lives as long as its window.
  QObject::connect(window, &QObject::destroyed, [held = model.release()] { delete held; });
  window->show();
  window->raise();
  return window;
}

QAction* AddLiveHistoryAction(QMenu& menu, QWidget* parent) {
  QAction* action = menu.addAction(QStringLiteral("История измерений"), parent, [parent] { OpenLiveHistory(parent); });
  action->setObjectName(QStringLiteral("actHistory"));
  action->setShortcut(kHistoryShortcut);
  return action;
}

QAction* AddLogHistoryAction(QMenu& menu, QWidget* parent, std::string fileName) {
  QAction* action = menu.addAction(QStringLiteral("История измерений"), parent,
                                   [parent, fileName] { OpenLogHistory(fileName, parent); });
  action->setObjectName(QStringLiteral("actLogHistory"));
  action->setEnabled(!fileName.empty());
  return action;
}

void InstallHistoryShortcut(QWidget& window) {
  auto* shortcut = new QShortcut(kHistoryShortcut, &window);
  shortcut->setObjectName(QStringLiteral("HistoryShortcut"));
  QObject::connect(shortcut, &QShortcut::activated, &window, [&window] { OpenLiveHistory(&window); });
}

int SavedLevelThreshold() {
  const QSettings store(kSettingsOrganization, kSettingsApplication);
  const int dbm =
      store.value(QStringLiteral("history/levelThreshold"), history::EventDetector::kDefaultThreshold).toInt();
  return std::clamp(dbm, -120, -40);
}

void SaveLevelThreshold(int dbm) {
  QSettings store(kSettingsOrganization, kSettingsApplication);
  store.setValue(QStringLiteral("history/levelThreshold"), dbm);
}

}  // namespace ui
