#include "data/data_panel.h"

#include <string>

#include "hart/protokol.h"

namespace {

using ui::ControlKind;

constexpr std::array<TMonitorHart::Row, 17> kRows = {{
    {711, 731, "Тип преобразователя:"},
    {712, 732, "Заводской номер:"},
    {713, 733, "Адрес датчика:"},
    {714, 734, "Учетный номер:"},
    {715, 735, "Определитель:"},
    {716, 736, "Описание:"},
    {717, 737, "Дата:"},
    {718, 738, "Количество преамбул:"},
    {719, 739, "Информация:"},
    {720, 740, "Единицы:"},
    {721, 741, "Нижняя граница основного диапазона:"},
    {722, 742, "Верхняя граница основного диапазона:"},
    {723, 743, "Минимальная ширина диапазона:"},
    {724, 744, "Начало установленного диапазона:"},
    {725, 745, "Конец установленного диапазона:"},
    {726, 746, "Постоянная времени:"},
    {727, 747, "Выходная характеристика:"},
}};

constexpr int kTextLimits[17] = {40, 10, 4, 9, 0, 0, 10, 3, 0, 20, 12, 12, 12, 12, 12, 40, 20};

ui::DialogTemplate PanelTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = TMonitorHart::kResourceId;
  tpl.caption = "Данные преобразователя";
  tpl.fontFace = "MS Sans Serif";
  tpl.fontPointSize = 8;
  tpl.rect = {0, 0, 440, 150};
  tpl.style = ui::kStyleCaption | ui::kStyleSizingFrame | ui::kStyleSystemMenu;
  const std::uint32_t field = ui::kStyleBorder | ui::kStyleReadOnly;
  // Identity on the left, the output configuration on the right, the message across the bottom.
  for (int i = 0; i < 17; ++i) {
    const TMonitorHart::Row& row = kRows[i];
    ui::Rect label;
    ui::Rect value;
    std::uint32_t labelStyle = ui::kStyleNone;
    if (i == 0) {  // the model line is hidden in this edition
      label = {4, 132, 80, 10};
      value = {240, 130, 60, 12};
      labelStyle = ui::kStyleHidden;
    } else if (i <= 7) {
      const int y = 6 + 15 * (i - 1);
      label = {4, y + 2, 84, 10};
      value = {90, y, 72, 12};
    } else if (i == 8) {
      label = {4, 126 + 2, 84, 10};
      value = {90, 126, 150, 12};
    } else {
      const int y = 6 + 15 * (i - 9);
      label = {172, y + 2, 150, 10};
      value = {326, y, 110, 12};
      labelStyle = ui::kStyleRight;
    }
    tpl.controls.push_back({row.labelId, ControlKind::Static, row.label, label, labelStyle});
    tpl.controls.push_back({row.fieldId, ControlKind::Edit, "", value,
                            field | (i == 0 ? ui::kStyleHidden : ui::kStyleNone), kTextLimits[i]});
  }
  return tpl;
}

}  // namespace

const std::array<TMonitorHart::Row, 17>& TMonitorHart::Rows() { return kRows; }

TMonitorHart::TMonitorHart(ui::Window* mainWindow, TDane& database)
    : ui::Dialog(mainWindow, PanelTemplate()),
      database_(database),
      model_(*this, 731),
      deviceId_(*this, 732),
      address_(*this, 733),
      assembly_(*this, 734),
      tag_(*this, 735, 8),
      descriptor_(*this, 736, 16),
      date_(*this, 737),
      preambles_(*this, 738),
      message_(*this, 739, 32),
      unit_(*this, 740),
      lowerLimit_(*this, 741),
      upperLimit_(*this, 742),
      minimumSpan_(*this, 743),
      lowerRange_(*this, 744),
      upperRange_(*this, 745),
      damping_(*this, 746),
      transferFunction_(*this, 747) {}

void TMonitorHart::SetupWindow() {
  ui::Dialog::SetupWindow();
  // Every field is a greyed, read-only display.
  for (const Row& row : kRows) {
    if (row.fieldId == 731) continue;
    ui::Control& control = *Item(row.fieldId);
    control.SetStyle(ui::kStyleBorder | ui::kStyleTabStop | ui::kStyleDisabled |
                     ui::kStyleReadOnly);
  }
  // Docked before it first shows, so that it never appears anywhere else; the dock timer docks
  // it again once the window system has framed it.
  Dock();
  SetTimer(kDockTimerId, kDockDelayMs);
}

void TMonitorHart::Refresh() {
  // Storage place 0 whatever the count: clearing the database leaves the last record shown.
  const TDaneIPPC& record = database_.Place(0);
  model_.SetText(ModelName(record.deviceType));
  deviceId_.SetText(std::to_string(record.deviceId));
  address_.SetText(std::to_string(record.pollingAddress));
  assembly_.SetText(std::to_string(record.assemblyNumber));
  tag_.Show(record.tag);
  descriptor_.Show(record.descriptor);
  date_.SetText(DateText(record.dateDay, record.dateMonth, record.dateYear));
  preambles_.SetText(std::to_string(record.preambles));
  message_.Show(record.message);
  unit_.ShowUnit(record.unitCode);
  lowerLimit_.ShowValue(record.lowerSensorLimit);
  upperLimit_.ShowValue(record.upperSensorLimit);
  minimumSpan_.ShowValue(record.minimumSpan);
  lowerRange_.ShowValue(record.lowerRange);
  upperRange_.ShowValue(record.upperRange);
  damping_.ShowValue(record.damping);
  transferFunction_.ShowCharacteristic(record.transferFunction);
}

ui::LResult TMonitorHart::HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) {
  if (message == kMsgShowRecord) {
    Refresh();
    return 0;
  }
  return ui::Dialog::HandleMessage(message, wParam, lParam);
}

void TMonitorHart::OnTimer(int id) {
  if (id == kDockTimerId) {
    KillTimer(kDockTimerId);
    Dock();
  }
}

void TMonitorHart::Dock() {
  if (Parent() == nullptr) return;
  const ui::Rect main = Parent()->WindowRect();
  // The panel keeps its outer height, title bar included: all its rows stay whole. It sits on
  // the main window's status line, which stays in sight below it.
  const int height = WindowRect().height;
  const int bottom = main.y + main.height - Parent()->StatusLineHeight();
  MoveWindow(ui::Rect{main.x, bottom - height, main.width, height});
}
