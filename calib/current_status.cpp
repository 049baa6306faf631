#include "calib/current_status.h"

#include "hart/operator_texts.h"

namespace calib {

using hart::texts::kRangeError;
using hart::texts::kSetupError;

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
      return {hart::texts::kStatusNotZero, otherCaption};
  }
}

}  // namespace calib
