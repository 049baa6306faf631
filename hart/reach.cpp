#include "hart/reach.h"

#include <charconv>

#include "ui/utf8.h"

namespace hart {
namespace {

std::optional<long> Number(std::string_view text) {
  long value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<Reach> ReachAtAddress(std::string_view text, std::string& error) {
  const std::optional<long> value = Number(text);
  if (!value || *value < 0 || *value > kLastPollingAddress) {
    error = "адрес опроса должен быть числом от 0 до 63: " + std::string(text);
    return std::nullopt;
  }
  Reach reach;
  reach.by = Reach::By::Address;
  reach.address = static_cast<std::uint8_t>(*value);
  return reach;
}

std::optional<Reach> ReachByTag(std::string_view text, std::string& error) {
  const std::size_t length = ui::utf8::Decode(text).size();
  if (length == 0 || length > kLongTagLength) {
    error = "тег должен быть от 1 до 32 символов (короткий — до 8): " + std::string(text);
    return std::nullopt;
  }
  Reach reach;
  // A tag that fits the short tag is searched with command 11, which every revision knows; a
  // longer one can only be a HART 6/7 long tag (command 21).
  reach.by = length <= kShortTagLength ? Reach::By::Tag : Reach::By::LongTag;
  reach.tag = std::string(text);
  return reach;
}

std::optional<Reach> ReachSubDevice(std::string_view text, std::string& error) {
  const std::optional<long> value = Number(text);
  if (!value || *value < 1 || *value > 0xFFFF) {
    error =
        "номер подчинённого прибора шлюза должен быть числом от 1 до 65535: " + std::string(text);
    return std::nullopt;
  }
  Reach reach;
  reach.by = Reach::By::SubDevice;
  reach.subDevice = static_cast<std::uint16_t>(*value);
  return reach;
}

}  // namespace hart
