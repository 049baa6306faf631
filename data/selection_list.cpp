#include "data/selection_list.h"

#include <string>

#include "record/packed_text.h"

namespace {
constexpr const char* kEmptyFile = "Файл пустой";
constexpr const char* kNoRecords = "Отсутствие рапорта преобразователя.\nВыполни идентификацию!!!";
}  // namespace

TLista::TLista(ui::Window* parent, ui::DialogTemplate tpl, TDane& database, bool& changed,
               int& selectionMemory, const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TKomendy(parent, std::move(tpl), settings, panelWindow),
      list_(*this, kListBoxId),
      database_(database),
      changed_(changed),
      selectionMemory_(selectionMemory) {}

void TLista::AddListControls(ui::DialogTemplate& tpl) {
  tpl.controls.push_back({kListLabelId, ui::ControlKind::Static, "Выбери преобразователь",
                          {4, 4, 100, 10}, ui::kStyleHidden});
  tpl.controls.push_back(
      {kListBoxId, ui::ControlKind::ListBox, "", {4, 16, 100, 40}, ui::kStyleHidden});
  tpl.controls.push_back(
      {kGroupBoxId, ui::ControlKind::GroupBox, "", {0, 0, 6, 6}, ui::kStyleHidden});
}

void TLista::AddListControls(ui::DialogTemplate& tpl, std::string frameText, ui::Rect frame) {
  AddListControls(tpl);
  for (ui::ControlTemplate& control : tpl.controls) {
    if (control.id != kGroupBoxId) continue;
    control.text = std::move(frameText);
    control.rect = frame;
    control.style = ui::kStyleNone;
  }
}

void TLista::SetupWindow() {
  TKomendy::SetupWindow();
  list_.Clear();
  if (database_.Count() == 0) {
    recordsExist_ = false;
    list_.Add(kEmptyFile);
    EndDialog(ui::kIdCancel);
  } else {
    recordsExist_ = true;
    for (std::size_t i = 0; i < database_.Count(); ++i) {
      list_.Add(std::to_string(i + 1) + ":  " + std::to_string(database_.At(i).deviceId));
    }
    list_.SetSelection(selectionMemory_);
    rememberedIndex_ = selectionMemory_;
  }
  list_.Show(false);
  ui::ControlRef(*this, kListLabelId).Show(false);
  ReestablishCurrentRecord();
}

bool TLista::ReestablishCurrentRecord() {
  if (!recordsExist_) {
    MessageBox(kNoRecords, "", ui::kMbOk | ui::kMbIconStop);
    current_ = nullptr;
    return false;
  }
  current_ = &database_.At(0);
  return true;
}

void TLista::TransmitterSelected() { ReestablishCurrentRecord(); }

ui::LResult TLista::EvReply() {
  changed_ = true;
  return 0;
}

void TLista::SaveSelection() { selectionMemory_ = list_.Selection(); }

void TLista::CloseWindow(int result) {
  SaveSelection();
  TKomendy::CloseWindow(result);
}

void TLista::EndDialog(int result) {
  if (!Ended()) SaveSelection();
  TKomendy::EndDialog(result);
}

ui::LResult TLista::HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) {
  if (message == ui::kMsgCommand) {
    const int id = ui::LowWord(wParam);
    const unsigned code = ui::HighWord(wParam);
    if (id == kSendButtonId && code == ui::kNotifyClicked) {
      Send();
      return 0;
    }
    if (id == kListBoxId && code == ui::kNotifySelectionChanged) {
      TransmitterSelected();
      return 0;
    }
  }
  return TKomendy::HandleMessage(message, wParam, lParam);
}

void TLista::OnRButtonDown(ui::Point where) {
  const int picked =
      ui::ThePlatform().TrackPopupMenu(*this, {"С помощью номера", "С помощью определителя"}, where);
  if (picked == 0) Relist(ListBy::Number);
  if (picked == 1) Relist(ListBy::Tag);
}

void TLista::Relist(ListBy by) {
  list_.Clear();
  if (database_.Count() == 0) {
    recordsExist_ = false;
    list_.Add(kEmptyFile);
    return;
  }
  recordsExist_ = true;
  for (std::size_t i = 0; i < database_.Count(); ++i) {
    const TDaneIPPC& record = database_.At(i);
    const std::string key = by == ListBy::Number ? std::to_string(record.deviceId)
                                                 : packed::DecodeRaw(record.tag, 8);
    list_.Add(std::to_string(i + 1) + ":  " + key);
  }
  list_.SetSelection(selectionMemory_);
  const bool inRange =
      rememberedIndex_ >= 0 && static_cast<std::size_t>(rememberedIndex_) < database_.Count();
  current_ = &database_.At(inRange ? static_cast<std::size_t>(rememberedIndex_) : 0);
}
