#include "calib/current_status.h"

namespace calib {

namespace {

constexpr const char* kRangeError = "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ";
constexpr const char* kSetupError = "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ";

}  // namespace

StatusMessage CurrentStatus(std::uint8_t responseCode, const char* otherCaption) {
  switch (responseCode) {
    case 3:
      return {"Величина калибровки очень большая.\nКалибровка напряжения не изменена.",
              kRangeError};
    case 4:
      return {"Величина калибровки очень маленькая.\nКалибровка напряжения не изменена.",
              kRangeError};
    case 10:
      return {"Ошибка токового кода.\nУстанови соответствующее напряжение на линии.",
              kSetupError};
    case 11:
      return {"Адрес датчика отличный от нуля.\nУстанови адрес датчика на ноль.", kSetupError};
    default:
      return {"Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!", otherCaption};
  }
}

}  // namespace calib
