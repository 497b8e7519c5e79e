#include "ui/viewer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHideEvent>
#include <QMessageBox>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextCursor>
#include <QVBoxLayout>

#include "platform/file_name.h"
#include "platform/text_encoding.h"
#include "ui/app_state.h"
#include "ui/export_action.h"
#include "ui/local_file_name.h"
#include "ui/log_folder.h"
#include "ui/report_font.h"
#include "ui/report_printer.h"

namespace ui {
namespace {

using namespace platform::literals;

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
// owned by it would be disabled too. The box speaks in the window's own 8-point font.
void ShowMessage(QWidget* owner, QMessageBox::Icon icon, std::string_view cp1251) {
  QMessageBox box(icon, QString(), FromCp1251(cp1251), QMessageBox::Ok, owner);
  box.setFont(owner->font());
  box.setObjectName(icon == QMessageBox::Critical ? QStringLiteral("ErrorBox") : QStringLiteral("InfoBox"));
  box.exec();
}

// The open dialog, which also takes a file whose name is no UTF-8: Qt lists it with replacement
// characters and would then find no such file.
class LogOpenDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const QStringList files = selectedFiles();
    if (fileMode() == QFileDialog::ExistingFile && files.size() == 1 && !QFileInfo::exists(files.first())) {
      struct stat info {};
      if (::stat(LocalFileName(files.first()).c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        QDialog::accept();
        return;
      }
    }
    QFileDialog::accept();
  }
};

// Puts a window's centre on a point each time it is shown, once its size and frame are known.
class CentreOnShow : public QObject {
 public:
  CentreOnShow(QWidget& window, QPoint centre) : window_(window), centre_(centre) { window_.installEventFilter(this); }
  CentreOnShow(const CentreOnShow&) = delete;
  CentreOnShow& operator=(const CentreOnShow&) = delete;
  ~CentreOnShow() override { window_.removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == QEvent::Show) {
      QRect frame = window_.frameGeometry();
      frame.moveCenter(centre_);
      window_.move(frame.topLeft());
    }
    return false;
  }

 private:
  QWidget& window_;
  QPoint centre_;
};

}  // namespace

TfrmViewer* ReportWindow() { return State().reportWindow; }

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

  OpenDialog = new LogOpenDialog(this, QStringLiteral("Ostrin GSM monitor"));
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
  if (State().reportWindow == nullptr) State().reportWindow = this;
}

TfrmViewer::~TfrmViewer() {
  if (State().reportWindow == this) State().reportWindow = nullptr;
}

void TfrmViewer::SetReport(const std::string& text, const std::string& sourceFile) {
  QString content = FromCp1251(text);
  content.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Report->setPlainText(content);
  sourceFile_ = sourceFile;
}

QString TfrmViewer::ReportText() const { return Report->toPlainText(); }

QString TfrmViewer::RunOpenDialog() {
  // Hidden, this window is about to appear centred on the desktop: the dialog takes that centre.
  QPoint centre = frameGeometry().center();
  if (!isVisible()) {
    if (const QScreen* desktop = screen(); desktop != nullptr) centre = desktop->availableGeometry().center();
  }
  const CentreOnShow centring(*OpenDialog, centre);
  if (MakeLogFolder()) OpenDialog->setDirectory(LogFolder());
  if (OpenDialog->exec() != QDialog::Accepted) return QString();
  const QStringList chosen = OpenDialog->selectedFiles();
  return chosen.isEmpty() ? QString() : QFileInfo(chosen.first()).absoluteFilePath();
}

std::string TfrmViewer::PdfFallbackPath() const {
  if (sourceFile_.empty()) return QFile::encodeName(QDir::homePath()).toStdString() + "/ostrin_gsmmon_report.pdf";
  std::string path = sourceFile_;
  if (path.front() != '/') {
    std::string folder(4096, '\0');
    if (::getcwd(folder.data(), folder.size()) != nullptr) path = folder.c_str() + ("/" + path);
  }
  if (path.size() >= 4 && QByteArray::fromStdString(path.substr(path.size() - 4)).toLower() == ".log") {
    path.resize(path.size() - 4);
  }
  return path + ".pdf";
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
  // Without a printer the report goes to a new PDF beside its log, created by its bytes so that
  // any name works and nothing is replaced; the user learns which file it is.
  const std::string wanted = PdfFallbackPath();
  const platform::NewFile file = platform::CreateNewFile(wanted);
  if (file.fd < 0) {
    ShowMessage(this, QMessageBox::Critical,
                std::string("Невозможно сохранить протокол в файл "_cp1251) + platform::FileNameText(wanted));
    return;
  }
  QFile out;
  if (!out.open(file.fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) ::close(file.fd);
  int pages = 0;
  if (out.isOpen()) {
    // The page of a PDF printer, at 600 dpi and without margins of its own.
    QPrinter sheet(QPrinter::HighResolution);
    sheet.setOutputFormat(QPrinter::PdfFormat);
    QPdfWriter pdf(&out);
    pdf.setPageSize(sheet.pageLayout().pageSize());
    pdf.setPageOrientation(sheet.pageLayout().orientation());
    pdf.setResolution(600);
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    pages = PrintReport(ReportText(), pdf);
  }
  const bool written = pages > 0 && out.flush() && out.error() == QFileDevice::NoError;
  out.close();
  if (written) {
    ShowMessage(this, QMessageBox::Information,
                std::string("Принтер не найден. Протокол сохранен в файл "_cp1251) + platform::FileNameText(file.name));
  } else {
    ::unlink(file.name.c_str());
    ShowMessage(this, QMessageBox::Critical,
                std::string("Невозможно сохранить протокол в файл "_cp1251) + platform::FileNameText(file.name));
  }
}

void TfrmViewer::btnClipboardClick() { CopyTextToClipboard(ReportText()); }

}  // namespace ui
