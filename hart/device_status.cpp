#include "hart/device_status.h"

#include <algorithm>
#include <array>
#include <utility>

#include "hart/frame_trace.h"

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

// HART 6 and 7, command 48 byte 6.
constexpr std::array<std::pair<std::uint8_t, const char*>, 6> kExtendedWords{{
    {0x01, "требуется обслуживание"},
    {0x02, "предупреждение переменной прибора"},
    {0x04, "критический сбой питания"},
    {0x08, "отказ"},
    {0x10, "вне спецификации"},
    {0x20, "проверка функционирования"},
}};
constexpr std::size_t kDeviceSpecificBytes = 6;
constexpr std::size_t kExtendedStatus = 6;

}  // namespace

std::string MoreStatusText(std::span<const std::uint8_t> reply, int revision) {
  if (reply.empty()) return {};
  const bool isLong = reply[0] == kLongReplyDelimiter;
  const std::size_t countAt = isLong ? 7 : 3;
  const std::size_t dataAt = countAt + 3;
  if (reply.size() <= countAt || reply[countAt] < 2) return {};
  const std::size_t count = std::min<std::size_t>(reply[countAt] - 2u, reply.size() - dataAt);
  const auto data = reply.subspan(dataAt, count);
  std::string text;
  if (revision >= 6 && data.size() > kExtendedStatus) {
    for (const auto& [bit, words] : kExtendedWords) {
      if ((data[kExtendedStatus] & bit) == 0) continue;
      if (!text.empty()) text += ", ";
      text += words;
    }
  }
  const auto specific = data.first(std::min(data.size(), kDeviceSpecificBytes));
  if (std::any_of(specific.begin(), specific.end(), [](std::uint8_t b) { return b != 0; })) {
    if (!text.empty()) text += "; ";
    text += "специфический статус " + FrameTrace::Hex(specific);
  }
  return text;
}

std::string StatusLine(std::uint8_t status, const DeviceCondition& condition) {
  std::string line = condition.burstMode ? kBurstModeText : "";
  if (status == 0) return line;
  if (!line.empty()) line += "; ";
  line += kDeviceStatusWords + DeviceStatusText(status);
  if ((status & kMoreStatusAvailable) != 0 && !condition.moreStatus.empty()) {
    line += " (" + condition.moreStatus + ")";
  }
  return line;
}

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
