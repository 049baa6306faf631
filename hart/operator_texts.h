// What the operator reads where many dialogs say the same.
#pragma once

namespace hart::texts {

inline constexpr const char* kNoAnswer = "Отсутствие ответа.\nВыбери следующий преобразователь!!!";
inline constexpr const char* kNoTransmitter =
    "Отсутствие ответа.\nПроверь, подключен ли преобразователь!!!";
inline constexpr const char* kStatusNotZero =
    "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!";
inline constexpr const char* kWrongUnitChoice =
    "Неправильный выбор. Проверь соответствие единиц.\nНоль, Диапазон не изменен.";

// Captions of the failure messages.
inline constexpr const char* kRangeError = "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ";
inline constexpr const char* kSetupError = "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ";

}  // namespace hart::texts
