#include "ui/local_file_name.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QLineEdit>
#include <QVariant>
#include <memory>

namespace ui {
namespace {

constexpr char kBytesProperty[] = "fileNameBytes";

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The one entry of folder (bytes) that Qt shows as shown; false when none or several are.
bool FindShownEntry(const std::string& folder, const QString& shown, std::string& entry) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return false;
  int matches = 0;
  while (const dirent* e = ::readdir(dir.get())) {
    if (QFile::decodeName(e->d_name) == shown) {
      entry = e->d_name;
      ++matches;
    }
  }
  return matches == 1;
}

}  // namespace

QString ShownFileName(std::string_view bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string LocalFileName(const QString& name) {
  const QByteArray encoded = QFile::encodeName(name);
  std::string path(encoded.constData(), static_cast<std::size_t>(encoded.size()));
  if (!name.contains(QChar::ReplacementCharacter) || Exists(path)) return path;

  // Part by part: a part that shows a replacement character is looked up in its folder.
  std::string resolved;
  const QStringList parts = name.split(QLatin1Char('/'));
  for (qsizetype i = 0; i < parts.size(); ++i) {
    const QByteArray bytes = QFile::encodeName(parts[i]);
    std::string entry(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const std::string folder = i == 0 ? std::string(".") : resolved.empty() ? std::string("/") : resolved;
    if (parts[i].contains(QChar::ReplacementCharacter) && !Exists(folder + "/" + entry)) {
      FindShownEntry(folder, parts[i], entry);
    }
    resolved = i == 0 ? entry : resolved + "/" + entry;
  }
  return resolved;
}

void SetFileNameEdit(QLineEdit* edit, std::string_view bytes) {
  if (edit == nullptr) return;
  edit->setText(ShownFileName(bytes));
  edit->setProperty(kBytesProperty, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string FileNameInEdit(const QLineEdit* edit) {
  if (edit == nullptr) return {};
  const QByteArray kept = edit->property(kBytesProperty).toByteArray();
  if (!kept.isEmpty() && QFile::decodeName(kept) == edit->text()) {
    return std::string(kept.constData(), static_cast<std::size_t>(kept.size()));
  }
  return LocalFileName(edit->text());
}

}  // namespace ui
