#include "ui/viewer.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHideEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextCursor>
#include <QVBoxLayout>

#include "platform/text_encoding.h"
#include "ui/app_state.h"
#include "ui/export_action.h"
#include "ui/report_font.h"
#include "ui/report_printer.h"

namespace ui {
namespace {

using namespace platform::literals;

TfrmViewer* g_reportWindow = nullptr;

// The outer 544 x 505 less a 4-pixel frame and a 23-pixel title bar.
constexpr QSize kClientSize(536, 474);

QString FromCp1251(std::string_view text) { return QString::fromStdString(platform::Cp1251ToUtf8(text)); }

QPushButton* MakeButton(QWidget* panel, const char* name, std::string_view caption, QRect geometry) {
  auto* button = new QPushButton(FromCp1251(caption), panel);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  return button;
}

// Owned by the report window: the main window is disabled while the report is shown, and a box
// owned by it would be disabled too.
void ShowMessage(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QString(), text, QMessageBox::Ok, owner);
  box.setObjectName(icon == QMessageBox::Critical ? QStringLiteral("ErrorBox") : QStringLiteral("InfoBox"));
  box.exec();
}

}  // namespace

TfrmViewer* ReportWindow() { return g_reportWindow; }

void CopyTextToClipboard(const QString& text) { QGuiApplication::clipboard()->setText(text); }

TfrmViewer::TfrmViewer(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmViewer"));
  setWindowTitle(FromCp1251("Просмотр протокола"_cp1251));
  QFont windowFont(QStringLiteral("Liberation Sans"), 8);
  windowFont.setStyleHint(QFont::SansSerif);
  setFont(windowFont);
  resize(kClientSize);

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(25);
  btnPrint = MakeButton(Panel1, "btnPrint", "Печать"_cp1251, QRect(0, 1, 105, 25));
  // Shown: the report cannot be selected, so this button is the only way to take its text into
  // a mail or a document.
  btnClipboard = MakeButton(Panel1, "btnClipboard", "Скопировать в буфер обмена"_cp1251, QRect(112, 1, 161, 25));

  OpenDialog = new QFileDialog(this, QStringLiteral("Ostrin GSM monitor"));
  OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
  OpenDialog->setNameFilter(FromCp1251("Файлы протокола (*.log)"_cp1251));
  OpenDialog->setDefaultSuffix(QStringLiteral("log"));
  OpenDialog->setFileMode(QFileDialog::ExistingFile);
  OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog->setOption(QFileDialog::ReadOnly, true);
  OpenDialog->setSidebarUrls({});

  Report = new QPlainTextEdit(this);
  Report->setObjectName(QStringLiteral("Report"));
  Report->setReadOnly(true);
  // Keyboard interaction keeps a visible caret in the read-only pane.
  Report->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Report->setFont(ReportFont());
  Report->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Report->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  Report->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Report->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  QPalette palette = Report->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  Report->setPalette(palette);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel1);
  layout->addWidget(Report);

  connect(btnPrint, &QPushButton::clicked, this, &TfrmViewer::btnPrintClick);
  connect(btnClipboard, &QPushButton::clicked, this, &TfrmViewer::btnClipboardClick);
  connect(Report, &QPlainTextEdit::selectionChanged, this, &TfrmViewer::ReportSelectionChange);

  InstallExportMenu(*this);
  if (g_reportWindow == nullptr) g_reportWindow = this;
}

TfrmViewer::~TfrmViewer() {
  if (g_reportWindow == this) g_reportWindow = nullptr;
}

void TfrmViewer::SetReport(const std::string& text, const QString& sourceFile) {
  QString content = FromCp1251(text);
  content.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Report->setPlainText(content);
  sourceFile_ = sourceFile;
}

QString TfrmViewer::ReportText() const { return Report->toPlainText(); }

QString TfrmViewer::RunOpenDialog() {
  if (OpenDialog->exec() != QDialog::Accepted) return QString();
  const QStringList chosen = OpenDialog->selectedFiles();
  return chosen.isEmpty() ? QString() : QFileInfo(chosen.first()).absoluteFilePath();
}

QString TfrmViewer::PdfFallbackPath() const {
  if (sourceFile_.isEmpty()) return QDir::home().absoluteFilePath(QStringLiteral("ostrin_gsmmon_report.pdf"));
  QString path = QFileInfo(sourceFile_).absoluteFilePath();
  if (path.endsWith(QStringLiteral(".log"), Qt::CaseInsensitive)) path.chop(4);
  return path + QStringLiteral(".pdf");
}

void TfrmViewer::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!centred_) {
    centred_ = true;
    if (const QScreen* desktop = screen(); desktop != nullptr) {
      QRect frame = frameGeometry();
      frame.moveCenter(desktop->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  // The window system's own show and hide (minimising, restoring) change no mode.
  if (!event->spontaneous()) FormShow();
}

void TfrmViewer::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous()) FormHide();
}

void TfrmViewer::FormShow() {
  if (!ViewerOnly() && MainWindow() != nullptr) MainWindow()->setEnabled(false);
}

void TfrmViewer::FormHide() {
  if (ViewerOnly()) {
    QCoreApplication::exit(0);
  } else if (MainWindow() != nullptr) {
    MainWindow()->setEnabled(true);
  }
}

void TfrmViewer::ReportSelectionChange() {
  QTextCursor cursor = Report->textCursor();
  if (!cursor.hasSelection()) return;
  cursor.clearSelection();
  Report->setTextCursor(cursor);
}

void TfrmViewer::btnPrintClick() {
  const QPrinterInfo printerInfo = QPrinterInfo::defaultPrinter();
  if (!printerInfo.isNull()) {
    QPrinter printer(printerInfo, QPrinter::HighResolution);
    PrintReport(ReportText(), printer);
    return;
  }
  // Without a printer the report goes to a PDF beside its log, and the user learns where.
  const QString path = PdfFallbackPath();
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setResolution(600);
  printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
  if (PrintReport(ReportText(), printer) > 0) {
    ShowMessage(this, QMessageBox::Information,
                FromCp1251("Принтер не найден. Протокол сохранен в файл "_cp1251) + path);
  } else {
    ShowMessage(this, QMessageBox::Critical, FromCp1251("Невозможно сохранить протокол в файл "_cp1251) + path);
  }
}

void TfrmViewer::btnClipboardClick() { CopyTextToClipboard(ReportText()); }

}  // namespace ui
