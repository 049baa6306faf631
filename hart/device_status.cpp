#include "hart/device_status.h"

#include <array>
#include <utility>

namespace hart {
namespace {

constexpr std::uint8_t kShortReplyDelimiter = 0x06;
constexpr std::uint8_t kLongReplyDelimiter = 0x86;
constexpr std::size_t kShortDeviceStatus = 5;
constexpr std::size_t kLongDeviceStatus = 9;

constexpr std::array<std::pair<std::uint8_t, const char*>, 8> kWords{{
    {kDeviceMalfunction, "неисправность"},
    {kConfigurationChanged, "конфигурация изменена"},
    {kColdStart, "холодный старт"},
    {kMoreStatusAvailable, "есть дополнительный статус"},
    {kLoopCurrentFixed, "ток зафиксирован"},
    {kLoopCurrentSaturated, "ток в насыщении"},
    {kNonPrimaryVariableOutOfLimits, "непервичная переменная вне пределов"},
    {kPrimaryVariableOutOfLimits, "первичная переменная вне пределов"},
}};

}  // namespace

std::string DeviceStatusText(std::uint8_t status) {
  std::string text;
  for (const auto& [bit, words] : kWords) {
    if ((status & bit) == 0) continue;
    if (!text.empty()) text += ", ";
    text += words;
  }
  return text;
}

std::optional<std::uint8_t> DeviceStatusOf(std::span<const std::uint8_t> reply) {
  if (reply.empty()) return std::nullopt;
  std::size_t at = 0;
  if (reply[0] == kShortReplyDelimiter) {
    at = kShortDeviceStatus;
  } else if (reply[0] == kLongReplyDelimiter) {
    at = kLongDeviceStatus;
  } else {
    return std::nullopt;
  }
  if (reply.size() <= at) return std::nullopt;
  return reply[at];
}

}  // namespace hart
