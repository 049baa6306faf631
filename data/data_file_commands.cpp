#include "data/data_file_commands.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "data/data_file.h"
#include "hart/protokol.h"
#include "ui/safe_file.h"

namespace {

constexpr const char* kFileErrorCaption = "Ошибка считывания данных";
constexpr const char* kUnreadable = "Не удалось прочитать файл данных: ";
constexpr const char* kUnwritten = "Не удалось записать файл данных: ";

}  // namespace

TDataFile::TDataFile(TDane& database) : database_(database) {
  dialogData_.filter = "Файл измерений (*.pom)|*.pom|Все файлы (*.*)|*.*|";
  dialogData_.defaultExt = "POM";
  dialogData_.flags = kOfnHideReadOnly | kOfnFileMustExist;
}

bool TDataFile::Open(ui::Window& owner, ui::Window* panel) {
  if (!MayClose(owner, panel)) return false;
  std::string previousName = dialogData_.fileName;
  if (!ui::ThePlatform().OpenFileDialog(&owner, dialogData_)) {
    dialogData_.fileName = std::move(previousName);
    return false;
  }
  return Load(owner, panel, std::move(previousName));
}

bool TDataFile::OpenFile(ui::Window& owner, ui::Window* panel, const std::string& path) {
  // Kept absolute, as the file dialog gives names: the caption and the save dialog show where.
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  std::string previousName = std::move(dialogData_.fileName);
  dialogData_.fileName = ec ? path : absolute.lexically_normal().string();
  return Load(owner, panel, std::move(previousName));
}

bool TDataFile::Load(ui::Window& owner, ui::Window* panel, std::string previousName) {
  // A read error loses nothing: the records, their name and flags stay as they were.
  const TDane before = database_;
  database_.Clear();
  const std::optional<datafile::ReadResult> read =
      datafile::ReadDatabaseFile(dialogData_.fileName, database_);
  if (read && read->readError != 0) {
    const std::string failed = dialogData_.fileName;
    database_ = before;
    dialogData_.fileName = std::move(previousName);
    owner.MessageBox(kUnreadable + failed + "\n" + ui::FileErrorText(read->readError),
                     kFileErrorCaption, ui::kMbOk | ui::kMbIconExclamation);
    return false;
  }
  if (!read) {
    // Nothing read: an empty document with nothing to save and no file of its own, so that no
    // later save writes it over the file open before. The name chosen stays for the next dialog.
    changed_ = false;
    untitled_ = true;
    Refresh(panel);
    Broadcast();
    ShowFileError(owner);
    return false;
  }
  // A damaged file stays untitled, so that saving asks for a name instead of overwriting the
  // original; what was read of it is unsaved, an empty database is not.
  changed_ = read->damaged && read->appended > 0;
  untitled_ = read->damaged;
  Refresh(panel);
  Broadcast();
  if (read->damaged) {
    owner.MessageBox(
        "Файл данных повреждён.\nСчитано записей: " + std::to_string(read->appended) + ".",
        kFileErrorCaption, ui::kMbOk | ui::kMbIconExclamation);
  }
  return true;
}

bool TDataFile::SaveAs(ui::Window& owner, ui::Window*) {
  std::string previousName = dialogData_.fileName;
  if (untitled_) {
    std::error_code ec;
    std::string folder = std::filesystem::current_path(ec).string();
    // The current folder with a trailing '/', this platform's separator.
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    dialogData_.fileName = folder;
  }
  // The save dialog takes a new name too: it does not pass on the existing-files-only flag.
  ui::FileDialogData saveData = dialogData_;
  saveData.flags &= ~kOfnFileMustExist;
  if (!ui::ThePlatform().SaveFileDialog(&owner, saveData)) {
    dialogData_.fileName = std::move(previousName);
    return false;
  }
  dialogData_.fileName = saveData.fileName;
  if (!WriteTo(owner)) {
    dialogData_.fileName = std::move(previousName);
    return false;
  }
  return true;
}

bool TDataFile::Save(ui::Window& owner, ui::Window* panel) {
  if (untitled_) return SaveAs(owner, panel);
  return WriteTo(owner);
}

bool TDataFile::MayClose(ui::Window& owner, ui::Window* panel) {
  if (!changed_) return true;
  const int answer = owner.MessageBox("Рапорт составлен. Куда хочешь записать?", "Внимание Рапорта",
                                      ui::kMbYesNoCancel | ui::kMbIconQuestion);
  if (answer == ui::kIdNo) return true;
  if (answer == ui::kIdYes) return Save(owner, panel);
  return false;
}

bool TDataFile::NewFile(ui::Window& owner, ui::Window* panel) {
  if (!MayClose(owner, panel)) return false;
  // As at start: no records, nothing to save, no name.
  database_.Clear();
  changed_ = false;
  untitled_ = true;
  dialogData_.fileName.clear();
  Refresh(panel);
  Broadcast();
  return true;
}

void TDataFile::StoreIdentified(ui::Window&, ui::Window* panel, const TDaneIPPC& record) {
  database_.Clear();
  changed_ = true;
  untitled_ = true;
  database_.Append(record);  // never grows: the storage holds 11 places at least
  // Announced first, then shown: the panel draws once the rest of the program knows.
  Broadcast();
  Refresh(panel);
}

bool TDataFile::WriteTo(ui::Window& owner) {
  std::string reason;
  if (!datafile::WriteDatabaseFile(dialogData_.fileName, database_, &reason)) {
    owner.MessageBox(kUnwritten + dialogData_.fileName + "\n" + reason, kFileErrorCaption,
                     ui::kMbOk | ui::kMbIconExclamation);
    return false;
  }
  changed_ = false;
  untitled_ = false;
  Broadcast();
  return true;
}

void TDataFile::ShowFileError(ui::Window& owner) {
  owner.MessageBox("Не найдено файла данных", kFileErrorCaption,
                   ui::kMbOk | ui::kMbIconExclamation);
}

void TDataFile::Refresh(ui::Window* panel) {
  if (panel != nullptr) panel->SendMessage(kMsgShowRecord);
}

void TDataFile::Broadcast() {
  ui::ThePlatform().Broadcast(kMsgDocumentChanged, untitled_ ? 1 : 0, 0);
}
