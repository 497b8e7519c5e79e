#include "ui/cells_window.h"

#include <QAction>
#include <QDateTime>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/text_encoding.h"
#include "radio/cell_values.h"
#include "ui/app_state.h"

namespace ui {

struct LiveCells {
  std::optional<radio::Cycle> latest;
  QString dialect;
  QPointer<CellsWindow> window;
};

namespace {

constexpr std::size_t kTechs = 4;
const QString kNotAvailable = QStringLiteral("(n/a)");

// A table's columns: the caption and the value's name in the cycle record ("" for the cell's role).
struct Column {
  const char* caption;
  std::string_view name;
};

const std::vector<Column>& Columns(radio::Tech tech) {
  static const std::array<std::vector<Column>, kTechs> kColumns = {{
      {{"Сота", ""},
       {"Канал", "channel"},
       {"Диапазон", "band"},
       {"BSIC", "bsic"},
       {"Уровень, dBm", "rxlevel_dbm"},
       {"RXQUAL", "rxqual"},
       {"C1", "c1"},
       {"C2", "c2"},
       {"TA", "ta"}},
      {{"Сота", ""},
       {"UARFCN", "channel"},
       {"Диапазон", "band"},
       {"PSC", "psc"},
       {"RSCP, dBm", "rscp_dbm"},
       {"Ec/No, dB", "ecno_db"}},
      {{"Сота", ""},
       {"EARFCN", "channel"},
       {"Диапазон", "band"},
       {"PCI", "pci"},
       {"RSRP, dBm", "rsrp_dbm"},
       {"RSRQ, dB", "rsrq_db"},
       {"RSSI, dBm", "rssi_dbm"},
       {"SINR, dB", "sinr_db"}},
      {{"Сота", ""},
       {"NR-ARFCN", "channel"},
       {"Диапазон", "band"},
       {"PCI", "pci"},
       {"SS-RSRP, dBm", "rsrp_dbm"},
       {"SS-RSRQ, dB", "rsrq_db"},
       {"SS-SINR, dB", "sinr_db"}},
  }};
  return kColumns[static_cast<std::size_t>(tech)];
}

constexpr const char* kTechCaptions[kTechs] = {"GSM", "WCDMA", "LTE", "NR"};
constexpr const char* kTableNames[kTechs] = {"GsmCells", "WcdmaCells", "LteCells", "NrCells"};

QString ToQt(std::string_view cp1251) { return QString::fromStdString(platform::Cp1251ToUtf8(cp1251)); }

// A number as the window writes numbers: a decimal comma.
QString NumberText(double number) { return QString::fromStdString(radio::NumberText(number)).replace('.', ','); }

QString ValueText(const radio::Value& value) {
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return QString::number(*whole);
  if (const auto* real = std::get_if<double>(&value)) return NumberText(*real);
  if (const auto* text = std::get_if<std::string>(&value)) return ToQt(*text);
  return kNotAvailable;
}

// The GSM measures the naming scheme leaves out of machine outputs, shown here all the same.
radio::Value GsmExtra(const radio::Cell& cell, std::string_view name) {
  const radio::GsmMeasures* gsm = cell.gsm();
  if (gsm == nullptr) return {};
  const std::optional<int> number = name == "c1" ? gsm->c1 : name == "c2" ? gsm->c2 : std::nullopt;
  if (!number) return {};
  return static_cast<std::int64_t>(*number);
}

QString CellValueText(const radio::Cell& cell, std::string_view name) {
  if (name == "c1" || name == "c2") return ValueText(GsmExtra(cell, name));
  // A BSIC as the main window writes it: NCC.BCC.
  if (name == "bsic" && cell.gsm() != nullptr && cell.gsm()->bsic) {
    return QStringLiteral("%1.%2").arg(*cell.gsm()->bsic / 8).arg(*cell.gsm()->bsic % 8);
  }
  return ValueText(radio::CellValue(cell, name));
}

struct RoleCell {
  QString role;
  const radio::Cell* cell;
};

QLabel* ValueLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(kNotAvailable, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

LiveCells& Live() {
  WindowState& state = State();
  if (state.liveCells == nullptr) state.liveCells = new LiveCells;
  return *state.liveCells;
}

}  // namespace

CellsWindow::CellsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("CellsWindow"));
  setWindowTitle(QStringLiteral("Соты"));
  auto* layout = new QVBoxLayout(this);

  // The serving cell's identity.
  auto* identity = new QGridLayout;
  layout->addLayout(identity);
  tech_ = ValueLabel("lblTech", this);
  mcc_ = ValueLabel("lblMcc", this);
  mnc_ = ValueLabel("lblMnc", this);
  area_ = ValueLabel("lblArea", this);
  cell_ = ValueLabel("lblCell", this);
  areaCaption_ = new QLabel(QStringLiteral("LAC:"), this);
  areaCaption_->setObjectName(QStringLiteral("lblAreaCaption"));
  const std::pair<QLabel*, QLabel*> rows[] = {
      {new QLabel(QStringLiteral("Активная сота:"), this), tech_},
      {new QLabel(QStringLiteral("MCC:"), this), mcc_},
      {new QLabel(QStringLiteral("MNC:"), this), mnc_},
      {areaCaption_, area_},
      {new QLabel(QStringLiteral("Идентификатор соты:"), this), cell_},
  };
  int column = 0;
  for (const auto& [caption, value] : rows) {
    identity->addWidget(caption, 0, column++);
    identity->addWidget(value, 0, column++);
  }
  identity->setColumnStretch(column, 1);

  for (std::size_t t = 0; t < kTechs; ++t) {
    const auto& columns = Columns(static_cast<radio::Tech>(t));
    captions_[t] = new QLabel(QStringLiteral("<b>%1</b>").arg(QString::fromLatin1(kTechCaptions[t])), this);
    auto* table = new QTableWidget(0, static_cast<int>(columns.size()), this);
    table->setObjectName(QString::fromLatin1(kTableNames[t]));
    QStringList headers;
    for (const Column& c : columns) headers << QString::fromUtf8(c.caption);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->setVisible(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tables_[t] = table;
    layout->addWidget(captions_[t]);
    layout->addWidget(table, 1);
    captions_[t]->setVisible(false);
    table->setVisible(false);
  }
  layout->addStretch(0);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("lblStatus"));
  status_->setFrameShape(QFrame::StyledPanel);
  layout->addWidget(status_);
  UpdateStatus();
  resize(720, 600);
}

void CellsWindow::ShowCycle(const radio::Cycle& cycle) {
  std::array<std::vector<RoleCell>, kTechs> byTech;
  if (cycle.serving)
    byTech[static_cast<std::size_t>(cycle.serving->tech())].push_back({QStringLiteral("активная"), &*cycle.serving});
  for (const radio::Cell& cell : cycle.secondary)
    byTech[static_cast<std::size_t>(cell.tech())].push_back({QStringLiteral("EN-DC"), &cell});
  for (std::size_t i = 0; i < cycle.neighbours.size(); ++i) {
    const radio::Cell& cell = cycle.neighbours[i];
    // A rank the report left empty is no cell.
    if (!cell.channel && !cell.LevelDbm()) continue;
    byTech[static_cast<std::size_t>(cell.tech())].push_back(
        {QStringLiteral("соседняя %1").arg(static_cast<qulonglong>(i + 1)), &cell});
  }
  for (std::size_t t = 0; t < kTechs; ++t) {
    QTableWidget* table = tables_[t];
    const auto& columns = Columns(static_cast<radio::Tech>(t));
    const auto& cells = byTech[t];
    table->setRowCount(static_cast<int>(cells.size()));
    for (std::size_t row = 0; row < cells.size(); ++row) {
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const QString text =
            columns[c].name.empty() ? cells[row].role : CellValueText(*cells[row].cell, columns[c].name);
        QTableWidgetItem* item = table->item(static_cast<int>(row), static_cast<int>(c));
        if (item == nullptr) {
          item = new QTableWidgetItem;
          item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
          table->setItem(static_cast<int>(row), static_cast<int>(c), item);
        }
        if (item->text() != text) item->setText(text);
      }
    }
    captions_[t]->setVisible(!cells.empty());
    table->setVisible(!cells.empty());
  }

  const radio::Cell* serving = cycle.serving ? &*cycle.serving : nullptr;
  const auto value = [serving](std::string_view name) {
    return serving == nullptr ? kNotAvailable : ValueText(radio::CellValue(*serving, name));
  };
  tech_->setText(serving == nullptr ? kNotAvailable
                                    : QString::fromLatin1(kTechCaptions[static_cast<std::size_t>(serving->tech())]));
  mcc_->setText(value("mcc"));
  QString mnc = value("mnc");
  if (serving != nullptr && serving->mnc && *serving->mnc < 10) mnc.prepend('0');
  mnc_->setText(mnc);
  const bool tracking =
      serving != nullptr && (serving->tech() == radio::Tech::lte || serving->tech() == radio::Tech::nr);
  areaCaption_->setText(tracking ? QStringLiteral("TAC:") : QStringLiteral("LAC:"));
  area_->setText(value(tracking ? "tac" : "lac"));
  cell_->setText(value("cell_id"));
  cycle_ = cycle.n;
  time_ = cycle.time == std::chrono::system_clock::time_point{}
              ? QString()
              : QDateTime::fromMSecsSinceEpoch(
                    std::chrono::duration_cast<std::chrono::milliseconds>(cycle.time.time_since_epoch()).count())
                    .toString(QStringLiteral("HH:mm:ss"));
  UpdateStatus();
}

void CellsWindow::SetDialect(const QString& dialect) {
  dialect_ = dialect;
  UpdateStatus();
}

void CellsWindow::UpdateStatus() {
  QString text = QStringLiteral("Диалект: ") + (dialect_.isEmpty() ? QStringLiteral("не определён") : dialect_);
  if (cycle_ > 0) {
    text += QStringLiteral("   Цикл %1").arg(cycle_);
    if (!time_.isEmpty()) text += QStringLiteral(", ") + time_;
  }
  status_->setText(text);
}

void ShowLiveCells(const radio::Cycle& cycle) {
  LiveCells& live = Live();
  live.latest = cycle;
  if (live.window) live.window->ShowCycle(cycle);
}

void SetLiveDialect(const QString& dialect) {
  LiveCells& live = Live();
  live.dialect = dialect;
  if (live.window) live.window->SetDialect(dialect);
}

CellsWindow& OpenLiveCells(QWidget* parent) {
  LiveCells& live = Live();
  if (!live.window) {
    live.window = new CellsWindow(parent);
    live.window->SetDialect(live.dialect);
    if (live.latest) live.window->ShowCycle(*live.latest);
  }
  live.window->show();
  live.window->raise();
  live.window->activateWindow();
  return *live.window;
}

QAction* AddLiveCellsAction(QMenu& menu, QWidget* parent) {
  QAction* action = menu.addAction(QStringLiteral("Соты"), parent, [parent] { OpenLiveCells(parent); });
  action->setObjectName(QStringLiteral("actCells"));
  action->setShortcut(kCellsShortcut);
  return action;
}

void InstallCellsShortcut(QWidget& window) {
  auto* shortcut = new QShortcut(kCellsShortcut, &window);
  shortcut->setObjectName(QStringLiteral("CellsShortcut"));
  QObject::connect(shortcut, &QShortcut::activated, &window, [&window] { OpenLiveCells(&window); });
}

}  // namespace ui
