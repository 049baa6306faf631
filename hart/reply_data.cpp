#include "hart/reply_data.h"

#include <array>
#include <bit>

#include "record/float_form.h"
#include "hart/protokol.h"
#include "hart/response_code.h"

namespace hart {

namespace {
constexpr std::uint8_t kShortReplyDelimiter = 0x06;
constexpr std::size_t kStatusBytes = 2;
}  // namespace

ReplyLayout LayoutOf(std::span<const std::uint8_t> reply) {
  if (!reply.empty() && reply[0] == kShortReplyDelimiter) return {3, 4, 6};
  return {7, kReplyResponseCode, kReplyData};
}

std::size_t ReplyDataSize(std::uint8_t command) {
  switch (command) {
    case 0:
    case 11: return 12;
    case 1: return 5;
    case 48: return 6;
    case 3: return 9;
    case 6:
    case 44:
    case 47:
    case 59: return 1;
    case 12:
    case 17: return 24;
    case 13:
    case 18: return 21;
    case 14: return 16;
    case 15: return 17;
    case 16:
    case 19: return 3;
    case 34:
    case 40:
    case 45:
    case 46: return 4;
    case 35: return 9;
    case 67:
    case 68: return 6;
    default: return 0;
  }
}

bool ReplyHolds(std::span<const std::uint8_t> reply, std::size_t dataBytes) {
  const ReplyLayout layout = LayoutOf(reply);
  if (reply.size() < layout.data + dataBytes) return false;
  return reply[layout.byteCount] >= kStatusBytes + dataBytes;
}

std::uint8_t ResponseCode(std::span<const std::uint8_t> reply) {
  return reply[LayoutOf(reply).responseCode];
}

unsigned OutcomeOf(std::span<const std::uint8_t> reply) {
  switch (ClassOf(ResponseCode(reply))) {
    case ResponseClass::Success:
    case ResponseClass::Warning: return kEvReply;
    case ResponseClass::Busy: return kEvLineBusy;
    default: return kEvStatusError;
  }
}

std::uint8_t DataByte(std::span<const std::uint8_t> reply, std::size_t at) {
  return reply[LayoutOf(reply).data + at];
}

std::uint32_t DataUnsigned24(std::span<const std::uint8_t> reply, std::size_t at) {
  const std::size_t first = LayoutOf(reply).data + at;
  return static_cast<std::uint32_t>(reply[first]) << 16 |
         static_cast<std::uint32_t>(reply[first + 1]) << 8 | reply[first + 2];
}

float DataFloat(std::span<std::uint8_t> reply, std::size_t at) {
  const std::span<std::uint8_t, 4> bytes(reply.data() + LayoutOf(reply).data + at, 4);
  floatform::WireToForm(bytes);
  return floatform::FormToValue(std::span<const std::uint8_t, 3>(bytes.data(), 3));
}

float DataSingle(std::span<const std::uint8_t> reply, std::size_t at) {
  const auto bytes = reply.subspan(LayoutOf(reply).data + at, 4);
  const std::uint32_t bits = static_cast<std::uint32_t>(bytes[0]) << 24 |
                             static_cast<std::uint32_t>(bytes[1]) << 16 |
                             static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
  return std::bit_cast<float>(bits);
}

std::span<const std::uint8_t> DataBytes(std::span<const std::uint8_t> reply, std::size_t at,
                                        std::size_t count) {
  return reply.subspan(LayoutOf(reply).data + at, count);
}

bool AgreesOnTheWire(float held, float received) {
  std::array<std::uint8_t, 4> wire{};
  const auto bits = std::bit_cast<std::uint32_t>(held);
  for (std::size_t i = 0; i < wire.size(); ++i) {
    wire[i] = static_cast<std::uint8_t>(bits >> (24 - 8 * i));
  }
  const float asReceived = floatform::WireToValue(wire);
  int length = 0;
  floatform::AppendFloat(held, wire.data(), length);
  const float asSent = floatform::WireToValue(wire);
  return received == asReceived || received == asSent;
}

float ReadBack(float held, float received) {
  return AgreesOnTheWire(held, received) ? held : received;
}

std::uint32_t ReadBack(std::uint32_t held, std::uint32_t received) {
  constexpr std::uint32_t kThreeBytes = 0xFFFFFF;
  return (held & kThreeBytes) == (received & kThreeBytes) ? held : received;
}

bool ShortReplyRefused(THartProtokol& dialog, std::uint8_t command) {
  return ShortReplyRefusedFor(dialog, ReplyDataSize(command));
}

bool ShortReplyRefusedFor(THartProtokol& dialog, std::size_t dataBytes) {
  const std::span<std::uint8_t> reply = dialog.Reply();
  if (ReplyHolds(reply, dataBytes)) return false;
  // Implementer's choice: a reply too short for its data is a status error with code 0.
  reply[LayoutOf(reply).responseCode] = 0;
  dialog.SendMessage(kEvStatusError);
  return true;
}

}  // namespace hart
