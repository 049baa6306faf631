#include "hart/identity.h"

#include <algorithm>
#include <cstdio>

#include "hart/protokol.h"
#include "hart/reply_data.h"
#include "hart/serial_link.h"

namespace hart {
namespace {

constexpr std::uint8_t kHart6 = 6;
constexpr std::uint8_t kHart7 = 7;
constexpr std::size_t kHart5Bytes = 12;
constexpr std::size_t kHart6Bytes = 17;
// HART 7 says more after the manufacturer's code (the distributor, the device profile); none of
// it is read, so a reply that stops after the code is still read.
constexpr std::size_t kHart7Bytes = 19;
constexpr std::size_t kRevisionAt = 4;
constexpr std::uint8_t kAddressBits = 0x3F;
constexpr std::uint8_t kShortReplyDelimiter = 0x06;

std::uint16_t Word(std::span<const std::uint8_t> reply, std::size_t at) {
  return static_cast<std::uint16_t>(DataByte(reply, at) << 8 | DataByte(reply, at + 1));
}

}  // namespace

std::size_t IdentityBytes(std::uint8_t universalRevision) {
  if (universalRevision >= kHart7) return kHart7Bytes;
  if (universalRevision == kHart6) return kHart6Bytes;
  return kHart5Bytes;
}

std::size_t IdentityBytesOf(std::span<const std::uint8_t> reply) {
  if (!ReplyHolds(reply, kRevisionAt + 1)) return kHart5Bytes;
  return IdentityBytes(DataByte(reply, kRevisionAt));
}

std::optional<Identity> ReadIdentity(std::span<const std::uint8_t> reply) {
  if (!ReplyHolds(reply, kHart5Bytes) || !ReplyHolds(reply, IdentityBytesOf(reply))) {
    return std::nullopt;
  }
  Identity id;
  id.expansionCode = DataByte(reply, 0);
  id.universalRevision = DataByte(reply, kRevisionAt);
  const bool expanded = id.universalRevision >= kHart6;
  id.manufacturer = DataByte(reply, 1);
  id.deviceType = expanded ? Word(reply, 1) : DataByte(reply, 2);
  id.requestPreambles = DataByte(reply, 3);
  id.specificRevision = DataByte(reply, 5);
  id.softwareRevision = DataByte(reply, 6);
  const std::uint8_t hardware = DataByte(reply, 7);
  // HART 5's byte goes whole, as the records and data files of HART 5 transmitters have always
  // held it.
  id.hardwareRevision = expanded ? static_cast<std::uint8_t>(hardware >> 3) : hardware;
  id.signalling = expanded ? static_cast<std::uint8_t>(hardware & 0x07) : 0;
  id.flags = DataByte(reply, 8);
  id.deviceId = DataUnsigned24(reply, 9);
  id.address = LongAddress{static_cast<std::uint8_t>(DataByte(reply, 1) & kAddressBits),
                           DataByte(reply, 2), id.deviceId};
  if (expanded) {
    id.responsePreambles = DataByte(reply, 12);
    id.deviceVariables = DataByte(reply, 13);
    id.configurationChanges = Word(reply, 14);
    id.extendedStatus = DataByte(reply, 16);
  }
  if (id.universalRevision >= kHart7) id.manufacturer = Word(reply, 17);
  if (reply[0] == kShortReplyDelimiter) {
    id.pollingAddress = static_cast<std::uint8_t>(reply[1] & kAddressBits);
  }
  return id;
}

bool IdentityRefused(THartProtokol& dialog) {
  return ShortReplyRefusedFor(dialog, IdentityBytesOf(dialog.Reply()));
}

std::uint8_t BoundedPreambles(std::uint8_t said) {
  return static_cast<std::uint8_t>(
      std::clamp<int>(said, SerialLink::kMinPreambles, SerialLink::kMaxPreambles));
}

std::string IdentityLine(const Identity& identity) {
  char line[128];
  std::snprintf(line, sizeof line, "HART %u, изготовитель 0x%04X, тип 0x%04X, номер %u, адрес %u",
                static_cast<unsigned>(identity.universalRevision),
                static_cast<unsigned>(identity.manufacturer),
                static_cast<unsigned>(identity.deviceType),
                static_cast<unsigned>(identity.deviceId),
                static_cast<unsigned>(identity.pollingAddress));
  return line;
}

}  // namespace hart
