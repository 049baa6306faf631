#include "data/report.h"

#include <cstdint>

#include "fields/catalogues.h"
#include "fields/value_text.h"
#include "record/packed_text.h"

namespace {

std::string Signed(std::uint8_t byte) { return std::to_string(static_cast<std::int8_t>(byte)); }

}  // namespace

TDrukuj::TDrukuj(const TDane& database) : ui::Printout("Печать Рапорта"), record_(database.Place(0)) {}

TDrukuj::Layout TDrukuj::LayoutFor(int width, int height) {
  const double w = width;
  const double h = height;
  if (height > width) {
    return Layout{static_cast<int>(w * 0.1056), static_cast<int>(h * 0.0468),
                  static_cast<int>(h * 0.01875), static_cast<int>(w * 0.021)};
  }
  return Layout{static_cast<int>(w * 0.0468), static_cast<int>(h * 0.1056),
                static_cast<int>(h * 0.02533), static_cast<int>(w * 0.01875)};
}

std::vector<TDrukuj::Line> TDrukuj::Lines(const TDaneIPPC& r) {
  using config::ShowValueText;
  std::string transfer;
  if (r.transferFunction <= 1) transfer = config::TransferFunctionName(r.transferFunction);
  return {
      {0, 0,
       "Рапорт проверки преобразователя, составлен " + Signed(r.recordDay) + "-" +
           Signed(r.recordMonth) + "-" + std::to_string(r.recordYear) + "."},
      {2, 1, "Тип преобразователя: " + ModelName(r.deviceType)},
      {3, 1, "Фабричный номер: " + std::to_string(r.deviceId)},
      {4, 1, "Адрес датчика: " + std::to_string(r.pollingAddress)},
      {5, 1, "Идентификационный номер: " + std::to_string(r.assemblyNumber)},
      {6, 1, "Определитель: " + packed::DecodeRaw(r.tag, 8)},
      {7, 1, "Описание: " + packed::DecodeRaw(r.descriptor, 16)},
      {8, 1,
       "Дата в преобразователе (д-м-г): " + Signed(r.dateDay) + "-" + Signed(r.dateMonth) + "-" +
           std::to_string(r.dateYear + 1900) + "."},
      {9, 1, "Количество преамбул: " + std::to_string(r.preambles)},
      {10, 1, "Информация: " + packed::DecodeRaw(r.message, 32)},
      {12, 1,
       "Единицы: " + std::string(config::UnitByIndex(config::UnitIndexOfCode(r.unitCode)).name)},
      {13, 1, "Нижняя граница основного диапазона: " + ShowValueText(r.lowerSensorLimit)},
      {14, 1, "Верхняя граница основного диапазона: " + ShowValueText(r.upperSensorLimit)},
      {15, 1, "Минимальная ширина диапазона: " + ShowValueText(r.minimumSpan)},
      {16, 1, "Нижняя граница установленного диапазона: " + ShowValueText(r.lowerRange)},
      {17, 1, "Верхняя граница установленного диапазона: " + ShowValueText(r.upperRange)},
      {18, 1, "Постоянная времени: " + ShowValueText(r.damping) + "[с]"},
      {19, 1, "Выходная характеристика: " + transfer},
      {22, 4, "Рапорт составил: ..................... "},
  };
}

void TDrukuj::PrintPage(ui::DeviceContext& dc, int page) {
  if (page != 1) return;
  const ui::Rect area = dc.Area();
  const Layout layout = LayoutFor(area.width, area.height);
  for (const Line& line : Lines(record_)) {
    dc.TextOut(layout.x0 + line.indent * layout.dx, layout.y0 + line.n * layout.dy, line.text);
  }
}
