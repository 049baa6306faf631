#include "app/status_line.h"

#include <algorithm>
#include <bit>
#include <charconv>

#include "hart/frame.h"
#include "hart/protokol.h"
#include "hart/reply_data.h"
#include "hart/transmitter_model.h"
#include "record/packed_text.h"

namespace {

constexpr const char* kSeparator = " · ";

std::string Joined(std::initializer_list<const std::string*> parts, const char* separator) {
  std::string text;
  for (const std::string* part : parts) {
    if (part->empty()) continue;
    if (!text.empty()) text += separator;
    text += *part;
  }
  return text;
}

std::string Fixed3(float value) {
  char buffer[32];
  const auto [end, failed] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  return failed == std::errc() ? std::string(buffer, end) : std::string("?");
}

// The command of a request frame; none for a frame too short to say.
std::optional<std::uint8_t> CommandOf(std::span<const std::uint8_t> request) {
  const bool isLong = !request.empty() && request[0] == 0x82;
  const std::size_t at = isLong ? 6 : 2;
  if (request.size() <= at) return std::nullopt;
  return request[at];
}

// The current a request to command 40 asks for, or the current a reply confirms.
std::optional<float> FloatAt(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (bytes.size() < at + 4) return std::nullopt;
  const std::uint32_t bits = std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
                             std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
  return std::bit_cast<float>(bits);
}

}  // namespace

TStatusLine::TStatusLine(ui::Window& window, AddressOfLongFrame addressOf)
    : window_(window), addressOf_(std::move(addressOf)) {}

void TStatusLine::SetLink(std::string name) {
  link_ = std::move(name);
  Show();
}

void TStatusLine::SetTransmitter(const TDaneIPPC* record) {
  transmitter_.clear();
  if (record != nullptr) {
    std::string tag = packed::DecodeForDisplay(record->tag, 8);
    while (!tag.empty() && tag.back() == ' ') tag.pop_back();
    const std::string revision = "HART " + std::to_string(record->universalRevision);
    const std::string address = "адрес " + std::to_string(record->pollingAddress);
    transmitter_ = Joined({&revision, &address, &tag}, kSeparator);
  }
  Show();
}

void TStatusLine::SetDeviceStatus(std::string text) {
  deviceStatus_ = std::move(text);
  Show();
}

void TStatusLine::SetOutcome(std::string text) {
  outcome_ = std::move(text);
  window_.KillTimer(kOutcomeTimerId);
  if (!outcome_.empty()) window_.SetTimer(kOutcomeTimerId, kOutcomeShownMs);
  Show();
}

void TStatusLine::OutcomeExpired() { SetOutcome({}); }

void TStatusLine::Heard(std::span<const std::uint8_t> request, unsigned event,
                        std::span<const std::uint8_t> reply, const std::string& meaning) {
  const std::optional<std::uint8_t> command = CommandOf(request);
  if (!command) return;
  const std::string which = " (команда " + std::to_string(*command) + ")";
  switch (event) {
    case kEvReply:
      // Reads go by too often to be news; a write confirmed is, and a warning with it.
      if (hart::Writes(*command)) {
        SetOutcome("Записано в преобразователь" + which + (meaning.empty() ? "" : ": " + meaning));
      }
      break;
    case kEvNoAnswer:
      SetOutcome("Нет ответа" + which);
      break;
    case kEvLineBusy:
      SetOutcome("Линия занята" + which);
      break;
    default:
      SetOutcome("Преобразователь отказал" + which + ": " +
                 (meaning.empty() ? "код " + std::to_string(reply.empty() ? 0 : hart::ResponseCode(reply))
                                  : meaning));
      break;
  }
  if (event != kEvReply || *command != kCmdFixCurrent || reply.size() < 3) return;
  // The transmitter's word counts: the current its reply confirms, 0 for a loop let go.
  const std::optional<float> confirmed = FloatAt(reply, hart::LayoutOf(reply).data);
  // A warning (the current set to the nearest it can) still fixes the loop: it came as a reply.
  if (!confirmed) return;
  if (*confirmed == 0.0f) {
    fixed_.reset();
  } else {
    // Every dialog fixes the current through the record's long address.
    if (request[0] != 0x82 || request.size() < 6) return;
    FixedLoop loop{*confirmed, addressOf_ ? addressOf_(request).value_or(0) : 0, {}};
    std::copy_n(request.begin() + 1, loop.longAddress.size(), loop.longAddress.begin());
    fixed_ = loop;
  }
  Show();
}

std::string TStatusLine::FixedLoopText(const FixedLoop& loop) {
  return "Ток в линии зафиксирован: " + Fixed3(loop.current) + " мА" + kSeparator + "адрес " +
         std::to_string(loop.address);
}

void TStatusLine::Show() {
  const std::string used = Joined({&link_, &transmitter_}, kSeparator);
  window_.SetStatusLine(Joined({&used, &deviceStatus_, &outcome_}, "   "));
  window_.SetStatusAlert(fixed_ ? FixedLoopText(*fixed_) : std::string());
}
