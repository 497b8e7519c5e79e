#pragma once
// A private CUPS scheduler for print tests: Debian's cupsd on its own port and its own socket,
// with its configuration, spool, cache and logs in a temporary folder, run as the test's user.
//
// Its one queue, "PDF", is the default printer, of one of two kinds:
// - PdfFile: the generic PDF printer of cups-filters on a file: device. The program's PDF goes
//   through the scheduler and its filters (pdftopdf) into a file in the temporary folder, fonts
//   and text intact. Any user can run it.
// - CupsPdf: the cups-pdf virtual printer, as a desktop has it; it writes into the job owner's
//   PDF folder (its "Out" setting). cups-pdf runs only under a root scheduler, and it makes its
//   PDF from PostScript through ghostscript, which turns the fonts into Type 3 fonts without a
//   text mapping: the page shows the text, but pdftotext cannot read it back.

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <memory>

namespace test_support {

class PrivateCups {
 public:
  static constexpr const char* kCupsd = "/usr/sbin/cupsd";
  static constexpr const char* kCupsPdfBackend = "/usr/lib/cups/backend/cups-pdf";
  static constexpr const char* kCupsPdfPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
  static constexpr const char* kCupsPdfConf = "/etc/cups/cups-pdf.conf";
  static constexpr const char* kGenericPdfPpd = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";

  enum class Queue { None, PdfFile, CupsPdf };

  // Prepares the folder; nothing runs until Start. One folder serves the whole test process, so
  // the socket's name, which the CUPS library reads once from CUPS_SERVER, stays valid for every
  // scheduler started in it; /tmp keeps that name short.
  PrivateCups() : dir_(ProcessFolder()) {
    if (!dir_.isValid()) {
      why_ = QStringLiteral("no temporary folder");
      return;
    }
    // Filters of a root scheduler run as the user lp and read the spool below this folder.
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    for (const char* sub : {"etc", "spool", "cache", "run", "log", "out"}) {
      QDir(dir_.filePath(QString::fromLatin1(sub))).removeRecursively();
    }
    for (const char* sub : {"etc/ppd", "spool/tmp", "cache", "run", "log", "out"}) {
      QDir(dir_.path()).mkpath(QString::fromLatin1(sub));
    }
  }
  ~PrivateCups() { Stop(); }
  PrivateCups(const PrivateCups&) = delete;
  PrivateCups& operator=(const PrivateCups&) = delete;

  // Whether this machine and user can have the queue; Why() tells when not.
  bool CanHave(Queue queue) {
    if (queue == Queue::PdfFile && !QFileInfo::exists(QString::fromLatin1(kGenericPdfPpd))) {
      why_ = QStringLiteral("the generic PDF printer of cups-filters is not installed");
      return false;
    }
    if (queue == Queue::CupsPdf && (!QFileInfo::exists(QString::fromLatin1(kCupsPdfBackend)) ||
                                    !QFileInfo::exists(QString::fromLatin1(kCupsPdfPpd)))) {
      why_ = QStringLiteral("cups-pdf is not installed (Debian package printer-driver-cups-pdf)");
      return false;
    }
    if (queue == Queue::CupsPdf && ::geteuid() != 0) {
      why_ = QStringLiteral("cups-pdf prints only under a scheduler that runs as root");
      return false;
    }
    return true;
  }

  // Starts the scheduler with the queue "PDF" of that kind as its default printer, or without any
  // printer. False, with Why() saying what failed, when cupsd cannot be started at all.
  bool Start(Queue queue) {
    Stop();
    if (!dir_.isValid()) return false;
    if (!QFileInfo(QString::fromLatin1(kCupsd)).isExecutable()) {
      why_ = QStringLiteral("cupsd is not installed (Debian package cups)");
      return false;
    }
    queue_ = queue;
    if (port_ == 0) port_ = FreePort();
    WriteConfiguration();

    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start(QString::fromLatin1(kCupsd), {QStringLiteral("-f"), QStringLiteral("-c"), Path("etc/cupsd.conf"),
                                                  QStringLiteral("-s"), Path("etc/cups-files.conf")});
    if (!process_->waitForStarted(10000)) {
      why_ = QStringLiteral("cupsd did not start: ") + process_->errorString();
      process_.reset();
      return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000) {
      if (process_->state() != QProcess::Running) {
        why_ = QStringLiteral("cupsd ended at once: ") + QString::fromLocal8Bit(process_->readAll()) + ErrorLogTail();
        process_.reset();
        return false;
      }
      if (Answers()) return true;
      QThread::msleep(50);
    }
    why_ = QStringLiteral("cupsd does not answer on its socket: ") + ErrorLogTail();
    Stop();
    return false;
  }

  void Stop() {
    if (!process_) return;
    process_->terminate();
    if (!process_->waitForFinished(10000)) {
      process_->kill();
      process_->waitForFinished(5000);
    }
    process_.reset();
  }

  // For CUPS_SERVER: the scheduler's own socket.
  QString Server() const { return Path("run/cups.sock"); }
  int Port() const { return port_; }
  QString Why() const { return why_; }

  // Waits for the scheduler to finish a job, then gives the PDF it printed; an empty string,
  // with Why() telling, when no job ended within timeoutMs or the job failed.
  QString WaitForPrintedPdf(int timeoutMs) {
    static const QRegularExpression completed(QStringLiteral(R"(\[Job (\d+)\] Job completed)"));
    static const QRegularExpression failed(QStringLiteral(R"(\[Job (\d+)\] .*(stopped|aborted|canceled))"));
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
      const QString log = ErrorLog();
      if (failed.match(log).hasMatch()) break;
      const auto done = completed.match(log);
      if (done.hasMatch()) {
        const QString pdf = PrintedPdf(done.captured(1));
        if (pdf.isEmpty()) why_ = QStringLiteral("the job ended but no PDF was found; ") + ErrorLogTail();
        return pdf;
      }
      QThread::msleep(100);
    }
    why_ = QStringLiteral("no print job ended: ") + ErrorLogTail();
    return QString();
  }

  // Where cups-pdf writes for the test's user: the "Out" setting with ${HOME} and ${USER}
  // replaced (cups-pdf's own default when the setting is missing).
  static QString CupsPdfOutputFolder() {
    QString out = QStringLiteral("/var/spool/cups-pdf/${USER}");
    QFile conf(QString::fromLatin1(kCupsPdfConf));
    if (conf.open(QIODevice::ReadOnly)) {
      for (const QByteArray& raw : conf.readAll().split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        if (line.startsWith(QStringLiteral("Out ")) || line.startsWith(QStringLiteral("Out\t"))) {
          out = line.mid(4).trimmed();
        }
      }
    }
    const passwd* user = ::getpwuid(::geteuid());
    if (user != nullptr) {
      out.replace(QStringLiteral("${HOME}"), QFile::decodeName(user->pw_dir));
      out.replace(QStringLiteral("${USER}"), QFile::decodeName(user->pw_name));
    }
    return out;
  }

 private:
  static QTemporaryDir& ProcessFolder() {
    static QTemporaryDir folder(QStringLiteral("/tmp/gsmmon-cups-XXXXXX"));
    return folder;
  }

  QString Path(const char* relative) const { return dir_.filePath(QString::fromLatin1(relative)); }

  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port = ntohs(address.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port != 0 ? port : 20000 + static_cast<int>(::getpid() % 20000);
  }

  bool Answers() const {
    const QByteArray path = QFile::encodeName(Server());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) {
      ::close(fd);
      return false;
    }
    std::copy(path.begin(), path.end(), address.sun_path);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
  }

  void Write(const char* relative, const QByteArray& text) const {
    QFile file(Path(relative));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text);
  }

  void WriteConfiguration() {
    const QByteArray root = QFile::encodeName(dir_.path());
    Write("etc/cups-files.conf", "ServerRoot " + root + "/etc\n" +                           //
                                     "RequestRoot " + root + "/spool\n" +                    //
                                     "TempDir " + root + "/spool/tmp\n" +                    //
                                     "CacheDir " + root + "/cache\n" +                       //
                                     "StateDir " + root + "/run\n" +                         //
                                     "AccessLog " + root + "/log/access_log\n" +             //
                                     "ErrorLog " + root + "/log/error_log\n" +               //
                                     "PageLog " + root + "/log/page_log\n" +                 //
                                     "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n" +  //
                                     "FileDevice Yes\n");
    Write("etc/cupsd.conf", "Listen 127.0.0.1:" + QByteArray::number(port_) + "\n" +  //
                                "Listen " + root + "/run/cups.sock\n" +               //
                                "LogLevel info\nBrowsing No\nWebInterface No\n"
                                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
    // Job numbers of this scheduler start high and differ between processes, so the PDFs of two
    // test runs at the same time never share a name in the user's PDF folder.
    Write("cache/job.cache", "NextJobId " + QByteArray::number(100000 + static_cast<qint64>(::getpid())) + "\n");
    QFile::remove(Path("etc/printers.conf"));
    QFile::remove(Path("etc/ppd/PDF.ppd"));
    if (queue_ == Queue::None) return;
    const bool cupsPdf = queue_ == Queue::CupsPdf;
    QFile::copy(QString::fromLatin1(cupsPdf ? kCupsPdfPpd : kGenericPdfPpd), Path("etc/ppd/PDF.ppd"));
    const QByteArray device = cupsPdf ? QByteArray("cups-pdf:/") : "file://" + root + "/out/printed.pdf";
    Write("etc/printers.conf",
          "<DefaultPrinter PDF>\nDeviceURI " + device + "\nState Idle\nAccepting Yes\nShared No\n</DefaultPrinter>\n");
  }

  QString ErrorLog() const {
    QFile log(Path("log/error_log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
  }

  QString ErrorLogTail() const {
    const QStringList lines = ErrorLog().split(QLatin1Char('\n'));
    return lines.mid(std::max<qsizetype>(0, lines.size() - 15)).join(QLatin1Char('\n'));
  }

  QString PrintedPdf(const QString& job) const {
    if (queue_ != Queue::CupsPdf) {
      const QString out = Path("out/printed.pdf");
      return QFileInfo::exists(out) ? out : QString();
    }
    // cups-pdf names its files after the title and the job number.
    const QDir folder(CupsPdfOutputFolder());
    const QRegularExpression ofJob(QStringLiteral("job_%1(\\D|$)").arg(job));
    for (const QString& name : folder.entryList({QStringLiteral("*.pdf")}, QDir::Files)) {
      if (ofJob.match(name).hasMatch()) return folder.filePath(name);
    }
    return QString();
  }

  QTemporaryDir& dir_;
  std::unique_ptr<QProcess> process_;
  QString why_;
  int port_ = 0;
  Queue queue_ = Queue::None;
};

}  // namespace test_support
