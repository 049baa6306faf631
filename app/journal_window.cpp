#include "app/journal_window.h"

#include "app/journal_command.h"
#include "ui/control.h"
#include "ui/platform.h"
#include "ui/safe_file.h"

namespace {

ui::DialogTemplate JournalTemplate() {
  using ui::ControlKind;
  ui::DialogTemplate tpl;
  tpl.resourceId = TJournalWindow::kResourceId;
  tpl.caption = "Журнал изменений";
  tpl.rect = {20, 20, 460, 250};
  tpl.controls = {
      {TJournalWindow::kTransmitterId, ControlKind::Static, "", {8, 8, 444, 10}},
      {TJournalWindow::kFilterLabelId, ControlKind::Static, "Фильтр:", {8, 24, 40, 10}},
      {TJournalWindow::kFilterId, ControlKind::Edit, "", {50, 22, 200, 12},
       ui::kStyleBorder | ui::kStyleTabStop},
      {TJournalWindow::kListId, ControlKind::ListBox, "", {8, 40, 444, 180},
       ui::kStyleBorder | ui::kStyleTabStop},
      {TJournalWindow::kExportId, ControlKind::PushButton, "Экспорт CSV…", {300, 228, 80, 14},
       ui::kStyleTabStop},
      {ui::kIdCancel, ControlKind::DefPushButton, "Закрыть", {388, 228, 64, 14},
       ui::kStyleTabStop},
  };
  return tpl;
}

// The filter is a piece of the line as shown: a field, a value, an outcome, a date.
bool Contains(const std::string& line, const std::string& text) {
  return text.empty() || line.find(text) != std::string::npos;
}

}  // namespace

TJournalWindow::TJournalWindow(ui::Window* parent, journal::Journal* journal,
                               std::int64_t deviceId, std::string tag, std::string dataFile)
    : ui::Dialog(parent, JournalTemplate()),
      journal_(journal),
      deviceId_(deviceId),
      tag_(std::move(tag)),
      dataFile_(std::move(dataFile)) {}

void TJournalWindow::SetupWindow() {
  ui::Dialog::SetupWindow();
  ui::ControlRef transmitter(*this, kTransmitterId);
  if (journal_ == nullptr) {
    transmitter.SetText("Журнал изменений недоступен.");
  } else {
    transmitter.SetText("Преобразователь " + (tag_.empty() ? std::string("без тега") : tag_) +
                        ", заводской номер " + std::to_string(deviceId_) + " (" +
                        journal_->Path() + ")");
    journal::Filter filter;
    filter.deviceId = deviceId_;
    filter.newestFirst = true;
    entries_ = journal_->List(filter);
  }
  Fill();
}

void TJournalWindow::Fill() {
  const std::string text = ui::ControlRef(*this, kFilterId).Text();
  ui::ListBox list(*this, kListId);
  list.Clear();
  shown_.clear();
  for (const journal::Entry& e : entries_) {
    const std::string line = EntryLine(e);
    if (!Contains(line, text)) continue;
    shown_.push_back(e);
    list.Add(line);
  }
  ui::ControlRef(*this, kExportId).Enable(!shown_.empty());
}

void TJournalWindow::OnCommand(int id, unsigned code) {
  if (id == kFilterId && code == ui::kNotifyTextChanged) Fill();
  if (id == kExportId && code == ui::kNotifyClicked) Export();
}

void TJournalWindow::Export() {
  ui::FileDialogData data;
  data.filter = "Файл CSV (*.csv)|*.csv|Все файлы (*.*)|*.*|";
  data.defaultExt = "csv";
  if (!ui::ThePlatform().SaveFileDialog(this, data)) return;
  // Written over the open data file, the export would leave records the program holds as saved
  // in no file at all.
  if (ui::SameFile(dataFile_, data.fileName)) {
    MessageBox("Журнал не записывается на место открытого файла данных.\nВыбери другое имя.",
               "Журнал изменений", ui::kMbOk | ui::kMbIconStop);
    return;
  }
  std::string error;
  if (!WriteJournalCsv(data.fileName, shown_, error)) {
    MessageBox(error, "Журнал изменений", ui::kMbOk | ui::kMbIconStop);
  }
}
