#include "hart/response_code.h"

#include <initializer_list>

namespace hart {
namespace {

// Set in the first status byte instead of a response code: the request came garbled.
constexpr std::uint8_t kCommunicationError = 0x80;

bool AnyOf(std::uint8_t command, std::initializer_list<std::uint8_t> commands) {
  for (std::uint8_t c : commands) {
    if (c == command) return true;
  }
  return false;
}

// The codes HART defines once for every command.
const char* SingleMeaning(std::uint8_t code) {
  switch (code) {
    case 1: return "Неопределённая ошибка";
    case 2: return "Недопустимый выбор";
    case 3: return "Переданное значение слишком велико";
    case 4: return "Переданное значение слишком мало";
    case 5: return "Получено слишком мало байтов данных";
    case 6: return "Ошибка команды, специфичной для преобразователя";
    case kWriteProtected: return "Преобразователь защищён от записи";
    case 15: return "Недопустимый номер аналогового канала";
    case 16: return "Доступ ограничен";
    case 17: return "Недопустимый индекс переменной прибора";
    case 18: return "Недопустимый код единиц";
    case 19: return "Индекс переменной прибора не допускается";
    case 20: return "Недопустимый номер расширенной команды";
    case 28: return "Недопустимый код единиц диапазона";
    case 29: return "Недопустимая ширина диапазона";
    case kBusy: return "Преобразователь занят";
    case kDelayedInitiated: return "Отложенный ответ: выполнение команды начато";
    case kDelayedRunning: return "Отложенный ответ: команда выполняется";
    case kDelayedDead: return "Отложенный ответ потерян: преобразователь прервал выполнение команды";
    case kDelayedConflict:
      return "Конфликт отложенных ответов: преобразователь выполняет другую команду";
    case kNotImplemented: return "Команда не поддерживается преобразователем";
    default: return nullptr;
  }
}

// The codes whose meaning depends on the command, for the commands this program sends.
const char* MultipleMeaning(std::uint8_t command, std::uint8_t code) {
  switch (code) {
    case 8:
      if (AnyOf(command, {34, 59})) return "Предупреждение: установлено ближайшее возможное значение";
      if (command == 48) return "Предупреждение: идёт обновление статуса";
      return "Предупреждение: значения не обновлены";
    case 9:
      if (command == 35) return "Нижнее значение диапазона слишком велико";
      if (AnyOf(command, {45, 46})) return "Токовый выход не в режиме фиксированного тока";
      return "Приложенное давление слишком велико";
    case 10:
      if (command == 35) return "Нижнее значение диапазона слишком мало";
      return "Приложенное давление слишком мало";
    case 11:
      if (command == 35) return "Верхнее значение диапазона слишком велико";
      return "Преобразователь в многоточечном режиме";
    case 12:
      if (command == 35) return "Верхнее значение диапазона слишком мало";
      if (command == 6) return "Недопустимый режим тока";
      return "Недопустимый код единиц";
    case 13:
      if (command == 47) return "Недопустимый код характеристики преобразования";
      return "Оба значения диапазона вне пределов";
    case 14:
      if (command == 37) return "Предупреждение: верхнее значение диапазона сдвинуто за предел";
      if (command == 48) return "Предупреждение: байты статуса не совпадают";
      return "Предупреждение: ширина диапазона слишком мала";
    default: return nullptr;
  }
}

}  // namespace

// HART classes the codes by their number: single- and multiple-meaning warnings at 8, 14, 24-27,
// 30-31 and 96-127, errors at the rest below 128.
ResponseClass ClassOf(std::uint8_t code) {
  if (code == 0) return ResponseClass::Success;
  if (code == kBusy) return ResponseClass::Busy;
  if (code == kDelayedInitiated || code == kDelayedRunning) return ResponseClass::Delayed;
  if ((code & kCommunicationError) != 0) return ResponseClass::Error;
  const bool warning = code == 8 || code == 14 || (code >= 24 && code <= 27) || code == 30 ||
                       code == 31 || code >= 96;
  return warning ? ResponseClass::Warning : ResponseClass::Error;
}

std::string ResponseMeaning(std::uint8_t command, std::uint8_t code) {
  if (code == 0) return "Выполнено";
  if ((code & kCommunicationError) != 0) return "Преобразователь принял запрос с ошибкой связи";
  if (const char* words = MultipleMeaning(command, code)) return words;
  if (const char* words = SingleMeaning(code)) return words;
  return ClassOf(code) == ResponseClass::Warning ? "Предупреждение преобразователя"
                                                 : "Ошибка преобразователя";
}

std::string ResponseText(std::uint8_t command, std::uint8_t code) {
  return "Код ответа " + std::to_string(code) + ": " + ResponseMeaning(command, code) + ".";
}

}  // namespace hart
