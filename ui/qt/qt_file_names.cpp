#include "ui/qt/qt_file_names.h"

#include <dirent.h>

#include <QFile>
#include <QStringList>

namespace ui::qt {

QString ToQtName(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

std::optional<std::string> FromQtName(const QString& name) {
  if (!name.contains(QChar::ReplacementCharacter)) return QFile::encodeName(name).toStdString();
  const QStringList parts = name.split(QLatin1Char('/'));
  std::string path;
  for (qsizetype i = 0; i < parts.size(); ++i) {
    std::string part = QFile::encodeName(parts[i]).toStdString();
    if (parts[i].contains(QChar::ReplacementCharacter)) {
      const std::string folder = i == 0 ? "." : path.empty() ? "/" : path;
      std::optional<std::string> alike;
      if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
          if (QFile::decodeName(entry->d_name) != parts[i]) continue;
          if (alike) {
            ::closedir(dir);
            return std::nullopt;
          }
          alike = entry->d_name;
        }
        ::closedir(dir);
      }
      if (alike) part = *alike;
    }
    path += (i > 0 ? "/" : "") + part;
  }
  return path;
}

}  // namespace ui::qt
