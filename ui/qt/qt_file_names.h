// File names between the disk and Qt (internal to ui/qt). A name on the disk is any bytes; Qt
// holds names as text and shows bytes that are not UTF-8 as U+FFFD, which cannot come back by
// itself: two names differing only there would land on one file.
#pragma once

#include <QString>

#include <optional>
#include <string>

namespace ui::qt {

QString ToQtName(const std::string& path);
// The name on the disk of one Qt gives back: where Qt shows U+FFFD, the one entry of the folder
// that Qt shows alike; nullopt when several are alike.
std::optional<std::string> FromQtName(const QString& name);
constexpr const char* kAmbiguousName =
    "В этом каталоге несколько файлов с таким именем, различающихся только знаками не в "
    "кодировке UTF-8: выберите файл под другим именем.";

}  // namespace ui::qt
