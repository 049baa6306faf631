#include "record/record.h"

std::string ModelName(int deviceType) {
  switch (deviceType & 0xFF) {
    case 1: return "TPG-4100";
    case 2: return "TDG-4100";
    case 3: return "TDG-4300";
    default: return "Отсутствие Информации.";
  }
}

std::string DateText(std::uint8_t day, std::uint8_t month, std::uint8_t year) {
  return std::to_string(static_cast<std::int8_t>(day)) + '-' +
         std::to_string(static_cast<std::int8_t>(month)) + '-' + std::to_string(year + 1900);
}
